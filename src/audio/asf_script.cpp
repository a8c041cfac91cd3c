#include "audio/asf_script.h"

#include <string_view>

#include "text/cp1254.h"

namespace ornivox::audio {
namespace {

// The next text of a run of NUL-ended UTF-16LE texts, from byte `from` on;
// `ended` tells whether a NUL code unit closed it.
std::string_view nextText(std::string_view bytes, std::size_t& from, bool& ended) {
  const std::size_t start = from;
  ended = false;
  while (from + 1 < bytes.size()) {
    const bool nul = bytes[from] == '\0' && bytes[from + 1] == '\0';
    from += 2;
    if (nul) {
      ended = true;
      return bytes.substr(start, from - 2 - start);
    }
  }
  return bytes.substr(start, from - start);
}

}  // namespace

std::optional<std::string> scriptCommandText(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size & ~std::size_t{1});
  std::size_t at = 0;
  bool ended = false;
  const std::string_view type = nextText(bytes, at, ended);
  if (!ended || type.empty()) return std::nullopt;
  const std::string_view parameter = nextText(bytes, at, ended);
  return text::utf16LeToUtf8(type) + "=" + text::utf16LeToUtf8(parameter);
}

}  // namespace ornivox::audio
