#include <string>

#include "playlist/lines.h"
#include "playlist/resolvers.h"
#include "text/bytes.h"

namespace ornivox {

void ResolveM3u(const std::string& file, std::string& title, std::string& url) {
  const auto lines = playlist::ReadLines(file);
  if (!lines) return;
  constexpr std::string_view kTitleMarker = "#EXTINF:-1,";
  for (const std::string& line : *lines) {
    const std::string upper = text::AsciiUpper(line);
    // The marker's length is cut from the start of the line wherever the
    // marker sits: stored playlists were resolved that way, so a line with
    // something before the marker keeps part of it.
    if (upper.find(kTitleMarker) != std::string::npos) title = line.substr(kTitleMarker.size());
    if (upper.find("HTTP://") != std::string::npos) url = line;
  }
}

}  // namespace ornivox
