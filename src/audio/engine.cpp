#include "audio/engine.h"

#include <algorithm>
#include <cstdlib>

extern "C" {
#include <libavutil/log.h>
}

#include "audio/stream.h"

namespace ornivox::audio {

namespace {
}

Engine& Engine::instance() {
  // Never destroyed: detached callback threads may still reach it at exit.
  static Engine* engine = new Engine();
  return *engine;
}

int Engine::init(int device, DWORD freq) {
  std::lock_guard life(lifecycleMutex_);
  if (initialized()) return BASS_ERROR_ALREADY;
  if (device != -1 && device != 1) return BASS_ERROR_DEVICE;
  if (freq < 8000 || freq > 192000) return BASS_ERROR_FORMAT;
  // Damaged frames are normal on the radio; the engine reports what matters itself.
  av_log_set_level(std::getenv("ORNIVOX_FFMPEG_LOG") ? AV_LOG_VERBOSE : AV_LOG_QUIET);
  if (int error = output_.open(static_cast<int>(freq))) return error;
  reaper_.start();
  std::lock_guard lock(mutex_);
  initialized_ = true;
  return BASS_OK;
}

int Engine::free() {
  std::lock_guard life(lifecycleMutex_);
  std::vector<std::shared_ptr<Stream>> live, connecting;
  {
    std::lock_guard lock(mutex_);
    if (!initialized_) return BASS_ERROR_INIT;
    initialized_ = false;
    for (auto& [h, s] : streams_) live.push_back(std::move(s));
    streams_.clear();
    connecting.swap(connecting_);
  }
  for (auto& s : connecting) s->stop();  // their creators see the failure and clean up
  for (auto& s : live) {
    output_.remove(s.get());
    s->stop();
    reaper_.add(std::move(s));
  }
  output_.close();
  reaper_.finish();
  return BASS_OK;
}

bool Engine::initialized() const {
  std::lock_guard lock(mutex_);
  return initialized_;
}

StreamSettings Engine::streamSettings() const {
  StreamSettings s;
  s.agent = config.agent();
  s.timeoutMs = config.netTimeoutMs.load();
  s.netBufferMs = config.netBufferMs.load();
  s.prebufPercent = config.netPrebufPercent.load();
  s.playbackBufferMs = config.playbackBufferMs.load();
  s.followPlaylists = config.netPlaylist.load() != 0;
  s.outputRate = output_.rate() > 0 ? output_.rate() : 44100;
  return s;
}

std::shared_ptr<Stream> Engine::find(DWORD handle) const {
  std::lock_guard lock(mutex_);
  auto it = streams_.find(handle);
  return it == streams_.end() ? nullptr : it->second;
}

DWORD Engine::publish(const std::shared_ptr<Stream>& stream) {
  DWORD handle = nextHandle_.fetch_add(1);
  if (handle == 0) handle = nextHandle_.fetch_add(1);
  std::function<void(DWORD)> onEnded;
  if (stream->flags() & BASS_STREAM_AUTOFREE) onEnded = [this](DWORD h) { release(h); };
  // The sync thread exists before the handle does, so whoever frees the handle can join it.
  stream->start(handle, std::move(onEnded));
  {
    std::lock_guard lock(mutex_);
    if (initialized_) {
      streams_.emplace(handle, stream);
      return handle;
    }
  }
  stream->stop();
  return 0;
}

bool Engine::release(DWORD handle) {
  std::shared_ptr<Stream> stream;
  {
    std::lock_guard lock(mutex_);
    auto it = streams_.find(handle);
    if (it == streams_.end()) return false;
    stream = std::move(it->second);
    streams_.erase(it);
  }
  output_.remove(stream.get());
  stream->stop();
  reaper_.add(std::move(stream));
  return true;
}

bool Engine::addConnecting(const std::shared_ptr<Stream>& stream) {
  std::lock_guard lock(mutex_);
  if (!initialized_) return false;
  connecting_.push_back(stream);
  return true;
}

void Engine::removeConnecting(const std::shared_ptr<Stream>& stream) {
  std::lock_guard lock(mutex_);
  std::erase(connecting_, stream);
}

}  // namespace ornivox::audio
