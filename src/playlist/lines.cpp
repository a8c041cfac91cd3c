#include "playlist/lines.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
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
  struct stat info {};
  if (file.empty() || ::stat(file.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) return std::nullopt;

  std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(std::fopen(file.c_str(), "rb"), &std::fclose);
  if (!in) ThrowErrno(errno, file);
  std::string bytes;
  char chunk[65536];
  for (;;) {
    const std::size_t got = std::fread(chunk, 1, sizeof chunk, in.get());
    bytes.append(chunk, got);
    if (got < sizeof chunk) break;
  }
  if (std::ferror(in.get())) ThrowErrno(errno != 0 ? errno : EIO, file);
  return SplitLines(bytes);
}

}  // namespace ornivox::playlist
