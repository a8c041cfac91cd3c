#include "player/tag_relay.h"

namespace ornivox {

void TagRelay::adopt(HSTREAM channel, std::uint64_t generation, bool isWma) {
  std::lock_guard lock(mutex_);
  channel_ = channel;
  source_ = Source{generation, isWma};
}

std::optional<TagRelay::Source> TagRelay::sourceOf(DWORD channel) const {
  std::lock_guard lock(mutex_);
  if (channel == 0 || channel != channel_) return std::nullopt;
  return source_;
}

}  // namespace ornivox
