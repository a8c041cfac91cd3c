#include "player/ui_calls.h"

#include <QMetaObject>

namespace ornivox {

UiCalls::UiCalls() : uiThread_(QThread::currentThread()) { waker_.onWake = [this] { drain(); }; }

UiCalls::~UiCalls() { close(); }

bool UiCalls::call(const std::function<void()>& fn) {
  if (QThread::currentThread() == uiThread_) {
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
  QMetaObject::invokeMethod(&waker_, "wake", Qt::QueuedConnection);
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
