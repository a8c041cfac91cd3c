// The record's delivery to messenger windows in a real X server (Xvfb): the
// test owns plain Xlib windows with the messenger's class and watches what
// reaches each of them.
#include <gtest/gtest.h>

#include <X11/Xlib.h>

#include <chrono>
#include <string>
#include <vector>

#include "desktop/messenger_receiver.h"
#include "desktop/messenger_x11.h"
#include "desktop/now_playing.h"

namespace ornivox::desktoptest {
namespace {

using namespace std::string_literals;
using desktop::kNowPlayingKey;
using desktop::NowPlayingBuffer;
using desktop::NowPlayingRecord;
using desktop::NowPlayingText;

constexpr std::string_view kSlogan = "Dalgaton Velmira.";

class MessengerDelivery : public testing::Test, public MessengerReceiver {
 protected:
  void SetUp() override { ASSERT_TRUE(connected()) << "no X server"; }

  desktop::MessengerLink link;
};

TEST_F(MessengerDelivery, OnlyTheTopmostReceiverIsTold) {
  using Class = std::pair<std::string, std::string>;
  const Class messenger{"MsnMsgrUIManager", "MsnMsgrUIManager"};
  struct Case {
    const char* name;
    std::vector<PlannedWindow> windows;
    std::vector<int> raise;  // raised in this order after mapping
    int receiver;
  };
  const Case cases[] = {
      {"LaterMappedIsOnTop", {{messenger}, {messenger}}, {}, 1},
      {"RaisedOneWins", {{messenger}, {messenger}}, {0}, 0},
      {"OthersAboveAreSkipped", {{messenger}, {Class{"xterm", "XTerm"}}, {std::nullopt}}, {}, 0},
      {"InstanceNameAlone", {{Class{"MsnMsgrUIManager", "Other"}}, {Class{"a", "b"}}}, {}, 0},
      {"ClassNameAlone", {{Class{"Other", "MsnMsgrUIManager"}}}, {}, 0},
      {"CaseCounts", {{Class{"msnmsgruimanager", "MSNMSGRUIMANAGER"}}}, {}, kNobody},
      // A window manager's frame around the client.
      {"ClientInsideFrame", {{std::nullopt}, {messenger, 0}, {messenger}}, {0}, 1},
      {"FramedOtherClientHidesNothingBelow", {{messenger}, {std::nullopt}, {Class{"a", "b"}, 1}}, {}, 0},
      {"NoReceiver", {{Class{"a", "b"}}, {std::nullopt}}, {}, kNobody},
      {"NoWindows", {}, {}, kNobody},
  };
  const NowPlayingRecord record = NowPlayingBuffer(NowPlayingText({"Dalgaton", "Song", "host", true, true, "", kSlogan}));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<Window> windows = create(c.windows);
    for (int i : c.raise) XRaiseWindow(display(), windows[i]);
    XSync(display(), False);

    EXPECT_EQ(link.send(kNowPlayingKey, record), c.receiver != kNobody);
    const auto message = nextMessage(c.receiver == kNobody ? std::chrono::milliseconds(300) : std::chrono::seconds(5));
    if (c.receiver == kNobody) {
      EXPECT_FALSE(message);
    } else {
      ASSERT_TRUE(message);
      EXPECT_EQ(message->window, windows[c.receiver]);
      EXPECT_EQ(message->format, 32);
      EXPECT_EQ(message->data.l[0], 0x547);
      EXPECT_EQ(message->data.l[1], 256);
      // Only one message goes out.
      EXPECT_FALSE(nextMessage(std::chrono::milliseconds(200)));
    }
    for (std::size_t i = 0; i < windows.size(); ++i) {
      SCOPED_TRACE("window " + std::to_string(i));
      const auto stored = property(windows[i]);
      if (static_cast<int>(i) == c.receiver) {
        ASSERT_TRUE(stored);
        EXPECT_EQ(*stored, expectedProperty(record));
      } else {
        EXPECT_FALSE(stored);
      }
    }
    destroy(windows);
  }
}

// What the player hands over: without a stream the cleared form goes out,
// the station line standing in for a missing station; each record replaces
// the previous one.
TEST_F(MessengerDelivery, SendNowPlayingReplacesTheRecord) {
  const std::vector<Window> windows = create({{std::pair<std::string, std::string>{"MsnMsgrUIManager", "X"}}});
  struct Case {
    const char* name;
    const char* station;
    const char* title;
    const char* link;
    bool show;
    std::string text;
  };
  const Case cases[] = {
      {"ShowWithoutStream", "Dalgaton", "Song", "HTTP://Host", true,
       "\\0Music\\00\\0{1} - {2} - {0}\\0Dalgaton\\0Song - host\\0\\0WMContentID\0"s},
      {"Closing", "", "", "", false,
       "\\0Music\\00\\0{1} - {2} - {0}\\0Servis Yok\\0"s + std::string(kSlogan) + "\\0\\0WMContentID\0"s},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_TRUE(desktop::SendNowPlaying(link, {c.station, c.title, c.link, c.show, false, "Servis Yok", kSlogan}));
    ASSERT_TRUE(nextMessage(std::chrono::seconds(5)));
    EXPECT_EQ(property(windows[0]), expectedProperty(NowPlayingBuffer(c.text)));
  }
  destroy(windows);
}

}  // namespace
}  // namespace ornivox::desktoptest
