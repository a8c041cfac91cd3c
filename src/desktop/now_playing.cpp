#include "desktop/now_playing.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "text/bytes.h"
#include "text/cp1254.h"
#include "text/replace_all.h"

namespace ornivox::desktop {
namespace {

// Fields 1 to 4 of each form, each with the separator that follows it.
constexpr std::string_view kPlayingHead = "\\0Music\\01\\0{0} - {1}\\0";
constexpr std::string_view kClearedHead = "\\0Music\\00\\0{1} - {2} - {0}\\0";
constexpr std::string_view kSeparator = "\\0";
constexpr std::string_view kContentId = "WMContentID";
// Room for the text; the last unit is always the terminating 0.
constexpr std::size_t kMaxUnits = kNowPlayingBytes / 2 - 1;

// Every code page 1254 character is one UTF-16 unit: the UTF-8 the
// conversion gives is at most three bytes long per character.
std::vector<char16_t> utf16(std::string_view cp1254) {
  const std::string utf8 = text::cp1254ToUtf8(cp1254);
  std::vector<char16_t> units;
  units.reserve(cp1254.size());
  for (std::size_t i = 0; i < utf8.size();) {
    const auto b = static_cast<unsigned char>(utf8[i]);
    auto next = [&](std::size_t k) { return static_cast<unsigned char>(utf8[i + k]) & 0x3Fu; };
    if (b < 0x80) {
      units.push_back(b);
      i += 1;
    } else if (b < 0xE0 && i + 1 < utf8.size()) {
      units.push_back(static_cast<char16_t>(((b & 0x1Fu) << 6) | next(1)));
      i += 2;
    } else if (i + 2 < utf8.size()) {
      units.push_back(static_cast<char16_t>(((b & 0x0Fu) << 12) | (next(1) << 6) | next(2)));
      i += 3;
    } else {
      break;
    }
  }
  return units;
}

}  // namespace

std::string NowPlayingText(const NowPlaying& line) {
  // The length test comes before trimming: "  x" stays.
  std::string station(text::TrimBlanks(line.station.size() < 3 ? line.stationLine : line.station));
  std::string title(text::TrimBlanks(line.title));
  std::string link(text::TrimBlanks(line.link));
  if (title.empty()) title = std::string(line.slogan);
  // In this order: a blank on each side of an underscore leaves two blanks.
  title = text::ReplaceAll(title, "  ", " ");
  title = text::ReplaceAll(title, "_", "");
  title = text::ReplaceAll(title, "\\", "");
  if (!link.empty()) link = " - " + link;
  // Lower-cased first, so an upper-case scheme goes too.
  link = text::ReplaceAll(text::AsciiLower(link), "http://", "");
  // Over the budget, the title gives way first, then the station (a long
  // playlist title or icy-name), then the link: the record never overflows,
  // so the cleared form always reaches the messenger.
  std::size_t room = kNowPlayingBudget;
  link.resize(std::min(link.size(), room));
  room -= link.size();
  station.resize(std::min(station.size(), room));
  room -= station.size();
  title.resize(std::min(title.size(), room));
  title += link;

  std::string text(line.show && line.playing ? kPlayingHead : kClearedHead);
  text.append(station).append(kSeparator);
  text.append(title).append(kSeparator);
  text.append(kSeparator).append(kContentId);
  text.push_back('\0');
  return text;
}

NowPlayingRecord NowPlayingBuffer(std::string_view text) {
  NowPlayingRecord record{};
  if (text.size() > kMaxUnits) return record;
  const std::vector<char16_t> units = utf16(text);
  for (std::size_t i = 0; i < units.size() && i < kMaxUnits; ++i) {
    record[2 * i] = static_cast<std::uint8_t>(units[i] & 0xFFu);
    record[2 * i + 1] = static_cast<std::uint8_t>(units[i] >> 8);
  }
  return record;
}

bool SendNowPlaying(MessengerLink& link, const NowPlaying& line) {
  return link.send(kNowPlayingKey, NowPlayingBuffer(NowPlayingText(line)));
}

}  // namespace ornivox::desktop
