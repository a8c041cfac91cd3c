// A stand-in for the program's start-up, run as separate processes by the
// platform tests:
//
//   single_instance_peer player [--log FILE] [--handler-delay MS] [--client-timeout MS]
//                        [--defer-listen] [--spawn-sleeper]
//     Takes the lock and listens like a player whose main window exists
//     (replaceStale when it holds the lock). Each handed-over argument is
//     appended to FILE as one line of hex, after sleeping MS first when asked.
//     Reports on stdout: "lock held|elsewhere|unavailable", "listening" or
//     "not-listening", "handled <hex>" after each record. Reads commands on
//     stdin: "listen" (for --defer-listen); quits at EOF.
//     --spawn-sleeper starts a `sleep` child first ("sleeper <pid>"), to show
//     that programs a player starts do not inherit the lock.
//
//   single_instance_peer start TIMEOUT_MS [ARGUMENT]
//     A later start: with the lock held elsewhere and an argument, hands it
//     over without any QCoreApplication and exits 0 when acknowledged, 1 when
//     not ("handover acked|lost <elapsed ms>"). Otherwise prints "player" and
//     exits 2: the start would become a player.
#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSocketNotifier>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "desktop/hand_over.h"
#include "desktop/handover_server.h"
#include "desktop/instance_lock.h"

extern char** environ;

namespace {

using ornivox::desktop::InstanceLock;

const QString kName = QStringLiteral("Lodosfil");

void say(const std::string& line) {
  std::fputs((line + "\n").c_str(), stdout);
  std::fflush(stdout);
}

const char* stateWord(InstanceLock::State state) {
  switch (state) {
    case InstanceLock::State::Held: return "held";
    case InstanceLock::State::HeldElsewhere: return "elsewhere";
    case InstanceLock::State::Unavailable: return "unavailable";
  }
  return "?";
}

// One write per record with O_APPEND, so a reader never sees half a line.
void appendRecord(const std::string& path, const QByteArray& argument) {
  const QByteArray line = argument.toHex() + '\n';
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  if (fd < 0 || ::write(fd, line.constData(), static_cast<size_t>(line.size())) != line.size()) {
    std::perror("single_instance_peer: log");
    std::exit(3);
  }
  ::close(fd);
}

int runPlayer(int argc, char** argv) {
  std::string log;
  int handlerDelayMs = 0;
  int clientTimeoutMs = -1;
  bool deferListen = false;
  bool spawnSleeper = false;
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--log" && hasValue) log = argv[++i];
    else if (arg == "--handler-delay" && hasValue) handlerDelayMs = std::atoi(argv[++i]);
    else if (arg == "--client-timeout" && hasValue) clientTimeoutMs = std::atoi(argv[++i]);
    else if (arg == "--defer-listen") deferListen = true;
    else if (arg == "--spawn-sleeper") spawnSleeper = true;
    else {
      std::fprintf(stderr, "single_instance_peer: unknown option %s\n", arg.c_str());
      return 64;
    }
  }

  QCoreApplication app(argc, argv);
  const InstanceLock lock = InstanceLock::acquire(kName);
  say(std::string("lock ") + stateWord(lock.state()));

  ornivox::desktop::HandoverServer server(kName, [&](const QByteArray& argument) {
    // Slow on purpose: the client must still be waiting when this returns.
    if (handlerDelayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(handlerDelayMs));
    if (!log.empty()) appendRecord(log, argument);
    say("handled " + argument.toHex().toStdString());
  });
  if (clientTimeoutMs >= 0) server.setClientTimeout(std::chrono::milliseconds(clientTimeoutMs));
  auto listen = [&] { say(server.listen(lock.held()) ? "listening" : "not-listening"); };
  if (!deferListen) listen();

  if (spawnSleeper) {
    pid_t child = -1;
    char sleepArg0[] = "sleep";
    char sleepArg1[] = "60";
    char* sleepArgv[] = {sleepArg0, sleepArg1, nullptr};
    if (posix_spawnp(&child, "sleep", nullptr, nullptr, sleepArgv, environ) != 0) return 3;
    say("sleeper " + std::to_string(child));
  }

  QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
  std::string pending;
  QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
    char chunk[256];
    const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
    if (n <= 0) {
      input.setEnabled(false);
      app.quit();
      return;
    }
    pending.append(chunk, static_cast<size_t>(n));
    for (size_t end; (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1)) {
      if (pending.compare(0, end, "listen") == 0) listen();
    }
  });
  return app.exec();
}

int runStart(int argc, char** argv) {
  if (argc < 3) return 64;
  const int timeoutMs = std::atoi(argv[2]);
  const QByteArray argument = argc > 3 ? QByteArray(argv[3]) : QByteArray();

  const InstanceLock lock = InstanceLock::acquire(kName);
  say(std::string("lock ") + stateWord(lock.state()));
  if (!lock.heldElsewhere() || argument.isEmpty()) {
    say("player");
    return 2;
  }
  QElapsedTimer clock;
  clock.start();
  const bool acked = ornivox::desktop::handOver(kName, argument, timeoutMs);
  say(std::string("handover ") + (acked ? "acked " : "lost ") + std::to_string(clock.elapsed()));
  return acked ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "player") return runPlayer(argc, argv);
  if (mode == "start") return runStart(argc, argv);
  std::fprintf(stderr, "usage: single_instance_peer player|start ...\n");
  return 64;
}
