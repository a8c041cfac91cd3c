// The stream's own tags on the window: the station name from its headers,
// the codec and bit-rate label, and the song titles as they change.
//
// Threads: ReadHeaderTags runs on a connection thread, once per connection.
// ReadStreamTitle and OnWmaChange also run as the stream's sync callbacks on
// the engine's sync thread. None of them touches the window: every text goes
// through the relay's sinks, which hand it to the UI thread and wait.
#pragma once

#include <cstdint>

#include "audio/bass.h"
#include "player/tag_relay.h"

namespace ornivox {

// Sends the header's station names and the label, registers the title
// syncs (their user value is `relay`) and shows a title that has already
// arrived.
void ReadHeaderTags(TagRelay& relay, HSTREAM channel, std::uint64_t generation, bool isWma);

// Sync callbacks; `user` is the TagRelay.
void ReadStreamTitle(HSYNC handle, DWORD channel, DWORD data, void* user);
void OnWmaChange(HSYNC handle, DWORD channel, DWORD data, void* user);

}  // namespace ornivox
