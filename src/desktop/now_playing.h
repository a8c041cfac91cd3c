// The desktop's now-playing line: a messenger on the same desktop shows what
// the player plays. The text is a run of eight fields separated by the two
// characters backslash and zero (not a NUL), in one of two forms: the
// playing form shows the line, the cleared form hides it. It travels as
// UTF-16LE in a 256-byte record keyed 0x547.
//
// Everything the text is made of comes in as arguments; the player decides
// whether its stream plays and what its window's station line says.
//
// Threads: any; nothing is shared but the link a record goes through
// (messenger_x11.h).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "desktop/messenger_x11.h"

namespace ornivox::desktop {

inline constexpr std::uint64_t kNowPlayingKey = 0x547;
inline constexpr std::size_t kNowPlayingBytes = 256;
// Station, title and link share this many characters (cut in that order of
// giving way: title, station, link), which keeps either form within the
// record.
inline constexpr std::size_t kNowPlayingBudget = 80;

using NowPlayingRecord = std::array<std::uint8_t, kNowPlayingBytes>;

// Texts in code page 1254.
struct NowPlaying {
  std::string_view station;
  std::string_view title;
  std::string_view link;
  // The playing form needs both.
  bool show = false;
  bool playing = false;
  // The window's station line: stands in for a station shorter than 3
  // characters.
  std::string_view stationLine;
  // Stands in for an empty title.
  std::string_view slogan;
};

// The message text, in code page 1254, its closing NUL included.
std::string NowPlayingText(const NowPlaying& line);

// `text` as UTF-16LE from the record's start, then a 0 unit, the rest zero.
// A text longer than 127 units does not convert at all: the record holds an
// empty text.
NowPlayingRecord NowPlayingBuffer(std::string_view text);

// Builds the record and hands it through `link` to the messenger window, if
// there is one. True when a messenger took it.
bool SendNowPlaying(MessengerLink& link, const NowPlaying& line);

}  // namespace ornivox::desktop
