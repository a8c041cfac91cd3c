// Separates ICY in-stream metadata from the audio bytes of an answer with
// "icy-metaint: N": after every N audio bytes comes one length byte L and
// L*16 bytes of metadata text, padded with NULs (L = 0: no change).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace ornivox::audio {

class IcySplitter {
 public:
  using AudioSink = std::function<void(const std::uint8_t* data, std::size_t size)>;
  // `audioOffset`: audio bytes that came before the block, where it takes effect.
  using MetaSink = std::function<void(std::string text, std::uint64_t audioOffset)>;

  // metaint 0: the whole body is audio.
  IcySplitter(std::size_t metaint, AudioSink audio, MetaSink meta);

  void feed(const std::uint8_t* data, std::size_t size);
  std::uint64_t audioBytes() const { return audioBytes_; }

 private:
  enum class State { Audio, Length, Meta };

  std::size_t metaint_;
  AudioSink audio_;
  MetaSink meta_;
  State state_ = State::Audio;
  std::size_t left_;  // bytes still due in the current state
  std::string block_;
  std::uint64_t audioBytes_ = 0;
};

}  // namespace ornivox::audio
