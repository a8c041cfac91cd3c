#include "audio/pcm_queue.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace ornivox::audio {

PcmQueue::PcmQueue(std::size_t capacityFrames)
    : capacity_(std::max<std::size_t>(capacityFrames, 1024)), data_(capacity_ * kChannels) {}

bool PcmQueue::push(const std::int16_t* frames, std::size_t count) {
  while (count > 0) {
    if (closed_.load(std::memory_order_acquire)) return false;
    const std::uint64_t w = pushed_.load(std::memory_order_relaxed);
    const std::size_t room = capacity_ - static_cast<std::size_t>(w - popped_.load(std::memory_order_acquire));
    if (room == 0) {
      // The consumer notifies without the lock (it must not block), so a
      // wake-up can slip between the check and the wait: the time-out covers it.
      std::unique_lock lock(waitMutex_);
      room_.wait_for(lock, std::chrono::milliseconds(20), [&] {
        return closed_.load() || pushed_.load(std::memory_order_relaxed) - popped_.load() < capacity_;
      });
      continue;
    }
    const std::size_t n = std::min(room, count);
    const std::size_t at = static_cast<std::size_t>(w % capacity_);
    const std::size_t first = std::min(n, capacity_ - at);
    std::memcpy(&data_[at * kChannels], frames, first * kChannels * sizeof(std::int16_t));
    std::memcpy(data_.data(), frames + first * kChannels, (n - first) * kChannels * sizeof(std::int16_t));
    pushed_.store(w + n, std::memory_order_release);
    frames += n * kChannels;
    count -= n;
  }
  return true;
}

std::size_t PcmQueue::pop(std::int16_t* out, std::size_t count) {
  const std::uint64_t r = popped_.load(std::memory_order_relaxed);
  const std::size_t n = std::min(count, static_cast<std::size_t>(pushed_.load(std::memory_order_acquire) - r));
  if (n == 0) return 0;
  const std::size_t at = static_cast<std::size_t>(r % capacity_);
  const std::size_t first = std::min(n, capacity_ - at);
  std::memcpy(out, &data_[at * kChannels], first * kChannels * sizeof(std::int16_t));
  std::memcpy(out + first * kChannels, data_.data(), (n - first) * kChannels * sizeof(std::int16_t));
  popped_.store(r + n, std::memory_order_release);
  room_.notify_one();
  return n;
}

void PcmQueue::close() {
  {
    std::lock_guard lock(waitMutex_);
    closed_.store(true, std::memory_order_release);
  }
  room_.notify_all();
}

}  // namespace ornivox::audio
