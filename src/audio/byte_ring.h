// The network buffer between the download thread (writer) and the decoder
// thread (reader). Counters are atomics so file positions and the buffer
// fill can be read from any thread, including the audio callback.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

namespace ornivox::audio {

class ByteRing {
 public:
  // `capacity` bytes may be held at once; `onSpace` runs on the reader's
  // thread after bytes were taken, outside the lock.
  explicit ByteRing(std::size_t capacity, std::function<void()> onSpace = {});

  // Writer: stores up to `size` bytes without blocking; returns how many fit.
  std::size_t write(const std::uint8_t* data, std::size_t size);
  // Writer: no more bytes will come; the reader drains what is left, then sees the end.
  void finish();

  // Reader: waits until a byte is there, the writer finished or the ring was
  // aborted. Returns the bytes read, 0 at the end, -1 when aborted.
  long read(std::uint8_t* out, std::size_t size);
  // Reader side, before reading starts: copies the first `size` buffered bytes without taking them.
  void copyHead(std::uint8_t* out, std::size_t size) const;
  // Any thread: wakes the reader for good.
  void abort();

  std::size_t capacity() const { return data_.size(); }
  std::uint64_t written() const { return written_.load(std::memory_order_acquire); }
  std::uint64_t consumed() const { return consumed_.load(std::memory_order_acquire); }
  std::size_t fill() const { return static_cast<std::size_t>(written() - consumed()); }
  bool finished() const { return finished_.load(std::memory_order_acquire); }
  bool aborted() const { return aborted_.load(std::memory_order_acquire); }

 private:
  std::vector<std::uint8_t> data_;
  std::function<void()> onSpace_;
  std::mutex mutex_;  // guards the wait below; positions are the atomics
  std::condition_variable readable_;
  std::atomic<std::uint64_t> written_{0};
  std::atomic<std::uint64_t> consumed_{0};
  std::atomic<bool> finished_{false};
  std::atomic<bool> aborted_{false};
};

}  // namespace ornivox::audio
