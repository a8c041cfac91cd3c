// A start that cannot play says so in its box and then ends with a failure
// status, so scripts and session managers see it: the real program, with an
// audio driver that does not exist, in its own X server.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "support/process.h"
#include "support/scratch_dir.h"

namespace {

using namespace std::chrono_literals;
using ornivox::testsupport::ChildProcess;
using Clock = std::chrono::steady_clock;

// The first visible window of `pid`, once there is one.
std::optional<std::string> WindowOf(pid_t pid) {
  ChildProcess search({"xdotool", "search", "--onlyvisible", "--pid", std::to_string(pid)});
  auto line = search.readLine(5s);
  search.stop(5s);
  if (!line || line->empty()) return std::nullopt;
  return line;
}

TEST(StartFailureTest, NoSoundDeviceEndsWithAFailureStatus) {
  // A runtime folder of its own: the lock this player takes must not turn
  // away a player of a test that runs beside it.
  const ornivox::testsupport::ScratchDir runtime("ornivox-start-failure");
  runtime.becomeRuntimeDir();
  ::setenv("SDL_AUDIODRIVER", "ornivox-no-such-driver", 1);
  ChildProcess player({ORNIVOX_PROGRAM});
  // The box waits for its OK, which a listener presses with Return.
  std::optional<int> code;
  const auto deadline = Clock::now() + 30s;
  bool pressed = false;
  while (Clock::now() < deadline && !(code = player.waitExit(200ms))) {
    if (const auto window = WindowOf(player.pid())) {
      ChildProcess key({"xdotool", "windowfocus", "--sync", *window, "key", "Return"});
      pressed = key.waitExit(5s) == 0 || pressed;
      key.stop(1s);
    }
  }
  ASSERT_TRUE(code.has_value()) << "the program did not end";
  EXPECT_TRUE(pressed) << "no box was shown";
  EXPECT_EQ(*code, 1);
}

}  // namespace
