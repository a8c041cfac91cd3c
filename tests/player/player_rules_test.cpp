// Small rules of the player: rounding of the volume bar and the blocking
// hand-over to the UI thread.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "player/player.h"
#include "player/ui_calls.h"

namespace ornivox {
namespace {

TEST(RoundHalfEven, VolumeBar) {
  struct T {
    double in;
    int out;
  } cases[] = {{0.0, 0}, {50.0, 50}, {12.5, 12}, {13.5, 14}, {49.999, 50}, {100.0, 100}, {0.5, 0}, {1.5, 2}, {99.5, 100}};
  for (auto& t : cases) EXPECT_EQ(RoundHalfEven(t.in), t.out) << t.in;
  // The device volume is a float: 0.3f is 0.30000001..., not a half.
  EXPECT_EQ(RoundHalfEven(static_cast<double>(0.3f) * 100.0), 30);
}

// The UI thread here is the test's own thread running an event loop.
class UiCallsTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "player_rules_test";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance()) new QCoreApplication(argc, argv);
  }
  // Runs the event loop until done() or the time-out.
  template <class Pred>
  bool spinUntil(Pred done, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
      if (std::chrono::steady_clock::now() > end) return false;
      QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
  }
};

TEST_F(UiCallsTest, CallsRunOnTheUiThreadAndTheSenderWaits) {
  UiCalls calls;
  const auto ui = std::this_thread::get_id();
  constexpr int kThreads = 4, kCalls = 200;
  std::vector<int> order;  // UI thread only
  std::atomic<int> finished{0};
  std::atomic<bool> wrongThread{false}, notWaited{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < kCalls; ++i) {
        int seen = -1;
        const bool ran = calls.call([&] {
          if (std::this_thread::get_id() != ui) wrongThread = true;
          order.push_back(t);
          seen = i;  // the sender's stack is still there
        });
        if (!ran || seen != i) notWaited = true;
      }
      ++finished;
    });
  EXPECT_TRUE(spinUntil([&] { return finished == kThreads; }));
  for (auto& t : threads) t.join();
  EXPECT_FALSE(wrongThread);
  EXPECT_FALSE(notWaited);
  EXPECT_EQ(order.size(), static_cast<size_t>(kThreads * kCalls));
}

TEST_F(UiCallsTest, CloseReleasesWaitingSendersWithoutRunning) {
  UiCalls calls;
  std::atomic<int> ran{0}, refused{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 3; ++t)
    threads.emplace_back([&] {
      // The UI thread never spins: these wait until close().
      if (calls.call([&] { ++ran; }))
        ++ran;
      else
        ++refused;
    });
  // Closing while they wait must free them; joining must not hang.
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (calls.waiting() < 3 && std::chrono::steady_clock::now() < limit)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_EQ(calls.waiting(), 3u);
  calls.close();
  for (auto& t : threads) t.join();
  EXPECT_EQ(ran.load(), 0);
  EXPECT_EQ(refused.load(), 3);
  EXPECT_FALSE(calls.call([] {}));  // and later calls, even on the UI thread
  QCoreApplication::processEvents();  // late wake-ups find nothing
}

TEST_F(UiCallsTest, OnTheUiThreadACallRunsDirectly) {
  UiCalls calls;
  bool ran = false;
  EXPECT_TRUE(calls.call([&] { ran = true; }));
  EXPECT_TRUE(ran);
}

}  // namespace
}  // namespace ornivox
