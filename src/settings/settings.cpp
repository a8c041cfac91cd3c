#include "settings/settings.h"

#include "settings/station_record.h"

namespace ornivox {

void ReadStationFile(const std::string& path, PlayerState& state) {
  const auto record = ReadStationRecord(path);
  if (!record) return;
  state.stationName = record->stationName;
  state.playlistUrl = record->playlistUrl;
  state.homePage = record->homePage;
}

void Readini(PlayerState& state) { ReadStationFile(SettingsFileName(RunningExecutable()), state); }

}  // namespace ornivox
