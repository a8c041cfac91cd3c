// The optional station settings file beside the executable.
//
// Threads: the UI thread.
#pragma once

#include <string>

namespace ornivox {

// Where a settings record goes: the player's fields of the same names.
struct StationFields {
  std::string& stationName;
  std::string& playlistUrl;
  std::string& homePage;
};

// May set the three fields from the file beside the running executable.
// Throws std::system_error when the file exists but cannot be read.
void Readini(const StationFields& into);

// Readini on a file given by path: sets the three fields from its first
// record, each also when empty; changes nothing when the file is missing or
// shorter than one record.
void ReadStationFile(const std::string& path, const StationFields& into);

}  // namespace ornivox
