#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ornivox::testsupport {

// ffmpeg's decoding of a media file as interleaved s16, resampled to `rate`
// and `channels`: the reference a test compares the player's output with.
// At most `seconds` of audio. Throws std::runtime_error when ffmpeg fails.
std::vector<int16_t> referenceDecode(const std::string& path, double seconds, int rate = 44100,
                                     int channels = 2);

}  // namespace ornivox::testsupport
