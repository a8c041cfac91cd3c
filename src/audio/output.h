// The audio device (SDL2) and the mixer that feeds it. The device thread
// pulls the playing channels, applies the output volume and never blocks on
// anything but the short lock of the playing list.
//
// Threads: open() and close() come from BASS_Init and BASS_Free, halt() and
// resume() from BASS_Stop and BASS_Start, rate() from stream creation, and
// add() and remove() from any thread; the engine's C interface lets all of
// them be called from any thread at once. The device thread runs callback().
//
// Locks, in this order: deviceMutex_, then SDL's own device lock (taken
// inside the SDL calls), then playingMutex_. The device thread takes only
// the last two, so closing the device (which waits for a running callback)
// under deviceMutex_ cannot wait for a thread that waits for it.
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
  // The rate the device was last opened at; 0 before that.
  int rate() const;

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

  mutable std::mutex deviceMutex_;  // guards device_ and rate_
  std::uint32_t device_ = 0;        // SDL_AudioDeviceID; 0 while closed
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
