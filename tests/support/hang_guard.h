// A test that runs far longer than any of its waits allows is stuck. The
// guard then prints the test's name and every thread's stack (through gdb)
// and ends the program, so the run says where it hung instead of waiting
// for CTest's time-out with nothing to show.
#pragma once

#include <chrono>

namespace ornivox::testsupport {

// Watches each test of this program from now on. The limit is
// $ORNIVOX_TEST_HANG_SECONDS when set, else `limit`.
void InstallHangGuard(std::chrono::seconds limit = std::chrono::seconds(240));

}  // namespace ornivox::testsupport
