// The process-wide engine: configuration, the output device, the table of
// live streams and the streams still connecting.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "audio/bass.h"
#include "audio/config.h"
#include "audio/output.h"
#include "audio/reaper.h"

namespace ornivox::audio {

class Stream;
struct StreamSettings;

class Engine {
 public:
  static Engine& instance();

  Config config;

  int init(int device, DWORD freq);  // BASS_OK or an error code
  int free();
  bool initialized() const;
  Output& output() { return output_; }
  StreamSettings streamSettings() const;

  std::shared_ptr<Stream> find(DWORD handle) const;
  // Gives the stream its handle and starts its sync thread; 0 once the engine was freed.
  DWORD publish(const std::shared_ptr<Stream>& stream);
  // Takes the stream out of use and hands its threads to the reaper.
  bool release(DWORD handle);

  // A stream being created, so that free() can cut its connection short.
  bool addConnecting(const std::shared_ptr<Stream>& stream);
  void removeConnecting(const std::shared_ptr<Stream>& stream);

  HSYNC nextSyncHandle() { return nextSync_.fetch_add(1); }

 private:
  Engine() = default;

  std::mutex lifecycleMutex_;  // serialises init() and free()
  mutable std::mutex mutex_;   // guards initialized_, streams_, connecting_
  bool initialized_ = false;
  std::unordered_map<DWORD, std::shared_ptr<Stream>> streams_;
  std::vector<std::shared_ptr<Stream>> connecting_;

  std::atomic<DWORD> nextHandle_{1};
  std::atomic<HSYNC> nextSync_{1};
  Output output_;
  Reaper reaper_;
};

}  // namespace ornivox::audio
