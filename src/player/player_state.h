// The values the main window, the connection threads and the engine's
// callbacks share. The player owns the one set (Player::state()); whoever
// reads it is handed it by the player's owner.
//
// Owner: the UI thread. Every field is read and written on the UI thread
// only; connection threads and callbacks change them through blocking calls
// into the UI thread (player/ui_calls.h), stamped with their connection's
// generation, so a replaced connection never writes here.
#pragma once

#include <string>

#include "audio/bass.h"

namespace ornivox {

struct PlayerState {
  HSTREAM channel = 0;
  bool isWma = false;
  std::string stationName;   // code page 1254, like every text below
  std::string playlistUrl;
  std::string homePage;
  std::string currentTitle;
  bool messengerToggle = false;
  std::string messengerSuffix;
  std::string streamUrl;
};

}  // namespace ornivox
