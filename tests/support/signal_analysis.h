#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ornivox::testsupport {

// Measurements on interleaved signed 16-bit PCM, so tests can check what the
// player really produced: which tone is on which side, how loud, clipped or not.
// `channels` is the interleave (2 for the player's output).

// Amplitude of a sine at `freqHz` on one channel (Goertzel over a Hann
// window): a full-scale sine gives ~1.0, one at -6 dBFS ~0.5, and another
// tone a few hundred Hz away ~0. Use at least ~0.1 s of audio.
double toneMagnitude(const int16_t* pcm, size_t frames, int channel, double freqHz, int rate,
                     int channels = 2);

// Largest absolute sample (0..32768).
int peak(const int16_t* pcm, size_t frames, int channel, int channels = 2);

// Root mean square relative to full scale: a full-scale sine gives ~0.707.
double rms(const int16_t* pcm, size_t frames, int channel, int channels = 2);

// A raw little-endian s16 file (e.g. from ffmpeg -f s16le). Throws
// std::runtime_error when it cannot be read.
std::vector<int16_t> readRawS16(const std::string& path);

}  // namespace ornivox::testsupport
