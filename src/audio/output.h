// The audio device (SDL2) and the mixer that feeds it. The device thread
// pulls the playing channels, applies the output volume and never blocks on
// anything but the short lock of the playing list.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace ornivox::audio {

class Stream;

class Output {
 public:
  Output() = default;
  ~Output();
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  // Opens the default device at `rate` and starts it. Returns BASS_OK or an error code.
  int open(int rate);
  void close();
  int rate() const { return rate_; }

  void halt();
  void resume();
  bool halted() const { return halted_.load(); }

  void setVolume(float v) { volume_.store(v); }
  float volume() const { return volume_.load(); }

  void add(std::shared_ptr<Stream> stream);
  void remove(const Stream* stream);

 private:
  static void callback(void* self, std::uint8_t* data, int bytes);
  void mix(std::int16_t* out, int frames);

  std::uint32_t device_ = 0;  // SDL_AudioDeviceID
  int rate_ = 0;
  std::atomic<float> volume_{1.0f};
  std::atomic<bool> halted_{false};

  std::mutex playingMutex_;  // guards playing_; held by the device thread while it mixes
  std::vector<std::shared_ptr<Stream>> playing_;
  // Device thread only.
  std::vector<std::int32_t> sum_;
  std::vector<std::int16_t> scratch_;
};

}  // namespace ornivox::audio
