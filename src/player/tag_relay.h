// Where a connection's tag texts go. Owned by the player and outliving every
// stream, so the engine's sync callbacks can carry its address as their user
// value and learn from it which connection a stream belongs to.
//
// Threads: adopt() on the UI thread; sourceOf() and the sinks from any
// thread (connection threads, the engine's sync threads).
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string_view>

#include "audio/bass.h"

namespace ornivox {

class TagRelay {
 public:
  struct Sinks {
    // Each hands a text (code page 1254) to the UI thread and waits until
    // it is handled there; texts of a replaced generation are dropped.
    std::function<void(std::uint64_t generation, std::string_view text)> station;
    std::function<void(std::uint64_t generation, std::string_view text)> title;
    std::function<void(std::uint64_t generation, std::string_view text)> kbpsLabel;
  };
  struct Source {
    std::uint64_t generation;
    bool isWma;
  };

  explicit TagRelay(Sinks sinks) : sinks_(std::move(sinks)) {}

  // UI thread: `channel` is now the shared channel, for connection `generation`.
  void adopt(HSTREAM channel, std::uint64_t generation, bool isWma);
  // Any thread: the connection a stream speaks for; none once the stream
  // is no longer the shared channel.
  std::optional<Source> sourceOf(DWORD channel) const;
  const Sinks& sinks() const { return sinks_; }

 private:
  mutable std::mutex mutex_;  // guards channel_ and source_; never held while a sink runs
  HSTREAM channel_ = 0;
  Source source_{0, false};
  const Sinks sinks_;
};

}  // namespace ornivox
