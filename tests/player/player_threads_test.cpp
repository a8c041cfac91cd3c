// The player's connection threads against the real engine and local
// servers, without a window: what the window would show is recorded as it
// arrives on the UI thread. Built under every sanitizer, ThreadSanitizer
// included, which the toolkit's widget libraries do not allow.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "player/player_fixture.h"
#include "support/icecast_station.h"
#include "support/media.h"
#include "support/scripted_server.h"
#include "support/spin.h"

namespace ornivox {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

using playertest::kConnecting;
using playertest::kNoService;
using testsupport::spinUntil;

std::unique_ptr<testsupport::ScriptedServer> gServer;
std::unique_ptr<testsupport::IcecastStation> gStation;

class PlayerThreads : public playertest::PlayerFixture {
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
  const HSTREAM current = state().channel;
  // The slow ones answer a second later, get their streams, find themselves
  // replaced, free them and end. The held one waits out the time-out.
  ASSERT_TRUE(spinUntil([&] { return player->activeConnections() <= 1; }, 10s));
  EXPECT_EQ(state().channel, current);
  EXPECT_TRUE(playing());
  EXPECT_EQ(state().streamUrl, gStation->url("/tone.mp3"));
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
  EXPECT_EQ(state().streamUrl, gServer->url("hold"));
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
  EXPECT_EQ(state().channel, 0u);
  player->tLevelTimer();
  EXPECT_EQ(lines.left + lines.right, 0);
}

}  // namespace
}  // namespace ornivox

int main(int argc, char** argv) { return ornivox::playertest::RunHeadless(argc, argv); }
