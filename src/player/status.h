// The status protocol between the connection threads, the engine's title
// callbacks and the main window, and the rules the window applies.
//
// Threads: the rules run on the UI thread; senders reach it through
// Player::sendStatus (player.h).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "player/player_state.h"

namespace ornivox {

// The codes keep the numbers they have always had on the wire between the
// threads and the window; 4 to 6 were never given out.
enum PlayerStatus : int {
  PS_CONNECTING = 0,
  PS_NO_SERVICE = 1,
  PS_BUFFERING = 2,
  PS_STATION = 3,
  PS_TITLE = 7,
};

// What a status does to the window, worked out from the state alone.
struct StatusEffect {
  std::optional<std::string> stationLine;  // Label4
  std::optional<std::string> titleLine;    // Label3
  bool repaintStationLine = false;
  struct Broadcast {
    std::string title;
    std::string suffix;
  };
  std::optional<Broadcast> nowPlaying;  // SendNowPlaying(brand, title, suffix, true)
};

// A status carries a number (PS_BUFFERING) or a text (PS_STATION, PS_TITLE).
struct StatusParam {
  std::int64_t number = 0;
  std::string text;
};

// Removes trailing blanks (code 32 only; tabs stay).
void TrimTrailingSpaces(std::string& text);

// Applies a status to the state (stationName, currentTitle) and says what the
// window shows. Unknown codes change nothing.
StatusEffect ApplyPlayerStatus(PlayerState& state, int code, const StatusParam& param);

// The station line while buffering: "Yükleniyor... 42%" in code page 1254.
std::string BufferingText(std::int32_t percent);

// Song titles are cut to this many characters of the code page.
inline constexpr std::size_t kTitleLimit = 58;

}  // namespace ornivox
