#include "support/hang_guard.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

namespace ornivox::testsupport {
namespace {

// What the watching thread and the listener share. The thread never ends
// and GoogleTest deletes its listeners at exit, so this outlives both.
struct Watch {
  using Clock = std::chrono::steady_clock;

  explicit Watch(std::chrono::seconds limit) : limit(limit) {}

  [[noreturn]] void run() {
    std::unique_lock lock(mutex);
    for (;;) {
      if (!armed) {
        changed.wait(lock);
        continue;
      }
      if (changed.wait_until(lock, deadline) == std::cv_status::timeout && armed && Clock::now() >= deadline) break;
    }
    std::fprintf(stderr, "\nhang guard: %s still runs after %lld s; the threads:\n", name.c_str(),
                 static_cast<long long>(limit.count()));
    std::fflush(stderr);
    const std::string gdb = "gdb -p " + std::to_string(::getpid()) +
                            " -batch -nx -ex 'thread apply all bt 25' 1>&2 2>/dev/null </dev/null";
    if (std::system(gdb.c_str()) != 0) std::fprintf(stderr, "hang guard: gdb could not show them\n");
    // The timeout(1) status; nothing of the stuck program may run any more.
    std::_Exit(124);
  }

  const std::chrono::seconds limit;
  std::mutex mutex;  // guards what follows
  std::condition_variable changed;
  std::string name;
  Clock::time_point deadline;
  bool armed = false;
};

class HangGuard : public testing::EmptyTestEventListener {
 public:
  explicit HangGuard(Watch* watch) : watch_(watch) {}

  void OnTestStart(const testing::TestInfo& info) override {
    std::lock_guard lock(watch_->mutex);
    watch_->name = std::string(info.test_suite_name()) + "." + info.name();
    watch_->deadline = Watch::Clock::now() + watch_->limit;
    watch_->armed = true;
    watch_->changed.notify_all();
  }
  void OnTestEnd(const testing::TestInfo&) override {
    std::lock_guard lock(watch_->mutex);
    watch_->armed = false;
    watch_->changed.notify_all();
  }

 private:
  Watch* watch_;
};

}  // namespace

void InstallHangGuard(std::chrono::seconds limit) {
  if (const char* seconds = std::getenv("ORNIVOX_TEST_HANG_SECONDS")) limit = std::chrono::seconds(std::atol(seconds));
  auto* watch = new Watch(limit);
  std::thread([watch] { watch->run(); }).detach();
  // The listener list owns the listener; the watch stays to the end.
  testing::UnitTest::GetInstance()->listeners().Append(new HangGuard(watch));
}

}  // namespace ornivox::testsupport
