// The single-instance lock across real processes, and the start-up rule
// that decides between becoming a player and handing the argument over.
#include <signal.h>

#include <filesystem>
#include <optional>

#include "desktop/instance_lock.h"
#include "desktop/peer.h"

namespace ornivox::desktop::test {
namespace {

using InstanceLockTest = PlatformTest;

TEST_F(InstanceLockTest, HeldWhileTheHolderLivesAndFreedWhenItIsKilled) {
  auto holder = startPlayer({}, "held");
  EXPECT_TRUE(InstanceLock::acquire("Lodosfil").heldElsewhere());

  const StartOutcome whileHeld = runStart(2000, std::nullopt);
  EXPECT_TRUE(whileHeld.says("lock elsewhere"));

  ASSERT_EQ(::kill(holder->pid(), SIGKILL), 0);
  ASSERT_EQ(holder->waitExit(kReportTimeout), 128 + SIGKILL);
  // The file stays behind; only the kernel's lock went with the process.
  EXPECT_TRUE(std::filesystem::exists(path("Lodosfil.lock")));

  const StartOutcome afterKill = runStart(2000, "after.pls");
  EXPECT_TRUE(afterKill.says("lock held"));
  EXPECT_EQ(afterKill.exitCode, 2) << "a start without a living player becomes the player";
}

TEST_F(InstanceLockTest, ProgramsThePlayerStartsDoNotInheritIt) {
  auto holder = startPlayer({"--spawn-sleeper"}, "held");
  const auto sleeper = awaitLine(*holder, {"sleeper "});
  ASSERT_TRUE(sleeper);
  const pid_t sleeperPid = std::stoi(sleeper->substr(8));

  ASSERT_EQ(::kill(holder->pid(), SIGKILL), 0);  // the player alone; its child lives on
  ASSERT_EQ(holder->waitExit(kReportTimeout), 128 + SIGKILL);
  ASSERT_EQ(::kill(sleeperPid, 0), 0);

  EXPECT_TRUE(runStart(2000, std::nullopt).says("lock held"));
}  // the holder's process group, sleeper included, goes with `holder`

TEST_F(InstanceLockTest, TheLastOwnerReleasesIt) {
  std::optional<InstanceLock> first(InstanceLock::acquire("Lodosfil"));
  ASSERT_TRUE(first->held());
  // A second descriptor conflicts even inside one process.
  EXPECT_TRUE(InstanceLock::acquire("Lodosfil").heldElsewhere());
  {
    InstanceLock moved = std::move(*first);
    first.reset();
    EXPECT_TRUE(InstanceLock::acquire("Lodosfil").heldElsewhere()) << "a moved-from lock must not release";
  }
  EXPECT_TRUE(InstanceLock::acquire("Lodosfil").held());
}

TEST_F(InstanceLockTest, UnusableLockFileIsNotTakenForAnotherInstance) {
  // Root ignores permissions, so make the open fail with a folder instead.
  ASSERT_TRUE(std::filesystem::create_directory(path("Lodosfil.lock")));
  const auto lock = InstanceLock::acquire("Lodosfil");
  EXPECT_EQ(lock.state(), InstanceLock::State::Unavailable);
  EXPECT_FALSE(lock.errorString().isEmpty());
}

// Which start hands over and which becomes a player.
TEST_F(InstanceLockTest, StartUpRule) {
  enum class Setup { Nothing, LivePlayer, LockIsAFolder };
  struct Case {
    const char* name;
    Setup setup;
    std::optional<std::string> argument;
    const char* lockReport;
    int exitCode;  // 0 handed over, 2 player
  } const cases[] = {
      {"first start with an argument", Setup::Nothing, "a.pls", "lock held", 2},
      {"later start with an argument", Setup::LivePlayer, "a.pls", "lock elsewhere", 0},
      {"later start without an argument", Setup::LivePlayer, std::nullopt, "lock elsewhere", 2},
      {"later start with an empty argument", Setup::LivePlayer, "", "lock elsewhere", 2},
      {"no lock file possible, with an argument", Setup::LockIsAFolder, "a.pls", "lock unavailable", 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    std::unique_ptr<ChildProcess> player;
    if (c.setup == Setup::LivePlayer) player = startPlayer({}, "held");
    if (c.setup == Setup::LockIsAFolder) {
      ASSERT_TRUE(std::filesystem::create_directory(path("Lodosfil.lock")));
    }

    const StartOutcome start = runStart(5000, c.argument);
    EXPECT_TRUE(start.says(c.lockReport));
    EXPECT_EQ(start.exitCode, c.exitCode);
    if (c.exitCode == 0) {
      EXPECT_TRUE(start.says("handover acked"));
    }
  }
}

}  // namespace
}  // namespace ornivox::desktop::test
