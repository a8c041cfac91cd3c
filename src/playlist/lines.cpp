#include "playlist/lines.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <system_error>

namespace ornivox::playlist {

namespace {

[[noreturn]] void ThrowErrno(int error, const std::string& file) {
  throw std::system_error(error, std::generic_category(), file);
}

std::vector<std::string> SplitLines(const std::string& bytes) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] != '\r' && bytes[i] != '\n') continue;
    lines.emplace_back(bytes, start, i - start);
    if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < bytes.size()) lines.emplace_back(bytes, start);
  return lines;
}

}  // namespace

std::optional<std::vector<std::string>> ReadLines(const std::string& file) {
  if (file.empty()) return std::nullopt;
  // Opened without waiting: a FIFO named like a playlist would otherwise
  // hold the UI thread until someone writes to it.
  const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    const int error = errno;
    struct stat info {};
    if (::stat(file.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) return std::nullopt;
    ThrowErrno(error, file);
  }
  const std::unique_ptr<int, void (*)(int*)> closer(new int(fd), [](int* f) {
    ::close(*f);
    delete f;
  });
  struct stat info {};
  if (::fstat(fd, &info) != 0) ThrowErrno(errno, file);
  // Only a file holds a playlist: not a directory, a FIFO, a socket or a
  // device that never ends.
  if (!S_ISREG(info.st_mode)) return std::nullopt;

  std::string bytes;
  char chunk[65536];
  while (bytes.size() < kMaxPlaylistBytes) {
    const ssize_t got = ::read(fd, chunk, std::min(sizeof chunk, kMaxPlaylistBytes - bytes.size()));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) ThrowErrno(errno, file);
    if (got == 0) break;
    bytes.append(chunk, static_cast<std::size_t>(got));
  }
  return SplitLines(bytes);
}

}  // namespace ornivox::playlist
