// Every running player stays reachable: a player started beside another one
// takes the single-instance lock and the hand-over endpoint over when that
// one ends, so a later start with a playlist is handed to it instead of
// becoming a third player. The real program, three times, in an X server
// and a network namespace of their own.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "support/process.h"
#include "support/scratch_dir.h"

namespace {

using namespace std::chrono_literals;
using ornivox::testsupport::ChildProcess;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

class InstanceTakeOverTest : public testing::Test {
 protected:
  void SetUp() override { scratch_.becomeRuntimeDir(); }

  // The program with its own recording file; `args` after it.
  std::unique_ptr<ChildProcess> start(const std::string& name, std::vector<std::string> args = {}) {
    std::vector<std::string> argv{"env", "SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + (scratch_ / (name + ".raw")),
                                  ORNIVOX_PROGRAM};
    argv.insert(argv.end(), args.begin(), args.end());
    return std::make_unique<ChildProcess>(argv);
  }

  // Whether a player answers on the hand-over endpoint.
  bool endpointAnswers() const {
    const std::string path = scratch_ / "Lodosfil.socket";
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    const bool connected = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return connected;
  }

  // A visible window of `pid`.
  static bool hasWindow(pid_t pid) {
    ChildProcess search({"xdotool", "search", "--onlyvisible", "--pid", std::to_string(pid)});
    const auto line = search.readLine(5s);
    search.stop(5s);
    return line && !line->empty();
  }

  template <typename Condition>
  static bool within(std::chrono::milliseconds limit, Condition condition) {
    const auto deadline = Clock::now() + limit;
    while (Clock::now() < deadline) {
      if (condition()) return true;
      ::usleep(50000);
    }
    return condition();
  }

  ornivox::testsupport::ScratchDir scratch_{"ornivox-takeover"};
};

TEST_F(InstanceTakeOverTest, TheSecondPlayerTakesOverWhenTheFirstEnds) {
  auto first = start("first");
  ASSERT_TRUE(within(20s, [&] { return endpointAnswers(); })) << "the first player never listened";
  // Without an argument, a later start is a second, independent player.
  auto second = start("second");
  ASSERT_TRUE(within(20s, [&] { return hasWindow(second->pid()); })) << "the second player never showed";

  first->stop(5s);
  // The first one's socket file stays behind, dead, until the second one
  // replaces it.
  ASSERT_TRUE(within(10s, [&] { return endpointAnswers(); })) << "nobody took the endpoint over";

  // A start with a playlist is handed to the second player and ends.
  auto third = start("third", {"/yok/liste.pls"});
  std::optional<int> code;
  EXPECT_TRUE(within(15s, [&] { return (code = third->waitExit(0ms)).has_value(); }))
      << "the third start became a player of its own";
  EXPECT_EQ(code.value_or(-1), 0);
  EXPECT_FALSE(second->waitExit(0ms).has_value()) << "the second player ended";
  third->stop(5s);
  second->stop(5s);
}

}  // namespace
