// The now-playing line as the player sends it, read back from a messenger
// window in the test's own X server: whether the player's own stream plays
// decides the form, and its own window's station line stands in for a
// missing station. The player here is not the program's only one: it owns
// its state, and nothing else may stand in for it.
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>

#include "audio/bass.h"
#include "desktop/now_playing.h"
#include "player/player_fixture.h"
#include "station/identity.h"
#include "support/icecast_station.h"
#include "support/spin.h"
// Last: Xlib's macros (Bool, Status, None) break the toolkit's headers.
#include "desktop/messenger_receiver.h"

namespace ornivox::playertest {
namespace {

using namespace std::chrono_literals;
using testsupport::spinUntil;

constexpr std::string_view kPlayingHead = "\\0Music\\01\\0";
constexpr std::string_view kClearedHead = "\\0Music\\00\\0";

std::unique_ptr<testsupport::IcecastStation> gStation;

class PlayerNowPlaying : public PlayerFixture {
 protected:
  static void SetUpTestSuite() {
    if (!gStation) gStation = testsupport::IcecastStation::start({"/tone.mp3"});
  }
  static void TearDownTestSuite() { gStation.reset(); }
  void SetUp() override {
    PlayerFixture::SetUp();
    ASSERT_TRUE(receiver.connected()) << "no X server";
    messenger = receiver.createMessenger();
  }
  void TearDown() override {
    PlayerFixture::TearDown();
    receiver.destroy({messenger});
  }

  // The text the messenger holds after the next record arrives.
  std::optional<std::string> nextRecord() {
    if (!receiver.nextMessage(5s)) return std::nullopt;
    return receiver.recordText(messenger);
  }

  desktoptest::MessengerReceiver receiver;
  Window messenger = 0;
};

std::string Expected(std::string_view station, std::string_view title, std::string_view link, bool show, bool playing,
                     std::string_view stationLine) {
  std::string text =
      desktop::NowPlayingText({station, title, link, show, playing, stationLine, ornivox::station::kSlogan});
  text.pop_back();  // the record's own terminating 0 ends it
  return text;
}

TEST_F(PlayerNowPlaying, TheFormFollowsThePlayersOwnStream) {
  openUrl(gStation->url("/tone.mp3"));
  ASSERT_TRUE(spinUntil([&] { return playing(); }, 15s)) << testing::PrintToString(lines.station);
  ASSERT_FALSE(lines.title.empty());
  while (receiver.nextMessage(0ms)) {
  }

  // The watchdog's tick names the brand, the title line and a link.
  player->TimerKontrolTimer();
  std::optional<std::string> text = nextRecord();
  ASSERT_TRUE(text);
  EXPECT_EQ(text->substr(0, kPlayingHead.size()), kPlayingHead) << *text;
  EXPECT_EQ(*text, Expected(station::kBrand, lines.titleLine(), state().messengerToggle ? station::kHomePage
                                                                                          : station::kMakerAddress,
                            true, true, ""));

  struct Case {
    const char* name;
    bool stop;
    bool show;
    std::string_view head;
  };
  const Case cases[] = {
      {"PlayingShown", false, true, kPlayingHead},
      {"PlayingHidden", false, false, kClearedHead},
      {"StoppedShown", true, true, kClearedHead},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.stop) {
      player->btnDurClick();
      ASSERT_TRUE(spinUntil([&] { return !playing(); }, 5s));
    }
    player->SendNowPlaying(station::kBrand, "Bir \xDE" "ark\xFD", "http://www.dalgaton.example/", c.show);
    text = nextRecord();
    ASSERT_TRUE(text);
    EXPECT_EQ(text->substr(0, c.head.size()), c.head) << *text;
  }
}

// The watchdog's ticks alternate the link they name: the maker's first, as
// the window's first showing leaves the toggle, then the home page, and so
// on; each tick leaves the other link for the status handler's lines.
TEST_F(PlayerNowPlaying, TheWatchdogAlternatesTheMakersAndTheHomePagesLinks) {
  openUrl(gStation->url("/tone.mp3"));
  ASSERT_TRUE(spinUntil([&] { return playing(); }, 15s)) << testing::PrintToString(lines.station);
  while (receiver.nextMessage(0ms)) {
  }
  state().messengerToggle = true;
  state().messengerSuffix = std::string(station::kHomePage);
  struct Tick {
    std::string_view link;         // named in this tick's line
    std::string_view suffixAfter;  // left for the status handler
    bool toggleAfter;
  };
  const Tick ticks[] = {
      {station::kMakerAddress, station::kHomePage, false},
      {station::kHomePage, station::kMakerAddress, true},
      {station::kMakerAddress, station::kHomePage, false},
      {station::kHomePage, station::kMakerAddress, true},
  };
  for (std::size_t i = 0; i < std::size(ticks); ++i) {
    SCOPED_TRACE(i);
    player->TimerKontrolTimer();
    const std::optional<std::string> text = nextRecord();
    ASSERT_TRUE(text);
    EXPECT_EQ(*text, Expected(station::kBrand, lines.titleLine(), ticks[i].link, true, true, ""));
    EXPECT_EQ(state().messengerSuffix, ticks[i].suffixAfter);
    EXPECT_EQ(state().messengerToggle, ticks[i].toggleAfter);
  }
  // The two links are not the same text, or the table above proves nothing.
  EXPECT_NE(Expected("a", "b", station::kMakerAddress, true, true, ""),
            Expected("a", "b", station::kHomePage, true, true, ""));
}

TEST_F(PlayerNowPlaying, ClosingNamesTheStationLineOfItsOwnWindow) {
  openUrl("http://127.0.0.1:9/nothing");  // refused: the line ends in "Servis Yok"
  ASSERT_TRUE(spinUntil([&] { return !lines.station.empty() && lines.station.back() == kNoService; }, 10s));
  while (receiver.nextMessage(0ms)) {
  }
  // As the window does when it closes: no station, title or link.
  player->SendNowPlaying({}, {}, {}, false);
  const std::optional<std::string> text = nextRecord();
  ASSERT_TRUE(text);
  EXPECT_EQ(*text, Expected("", "", "", false, false, kNoService));
}

}  // namespace
}  // namespace ornivox::playertest

int main(int argc, char** argv) { return ornivox::playertest::RunHeadless(argc, argv); }
