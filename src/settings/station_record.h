// The station record file: its name beside the executable and its one
// fixed-size record. Nothing here knows the player, so the fuzzer links it
// on its own.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace ornivox {

// Texts are byte strings in code page 1254, taken over unconverted.
struct StationRecord {
  std::string stationName;
  std::string homePage;
  std::string playlistUrl;
};

inline constexpr std::size_t kStationRecordSize = 153;

// Decodes the first kStationRecordSize bytes of `bytes`, which must hold at
// least that many. A length byte past its field's capacity is cut there.
StationRecord DecodeStationRecord(std::string_view bytes);

// `executablePath` with the extension of its last component replaced by
// ".dta" (appended when it has none).
std::string SettingsFileName(const std::string& executablePath);

// The running program's full path. Throws std::system_error when the system
// will not say.
std::string RunningExecutable();

// The file's first record; nullopt when no file of that name exists or it
// is shorter than one record. Opens read-only and never writes. Throws
// std::system_error (errno, path) when the file exists but cannot be read.
std::optional<StationRecord> ReadStationRecord(const std::string& path);

}  // namespace ornivox
