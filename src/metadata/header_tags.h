// The stream's first tags, read by the connection thread once the stream is
// buffered, and the title callbacks it registers.
//
// Threads: ReadHeaderTags runs on a connection thread; what it registers
// runs on engine threads. Both reach the window only through the context.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "bass.h"

namespace ornivox {

struct TagContext {
  HSTREAM channel = 0;
  bool isWma = false;
  // Sends a status with a text to the window and waits until it is handled;
  // a replaced connection's statuses are dropped there.
  std::function<void(int code, std::string_view text)> sendText;
  // Sets the codec and bit-rate label and waits until it is set.
  std::function<void(std::string_view text)> setKbpsLabel;
};

void ReadHeaderTags(const TagContext& context);

}  // namespace ornivox
