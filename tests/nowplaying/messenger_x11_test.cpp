// The record's delivery to messenger windows in a real X server (Xvfb): the
// test owns plain Xlib windows with the messenger's class and watches what
// reaches each of them.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/station_texts.h"
#include "metadata/now_playing.h"
#include "platform/messenger_x11.h"

namespace ornivox {
namespace {

using namespace std::string_literals;
using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

// Nothing for the window's owner: no message and no property.
constexpr int kNobody = -1;

struct PlannedWindow {
  std::optional<std::pair<std::string, std::string>> wmClass;  // instance, class
  int parent = kNobody;                                        // a frame made before it, or the root
};

class MessengerDelivery : public testing::Test {
 protected:
  void SetUp() override {
    display_ = XOpenDisplay(nullptr);
    ASSERT_NE(display_, nullptr) << "no X server";
    copyData_ = XInternAtom(display_, "WM_COPYDATA", False);
  }
  void TearDown() override {
    if (display_) XCloseDisplay(display_);
  }

  // Windows in order of creation, each mapped on top of its siblings.
  std::vector<Window> create(const std::vector<PlannedWindow>& plan) {
    std::vector<Window> windows;
    for (const PlannedWindow& planned : plan) {
      const Window parent = planned.parent == kNobody ? DefaultRootWindow(display_) : windows.at(planned.parent);
      const Window w = XCreateSimpleWindow(display_, parent, 10, 10, 50, 50, 0, 0, 0);
      if (planned.wmClass) {
        XClassHint hint;
        hint.res_name = const_cast<char*>(planned.wmClass->first.c_str());
        hint.res_class = const_cast<char*>(planned.wmClass->second.c_str());
        XSetClassHint(display_, w, &hint);
      }
      XMapWindow(display_, w);
      windows.push_back(w);
    }
    XSync(display_, False);
    return windows;
  }

  void destroy(const std::vector<Window>& windows) {
    for (auto it = windows.rbegin(); it != windows.rend(); ++it) XDestroyWindow(display_, *it);
    XSync(display_, False);
  }

  // The first WM_COPYDATA message to any of the test's windows within
  // `limit`, skipping the server's own events.
  std::optional<XClientMessageEvent> nextMessage(std::chrono::milliseconds limit) {
    const auto end = Clock::now() + limit;
    for (;;) {
      while (XPending(display_) > 0) {
        XEvent event;
        XNextEvent(display_, &event);
        if (event.type == ClientMessage && event.xclient.message_type == copyData_) return event.xclient;
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
      if (left <= 0) return std::nullopt;
      pollfd fd{ConnectionNumber(display_), POLLIN, 0};
      poll(&fd, 1, static_cast<int>(left));
    }
  }

  std::optional<Bytes> property(Window w) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display_, w, copyData_, 0, 1024, False, AnyPropertyType, &type, &format, &count, &after,
                           &data) != Success ||
        type == None) {
      if (data) XFree(data);
      return std::nullopt;
    }
    EXPECT_EQ(type, copyData_);
    EXPECT_EQ(format, 8);
    EXPECT_EQ(after, 0u);
    Bytes out(data, data + count);
    XFree(data);
    return out;
  }

  // What a receiver's property must hold for `record`.
  static Bytes expectedProperty(const NowPlayingRecord& record) {
    Bytes out = {0x47, 0x05, 0, 0, 0, 0, 0, 0, 0x00, 0x01, 0, 0};
    out.insert(out.end(), record.begin(), record.end());
    return out;
  }

  Display* display_ = nullptr;
  Atom copyData_ = None;
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
  const NowPlayingRecord record = NowPlayingBuffer(NowPlayingText("Dalgaton", "Song", "host", true, true, ""));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<Window> windows = create(c.windows);
    for (int i : c.raise) XRaiseWindow(display_, windows[i]);
    XSync(display_, False);

    EXPECT_EQ(platform::SendToMessenger(kNowPlayingKey, record), c.receiver != kNobody);
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

// The entry point the player calls: without a stream the cleared form goes
// out, the station line standing in for a missing station; the record
// replaces the previous one.
TEST_F(MessengerDelivery, SendNowPlayingReplacesTheRecord) {
  const std::vector<Window> windows = create({{std::pair<std::string, std::string>{"MsnMsgrUIManager", "X"}}});
  SetNowPlayingStationLine([] { return std::string("Servis Yok"); });
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
       "\\0Music\\00\\0{1} - {2} - {0}\\0Servis Yok\\0"s + std::string(station::kSlogan) + "\\0\\0WMContentID\0"s},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SendNowPlaying(c.station, c.title, c.link, c.show);
    ASSERT_TRUE(nextMessage(std::chrono::seconds(5)));
    EXPECT_EQ(property(windows[0]), expectedProperty(NowPlayingBuffer(c.text)));
  }
  SetNowPlayingStationLine({});
  destroy(windows);
}

}  // namespace
}  // namespace ornivox
