// Hand-overs from later starts to the running player, between real
// processes: what arrives, when the start may leave, who owns the endpoint,
// and what bad or absent partners cost.
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QtEndian>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "desktop/hand_over.h"
#include "desktop/peer.h"
#include "desktop/runtime_dir.h"

namespace ornivox::desktop::test {
namespace {

using HandoverTest = PlatformTest;

const QString kName = QStringLiteral("Lodosfil");

std::string socketFile() { return handoverSocketPath(kName).toStdString(); }

// A client that speaks the wire format by hand, to misbehave.
class RawClient {
 public:
  explicit RawClient(const std::string& socketPath) {
    fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, socketPath.data(), std::min(socketPath.size(), sizeof addr.sun_path - 1));
    connected_ = fd_ >= 0 && ::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  }
  ~RawClient() {
    if (fd_ >= 0) ::close(fd_);
  }
  RawClient(const RawClient&) = delete;
  RawClient& operator=(const RawClient&) = delete;

  bool connected() const { return connected_; }
  bool send(const std::string& bytes) {
    return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
  }
  void closeWrite() { ::shutdown(fd_, SHUT_WR); }

  // Everything the player sent until it closed; nullopt if it kept the
  // connection open past the time-out.
  std::optional<std::string> readToEnd(std::chrono::milliseconds timeout) {
    std::string received;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left <= 0ms) return std::nullopt;
      pollfd pfd{fd_, POLLIN, 0};
      if (::poll(&pfd, 1, static_cast<int>(left.count())) <= 0) continue;
      char chunk[64];
      const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
      if (n <= 0) return received;  // closed (or reset)
      received.append(chunk, static_cast<size_t>(n));
    }
  }

 private:
  int fd_ = -1;
  bool connected_ = false;
};

std::string lengthPrefix(quint32 length) {
  std::string prefix(4, '\0');
  qToBigEndian(length, prefix.data());
  return prefix;
}

TEST_F(HandoverTest, ArgumentsArriveByteForByteAndInOrder) {
  const std::string log = path("log");
  auto player = startPlayer({"--log", log}, "held");

  const std::string longName = "/home/listener/" + std::string(300, 'r') + ".pls";
  struct Case {
    const char* name;
    std::string argument;
  } const cases[] = {
      {"plain", "stations.pls"},
      {"spaces", "/home/listener/My Radio Stations/late night.m3u"},
      {"UTF-8", "/home/dinleyici/Müzik/şarkı listesi ğüç.pls"},
      {"bytes that are not UTF-8", "/tmp/\xff\xfe\x80liste\xc3.pls"},
      {"newline and tab", "line one\nline\ttwo.pls"},
      {"over 255 characters", longName},
      {"a single byte", "x"},
  };
  std::vector<std::string> sent;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const StartOutcome start = runStart(5000, c.argument);
    EXPECT_EQ(start.exitCode, 0);
    sent.push_back(c.argument);
    // The start left only after the player had recorded it.
    EXPECT_EQ(readLog(log), sent);
  }
  EXPECT_EQ(player->stop(), 0);
}

TEST_F(HandoverTest, StartWaitsUntilTheHandlerReturned) {
  constexpr int kHandlerMs = 800;
  const std::string log = path("log");
  auto player = startPlayer({"--log", log, "--handler-delay", std::to_string(kHandlerMs)}, "held");

  const StartOutcome start = runStart(10000, "slow.pls");
  // Read at once: had the acknowledgement gone out before the handler, the
  // record would still be some 800 ms away.
  EXPECT_EQ(readLog(log), std::vector<std::string>{"slow.pls"});
  EXPECT_EQ(start.exitCode, 0);
  int elapsedMs = -1;
  for (const auto& line : start.lines) std::sscanf(line.c_str(), "handover acked %d", &elapsedMs);
  EXPECT_GE(elapsedMs, kHandlerMs - 20);
}

TEST_F(HandoverTest, ConcurrentStartsAreAllServed) {
  const std::string log = path("log");
  auto player = startPlayer({"--log", log, "--handler-delay", "150"}, "held");

  std::vector<std::string> arguments;
  std::vector<std::unique_ptr<ChildProcess>> starts;
  for (int i = 0; i < 5; ++i) {
    arguments.push_back("list-" + std::to_string(i) + ".pls");
    starts.push_back(spawnStart(10000, arguments.back()));
  }
  for (auto& start : starts) EXPECT_EQ(finish(*start, 10000).exitCode, 0);

  auto recorded = readLog(log);
  std::sort(recorded.begin(), recorded.end());
  EXPECT_EQ(recorded, arguments);
}

