// Blocking calls into the UI thread: the sender waits until the UI thread has
// run its function, so data on the sender's stack stays valid and the UI
// thread's changes never overlap with the sender's. A call made on the UI
// thread itself runs directly.
//
// Threads: construct (it throws std::system_error when it cannot make its
// wake-up pipe), close() and destroy on the UI thread; call() from any
// thread. After close() every waiting and later call returns false at once
// without running, so threads that are being joined cannot wait for a UI
// thread that waits for them.
#pragma once

#include <QSocketNotifier>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace ornivox {

class UiCalls {
 public:
  UiCalls();
  ~UiCalls();
  UiCalls(const UiCalls&) = delete;
  UiCalls& operator=(const UiCalls&) = delete;

  // True when fn ran on the UI thread.
  bool call(const std::function<void()>& fn);
  void close();

  // Senders waiting for the UI thread now.
  std::size_t waiting();

 private:
  struct Pending {
    const std::function<void()>* fn;
    bool finished = false;
    bool ran = false;
  };
  void drain();

  std::thread::id uiThread_;
  // Senders wake the UI thread through a pipe rather than the toolkit's
  // event queue: a write is a system call that allocates nothing, so every
  // hand-over between threads is ours, under our mutex, where the thread
  // checker can see it.
  int wakeRead_ = -1;
  int wakeWrite_ = -1;
  std::unique_ptr<QSocketNotifier> notifier_;

  std::mutex mutex_;  // guards queue_, closed_ and every Pending's flags; never held while fn runs
  std::condition_variable done_;
  std::deque<Pending*> queue_;
  bool closed_ = false;
};

}  // namespace ornivox
