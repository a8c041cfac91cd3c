// Response header lines as the engine keeps them, and the few values the
// engine itself needs from them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ornivox::audio {

struct ResponseHeaders {
  std::vector<std::string> lines;  // status line first, line ends removed

  bool isIcy() const;  // "ICY 200 OK" answer rather than HTTP
  // The value of the first header named `name` (ASCII case-insensitive), trimmed.
  std::optional<std::string> value(std::string_view name) const;
  std::string contentType() const;  // lower-case, without parameters
  std::size_t metaint() const;      // 0 when absent or not a number
  // Bits per second stated by the server (icy-br, ice-bitrate, ice-audio-info), 0 if none.
  std::uint32_t statedBitrate() const;
  std::optional<std::uint64_t> contentLength() const;
};

// "a\0b\0\0": the list shape of the engine's tags.
std::string joinTagList(const std::vector<std::string>& entries);

std::optional<std::uint64_t> parseUnsigned(std::string_view text);

}  // namespace ornivox::audio
