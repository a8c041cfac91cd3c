#include "audio/reaper.h"

#include "audio/stream.h"

namespace ornivox::audio {

Reaper::~Reaper() { finish(); }

void Reaper::start() {
  std::lock_guard lock(mutex_);
  if (thread_.joinable()) return;
  stopping_ = false;
  thread_ = std::thread([this] { run(); });
}

void Reaper::add(std::shared_ptr<Stream> stream) {
  {
    std::lock_guard lock(mutex_);
    queue_.push_back(std::move(stream));
  }
  changed_.notify_all();
}

void Reaper::run() {
  std::unique_lock lock(mutex_);
  while (true) {
    changed_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
    if (queue_.empty()) return;  // stopping, and nothing left
    auto stream = std::move(queue_.front());
    queue_.pop_front();
    busy_ = true;
    lock.unlock();
    stream->join();
    stream.reset();
    lock.lock();
    busy_ = false;
    changed_.notify_all();
  }
}

void Reaper::finish() {
  std::unique_lock lock(mutex_);
  if (!thread_.joinable()) return;
  stopping_ = true;
  changed_.notify_all();
  std::thread t = std::move(thread_);
  lock.unlock();
  // Every stream handed over is joined: none of their threads may run a
  // callback into a caller that has gone on to destroy what it reaches.
  t.join();
}

}  // namespace ornivox::audio
