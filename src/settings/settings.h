// The optional station settings file beside the executable.
//
// Threads: the UI thread.
#pragma once

#include "app/player_state.h"

namespace ornivox {

// May set stationName, playlistUrl and homePage. Throws std::system_error
// when the file exists but cannot be read.
void Readini(PlayerState& state);

}  // namespace ornivox
