// A test that never ends by itself: the hang guard must end it and say where
// it stood (tests/support/CMakeLists.txt checks what it prints).
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "support/hang_guard.h"

TEST(HangGuardProbe, Stuck) { std::this_thread::sleep_for(std::chrono::seconds(60)); }

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ornivox::testsupport::InstallHangGuard();
  return RUN_ALL_TESTS();
}
