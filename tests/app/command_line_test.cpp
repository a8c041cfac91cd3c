// --help and --version are answered on standard output with status 0, with
// no display and while another player holds the single-instance lock, by
// both programs. Each test has a runtime folder of its own, so the lock it
// takes is never one that a player of a test beside it holds.
#include <gtest/gtest.h>

#include <QString>

#include <chrono>
#include <cstdlib>
#include <string>

#include "desktop/instance_lock.h"
#include "station/identity.h"
#include "support/process.h"
#include "support/scratch_dir.h"

namespace {

using namespace std::chrono_literals;

struct Case {
  const char* program;
  const char* argument;
  std::string firstLine;
};

const Case kCases[] = {
    {ORNIVOX_PROGRAM, "--version", "ornivox " ORNIVOX_VERSION},
    {ORNIVOX_PROGRAM, "--help", "Usage: ornivox [PLAYLIST]"},
    {ORNIVOX_DEMO_PROGRAM, "--version", "ornivox-demo " ORNIVOX_VERSION},
    {ORNIVOX_DEMO_PROGRAM, "--help", "Usage: ornivox-demo [PLAYLIST]"},
};

TEST(CommandLineTest, HelpAndVersionAnswerWithoutADisplayWhileAPlayerRuns) {
  ::unsetenv("DISPLAY");
  ::unsetenv("WAYLAND_DISPLAY");
  ::setenv("QT_QPA_PLATFORM", "xcb", 1);  // a toolkit started by mistake would fail without a display
  const QString name = QString::fromLatin1(ornivox::station::kInstanceName.data(),
                                           static_cast<int>(ornivox::station::kInstanceName.size()));
  const ornivox::testsupport::ScratchDir runtime("ornivox-command-line");
  runtime.becomeRuntimeDir();
  const auto lock = ornivox::desktop::InstanceLock::acquire(name);
  ASSERT_TRUE(lock.held()) << lock.errorString().toStdString();

  for (const Case& c : kCases) {
    SCOPED_TRACE(std::string(c.program) + " " + c.argument);
    ornivox::testsupport::ChildProcess child({c.program, c.argument});
    std::string out;
    while (auto line = child.readLine(10s)) out += *line + "\n";
    EXPECT_TRUE(child.atEof()) << "no end of output within the time-out";
    EXPECT_EQ(child.stop(10s), 0);
    EXPECT_EQ(out.substr(0, out.find('\n')), c.firstLine) << out;
  }
}

// A playlist for a player that never takes it (this test holds the lock and
// has no endpoint): the start says so and ends with a failure status once
// the hand-over's time is up, instead of passing for opened.
TEST(CommandLineTest, ALostHandOverSaysSoAndFails) {
  ::unsetenv("DISPLAY");
  const QString name = QString::fromLatin1(ornivox::station::kInstanceName.data(),
                                           static_cast<int>(ornivox::station::kInstanceName.size()));
  const ornivox::testsupport::ScratchDir runtime("ornivox-command-line");
  runtime.becomeRuntimeDir();
  const auto lock = ornivox::desktop::InstanceLock::acquire(name);
  ASSERT_TRUE(lock.held()) << lock.errorString().toStdString();

  ornivox::testsupport::ChildProcess child({"sh", "-c", "exec \"$0\" kayip.pls 2>&1", ORNIVOX_PROGRAM});
  std::string out;
  while (auto line = child.readLine(20s)) out += *line + "\n";
  EXPECT_TRUE(child.atEof());
  EXPECT_EQ(child.stop(5s), 1);
  EXPECT_NE(out.find("did not take kayip.pls"), std::string::npos) << out;
}

}  // namespace
