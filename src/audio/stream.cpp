#include "audio/stream.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>

#include "audio/header_lines.h"
#include "audio/net_playlist.h"
#include "text/bytes.h"

namespace ornivox::audio {

namespace {

constexpr std::size_t kSniffBytes = 64;
constexpr std::size_t kLargestPlaylist = 64 * 1024;
constexpr auto kPendingEventPoll = std::chrono::milliseconds(20);
constexpr auto kIdlePoll = std::chrono::milliseconds(200);
constexpr std::size_t kLevelWindowMs = 20;

bool isFfmpegOnlyScheme(const std::string& url) {
  return text::StartsWithIgnoringAsciiCase(url, "mms://") || text::StartsWithIgnoringAsciiCase(url, "mmsh://");
}

std::uint32_t absSample(std::int16_t s) { return static_cast<std::uint32_t>(std::abs(static_cast<int>(s))); }

}  // namespace

Stream::Stream(StreamSettings settings, DWORD flags)
    : settings_(std::move(settings)),
      flags_(flags),
      pcm_(static_cast<std::size_t>(settings_.outputRate) * std::max<std::uint32_t>(settings_.playbackBufferMs, 100) / 1000) {}

Stream::~Stream() {
  stop();
  join();
}

int Stream::open(const std::string& url, Clock::time_point deadline, std::vector<std::string>& playlist) {
  url_ = url;
  input_.agent = settings_.agent;
  input_.timeoutMs = settings_.timeoutMs;
  if (isFfmpegOnlyScheme(url)) {
    // FFmpeg speaks MMS over HTTP as "mmsh".
    input_.url = text::StartsWithIgnoringAsciiCase(url, "mms://") ? "mmsh://" + url.substr(6) : url;
    input_.formatHint = "asf";
  } else if (text::StartsWithIgnoringAsciiCase(url, "http://") || text::StartsWithIgnoringAsciiCase(url, "https://")) {
    HttpOptions options;
    options.url = url;
    options.agent = settings_.agent;
    options.timeoutMs = settings_.timeoutMs;
    options.bufferMs = settings_.netBufferMs;
    auto source = std::make_unique<HttpSource>(options, [this](std::string text, std::uint64_t offset) {
      onMetaBlock(std::move(text), offset);
    });
    {
      std::lock_guard lock(sourceMutex_);  // stop() may come from another thread meanwhile
      source_ = std::move(source);
      if (abort_.load()) source_->abort();
    }
    if (int error = source_->waitForAnswer(deadline)) return error;
    url_ = source_->effectiveUrl();
    const std::string type = source_->headers().contentType();
    const PlaylistHint hint = playlistHint(type, url_);
    if (settings_.followPlaylists && hint != PlaylistHint::No) {
      bool isList = hint == PlaylistHint::Yes;
      if (!isList) {
        source_->waitForFill(kSniffBytes, deadline);
        isList = looksLikePlaylistBody(source_->peek(kSniffBytes));
      }
      if (isList) {
        source_->waitForFill(kLargestPlaylist, deadline);
        playlist = playlistEntries(source_->peek(kLargestPlaylist));
        return playlist.empty() ? BASS_ERROR_FILEFORM : BASS_OK;
      }
    }
    input_.ring = &source_->ring();
    input_.formatHint = demuxerForContentType(type);
  } else {
    return BASS_ERROR_FILEOPEN;  // local files and other schemes are not stations
  }

  decodeThread_ = std::thread([this] { decodeLoop(); });
  std::unique_lock lock(readyMutex_);
  if (!readyChanged_.wait_until(lock, deadline, [&] { return readyKnown_ || abort_.load(); }))
    return BASS_ERROR_TIMEOUT;
  if (!readyKnown_) return BASS_ERROR_ENDED;
  return readyError_;
}

void Stream::start(DWORD handle, std::function<void(DWORD)> onEnded) {
  handle_.store(handle);
  onEnded_ = std::move(onEnded);
  syncThread_ = std::thread([this] { syncLoop(); });
}

void Stream::stop() {
  abort_.store(true);
  state_.store(State::Ended);  // leaves the mix at the device's next period
  {
    std::lock_guard lock(sourceMutex_);
    if (source_) source_->abort();
  }
  pcm_.close();
  {
    std::lock_guard lock(mutex_);
  }
  syncWake_.notify_all();
  {
    std::lock_guard lock(readyMutex_);
  }
  readyChanged_.notify_all();
}

void Stream::join() {
  if (decodeThread_.joinable()) decodeThread_.join();
  if (syncThread_.joinable()) syncThread_.join();
}

void Stream::decodeLoop() {
  DecoderEvents events;
  events.ready = [this](const DecodedFormat& format) {
    {
      std::lock_guard lock(mutex_);
      comments_ = format.comments;
      asfTags_ = format.asfTags;
    }
    std::lock_guard lock(readyMutex_);
    format_ = format;
    readyKnown_ = true;
    readyChanged_.notify_all();
  };
  events.packet = [this](std::int64_t position, std::uint64_t frame) { onPacket(position, frame); };
  events.newComments = [this](std::vector<std::string> comments, std::uint64_t frame) {
    addDecodedEvent(Event::Comments, frame, {}, std::move(comments));
  };
  events.scriptCommand = [this](std::string text, std::uint64_t frame) {
    addDecodedEvent(Event::WmaMeta, frame, std::move(text), {});
  };
  events.newAsfHeader = [this](std::vector<std::string> tags, std::uint64_t frame) {
    addDecodedEvent(Event::WmaHeader, frame, {}, std::move(tags));
  };
  const int result = runDecoder(input_, settings_.outputRate, pcm_, abort_, events, bytesDecoded_);
  decoderDone_.store(true);
  {
    std::lock_guard lock(readyMutex_);
    if (!readyKnown_) {
      readyKnown_ = true;
      readyError_ = result ? result : BASS_ERROR_FILEFORM;
    }
  }
  readyChanged_.notify_all();
  syncWake_.notify_all();
}

void Stream::onMetaBlock(std::string text, std::uint64_t audioOffset) {
  std::lock_guard lock(mutex_);
  if (metaFirst_.empty()) metaFirst_ = text;
  Event e;
  e.kind = Event::Meta;
  e.audioOffset = audioOffset;
  e.text = std::move(text);
  events_.push_back(std::move(e));
}

void Stream::addDecodedEvent(Event::Kind kind, std::uint64_t frame, std::string text, std::vector<std::string> list) {
  std::lock_guard lock(mutex_);
  if (kind == Event::WmaMeta && wmaMetaFirst_.empty()) wmaMetaFirst_ = text;
  Event e;
  e.kind = kind;
  e.frame = frame;
  e.text = std::move(text);
  e.comments = std::move(list);
  events_.push_back(std::move(e));
  updateNextEvent();
}

void Stream::onPacket(std::int64_t position, std::uint64_t frame) {
  const std::uint64_t at = position >= 0 ? static_cast<std::uint64_t>(position) : bytesDecoded_.load();
  std::lock_guard lock(mutex_);
  bool changed = false;
  for (auto& e : events_) {
    if (e.kind == Event::Meta && !e.frame && e.audioOffset <= at) {
      e.frame = frame;
      changed = true;
    }
  }
  if (changed) updateNextEvent();
}

void Stream::updateNextEvent() {
  std::uint64_t next = UINT64_MAX;
  for (const auto& e : events_)
    if (e.frame) next = std::min(next, *e.frame);
  nextEventFrame_.store(next);
}

bool Stream::play() {
  State expected = State::Created;
  // Until enough is buffered the stream waits as after a stall, rather than
  // play a fragment and break off.
  if (state_.compare_exchange_strong(expected, resumeAllowed() ? State::Playing : State::Stalled)) return true;
  return expected == State::Playing || expected == State::Stalled;
}

DWORD Stream::activity(bool outputHalted) const {
  switch (state_.load()) {
    case State::Playing: return outputHalted ? BASS_ACTIVE_PAUSED : BASS_ACTIVE_PLAYING;
    case State::Stalled: return outputHalted ? BASS_ACTIVE_PAUSED : BASS_ACTIVE_STALLED;
    default: return BASS_ACTIVE_STOPPED;
  }
}

bool Stream::wantsOutput() const {
  const State s = state_.load();
  return s == State::Playing || s == State::Stalled;
}

bool Stream::resumeAllowed() const {
  if (decoderDone_.load()) return true;
  if (!pcm_.full()) return false;
  if (!input_.ring) return true;
  const ByteRing& ring = *input_.ring;
  return ring.finished() || ring.fill() * 100 >= ring.capacity() * std::min<std::uint32_t>(settings_.prebufPercent, 100);
}

void Stream::mixInto(std::int32_t* sum, std::int16_t* scratch, std::size_t frames) {
  State s = state_.load();
  if (s == State::Stalled) {
    if (!resumeAllowed()) {
      recordLevel(0, 0, frames);
      return;
    }
    state_.compare_exchange_strong(s, State::Playing);
  }
  if (state_.load() != State::Playing) return;
  const std::size_t n = pcm_.pop(scratch, frames);
  std::uint32_t left = 0, right = 0;
  for (std::size_t i = 0; i < n; ++i) {
    left = std::max(left, absSample(scratch[2 * i]));
    right = std::max(right, absSample(scratch[2 * i + 1]));
    sum[2 * i] += scratch[2 * i];
    sum[2 * i + 1] += scratch[2 * i + 1];
  }
  recordLevel(left, right, frames);
  if (n < frames) {
    State playing = State::Playing;
    const bool drained = decoderDone_.load() && pcm_.size() == 0;
    state_.compare_exchange_strong(playing, drained ? State::Ended : State::Stalled);
    if (drained) syncWake_.notify_one();
  }
  if (pcm_.popped() > nextEventFrame_.load(std::memory_order_relaxed)) syncWake_.notify_one();
}

void Stream::recordLevel(std::uint32_t left, std::uint32_t right, std::size_t frames) {
  const std::size_t slot = levelNext_.load(std::memory_order_relaxed);
  levels_[slot % kLevelSlots].store((std::uint64_t{frames} << 32) | (std::uint64_t{right} << 16) | left,
                                    std::memory_order_relaxed);
  levelNext_.store(slot + 1, std::memory_order_release);
}

DWORD Stream::level() const {
  if (state_.load() != State::Playing) return 0;
  const std::size_t window = static_cast<std::size_t>(settings_.outputRate) * kLevelWindowMs / 1000;
  const std::size_t newest = levelNext_.load(std::memory_order_acquire);
  std::size_t covered = 0;
  std::uint32_t left = 0, right = 0;
  for (std::size_t i = 0; i < kLevelSlots && i < newest && covered < window; ++i) {
    const std::uint64_t v = levels_[(newest - 1 - i) % kLevelSlots].load(std::memory_order_relaxed);
    left = std::max<std::uint32_t>(left, v & 0xFFFF);
    right = std::max<std::uint32_t>(right, (v >> 16) & 0xFFFF);
    covered += static_cast<std::size_t>(v >> 32);
  }
  return (right << 16) | left;
}

QWORD Stream::filePosition(DWORD mode) const {
  const ByteRing* ring = input_.ring;
  switch (mode) {
    case BASS_FILEPOS_CURRENT: return ring ? ring->consumed() : bytesDecoded_.load();
    case BASS_FILEPOS_DOWNLOAD: return ring ? ring->written() : bytesDecoded_.load();
    case BASS_FILEPOS_END: return ring ? source_->endPosition() : 0;
    case BASS_FILEPOS_CONNECTED: return ring && !ring->finished() ? 1 : 0;
    case BASS_FILEPOS_WMA_BUFFER: return ring ? ring->fill() * 100 / std::max<std::size_t>(ring->capacity(), 1) : 100;
    default: return BASS_POSITION_FAIL;
  }
}

std::optional<std::string> Stream::tags(DWORD type) const {
  switch (type) {
    case BASS_TAG_HTTP:
    case BASS_TAG_ICY:
      if (!source_ || source_->headers().isIcy() != (type == BASS_TAG_ICY)) return std::nullopt;
      return joinTagList(source_->headers().lines);
    case BASS_TAG_META: {
      std::lock_guard lock(mutex_);
      const std::string& text = metaPlayed_.empty() ? metaFirst_ : metaPlayed_;
      if (text.empty()) return std::nullopt;
      return text + '\0';
    }
    case BASS_TAG_OGG: {
      std::lock_guard lock(mutex_);
      if (format_.ctype != BASS_CTYPE_STREAM_OGG || comments_.empty()) return std::nullopt;
      return joinTagList(comments_);
    }
    case BASS_TAG_WMA: {
      if (!format_.isAsf) return std::nullopt;
      std::lock_guard lock(mutex_);
      return joinTagList(asfTags_);
    }
    case BASS_TAG_WMA_META: {
      std::lock_guard lock(mutex_);
      const std::string& text = wmaMetaPlayed_.empty() ? wmaMetaFirst_ : wmaMetaPlayed_;
      if (text.empty()) return std::nullopt;
      return text + '\0';
    }
    default: return std::nullopt;
  }
}

HSYNC Stream::addSync(HSYNC handle, DWORD type, SYNCPROC* proc, void* user) {
  std::lock_guard lock(mutex_);
  syncs_.push_back({handle, type, proc, user});
  return handle;
}

bool Stream::removeSync(HSYNC handle) {
  std::lock_guard lock(mutex_);
  return std::erase_if(syncs_, [&](const SyncEntry& s) { return s.handle == handle; }) > 0;
}

void Stream::syncLoop() {
  // The sync each kind of event fires, in the order of Event::Kind.
  static constexpr DWORD kSyncOfEvent[] = {BASS_SYNC_META, BASS_SYNC_OGG_CHANGE, BASS_SYNC_WMA_META,
                                           BASS_SYNC_WMA_CHANGE};
  static_assert(std::size(kSyncOfEvent) == Event::WmaHeader + 1, "one sync for each kind of event");
  while (!abort_.load()) {
    std::vector<SyncEntry> calls;
    bool endedNow = false;
    {
      std::unique_lock lock(mutex_);
      auto due = [&] {
        return abort_.load() || (state_.load() == State::Ended && !ended_) ||
               pcm_.popped() > nextEventFrame_.load();
      };
      // The device thread wakes us without the lock; the time-outs catch a wake-up that slipped past.
      syncWake_.wait_for(lock, nextEventFrame_.load() == UINT64_MAX ? kIdlePoll : kPendingEventPoll, due);
      if (abort_.load()) break;
      const std::uint64_t played = pcm_.popped();
      for (auto it = events_.begin(); it != events_.end();) {
        // Heard once playback has gone past it: one at the very start waits
        // for the first sound, by when whoever made the stream has set its
        // syncs.
        if (!it->frame || *it->frame >= played) {
          ++it;
          continue;
        }
        switch (it->kind) {
          case Event::Meta: metaPlayed_ = it->text; break;
          case Event::Comments: comments_ = it->comments; break;
          case Event::WmaMeta: wmaMetaPlayed_ = it->text; break;
          case Event::WmaHeader: asfTags_ = it->comments; break;
        }
        const DWORD syncType = kSyncOfEvent[it->kind];
        for (const auto& s : syncs_)
          if (s.type == syncType) calls.push_back(s);
        it = events_.erase(it);
      }
      updateNextEvent();
      if (state_.load() == State::Ended && !ended_) ended_ = endedNow = true;
    }
    for (const auto& s : calls) {
      if (abort_.load()) break;
      s.proc(s.handle, handle_.load(), 0, s.user);
    }
    if (endedNow) {
      if (onEnded_) onEnded_(handle_.load());
      break;
    }
  }
}

}  // namespace ornivox::audio
