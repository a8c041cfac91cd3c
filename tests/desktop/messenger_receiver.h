// Plain Xlib windows in the test's own X server standing in for a desktop
// messenger: they take what the program sends and let the test read it.
// Include it after GoogleTest: Xlib's macros break GoogleTest's headers.
#pragma once

#include <X11/Xlib.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "desktop/now_playing.h"

namespace ornivox::desktoptest {

using Bytes = std::vector<std::uint8_t>;

// A window's owner that is nobody: no message and no property.
inline constexpr int kNobody = -1;

struct PlannedWindow {
  std::optional<std::pair<std::string, std::string>> wmClass;  // instance, class
  int parent = kNobody;                                        // a frame made before it, or the root
};

class MessengerReceiver {
 public:
  // Connects to $DISPLAY; connected() says whether that worked.
  MessengerReceiver();
  ~MessengerReceiver();
  MessengerReceiver(const MessengerReceiver&) = delete;
  MessengerReceiver& operator=(const MessengerReceiver&) = delete;

  bool connected() const { return display_ != nullptr; }
  Display* display() const { return display_; }

  // Windows in order of creation, each mapped on top of its siblings.
  std::vector<Window> create(const std::vector<PlannedWindow>& plan);
  // One window with the messenger's class.
  Window createMessenger();
  void destroy(const std::vector<Window>& windows);

  // The first WM_COPYDATA message to any of the test's windows within
  // `limit`, skipping the server's own events.
  std::optional<XClientMessageEvent> nextMessage(std::chrono::milliseconds limit);
  // The window's WM_COPYDATA property as the sender left it (type and
  // format checked); none when there is no such property.
  std::optional<Bytes> property(Window w);
  // The record's text as UTF-16 units up to its terminating 0, back in code
  // page 1254; none when `w` holds no record.
  std::optional<std::string> recordText(Window w);

  // What a receiver's property must hold for `record`.
  static Bytes expectedProperty(const desktop::NowPlayingRecord& record);

 private:
  Display* display_ = nullptr;
  Atom copyData_ = None;
};

}  // namespace ornivox::desktoptest
