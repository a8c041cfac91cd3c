// Playlist answers and response headers from a hostile server.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "audio/header_lines.h"
#include "audio/net_playlist.h"
#include "text/bytes.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  using namespace ornivox::audio;
  using ornivox::text::StartsWithIgnoringAsciiCase;
  for (const auto& entry : playlistEntries(text)) {
    // Only network addresses may come out, whatever went in.
    if (!StartsWithIgnoringAsciiCase(entry, "http://") && !StartsWithIgnoringAsciiCase(entry, "https://") &&
        !StartsWithIgnoringAsciiCase(entry, "mms://") && !StartsWithIgnoringAsciiCase(entry, "mmsh://"))
      __builtin_trap();
  }
  looksLikePlaylistBody(text);
  playlistHint(text.substr(0, size / 2), text.substr(size / 2));

  ResponseHeaders headers;
  std::size_t at = 0;
  while (at <= text.size()) {
    const auto end = text.find('\n', at);
    headers.lines.emplace_back(text.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at));
    if (end == std::string_view::npos) break;
    at = end + 1;
  }
  headers.isIcy();
  headers.contentType();
  headers.metaint();
  headers.statedBitrate();
  headers.contentLength();
  joinTagList(headers.lines);
  return 0;
}
