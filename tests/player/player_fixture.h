// The player without a window, against the real engine: what the window
// would show is recorded as it arrives on the UI thread. Shared by the
// player's headless tests.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <QCoreApplication>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "audio/bass.h"
#include "player/audio_setup.h"
#include "player/player.h"
#include "player/player_state.h"
#include "player/player_view.h"
#include "support/hang_guard.h"

namespace ornivox::playertest {

// The window's side of the player, kept as text: every line it was given.
struct Lines : PlayerView {
  std::vector<std::string> station, title, kbps;
  int volume = 0;
  bool watchdog = true, muted = false;
  int left = 0, right = 0;
  // Runs after a station line is recorded, while its sender still waits.
  std::function<void(const std::string&)> onStationLine;

  void setStationLine(const std::string& t) override {
    station.push_back(t);
    if (onStationLine) onStationLine(t);
  }
  std::string stationLine() const override { return station.empty() ? std::string() : station.back(); }
  void repaintStationLine() override {}
  void setTitleLine(const std::string& t) override { title.push_back(t); }
  std::string titleLine() const override { return title.empty() ? std::string() : title.back(); }
  void setKbpsLabel(const std::string& t) override { kbps.push_back(t); }
  void setVolumeBar(int position) override { volume = position; }
  int volumeBar() const override { return volume; }
  void setWatchdogEnabled(bool enabled) override { watchdog = enabled; }
  void showMuted(bool m) override { muted = m; }
  void setLevels(int l, int r) override { left = l, right = r; }

  size_t count(const std::string& line) const { return static_cast<size_t>(std::count(station.begin(), station.end(), line)); }
  size_t loading() const {
    return static_cast<size_t>(std::count_if(station.begin(), station.end(), [](const std::string& s) { return s.rfind("Y\xFCkleniyor", 0) == 0; }));
  }
};

inline const std::string kConnecting = "Ba\xF0lan\xFDyor...";
inline const std::string kNoService = "Servis Yok";

// A fresh engine and player per test, shut down as the window does.
class PlayerFixture : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(SetUpAudio(nullptr), AudioSetup::Ready);
    player = std::make_unique<Player>(lines);
  }
  void TearDown() override {
    if (player) shutDown();
  }
  // As the window does when it is destroyed.
  void shutDown() {
    player->close();
    BASS_Free();
    player->joinConnections();
    player.reset();
  }
  void openUrl(const std::string& url) {
    state().playlistUrl = url;
    player->OpenStation("");
  }
  void playUrl(const std::string& url) {
    state().playlistUrl = url;
    player->btnPlayClick();
  }
  // The player's own state, as its owner hands it out.
  PlayerState& state() { return player->state(); }
  bool playing() { return BASS_ChannelIsActive(state().channel) == BASS_ACTIVE_PLAYING; }

  Lines lines;
  std::unique_ptr<Player> player;
};

// main() of a headless player test: sound goes to a file that nobody reads,
// so the tests play in real time without a sound server.
inline int RunHeadless(int argc, char** argv) {
  const auto file = std::filesystem::temp_directory_path() / ("ornivox-player-" + std::to_string(getpid()) + ".raw");
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", file.c_str(), 1);
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  testsupport::InstallHangGuard();
  const int result = RUN_ALL_TESTS();
  std::filesystem::remove(file);
  return result;
}

}  // namespace ornivox::playertest
