// Demuxes and decodes one stream with FFmpeg and hands 16-bit stereo frames
// at the device rate to a PcmQueue. Reads either the network buffer of an
// HttpSource or, for protocols only FFmpeg speaks (mms, mmsh), the address.
//
// Threads: run() is called on the stream's decode thread and returns when
// the input ends or the abort flag is raised; the events run on that thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "audio/byte_ring.h"
#include "audio/pcm_queue.h"

namespace ornivox::audio {

struct DecodedFormat {
  int rate = 0;      // the stream's own sample rate
  int channels = 0;  // the stream's own channel count
  std::uint32_t ctype = 0;
  bool isAsf = false;
  std::vector<std::string> comments;  // Vorbis comments, "NAME=value"
  std::vector<std::string> asfTags;   // the first ASF header's tags, "name=value"
};

struct DecoderInput {
  ByteRing* ring = nullptr;  // either a network buffer ...
  std::string url;           // ... or an address FFmpeg opens itself
  std::string formatHint;    // FFmpeg demuxer name; empty: probe
  std::string agent;
  std::uint32_t timeoutMs = 5000;
};

struct DecoderEvents {
  // The first audio was decoded; the format is known.
  std::function<void(const DecodedFormat&)> ready;
  // A packet that starts at byte `position` of the input is about to add
  // frames after `frame` frames already queued (-1: position unknown).
  std::function<void(std::int64_t position, std::uint64_t frame)> packet;
  // A new logical stream (chained Ogg) with these comments starts at `frame`.
  std::function<void(std::vector<std::string> comments, std::uint64_t frame)> newComments;
  // An ASF script command, "type=parameter" in UTF-8, takes effect at `frame`.
  std::function<void(std::string text, std::uint64_t frame)> scriptCommand;
  // A fresh ASF header (the source started over) with these tags takes effect at `frame`.
  std::function<void(std::vector<std::string> tags, std::uint64_t frame)> newAsfHeader;
};

// Blocks until the input ends. Returns BASS_OK after a clean end, or the
// error code that stopped it (before `ready`: why no audio could be decoded).
int runDecoder(const DecoderInput& input, int outputRate, PcmQueue& out, const std::atomic<bool>& abort,
               const DecoderEvents& events, std::atomic<std::uint64_t>& bytesRead);

// FFmpeg's demuxer for a Content-Type, or empty when only probing can tell.
std::string demuxerForContentType(const std::string& contentType);

}  // namespace ornivox::audio
