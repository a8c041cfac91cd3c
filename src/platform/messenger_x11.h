// Handing a copy-data record to a desktop messenger that listens on X11: the
// receiver is the first top-level window, from the top of the stacking
// order, whose WM_CLASS instance or class is "MsnMsgrUIManager". The record
// lands in that window's WM_COPYDATA property (format 8: the key as 8 bytes
// and the length as 4 bytes, little-endian, then the bytes) and a
// ClientMessage of type WM_COPYDATA (format 32: key, length) tells it so.
//
// The sender keeps one connection of its own to the display, opened on first
// use, so it depends on no toolkit. No DISPLAY, or no receiver: nothing is
// sent and nothing is reported.
//
// Threads: any; calls are serialised.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace ornivox::platform {

inline constexpr std::string_view kMessengerWindowClass = "MsnMsgrUIManager";
inline constexpr std::string_view kCopyDataAtom = "WM_COPYDATA";

// True when a receiver was found and both the property and the message went
// out without an error from the server.
bool SendToMessenger(std::uint64_t key, std::span<const std::uint8_t> bytes);

}  // namespace ornivox::platform
