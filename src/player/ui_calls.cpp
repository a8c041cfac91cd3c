#include "player/ui_calls.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace ornivox {

UiCalls::UiCalls() : uiThread_(std::this_thread::get_id()) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) throw std::system_error(errno, std::generic_category(), "pipe2");
  wakeRead_ = fds[0];
  wakeWrite_ = fds[1];
  notifier_ = std::make_unique<QSocketNotifier>(wakeRead_, QSocketNotifier::Read);
  QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] {
    char buf[64];
    while (::read(wakeRead_, buf, sizeof buf) > 0) {
    }
    drain();
  });
}

UiCalls::~UiCalls() {
  close();
  notifier_.reset();
  if (wakeRead_ >= 0) ::close(wakeRead_);
  if (wakeWrite_ >= 0) ::close(wakeWrite_);
}

bool UiCalls::call(const std::function<void()>& fn) {
  if (std::this_thread::get_id() == uiThread_) {
    {
      std::lock_guard lock(mutex_);
      if (closed_) return false;
    }
    fn();
    return true;
  }
  Pending pending{&fn};
  {
    std::lock_guard lock(mutex_);
    if (closed_) return false;
    queue_.push_back(&pending);
  }
  // A full pipe already holds a wake-up the UI thread has not read yet.
  const char one = 1;
  while (::write(wakeWrite_, &one, 1) < 0 && errno == EINTR) {
  }
  std::unique_lock lock(mutex_);
  done_.wait(lock, [&] { return pending.finished; });
  return pending.ran;
}

void UiCalls::drain() {
  for (;;) {
    Pending* p;
    {
      std::lock_guard lock(mutex_);
      if (queue_.empty() || closed_) return;
      p = queue_.front();
      queue_.pop_front();
    }
    (*p->fn)();
    {
      std::lock_guard lock(mutex_);
      p->ran = true;
      p->finished = true;
    }
    done_.notify_all();
  }
}

std::size_t UiCalls::waiting() {
  std::lock_guard lock(mutex_);
  return queue_.size();
}

void UiCalls::close() {
  {
    std::lock_guard lock(mutex_);
    closed_ = true;
    for (Pending* p : queue_) p->finished = true;
    queue_.clear();
  }
  done_.notify_all();
}

}  // namespace ornivox
