// Decoded audio between the decoder thread (the one producer) and the audio
// device callback (the one consumer): interleaved 16-bit stereo frames at the
// device rate. The consumer never blocks or locks; the producer waits while
// the queue is full.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

namespace ornivox::audio {

class PcmQueue {
 public:
  static constexpr int kChannels = 2;

  explicit PcmQueue(std::size_t capacityFrames);

  // Producer: stores all frames, waiting for room; false once closed.
  bool push(const std::int16_t* frames, std::size_t count);
  // Consumer: takes up to `count` frames; returns how many.
  std::size_t pop(std::int16_t* out, std::size_t count);
  // Any thread: wakes a waiting producer for good.
  void close();

  std::size_t capacity() const { return capacity_; }
  std::size_t size() const { return static_cast<std::size_t>(pushed() - popped()); }
  bool full() const { return size() >= capacity_; }
  std::uint64_t pushed() const { return pushed_.load(std::memory_order_acquire); }
  std::uint64_t popped() const { return popped_.load(std::memory_order_acquire); }

 private:
  std::size_t capacity_;
  std::vector<std::int16_t> data_;
  std::atomic<std::uint64_t> pushed_{0};
  std::atomic<std::uint64_t> popped_{0};
  std::atomic<bool> closed_{false};
  std::mutex waitMutex_;  // only for the producer's wait
  std::condition_variable room_;
};

}  // namespace ornivox::audio
