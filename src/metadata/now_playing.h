// The desktop's now-playing line: a messenger on the same desktop shows what
// the player plays. The text is a run of eight fields separated by the two
// characters backslash and zero (not a NUL), in one of two forms: the
// playing form shows the line, the cleared form hides it. It travels as
// UTF-16LE in a 256-byte record keyed 0x547.
//
// Threads: the UI thread.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace ornivox {

inline constexpr std::uint64_t kNowPlayingKey = 0x547;
inline constexpr std::size_t kNowPlayingBytes = 256;
// Station, title and link share this many characters.
inline constexpr std::size_t kNowPlayingBudget = 80;

using NowPlayingRecord = std::array<std::uint8_t, kNowPlayingBytes>;

// The message text, in code page 1254, its closing NUL included. `station`
// shorter than 3 characters is replaced by `stationLine` (the window's
// station line). The playing form needs both `show` and `playing`.
std::string NowPlayingText(std::string_view station, std::string_view title, std::string_view link, bool show,
                           bool playing, std::string_view stationLine);

// `text` as UTF-16LE from the record's start, then a 0 unit, the rest zero.
// A text longer than 127 units does not convert at all: the record holds an
// empty text.
NowPlayingRecord NowPlayingBuffer(std::string_view text);

// Where SendNowPlaying reads the station line's current text (code page
// 1254). Set by the window that owns the line; cleared with an empty one.
void SetNowPlayingStationLine(std::function<std::string()> read);

// Builds the text for the current stream state (playerState().channel) and
// hands the record to the messenger window, if there is one.
void SendNowPlaying(std::string_view station, std::string_view title, std::string_view link, bool show);

}  // namespace ornivox
