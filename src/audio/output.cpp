#include "audio/output.h"

#include <SDL2/SDL.h>

#include <algorithm>

#include "audio/bass.h"
#include "audio/stream.h"

namespace ornivox::audio {

namespace {
// About 46 ms at 44100 Hz. Shorter periods wake the sound server far more
// often (512 frames tripled its work, 1024 still cost the windowed player
// more CPU than VLC); longer ones delay the first sound. bench/ measures
// both.
constexpr int kDeviceFrames = 2048;
}

Output::~Output() { close(); }

int Output::open(int rate) {
  std::lock_guard device(deviceMutex_);
  if (device_ != 0) return BASS_ERROR_ALREADY;
  // SDL would otherwise turn SIGINT and SIGTERM into quit events nobody
  // reads, and the program could no longer be ended by a signal.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return BASS_ERROR_DRIVER;
  SDL_AudioSpec want{};
  want.freq = rate;
  want.format = AUDIO_S16SYS;
  want.channels = 2;
  want.samples = kDeviceFrames;
  want.callback = &Output::callback;
  want.userdata = this;
  SDL_AudioSpec have{};
  // No changes allowed: SDL converts to whatever the hardware wants, so the mixer's format is fixed.
  device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
  if (device_ == 0) {
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return BASS_ERROR_DRIVER;
  }
  rate_ = rate;
  halted_.store(false);
  SDL_PauseAudioDevice(device_, 0);
  return BASS_OK;
}

void Output::close() {
  {
    std::lock_guard device(deviceMutex_);
    if (device_ == 0) return;
    SDL_CloseAudioDevice(device_);  // waits for a running callback to return
    device_ = 0;
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
  }
  // Released outside every lock: the last reference may end a stream.
  std::vector<std::shared_ptr<Stream>> gone;
  {
    std::lock_guard lock(playingMutex_);
    gone.swap(playing_);
  }
}

int Output::rate() const {
  std::lock_guard device(deviceMutex_);
  return rate_;
}

void Output::halt() {
  std::lock_guard device(deviceMutex_);
  halted_.store(true);
  if (device_) SDL_PauseAudioDevice(device_, 1);
}

void Output::resume() {
  std::lock_guard device(deviceMutex_);
  halted_.store(false);
  if (device_) SDL_PauseAudioDevice(device_, 0);
}

void Output::add(std::shared_ptr<Stream> stream) {
  std::lock_guard lock(playingMutex_);
  if (std::find(playing_.begin(), playing_.end(), stream) == playing_.end()) playing_.push_back(std::move(stream));
}

void Output::remove(const Stream* stream) {
  std::shared_ptr<Stream> gone;  // released outside the lock
  std::lock_guard lock(playingMutex_);
  auto it = std::find_if(playing_.begin(), playing_.end(), [&](const auto& s) { return s.get() == stream; });
  if (it != playing_.end()) {
    gone = std::move(*it);
    playing_.erase(it);
  }
}

void Output::callback(void* self, std::uint8_t* data, int bytes) {
  static_cast<Output*>(self)->mix(reinterpret_cast<std::int16_t*>(data), bytes / 4);
}

void Output::mix(std::int16_t* out, int frames) {
  const auto samples = static_cast<std::size_t>(frames) * 2;
  sum_.assign(samples, 0);
  scratch_.resize(samples);
  {
    std::lock_guard lock(playingMutex_);
    for (auto& s : playing_) s->mixInto(sum_.data(), scratch_.data(), static_cast<std::size_t>(frames));
    // Ended streams leave the mix here; their own thread frees them. The
    // last reference is never dropped on this thread (the engine keeps one).
    std::erase_if(playing_, [](const auto& s) { return !s->wantsOutput(); });
  }
  const float volume = volume_.load(std::memory_order_relaxed);
  for (std::size_t i = 0; i < samples; ++i) {
    const float v = static_cast<float>(sum_[i]) * volume;
    out[i] = static_cast<std::int16_t>(std::clamp(v, -32768.0f, 32767.0f));
  }
}

}  // namespace ornivox::audio
