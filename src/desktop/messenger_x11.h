// Handing a copy-data record to a desktop messenger that listens on X11: the
// receiver is the first top-level window, from the top of the stacking
// order, whose WM_CLASS instance or class is "MsnMsgrUIManager". The record
// lands in that window's WM_COPYDATA property (format 8: the key as 8 bytes
// and the length as 4 bytes, little-endian, then the bytes) and a
// ClientMessage of type WM_COPYDATA (format 32: key, length) tells it so.
//
// A link keeps one connection of its own to the display, opened on first use
// and again after the server dropped it, so it depends on no toolkit. No
// DISPLAY, or no receiver: nothing is sent and nothing is reported.
//
// Threads: any; a link's calls are serialised.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string_view>

namespace ornivox::desktop {

inline constexpr std::string_view kMessengerWindowClass = "MsnMsgrUIManager";
inline constexpr std::string_view kCopyDataAtom = "WM_COPYDATA";

class MessengerLink {
 public:
  MessengerLink();
  ~MessengerLink();
  MessengerLink(const MessengerLink&) = delete;
  MessengerLink& operator=(const MessengerLink&) = delete;

  // True when a receiver was found and both the property and the message
  // went out without an error from the server.
  bool send(std::uint64_t key, std::span<const std::uint8_t> bytes);

 private:
  struct Display;
  // The connection, opened on first use; one the server dropped is
  // replaced. Null when there is no display to reach.
  Display* display();

  std::mutex mutex_;  // guards display_; held for a whole send
  std::unique_ptr<Display> display_;
};

}  // namespace ornivox::desktop
