// Any bytes as the station settings file, and as the executable's path.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "settings/station_record.h"

namespace {

// One in-memory file for the whole run; every input overwrites it.
int SettingsFile() {
  static const int fd = memfd_create("settings", MFD_CLOEXEC);
  return fd;
}

bool WriteAll(int fd, std::string_view bytes) {
  if (ftruncate(fd, 0) != 0) return false;
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t wrote = pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
    if (wrote <= 0) return false;
    done += static_cast<std::size_t>(wrote);
  }
  return true;
}

bool SameRecord(const ornivox::StationRecord& a, const ornivox::StationRecord& b) {
  return a.stationName == b.stationName && a.homePage == b.homePage && a.playlistUrl == b.playlistUrl;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  using namespace ornivox;

  std::optional<StationRecord> decoded;
  if (size >= kStationRecordSize) {
    decoded = DecodeStationRecord(bytes);
    if (decoded->stationName.size() > 40 || decoded->homePage.size() > 50 || decoded->playlistUrl.size() > 60)
      __builtin_trap();
  }

  const int fd = SettingsFile();
  if (fd >= 0 && WriteAll(fd, bytes)) {
    const auto read = ReadStationRecord("/proc/self/fd/" + std::to_string(fd));
    // The file reader and the in-memory decoder must agree, and a short
    // file holds no record.
    if (read.has_value() != decoded.has_value()) __builtin_trap();
    if (read && !SameRecord(*read, *decoded)) __builtin_trap();
  }

  const std::string path(bytes);
  const std::string name = SettingsFileName(path);
  if (name.size() < 4 || name.compare(name.size() - 4, 4, ".dta") != 0) __builtin_trap();
  if (path.compare(0, name.size() - 4, name, 0, name.size() - 4) != 0) __builtin_trap();
  return 0;
}
