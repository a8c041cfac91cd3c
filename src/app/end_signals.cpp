#include "app/end_signals.h"

#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <initializer_list>
#include <utility>

namespace ornivox::app {
namespace {

constexpr std::initializer_list<int> kEndSignals = {SIGTERM, SIGHUP, SIGINT};

// A signal handler can reach nothing but process-wide state: the one
// descriptor it writes to, set while an EndSignals lives.
std::atomic<int> gWakeFd{-1};

void onSignal(int number) {
  const int saved = errno;
  const char byte = static_cast<char>(number);
  // A full pipe already holds a wake-up; nothing is lost when this one fails.
  if (const int fd = gWakeFd.load(); fd >= 0) {
    [[maybe_unused]] const ssize_t written = ::write(fd, &byte, 1);
  }
  // The next one is not asked nicely.
  std::signal(number, SIG_DFL);
  errno = saved;
}

}  // namespace

EndSignals::EndSignals(std::function<void()> end) : end_(std::move(end)) {
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, fds_) != 0) return;
  gWakeFd.store(fds_[1]);
  notifier_ = std::make_unique<QSocketNotifier>(fds_[0], QSocketNotifier::Read);
  QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] {
    char bytes[16];
    while (::read(fds_[0], bytes, sizeof bytes) > 0) {
    }
    if (end_) std::exchange(end_, nullptr)();
  });
  struct sigaction action {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int number : kEndSignals) ::sigaction(number, &action, nullptr);
}

EndSignals::~EndSignals() {
  for (int number : kEndSignals) std::signal(number, SIG_DFL);
  gWakeFd.store(-1);
  notifier_.reset();
  for (int fd : fds_)
    if (fd >= 0) ::close(fd);
}

}  // namespace ornivox::app
