#include "settings/station_record.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <vector>

namespace ornivox {

namespace {

struct Field {
  std::size_t offset;  // of the length byte
  std::size_t capacity;
};

constexpr Field kStationName{0, 40};
constexpr Field kHomePage{41, 50};
constexpr Field kPlaylistUrl{92, 60};

std::string FieldText(std::string_view record, Field field) {
  std::size_t length = static_cast<unsigned char>(record[field.offset]);
  // Longer lengths only come from files made by other tools; reading them
  // would run into the next field or past the record.
  if (length > field.capacity) length = field.capacity;
  return std::string(record.substr(field.offset + 1, length));
}

[[noreturn]] void ThrowErrno(int error, const std::string& path) {
  throw std::system_error(error, std::generic_category(), path);
}

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() { ::close(fd_); }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

StationRecord DecodeStationRecord(std::string_view bytes) {
  const std::string_view record = bytes.substr(0, kStationRecordSize);
  StationRecord result;
  result.stationName = FieldText(record, kStationName);
  result.playlistUrl = FieldText(record, kPlaylistUrl);
  result.homePage = FieldText(record, kHomePage);
  return result;
}

std::string SettingsFileName(const std::string& executablePath) {
  const std::size_t nameStart = executablePath.rfind('/') == std::string::npos ? 0 : executablePath.rfind('/') + 1;
  const std::size_t dot = executablePath.rfind('.');
  const std::size_t stemEnd = (dot != std::string::npos && dot >= nameStart) ? dot : executablePath.size();
  return executablePath.substr(0, stemEnd) + ".dta";
}

std::string RunningExecutable() {
  // A path longer than the last size tried is not a real one.
  for (std::size_t size = 256; size <= 65536; size *= 4) {
    std::vector<char> buffer(size);
    const ssize_t got = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (got < 0) ThrowErrno(errno, "/proc/self/exe");
    if (static_cast<std::size_t>(got) < buffer.size()) return std::string(buffer.data(), static_cast<std::size_t>(got));
  }
  ThrowErrno(ENAMETOOLONG, "/proc/self/exe");
}

std::optional<StationRecord> ReadStationRecord(const std::string& path) {
  // Read-only: settings installed beside a packaged program are not writable
  // by its users. Non-blocking so a FIFO of that name cannot stall the UI
  // thread; it changes nothing for a regular file.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    if (errno == ENOENT || errno == ENOTDIR) return std::nullopt;
    ThrowErrno(errno, path);
  }
  const Descriptor file(fd);

  struct stat info{};
  if (::fstat(file.get(), &info) != 0) ThrowErrno(errno, path);
  if (S_ISDIR(info.st_mode)) ThrowErrno(EISDIR, path);
  if (info.st_size < static_cast<off_t>(kStationRecordSize)) return std::nullopt;

  char record[kStationRecordSize];
  std::size_t have = 0;
  while (have < sizeof record) {
    const ssize_t got = ::read(file.get(), record + have, sizeof record - have);
    if (got < 0) {
      if (errno == EINTR) continue;
      ThrowErrno(errno, path);
    }
    // The file shrank after its size was taken.
    if (got == 0) ThrowErrno(EIO, path);
    have += static_cast<std::size_t>(got);
  }
  return DecodeStationRecord(std::string_view(record, sizeof record));
}

}  // namespace ornivox
