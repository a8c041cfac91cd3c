#include "metadata/bitrate_rules.h"

#include <charconv>

#include "text/bytes.h"

namespace ornivox {
namespace {

std::string ValueOf(std::string_view entry) { return std::string(text::TrimBlanks(TextAfter(entry, ':'))); }

}  // namespace

std::string_view TextBefore(std::string_view text, char ch) {
  const std::size_t at = text.find(ch);
  return at == std::string_view::npos ? text : text.substr(0, at);
}

std::string_view TextAfter(std::string_view text, char ch) {
  const std::size_t at = text.find(ch);
  return at == std::string_view::npos ? text : text.substr(at + 1, 255);
}

std::string_view CodecNameOf(DWORD ctype) {
  switch (ctype) {
    case BASS_CTYPE_STREAM_OGG: return "ogg";
    case BASS_CTYPE_STREAM_MP1:
    case BASS_CTYPE_STREAM_MP2:
    case BASS_CTYPE_STREAM_MP3: return "mp3";
    case BASS_CTYPE_STREAM_WMA:
    case BASS_CTYPE_STREAM_WMA_MP3: return "wma";
    case BASS_CTYPE_STREAM_AAC: return "aac";
    case BASS_CTYPE_STREAM_MP4: return "mp4";
    default: return {};
  }
}

std::string RateText(const std::optional<TagEntryList>& icy, const std::optional<TagEntryList>& http) {
  std::string rate;
  if (icy) {
    for (std::string_view entry : *icy) {
      if (TextBefore(entry, ':') == "icy-br") rate = ValueOf(entry);
    }
  } else if (http) {
    for (std::string_view entry : *http) {
      const std::string_view name = TextBefore(entry, ':');
      if (name == "ice-bitrate" || name == "icy-br") {
        rate = ValueOf(entry);
        break;
      }
    }
  }
  return rate;
}

std::int32_t ParseRate(std::string_view text) {
  // from_chars takes a minus but no plus; one sign in all.
  const bool plus = !text.empty() && text.front() == '+';
  if (plus) text.remove_prefix(1);
  if (text.empty() || text.front() == '+' || (plus && text.front() == '-')) return 0;
  std::int32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return 0;
  return value;
}

std::int32_t EstimateRate(std::uint32_t bytesPerMs, std::optional<DWORD> ctype) {
  if (!ctype) return 0;
  switch (*ctype) {
    case BASS_CTYPE_STREAM_WMA:
    case BASS_CTYPE_STREAM_WMA_MP3: {
      std::uint32_t q = bytesPerMs / 4;
      const std::uint32_t r = bytesPerMs % 4;
      if (r > 2 || (r == 2 && q % 2 == 1)) ++q;
      return static_cast<std::int32_t>(q);
    }
    case BASS_CTYPE_STREAM_AAC:
    case BASS_CTYPE_STREAM_MP4: return 0;
    default: return static_cast<std::int32_t>(bytesPerMs);
  }
}

std::string KbpsLabel(std::int32_t rate, std::string_view codec) {
  std::string label = std::to_string(rate);
  label += " kbps ";
  label += codec;
  return label;
}

}  // namespace ornivox
