#include "audio/byte_ring.h"

#include <algorithm>
#include <cstring>

namespace ornivox::audio {

ByteRing::ByteRing(std::size_t capacity, std::function<void()> onSpace)
    : data_(std::max<std::size_t>(capacity, 1)), onSpace_(std::move(onSpace)) {}

std::size_t ByteRing::write(const std::uint8_t* data, std::size_t size) {
  const std::uint64_t w = written_.load(std::memory_order_relaxed);
  const std::uint64_t r = consumed_.load(std::memory_order_acquire);
  const std::size_t space = data_.size() - static_cast<std::size_t>(w - r);
  const std::size_t n = std::min(space, size);
  if (n == 0) return 0;
  const std::size_t at = static_cast<std::size_t>(w % data_.size());
  const std::size_t first = std::min(n, data_.size() - at);
  std::memcpy(data_.data() + at, data, first);
  std::memcpy(data_.data(), data + first, n - first);
  {
    // Publishing under the lock closes the gap between the reader's check and its wait.
    std::lock_guard lock(mutex_);
    written_.store(w + n, std::memory_order_release);
  }
  readable_.notify_one();
  return n;
}

void ByteRing::finish() {
  {
    std::lock_guard lock(mutex_);
    finished_.store(true, std::memory_order_release);
  }
  readable_.notify_all();
}

void ByteRing::abort() {
  {
    std::lock_guard lock(mutex_);
    aborted_.store(true, std::memory_order_release);
  }
  readable_.notify_all();
}

void ByteRing::copyHead(std::uint8_t* out, std::size_t size) const {
  const std::uint64_t r = consumed_.load(std::memory_order_acquire);
  size = std::min(size, fill());
  const std::size_t at = static_cast<std::size_t>(r % data_.size());
  const std::size_t first = std::min(size, data_.size() - at);
  std::memcpy(out, data_.data() + at, first);
  std::memcpy(out + first, data_.data(), size - first);
}

long ByteRing::read(std::uint8_t* out, std::size_t size) {
  std::uint64_t w = 0;
  const std::uint64_t r = consumed_.load(std::memory_order_relaxed);
  {
    std::unique_lock lock(mutex_);
    readable_.wait(lock, [&] {
      w = written_.load(std::memory_order_acquire);
      return aborted() || w != r || finished();
    });
  }
  if (aborted()) return -1;
  if (w == r) return 0;
  const std::size_t n = std::min<std::size_t>(size, static_cast<std::size_t>(w - r));
  const std::size_t at = static_cast<std::size_t>(r % data_.size());
  const std::size_t first = std::min(n, data_.size() - at);
  std::memcpy(out, data_.data() + at, first);
  std::memcpy(out + first, data_.data(), n - first);
  consumed_.store(r + n, std::memory_order_release);
  if (onSpace_) onSpace_();
  return static_cast<long>(n);
}

}  // namespace ornivox::audio
