// What the main-window tests share: the application object, SDL's disk
// driver (so what would be heard lands in a file), the local station, and
// waiting on the event loop.
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QStringList>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "audio/bass.h"
#include "player/player.h"
#include "support/icecast_station.h"
#include "support/spin.h"
#include "ui/main/main_window.h"

namespace ornivox::uitest {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

using testsupport::spinUntil;

// Runs the event loop for a while: for checks that something does NOT
// happen in that time.
void spinFor(std::chrono::milliseconds span);

// Runs the event loop until `timer` has fired `ticks` more times.
bool waitForTicks(QTimer* timer, int ticks, std::chrono::milliseconds limit = 5s);

std::string diskFile();
std::uintmax_t recordedBytes();
// `frames` stereo frames from byte `from` on, waiting for them up to `limit`.
std::vector<std::int16_t> recorded(std::uintmax_t from, std::size_t frames, std::chrono::milliseconds limit);
ornivox::testsupport::IcecastStation& station();
// The built program, for the tests that start a second instance.
std::string programPath();

// A player and its main window, made as the program makes them: the player
// first, and the window gone before its player. A window's end closes its
// player for good, so the next window gets a fresh one.
class PlayerWindow {
 public:
  ~PlayerWindow() { closeWindow(); }

  // The state of the player the next (or current) window drives.
  PlayerState& state() { return player().state(); }
  Player& player() {
    if (!player_) player_ = std::make_unique<Player>();
    return *player_;
  }
  ui::TfrmMain& makeWindow(ui::MainWindowOptions options) {
    window = std::make_unique<ui::TfrmMain>(player(), std::move(options));
    return *window;
  }
  void closeWindow() {
    window.reset();
    player_.reset();
  }
  bool playing() { return BASS_ChannelIsActive(state().channel) == BASS_ACTIVE_PLAYING; }

  std::unique_ptr<ui::TfrmMain> window;

 private:
  std::unique_ptr<Player> player_;
};

}  // namespace ornivox::uitest
