// Runs single_instance_peer processes for the single-instance tests, each test in its own
// runtime folder, and reads what they report.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "support/process.h"
#include "support/scratch_dir.h"

namespace ornivox::desktop::test {

using namespace std::chrono_literals;
using testsupport::ChildProcess;

// Generous: the machine may be busy building while the tests run.
inline constexpr auto kReportTimeout = 15s;

// Gives each test a fresh XDG_RUNTIME_DIR, inherited by the peers it starts.
class PlatformTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  std::string path(std::string_view file) const { return *scratch_ / std::string(file); }

  // A player; fails the test unless it reports `lockState` and, unless
  // --defer-listen is among `options`, `listenState`.
  std::unique_ptr<ChildProcess> startPlayer(const std::vector<std::string>& options, std::string_view lockState,
                                            std::string_view listenState = "listening");

  std::optional<testsupport::ScratchDir> scratch_;
};

// Reads reports until one starts with one of `prefixes`; that line, or
// nullopt when none came in time.
std::optional<std::string> awaitLine(ChildProcess& peer, const std::vector<std::string_view>& prefixes,
                                     std::chrono::milliseconds timeout = kReportTimeout);

struct StartOutcome {
  int exitCode = -1;  // -1: did not end in time
  std::vector<std::string> lines;
  bool says(std::string_view prefix) const;
};

// `single_instance_peer start`: a later start of the program, with its argument if
// any; runStart() runs it to its end.
std::unique_ptr<ChildProcess> spawnStart(int timeoutMs, const std::optional<std::string>& argument);
StartOutcome finish(ChildProcess& start, int timeoutMs);
StartOutcome runStart(int timeoutMs, const std::optional<std::string>& argument);

// The arguments a player recorded, in order; empty when it recorded none.
std::vector<std::string> readLog(const std::string& file);

}  // namespace ornivox::desktop::test
