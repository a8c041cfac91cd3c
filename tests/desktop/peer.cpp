#include "desktop/peer.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <QByteArray>

namespace ornivox::desktop::test {

void PlatformTest::SetUp() {
  scratch_.emplace("ornivox-platform");
  scratch_->becomeRuntimeDir();
}

void PlatformTest::TearDown() { scratch_.reset(); }

std::unique_ptr<ChildProcess> PlatformTest::startPlayer(const std::vector<std::string>& options,
                                                        std::string_view lockState, std::string_view listenState) {
  std::vector<std::string> argv{ORNIVOX_SINGLE_INSTANCE_PEER, "player"};
  argv.insert(argv.end(), options.begin(), options.end());
  auto player = std::make_unique<ChildProcess>(argv);
  EXPECT_EQ(awaitLine(*player, {"lock "}).value_or("nothing"), "lock " + std::string(lockState));
  bool deferred = false;
  for (const auto& option : options) deferred = deferred || option == "--defer-listen";
  if (!deferred) {
    EXPECT_EQ(awaitLine(*player, {"listening", "not-listening"}).value_or("nothing"), listenState);
  }
  return player;
}

std::optional<std::string> awaitLine(ChildProcess& peer, const std::vector<std::string_view>& prefixes,
                                     std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  auto matches = [&](const std::string& line) {
    for (auto prefix : prefixes)
      if (line.starts_with(prefix)) return true;
    return false;
  };
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left <= 0ms) return std::nullopt;
    auto line = peer.readLine(left);
    if (!line) return std::nullopt;
    if (matches(*line)) return line;
  }
}

bool StartOutcome::says(std::string_view prefix) const {
  for (const auto& line : lines)
    if (line.starts_with(prefix)) return true;
  return false;
}

std::unique_ptr<ChildProcess> spawnStart(int timeoutMs, const std::optional<std::string>& argument) {
  std::vector<std::string> argv{ORNIVOX_SINGLE_INSTANCE_PEER, "start", std::to_string(timeoutMs)};
  if (argument) argv.push_back(*argument);
  return std::make_unique<ChildProcess>(argv);
}

StartOutcome finish(ChildProcess& start, int timeoutMs) {
  StartOutcome outcome;
  // Its own time-out bounds the hand-over; the rest is process start-up.
  const auto code = start.waitExit(std::chrono::milliseconds(timeoutMs) + kReportTimeout);
  if (!code) return outcome;
  outcome.exitCode = *code;
  while (auto line = start.readLine(1s)) outcome.lines.push_back(*line);
  return outcome;
}

StartOutcome runStart(int timeoutMs, const std::optional<std::string>& argument) {
  return finish(*spawnStart(timeoutMs, argument), timeoutMs);
}

std::vector<std::string> readLog(const std::string& file) {
  std::vector<std::string> records;
  std::ifstream in(file);
  for (std::string line; std::getline(in, line);)
    records.push_back(QByteArray::fromHex(QByteArray::fromStdString(line)).toStdString());
  return records;
}

}  // namespace ornivox::desktop::test
