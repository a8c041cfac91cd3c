#include "audio/icy_splitter.h"

#include <algorithm>
#include <cstring>

namespace ornivox::audio {

IcySplitter::IcySplitter(std::size_t metaint, AudioSink audio, MetaSink meta)
    : metaint_(metaint), audio_(std::move(audio)), meta_(std::move(meta)), left_(metaint) {}

void IcySplitter::feed(const std::uint8_t* data, std::size_t size) {
  if (metaint_ == 0) {
    audioBytes_ += size;
    if (size) audio_(data, size);
    return;
  }
  while (size > 0) {
    switch (state_) {
      case State::Audio: {
        const std::size_t n = std::min(left_, size);
        audioBytes_ += n;
        audio_(data, n);
        data += n, size -= n, left_ -= n;
        if (left_ == 0) state_ = State::Length;
        break;
      }
      case State::Length:
        left_ = std::size_t{*data} * 16;
        ++data, --size;
        block_.clear();
        state_ = left_ ? State::Meta : State::Audio;
        if (!left_) left_ = metaint_;
        break;
      case State::Meta: {
        const std::size_t n = std::min(left_, size);
        block_.append(reinterpret_cast<const char*>(data), n);
        data += n, size -= n, left_ -= n;
        if (left_ == 0) {
          // The padding is not part of the text.
          block_.resize(std::strlen(block_.c_str()));
          if (!block_.empty()) meta_(std::move(block_), audioBytes_);
          block_.clear();
          state_ = State::Audio;
          left_ = metaint_;
        }
        break;
      }
    }
  }
}

}  // namespace ornivox::audio