TEST_F(HandoverTest, NextLockHolderReplacesTheSocketOfAKilledPlayer) {
  auto killed = startPlayer({"--log", path("killed.log")}, "held");
  ASSERT_EQ(::kill(killed->pid(), SIGKILL), 0);
  ASSERT_EQ(killed->waitExit(kReportTimeout), 128 + SIGKILL);
  ASSERT_TRUE(std::filesystem::is_socket(socketFile())) << "a killed player leaves its socket behind";

  const std::string log = path("log");
  auto next = startPlayer({"--log", log}, "held", "listening");
  EXPECT_EQ(runStart(5000, "after.pls").exitCode, 0);
  EXPECT_EQ(readLog(log), std::vector<std::string>{"after.pls"});
}

TEST_F(HandoverTest, SecondPlayerLeavesTheEndpointToTheHolder) {
  const std::string holderLog = path("holder.log");
  const std::string otherLog = path("other.log");
  auto holder = startPlayer({"--log", holderLog}, "held");
  auto other = startPlayer({"--log", otherLog}, "elsewhere", "not-listening");

  EXPECT_EQ(runStart(5000, "one.pls").exitCode, 0);
  other->stop();
  EXPECT_EQ(runStart(5000, "two.pls").exitCode, 0) << "the second player's exit took the endpoint away";
  EXPECT_EQ(readLog(holderLog), (std::vector<std::string>{"one.pls", "two.pls"}));
  EXPECT_EQ(readLog(otherLog), std::vector<std::string>{});
}

// A second player whose window came first holds the name only until the
// holder's window exists, and its exit must not remove the holder's socket.
TEST_F(HandoverTest, HolderTakesTheEndpointFromAnEarlierSecondPlayer) {
  const std::string holderLog = path("holder.log");
  const std::string otherLog = path("other.log");
  auto holder = startPlayer({"--log", holderLog, "--defer-listen"}, "held");
  auto other = startPlayer({"--log", otherLog}, "elsewhere", "listening");

  ASSERT_TRUE(holder->writeLine("listen"));
  ASSERT_EQ(awaitLine(*holder, {"listening", "not-listening"}), "listening");
  EXPECT_EQ(runStart(5000, "one.pls").exitCode, 0);
  other->stop();
  EXPECT_EQ(runStart(5000, "two.pls").exitCode, 0);
  EXPECT_EQ(readLog(holderLog), (std::vector<std::string>{"one.pls", "two.pls"}));
  EXPECT_EQ(readLog(otherLog), std::vector<std::string>{});
}

// Called in this process, which has no QCoreApplication and no event loop.
// A player that holds the lock but has no endpoint yet (it is still
// starting) gets the argument once it listens: the start waits for it.
TEST_F(HandoverTest, StartWaitsForAPlayerThatIsStillStarting) {
  const std::string log = path("log");
  auto player = startPlayer({"--log", log, "--defer-listen"}, "held");
  auto start = spawnStart(10000, std::string("baslarken.pls"));
  // The start has found the lock taken and goes for the endpoint now.
  ASSERT_TRUE(awaitLine(*start, {"lock"}));
  ASSERT_TRUE(player->writeLine("listen"));
  ASSERT_TRUE(awaitLine(*player, {"listening"}));
  const StartOutcome outcome = finish(*start, 15000);
  EXPECT_EQ(outcome.exitCode, 0);
  EXPECT_TRUE(outcome.says("handover acked"));
  EXPECT_EQ(readLog(log), std::vector<std::string>{"baslarken.pls"});
}

// Another user gets nowhere: not through the socket's mode, and not when the
// mode lets everybody in (a shared runtime folder, a careless umask), since
// the player looks at who is connecting. The player goes on serving its own.
TEST_F(HandoverTest, AnotherUserCannotHandOver) {
  if (::geteuid() != 0) {
    GTEST_SKIP() << "switching to another user takes root";
  }
  // The folder open to all, so only the socket itself and the player guard it.
  ASSERT_EQ(::chmod(scratch_->path().c_str(), 0755), 0);
  const std::string log = path("log");
  auto player = startPlayer({"--log", log}, "held");
  const std::string client =
      "import socket, struct, sys\n"
      "s = socket.socket(socket.AF_UNIX)\n"
      "try:\n"
      "    s.connect(sys.argv[1])\n"
      "except PermissionError:\n"
      "    print('refused at the door'); sys.exit(0)\n"
      "s.settimeout(5)\n"
      "try:\n"
      "    s.sendall(struct.pack('>I', 5) + b'x.pls')\n"
      "    answer = s.recv(1)\n"
      "except OSError:\n"
      "    answer = b''\n"
      "print('acknowledged' if answer else 'dropped')\n";
  struct Case {
    const char* what;
    mode_t socketMode;  // 0: as the player made it
    const char* outcome;
  } const cases[] = {
      {"socket as the player made it", 0, "refused at the door"},
      {"socket open to all", 0666, "dropped"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.socketMode != 0) {
      ASSERT_EQ(::chmod(socketFile().c_str(), c.socketMode), 0);
    }
    ChildProcess other({"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "/usr/bin/python3", "-c",
                        client, socketFile()});
    EXPECT_EQ(other.readLine(15s).value_or("no answer"), c.outcome);
    EXPECT_EQ(other.stop(), 0);
  }
  EXPECT_EQ(readLog(log), std::vector<std::string>{});
  // This user's own start is still served.
  EXPECT_EQ(runStart(5000, std::string("kendi.pls")).exitCode, 0);
  EXPECT_EQ(readLog(log), std::vector<std::string>{"kendi.pls"});
}

