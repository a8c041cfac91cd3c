// Blocking calls into the UI thread: the sender waits until the UI thread has
// run its function, so data on the sender's stack stays valid and the UI
// thread's changes never overlap with the sender's. A call made on the UI
// thread itself runs directly.
//
// Threads: construct, close() and destroy on the UI thread; call() from any
// thread. After close() every waiting and later call returns false at once
// without running, so threads that are being joined cannot wait for a UI
// thread that waits for them.
#pragma once

#include <QObject>
#include <QThread>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

namespace ornivox {

namespace detail {
// Wakes the UI thread through a queued call by name, so that everything
// crossing threads is either ours under our mutex or the toolkit's own.
class UiWaker : public QObject {
  Q_OBJECT
 public:
  std::function<void()> onWake;  // set before any other thread exists
 public slots:
  void wake() { onWake(); }
};
}  // namespace detail

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

  QThread* uiThread_;
  detail::UiWaker waker_;  // queued wake-ups die with it

  std::mutex mutex_;  // guards queue_, closed_ and every Pending's flags
  std::condition_variable done_;
  std::deque<Pending*> queue_;
  bool closed_ = false;
};

}  // namespace ornivox
