// The stream's own tags on the window: the station name from its headers,
// the codec and bit-rate label, and the song titles as they change.
//
// Threads: ReadHeaderTags runs on a connection thread, once per connection.
// ReadStreamTitle and OnWmaChange also run as the stream's sync callbacks on
// the engine's sync thread. None of them touches the window: every text goes
// through the relay's sinks, which hand it to the UI thread and wait.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string_view>

#include "bass.h"

namespace ornivox {

// Where a connection's tag texts go. Owned by the player and outliving
// every stream, so the engine's callbacks can carry its address as their
// user value and learn from it which connection a stream belongs to.
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
  mutable std::mutex mutex_;  // guards channel_ and source_
  HSTREAM channel_ = 0;
  Source source_{0, false};
  const Sinks sinks_;
};

// Sends the header's station names and the label, registers the title
// syncs (their user value is `relay`) and shows a title that has already
// arrived.
void ReadHeaderTags(TagRelay& relay, HSTREAM channel, std::uint64_t generation, bool isWma);

// Sync callbacks; `user` is the TagRelay.
void ReadStreamTitle(HSYNC handle, DWORD channel, DWORD data, void* user);
void OnWmaChange(HSYNC handle, DWORD channel, DWORD data, void* user);

}  // namespace ornivox