TEST_F(HandoverTest, UnansweredHandOverEndsWithinItsTimeout) {
  enum class Partner { None, DeadSocketFile, SlowPlayer, LivePlayer };
  struct Case {
    const char* name;
    Partner partner;
    qsizetype argumentBytes;
    int timeoutMs;
    int minElapsedMs;  // when it must really have waited for the answer
  } const cases[] = {
      {"no player", Partner::None, 8, 1500, 0},
      {"socket file of a dead player", Partner::DeadSocketFile, 8, 1500, 0},
      {"handler slower than the time-out", Partner::SlowPlayer, 8, 700, 650},
      {"argument over the size limit", Partner::LivePlayer, kHandoverMaxBytes + 1, 1500, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    const std::string log = path("log");
    std::unique_ptr<ChildProcess> player;
    if (c.partner == Partner::SlowPlayer) player = startPlayer({"--log", log, "--handler-delay", "4000"}, "held");
    if (c.partner == Partner::LivePlayer) player = startPlayer({"--log", log}, "held");
    if (c.partner == Partner::DeadSocketFile) {
      const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
      sockaddr_un addr{};
      addr.sun_family = AF_UNIX;
      std::strncpy(addr.sun_path, socketFile().c_str(), sizeof addr.sun_path - 1);
      ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
      ::close(fd);
    }

    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(handOver(kName, QByteArray(c.argumentBytes, 'a'), c.timeoutMs));
    EXPECT_LE(clock.elapsed(), c.timeoutMs + 1000);
    EXPECT_GE(clock.elapsed(), c.minElapsedMs);
    if (c.partner == Partner::LivePlayer) {
      EXPECT_EQ(readLog(log), std::vector<std::string>{});
    }
  }
}

TEST_F(HandoverTest, BadClientsAreDroppedWithoutStoppingAGoodOne) {
  constexpr int kClientTimeoutMs = 4000;
  const std::string log = path("log");
  auto player = startPlayer({"--log", log, "--client-timeout", std::to_string(kClientTimeoutMs)}, "held");

  struct Case {
    const char* name;
    std::string bytes;
    bool thenCloseWrite;
  } const cases[] = {
      {"stalls inside the length", std::string(2, '\0'), false},
      {"stalls inside the message", lengthPrefix(20) + "only part", false},
      {"gives up inside the message", lengthPrefix(20) + "only part", true},
      {"length over the limit", lengthPrefix(kHandoverMaxBytes + 1) + "abc", false},
      {"huge length", "\xff\xff\xff\xff", false},
      {"zero length", lengthPrefix(0), false},
      {"bytes after the message", lengthPrefix(3) + "abcjunk", false},
  };
  std::vector<std::unique_ptr<RawClient>> clients;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    clients.push_back(std::make_unique<RawClient>(socketFile()));
    ASSERT_TRUE(clients.back()->connected());
    ASSERT_TRUE(clients.back()->send(c.bytes));
    if (c.thenCloseWrite) clients.back()->closeWrite();
  }

  // Well inside the stallers' time-out: a player that waited on them would
  // miss this.
  EXPECT_TRUE(handOver(kName, "good.pls", kClientTimeoutMs / 2));

  for (size_t i = 0; i < clients.size(); ++i) {
    SCOPED_TRACE(cases[i].name);
    EXPECT_EQ(clients[i]->readToEnd(std::chrono::milliseconds(kClientTimeoutMs) + kReportTimeout), "")
        << "dropped without an acknowledgement";
  }
  EXPECT_EQ(readLog(log), std::vector<std::string>{"good.pls"});

  // A player that quits with a client half-way through closes it cleanly.
  RawClient late(socketFile());
  ASSERT_TRUE(late.connected());
  ASSERT_TRUE(late.send(lengthPrefix(5) + "ab"));
  EXPECT_EQ(player->stop(), 0);
  EXPECT_EQ(late.readToEnd(kReportTimeout), "");
}

}  // namespace
}  // namespace ornivox::desktop::test
