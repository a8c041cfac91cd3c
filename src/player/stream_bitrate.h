// The codec and bit-rate label's inputs, read from a channel
// (metadata/bitrate_rules.h has the rules).
//
// Threads: any thread that may use the channel (the connection thread).
#pragma once

#include <cstdint>
#include <string>

#include "audio/bass.h"

namespace ornivox {

std::string CodecName(HSTREAM channel);
std::int32_t StreamBitrate(HSTREAM channel);

}  // namespace ornivox
