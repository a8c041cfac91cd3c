// GoogleTest before Xlib, whose macros (None, Bool, ...) it cannot take.
#include <gtest/gtest.h>

#include "desktop/messenger_receiver.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <poll.h>

#include <algorithm>
#include <iterator>

#include "text/cp1254.h"

namespace ornivox::desktoptest {

using Clock = std::chrono::steady_clock;

MessengerReceiver::MessengerReceiver() : display_(XOpenDisplay(nullptr)) {
  if (display_) copyData_ = XInternAtom(display_, "WM_COPYDATA", False);
}

MessengerReceiver::~MessengerReceiver() {
  if (display_) XCloseDisplay(display_);
}

std::vector<Window> MessengerReceiver::create(const std::vector<PlannedWindow>& plan) {
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

Window MessengerReceiver::createMessenger() {
  return create({{std::pair<std::string, std::string>{"MsnMsgrUIManager", "MsnMsgrUIManager"}}}).front();
}

void MessengerReceiver::destroy(const std::vector<Window>& windows) {
  for (auto it = windows.rbegin(); it != windows.rend(); ++it) XDestroyWindow(display_, *it);
  XSync(display_, False);
}

std::optional<XClientMessageEvent> MessengerReceiver::nextMessage(std::chrono::milliseconds limit) {
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

std::optional<Bytes> MessengerReceiver::property(Window w) {
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

std::optional<std::string> MessengerReceiver::recordText(Window w) {
  const std::optional<Bytes> stored = property(w);
  constexpr std::size_t kHead = 12;  // key and length
  if (!stored || stored->size() < kHead) return std::nullopt;
  std::string utf8;
  for (std::size_t i = kHead; i + 1 < stored->size(); i += 2) {
    const unsigned unit = (*stored)[i] | ((*stored)[i + 1] << 8);
    if (unit == 0) break;
    if (unit < 0x80) {
      utf8.push_back(static_cast<char>(unit));
    } else if (unit < 0x800) {
      utf8.push_back(static_cast<char>(0xC0 | (unit >> 6)));
      utf8.push_back(static_cast<char>(0x80 | (unit & 0x3F)));
    } else {
      utf8.push_back(static_cast<char>(0xE0 | (unit >> 12)));
      utf8.push_back(static_cast<char>(0x80 | ((unit >> 6) & 0x3F)));
      utf8.push_back(static_cast<char>(0x80 | (unit & 0x3F)));
    }
  }
  return text::utf8ToCp1254(utf8);
}

Bytes MessengerReceiver::expectedProperty(const desktop::NowPlayingRecord& record) {
  // The key 0x547 in 8 bytes, the length 256 in 4, little-endian.
  constexpr std::uint8_t kHead[] = {0x47, 0x05, 0, 0, 0, 0, 0, 0, 0x00, 0x01, 0, 0};
  Bytes out(sizeof kHead + record.size());
  std::copy(std::begin(kHead), std::end(kHead), out.begin());
  std::copy(record.begin(), record.end(), out.begin() + sizeof kHead);
  return out;
}

}  // namespace ornivox::desktoptest
