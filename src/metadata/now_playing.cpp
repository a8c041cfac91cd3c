#include "metadata/now_playing.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "app/player_state.h"
#include "app/station_texts.h"
#include "bass.h"
#include "platform/messenger_x11.h"
#include "playlist/replace_all.h"
#include "text/cp1254.h"

namespace ornivox {
namespace {

// Fields 1 to 4 of each form, each with the separator that follows it.
constexpr std::string_view kPlayingHead = "\\0Music\\01\\0{0} - {1}\\0";
constexpr std::string_view kClearedHead = "\\0Music\\00\\0{1} - {2} - {0}\\0";
constexpr std::string_view kSeparator = "\\0";
constexpr std::string_view kContentId = "WMContentID";
// Room for the text; the last unit is always the terminating 0.
constexpr std::size_t kMaxUnits = kNowPlayingBytes / 2 - 1;

std::function<std::string()>& stationLineSource() {
  static std::function<std::string()> source;
  return source;
}

std::string_view trimmed(std::string_view s) {
  auto blank = [](char c) { return static_cast<unsigned char>(c) <= 32; };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

std::string asciiLower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

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

std::string NowPlayingText(std::string_view stationIn, std::string_view titleIn, std::string_view linkIn, bool show,
                           bool playing, std::string_view stationLine) {
  // The length test comes before trimming: "  x" stays.
  if (stationIn.size() < 3) stationIn = stationLine;
  const std::string station(trimmed(stationIn));
  std::string title(trimmed(titleIn));
  std::string link(trimmed(linkIn));
  if (title.empty()) title = std::string(station::kSlogan);
  // In this order: a blank on each side of an underscore leaves two blanks.
  title = ReplaceAll(title, "  ", " ");
  title = ReplaceAll(title, "_", "");
  title = ReplaceAll(title, "\\", "");
  if (!link.empty()) link = " - " + link;
  // Lower-cased first, so an upper-case scheme goes too.
  link = ReplaceAll(asciiLower(std::move(link)), "http://", "");
  if (station.size() + title.size() + link.size() > kNowPlayingBudget) {
    const std::size_t taken = link.size() + station.size();
    title.resize(taken < kNowPlayingBudget ? std::min(title.size(), kNowPlayingBudget - taken) : 0);
  }
  title += link;

  std::string text(show && playing ? kPlayingHead : kClearedHead);
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

void SetNowPlayingStationLine(std::function<std::string()> read) { stationLineSource() = std::move(read); }

void SendNowPlaying(std::string_view station, std::string_view title, std::string_view link, bool show) {
  const bool playing = BASS_ChannelIsActive(playerState().channel) == BASS_ACTIVE_PLAYING;
  std::string stationLine;
  if (station.size() < 3 && stationLineSource()) stationLine = stationLineSource()();
  const NowPlayingRecord record = NowPlayingBuffer(NowPlayingText(station, title, link, show, playing, stationLine));
  platform::SendToMessenger(kNowPlayingKey, record);
}

}  // namespace ornivox
