// The player's connection threads against the real engine and local
// servers, without a window: what the window would show is recorded as it
// arrives on the UI thread. Built under every sanitizer, ThreadSanitizer
// included, which the toolkit's widget libraries do not allow.
#include <gtest/gtest.h>

#include <unistd.h>

#include <QCoreApplication>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/player_state.h"
#include "bass.h"
#include "player/audio_setup.h"
#include "player/player.h"
#include "support/icecast_station.h"
#include "support/media.h"
#include "support/scripted_server.h"
#include "support/spin.h"

namespace ornivox {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

using testsupport::spinUntil;

// The window's side of the player, kept as text: every line it was given.
struct Lines : PlayerView {
  std::vector<std::string> station, title;
  int volume = 0;
  bool watchdog = true, muted = false;
  int left = 0, right = 0;

  void setStationLine(const std::string& t) override { station.push_back(t); }
  void repaintStationLine() override {}
  void setTitleLine(const std::string& t) override { title.push_back(t); }
  std::string titleLine() const override { return title.empty() ? std::string() : title.back(); }
  void setKbpsLabel(const std::string&) override {}
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

const std::string kConnecting = "Ba\xF0lan\xFDyor...";
const std::string kNoService = "Servis Yok";

std::unique_ptr<testsupport::ScriptedServer> gServer;
std::unique_ptr<testsupport::IcecastStation> gStation;

class PlayerThreads : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    testsupport::mediaFile("tone_lr.mp3");
    gServer = testsupport::ScriptedServer::start(R"({
      "paced": [
        {"send": "ICY 200 OK\r\nicy-br: 128\r\ncontent-type: audio/mpeg\r\n\r\n"},
        {"audio": {"file": "{MEDIA}/tone_lr.mp3", "bytes": 4000000, "rate": 12000}}],
      "slow": [
        {"stall": 1.0},
        {"send": "ICY 200 OK\r\nicy-br: 128\r\ncontent-type: audio/mpeg\r\n\r\n"},
        {"audio": {"file": "{MEDIA}/tone_lr.mp3", "bytes": 4000000, "rate": 0}}],
      "hold": [{"hold": 50}]
    })");
    gStation = testsupport::IcecastStation::start({"/tone.mp3"});
  }
  static void TearDownTestSuite() {
    gServer.reset();
    gStation.reset();
  }
  void SetUp() override {
    state = PlayerState{};
    ASSERT_EQ(SetUpAudio(nullptr), AudioSetup::Ready);
    player = std::make_unique<Player>(state, lines);
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
    state.playlistUrl = url;
    player->OpenStation("");
  }
  void playUrl(const std::string& url) {
    state.playlistUrl = url;
    player->btnPlayClick();
  }
  bool playing() const { return BASS_ChannelIsActive(state.channel) == BASS_ACTIVE_PLAYING; }

  PlayerState state;
  Lines lines;
  std::unique_ptr<Player> player;
};

TEST_F(PlayerThreads, OnlyTheNewestOfManyConnectionsWritesTheState) {
  // Clicks faster than any server answers: slow, held and good stations
  // in turn, the good one last.
  const std::vector<std::string> urls = {gServer->url("slow"), gServer->url("hold"), gServer->url("slow"),
                                         gServer->url("paced"), gServer->url("slow")};
  openUrl(urls[0]);
  for (size_t i = 1; i < urls.size(); ++i) playUrl(urls[i]);
  playUrl(gStation->url("/tone.mp3"));
  ASSERT_TRUE(spinUntil([&] { return playing(); }, 15s));
  const HSTREAM current = state.channel;
  // The slow ones answer a second later, get their streams, find themselves
  // replaced, free them and end. The held one waits out the time-out.
  ASSERT_TRUE(spinUntil([&] { return player->activeConnections() <= 1; }, 10s));
  EXPECT_EQ(state.channel, current);
  EXPECT_TRUE(playing());
  EXPECT_EQ(state.streamUrl, gStation->url("/tone.mp3"));
  EXPECT_EQ(lines.station.back(), "Dalgaton");
  EXPECT_EQ(lines.count(kNoService), 0u);
  // Each start said it was connecting; only the last one's was shown, and
  // only it buffered to the end.
  EXPECT_EQ(lines.count(kConnecting), 1u);
}

TEST_F(PlayerThreads, AReplacedConnectionStopsReporting) {
  openUrl(gServer->url("paced"));  // buffers slowly: 12000 bytes a second
  ASSERT_TRUE(spinUntil([&] { return lines.loading() >= 3; }, 10s));
  playUrl(gServer->url("hold"));
  ASSERT_TRUE(spinUntil([&] { return lines.station.back() == kConnecting; }, 5s));
  const size_t before = lines.station.size();
  // The first connection's stream was freed by the second; its loop ends.
  ASSERT_TRUE(spinUntil([&] { return player->activeConnections() == 1; }, 5s));
  QCoreApplication::processEvents();
  EXPECT_EQ(lines.station.size(), before);
  EXPECT_EQ(state.streamUrl, gServer->url("hold"));
}

TEST_F(PlayerThreads, ShuttingDownWhileConnectionsWaitEndsThemAll) {
  // Each one connects before the next replaces it.
  const size_t held = gServer->requestCount("hold"), slow = gServer->requestCount("slow");
  openUrl(gServer->url("hold"));
  ASSERT_TRUE(spinUntil([&] { return gServer->requestCount("hold") == held + 1; }, 5s));
  playUrl(gServer->url("hold"));
  ASSERT_TRUE(spinUntil([&] { return gServer->requestCount("hold") == held + 2; }, 5s));
  playUrl(gServer->url("slow"));
  ASSERT_TRUE(spinUntil([&] { return gServer->requestCount("slow") == slow + 1; }, 5s));
  EXPECT_EQ(player->activeConnections(), 3u);
  const auto start = Clock::now();
  shutDown();
  EXPECT_LT(Clock::now() - start, 3s);
}

TEST_F(PlayerThreads, StatusesOfAConnectionThatCannotConnect) {
  openUrl("http://127.0.0.1:9/nothing");  // the discard port: refused
  ASSERT_TRUE(spinUntil([&] { return !lines.station.empty() && lines.station.back() == kNoService; }, 10s));
  EXPECT_EQ(lines.station, (std::vector<std::string>{"Dalgaton", kConnecting, kNoService}));
  EXPECT_EQ(lines.title, (std::vector<std::string>{"Dalgaton Velmira.", "Dalgaton Velmira."}));
  EXPECT_EQ(state.channel, 0u);
  player->tLevelTimer();
  EXPECT_EQ(lines.left + lines.right, 0);
}

}  // namespace
}  // namespace ornivox

int main(int argc, char** argv) {
  const auto file = std::filesystem::temp_directory_path() / ("ornivox-player-" + std::to_string(getpid()) + ".raw");
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", file.c_str(), 1);
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
  std::filesystem::remove(file);
  return result;
}
