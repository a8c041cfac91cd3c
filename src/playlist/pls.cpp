#include <optional>
#include <string>
#include <vector>

#include "playlist/lines.h"
#include "playlist/resolvers.h"
#include "text/bytes.h"

namespace ornivox {

namespace {

// The value of the first line whose key (everything before its first "=",
// untrimmed) is `key` ignoring ASCII case; stored playlists written as
// "file1=" must keep working, "File1 =" must keep not matching.
std::optional<std::string> Value(const std::vector<std::string>& lines, std::string_view key) {
  const std::string wanted = text::AsciiLower(key);
  for (const std::string& line : lines) {
    const std::size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    if (text::AsciiLower(std::string_view(line).substr(0, eq)) == wanted) return line.substr(eq + 1);
  }
  return std::nullopt;
}

}  // namespace

void ResolvePls(const std::string& file, std::string& title, std::string& url) {
  const auto lines = playlist::ReadLines(file);
  if (!lines) return;
  // Only the first entry counts; a file that exists overwrites both outputs,
  // with the empty text when its key is missing.
  url = Value(*lines, "File1").value_or(std::string());
  title = Value(*lines, "Title1").value_or(std::string());
}

}  // namespace ornivox
