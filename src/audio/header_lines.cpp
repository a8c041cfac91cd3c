#include "audio/header_lines.h"

#include <algorithm>
#include <charconv>

#include "text/bytes.h"

namespace ornivox::audio {

std::optional<std::uint64_t> parseUnsigned(std::string_view digits) {
  digits = text::TrimBlanks(digits);
  std::uint64_t v = 0;
  auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), v);
  if (ec != std::errc() || digits.empty() || end != digits.data() + digits.size()) return std::nullopt;
  return v;
}

bool ResponseHeaders::isIcy() const { return !lines.empty() && text::StartsWithIgnoringAsciiCase(lines.front(), "ICY"); }

std::optional<std::string> ResponseHeaders::value(std::string_view name) const {
  for (std::size_t i = 1; i < lines.size(); ++i) {
    std::string_view line = lines[i];
    const auto colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    if (text::EqualsIgnoringAsciiCase(text::TrimBlanks(line.substr(0, colon)), name)) return std::string(text::TrimBlanks(line.substr(colon + 1)));
  }
  return std::nullopt;
}

std::string ResponseHeaders::contentType() const {
  std::string type = value("content-type").value_or("");
  type = std::string(text::TrimBlanks(type.substr(0, type.find(';'))));
  return text::AsciiLower(type);
}

std::size_t ResponseHeaders::metaint() const {
  auto v = parseUnsigned(value("icy-metaint").value_or(""));
  // A block boundary farther apart than this is no real server's; treat it as absent.
  return (v && *v <= (1u << 24)) ? static_cast<std::size_t>(*v) : 0;
}

std::uint32_t ResponseHeaders::statedBitrate() const {
  auto kbps = [](std::optional<std::uint64_t> v) -> std::uint32_t {
    return (v && *v > 0 && *v <= 10000) ? static_cast<std::uint32_t>(*v * 1000) : 0;
  };
  for (const char* name : {"icy-br", "ice-bitrate"}) {
    if (auto v = value(name)) {
      // Some servers list several rates ("128,64"); the first is the stream's.
      if (auto rate = kbps(parseUnsigned(std::string_view(*v).substr(0, v->find(','))))) return rate;
    }
  }
  if (auto info = value("ice-audio-info")) {
    std::string_view rest = *info;
    while (!rest.empty()) {
      const auto semi = rest.find(';');
      std::string_view item = rest.substr(0, semi);
      if (text::StartsWithIgnoringAsciiCase(text::TrimBlanks(item), "ice-bitrate=") || text::StartsWithIgnoringAsciiCase(text::TrimBlanks(item), "bitrate=")) {
        if (auto rate = kbps(parseUnsigned(item.substr(item.find('=') + 1)))) return rate;
      }
      rest = semi == std::string_view::npos ? std::string_view{} : rest.substr(semi + 1);
    }
  }
  return 0;
}

std::optional<std::uint64_t> ResponseHeaders::contentLength() const {
  return parseUnsigned(value("content-length").value_or(""));
}

std::string joinTagList(const std::vector<std::string>& entries) {
  std::string out;
  for (const auto& e : entries) {
    // An entry with a NUL inside would end the list early for the reader.
    out.append(e.c_str());
    out.push_back('\0');
  }
  out.push_back('\0');
  return out;
}

}  // namespace ornivox::audio
