// The optional station settings file beside the executable.
//
// Threads: the UI thread.
#pragma once

#include <string>

#include "app/player_state.h"

namespace ornivox {

// May set stationName, playlistUrl and homePage. Throws std::system_error
// when the file exists but cannot be read.
void Readini(PlayerState& state);

// Readini on a file given by path: sets the three fields from its first
// record, each also when empty; changes nothing when the file is missing or
// shorter than one record.
void ReadStationFile(const std::string& path, PlayerState& state);

}  // namespace ornivox
