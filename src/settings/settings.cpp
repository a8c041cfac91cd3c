#include "settings/settings.h"

#include "settings/station_record.h"

namespace ornivox {

void ReadStationFile(const std::string& path, const StationFields& into) {
  const auto record = ReadStationRecord(path);
  if (!record) return;
  into.stationName = record->stationName;
  into.playlistUrl = record->playlistUrl;
  into.homePage = record->homePage;
}

void Readini(const StationFields& into) { ReadStationFile(SettingsFileName(RunningExecutable()), into); }

}  // namespace ornivox
