// Engine-wide settings. Every field is read by stream threads while the API
// may change it, so the numbers are atomics and the text has its own lock.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

namespace ornivox::audio {

class Config {
 public:
  std::atomic<std::uint32_t> playbackBufferMs{500};
  std::atomic<std::uint32_t> netTimeoutMs{5000};
  std::atomic<std::uint32_t> netBufferMs{5000};
  std::atomic<std::uint32_t> netPrebufPercent{75};
  std::atomic<std::uint32_t> netPlaylist{0};
  std::atomic<std::uint32_t> updateThreads{1};

  std::string agent() const {
    std::lock_guard lock(agentMutex_);
    return agent_;
  }
  void setAgent(std::string text) {
    std::lock_guard lock(agentMutex_);
    agent_ = std::move(text);
  }

 private:
  mutable std::mutex agentMutex_;
  std::string agent_ = "Ornivox";
};

}  // namespace ornivox::audio
