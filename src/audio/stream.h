// One network stream: its download (HttpSource), its decode thread, its
// decoded-audio queue, its tags and syncs, and its sync thread, which runs
// the sync callbacks and the auto-free at the end.
//
// Threads: open() on the creating thread; mixInto()/wantsOutput() on the
// device thread; the rest from any thread.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "audio/bass.h"
#include "audio/decoder.h"
#include "audio/http_source.h"
#include "audio/pcm_queue.h"

namespace ornivox::audio {

struct StreamSettings {
  std::string agent;
  std::uint32_t timeoutMs = 5000;
  std::uint32_t netBufferMs = 5000;
  std::uint32_t prebufPercent = 75;
  std::uint32_t playbackBufferMs = 500;
  bool followPlaylists = false;
  int outputRate = 44100;
};

struct SyncEntry {
  HSYNC handle;
  DWORD type;
  SYNCPROC* proc;
  void* user;
};

class Stream : public std::enable_shared_from_this<Stream> {
 public:
  enum class State { Created, Playing, Stalled, Ended };
  using Clock = std::chrono::steady_clock;

  Stream(StreamSettings settings, DWORD flags);
  ~Stream();

  // Creating thread: connects and waits for the format. On a playlist answer
  // (when followed) returns BASS_OK with the entries in `playlist` and no audio.
  int open(const std::string& url, Clock::time_point deadline, std::vector<std::string>& playlist);
  // Called once the stream has its handle; `onEnded` runs on the sync thread.
  void start(DWORD handle, std::function<void(DWORD)> onEnded);
  // Any thread: stops every thread of the stream without waiting for them.
  void stop();
  // Any thread but the stream's own: waits for its threads.
  void join();

  DWORD handle() const { return handle_.load(); }
  DWORD flags() const { return flags_; }
  const DecodedFormat& format() const { return format_; }  // after open() succeeded
  const std::string& url() const { return url_; }

  // Playback state, as the device thread and the API see it.
  bool play();
  DWORD activity(bool outputHalted) const;
  DWORD level() const;

  QWORD filePosition(DWORD mode) const;
  std::optional<std::string> tags(DWORD type) const;
  HSYNC addSync(HSYNC handle, DWORD type, SYNCPROC* proc, void* user);
  bool removeSync(HSYNC handle);

  // Device thread.
  void mixInto(std::int32_t* sum, std::int16_t* scratch, std::size_t frames);
  bool wantsOutput() const;

 private:
  struct Event {
    enum Kind { Meta, Comments, WmaMeta, WmaHeader } kind = Meta;
    std::uint64_t audioOffset = 0;  // Meta: where the block sits in the audio bytes
    std::optional<std::uint64_t> frame;  // once the decoder got there
    std::string text;                    // Meta, WmaMeta
    std::vector<std::string> comments;   // Comments; WmaHeader: the header's tags
  };

  void decodeLoop();
  void syncLoop();
  void onMetaBlock(std::string text, std::uint64_t audioOffset);
  void onPacket(std::int64_t position, std::uint64_t frame);
  // Decode thread: an event whose frame the decoder already knows.
  void addDecodedEvent(Event::Kind kind, std::uint64_t frame, std::string text, std::vector<std::string> list);
  void updateNextEvent();  // with mutex_ held
  bool resumeAllowed() const;
  void recordLevel(std::uint32_t left, std::uint32_t right, std::size_t frames);

  const StreamSettings settings_;
  const DWORD flags_;
  std::atomic<DWORD> handle_{0};
  std::function<void(DWORD)> onEnded_;
  std::string url_;  // the address finally opened

  // Set once by open(); sourceMutex_ orders that against stop() from other
  // threads. Everyone else reads it only after the stream was published.
  std::mutex sourceMutex_;
  std::unique_ptr<HttpSource> source_;  // null for protocols FFmpeg opens itself
  DecoderInput input_;
  PcmQueue pcm_;
  std::atomic<std::uint64_t> bytesDecoded_{0};  // input bytes the decoder took
  std::atomic<bool> abort_{false};
  std::atomic<bool> decoderDone_{false};
  std::atomic<State> state_{State::Created};

  // The decode thread's first result, for open() to wait on.
  std::mutex readyMutex_;
  std::condition_variable readyChanged_;
  bool readyKnown_ = false;
  int readyError_ = 0;
  DecodedFormat format_;  // written before readyKnown_, read-only afterwards

  // mutex_ guards the tags, the pending events and the syncs.
  mutable std::mutex mutex_;
  std::vector<Event> events_;
  std::string metaFirst_;   // the first block received
  std::string metaPlayed_;  // the last block that reached playback
  std::vector<std::string> comments_;  // the comments of the logical stream being heard
  std::vector<std::string> asfTags_;   // the tags of the ASF header being heard
  std::string wmaMetaFirst_;   // the first script command received
  std::string wmaMetaPlayed_;  // the last script command that reached playback
  std::vector<SyncEntry> syncs_;
  bool ended_ = false;

  // Earliest frame of a pending event, for the device thread to compare without a lock.
  std::atomic<std::uint64_t> nextEventFrame_{UINT64_MAX};
  std::condition_variable syncWake_;

  // Levels: per device period, packed as (frames << 32 | right << 16 | left).
  static constexpr std::size_t kLevelSlots = 8;
  std::array<std::atomic<std::uint64_t>, kLevelSlots> levels_{};
  std::atomic<std::size_t> levelNext_{0};

  std::thread decodeThread_;
  std::thread syncThread_;
};

}  // namespace ornivox::audio
