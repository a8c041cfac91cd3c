// The C entry points of bass.h: argument checks, handle look-up and error
// codes; the work is done by Engine and Stream.
#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "audio/bass.h"
#include "audio/engine.h"
#include "audio/last_error.h"
#include "audio/stream.h"
#include "text/bytes.h"

using namespace ornivox::audio;

namespace {

constexpr int kMaxPlaylistDepth = 3;
constexpr std::size_t kMaxPlaylistEntries = 8;

// Texts handed to the caller live in the calling thread, one per kind, so a
// stream freed meanwhile on another thread cannot pull them away.
const char* keepForCaller(DWORD kind, std::string text) {
  thread_local std::map<DWORD, std::string> kept;
  std::string& slot = kept[kind];
  slot = std::move(text);
  return slot.data();
}

std::shared_ptr<Stream> findOrFail(DWORD handle) {
  auto stream = Engine::instance().find(handle);
  if (!stream) setLastError(BASS_ERROR_HANDLE);
  return stream;
}

BOOL ok() {
  setLastError(BASS_OK);
  return TRUE;
}

struct Opened {
  std::shared_ptr<Stream> stream;
  int error = BASS_OK;
};

// Opens `url`; a playlist answer is followed to its first entry that opens.
// One deadline bounds the whole open, nested playlists and their entries
// included: the network time-out is the longest a create may block.
Opened openUrl(const std::string& url, DWORD flags, int depth, Stream::Clock::time_point deadline) {
  if (Stream::Clock::now() >= deadline) return {nullptr, BASS_ERROR_TIMEOUT};
  Engine& engine = Engine::instance();
  auto stream = std::make_shared<Stream>(engine.streamSettings(), flags);
  if (!engine.addConnecting(stream)) return {nullptr, BASS_ERROR_INIT};
  std::vector<std::string> playlist;
  const int error = stream->open(url, deadline, playlist);
  engine.removeConnecting(stream);
  if (error || !playlist.empty()) stream->stop();
  if (error) return {nullptr, engine.initialized() ? error : BASS_ERROR_INIT};
  if (playlist.empty()) return {std::move(stream), BASS_OK};
  stream.reset();
  if (depth >= kMaxPlaylistDepth) return {nullptr, BASS_ERROR_FILEFORM};
  Opened last{nullptr, BASS_ERROR_FILEOPEN};
  for (std::size_t i = 0; i < playlist.size() && i < kMaxPlaylistEntries; ++i) {
    last = openUrl(playlist[i], flags, depth + 1, deadline);
    if (last.stream || last.error == BASS_ERROR_INIT || last.error == BASS_ERROR_TIMEOUT) break;
  }
  return last;
}

bool knownPlugin(std::string name) {
  const auto slash = name.find_last_of("/\\");
  if (slash != std::string::npos) name = name.substr(slash + 1);
  name = ornivox::text::AsciiLower(name);
  for (const char* known : {"basswma", "bass_aac"}) {
    for (const char* form : {"", ".dll", ".so"}) {
      if (name == std::string(known) + form || name == "lib" + std::string(known) + form) return true;
    }
  }
  return false;
}

}  // namespace

extern "C" {

DWORD BASS_GetVersion() { return BASSVERSION << 16; }

BOOL BASS_Init(int device, DWORD freq, DWORD, void*, const void*) {
  if (int error = Engine::instance().init(device, freq)) return fail(error, FALSE);
  return ok();
}

BOOL BASS_Free() {
  if (int error = Engine::instance().free()) return fail(error, FALSE);
  return ok();
}

int BASS_ErrorGetCode() { return lastError(); }

HPLUGIN BASS_PluginLoad(const char* file, DWORD) {
  if (!file || !knownPlugin(file)) return fail(BASS_ERROR_FILEOPEN, HPLUGIN{0});
  setLastError(BASS_OK);
  return std::string_view(file).find("aac") != std::string_view::npos ? 2 : 1;
}

BOOL BASS_SetConfig(DWORD option, DWORD value) {
  Config& c = Engine::instance().config;
  switch (option) {
    case BASS_CONFIG_BUFFER: c.playbackBufferMs = std::clamp<DWORD>(value, 10, 5000); break;
    case BASS_CONFIG_NET_TIMEOUT: c.netTimeoutMs = std::max<DWORD>(value, 1); break;
    case BASS_CONFIG_NET_BUFFER: c.netBufferMs = std::clamp<DWORD>(value, 100, 60000); break;
    case BASS_CONFIG_NET_PREBUF: c.netPrebufPercent = std::min<DWORD>(value, 100); break;
    case BASS_CONFIG_NET_PLAYLIST: c.netPlaylist = value; break;
    case BASS_CONFIG_UPDATETHREADS: c.updateThreads = value; break;
    default: return fail(BASS_ERROR_ILLTYPE, FALSE);
  }
  return ok();
}

DWORD BASS_GetConfig(DWORD option) {
  Config& c = Engine::instance().config;
  setLastError(BASS_OK);
  switch (option) {
    case BASS_CONFIG_BUFFER: return c.playbackBufferMs;
    case BASS_CONFIG_NET_TIMEOUT: return c.netTimeoutMs;
    case BASS_CONFIG_NET_BUFFER: return c.netBufferMs;
    case BASS_CONFIG_NET_PREBUF: return c.netPrebufPercent;
    case BASS_CONFIG_NET_PLAYLIST: return c.netPlaylist;
    case BASS_CONFIG_UPDATETHREADS: return c.updateThreads;
    default: return fail(BASS_ERROR_ILLTYPE, ~DWORD{0});
  }
}

BOOL BASS_SetConfigPtr(DWORD option, const void* value) {
  if (option != BASS_CONFIG_NET_AGENT) return fail(BASS_ERROR_ILLTYPE, FALSE);
  Engine::instance().config.setAgent(value ? static_cast<const char*>(value) : "");
  return ok();
}

const void* BASS_GetConfigPtr(DWORD option) {
  if (option != BASS_CONFIG_NET_AGENT) return fail(BASS_ERROR_ILLTYPE, static_cast<const void*>(nullptr));
  setLastError(BASS_OK);
  return keepForCaller(0x10000 | option, Engine::instance().config.agent());
}

BOOL BASS_Stop() {
  if (!Engine::instance().initialized()) return fail(BASS_ERROR_INIT, FALSE);
  Engine::instance().output().halt();
  return ok();
}

BOOL BASS_Start() {
  if (!Engine::instance().initialized()) return fail(BASS_ERROR_INIT, FALSE);
  Engine::instance().output().resume();
  return ok();
}

float BASS_GetVolume() {
  if (!Engine::instance().initialized()) return fail(BASS_ERROR_INIT, -1.0f);
  setLastError(BASS_OK);
  return Engine::instance().output().volume();
}

BOOL BASS_SetVolume(float volume) {
  if (!Engine::instance().initialized()) return fail(BASS_ERROR_INIT, FALSE);
  if (!(volume >= 0.0f && volume <= 1.0f)) return fail(BASS_ERROR_ILLPARAM, FALSE);
  Engine::instance().output().setVolume(volume);
  return ok();
}

HSTREAM BASS_StreamCreateURL(const char* url, DWORD offset, DWORD flags, DOWNLOADPROC* proc, void*) {
  if (!Engine::instance().initialized()) return fail(BASS_ERROR_INIT, HSTREAM{0});
  if (!url || !*url) return fail(BASS_ERROR_FILEOPEN, HSTREAM{0});
  if (offset != 0 || proc) return fail(BASS_ERROR_ILLPARAM, HSTREAM{0});
  Opened opened = openUrl(url, flags, 0,
                          Stream::Clock::now() +
                              std::chrono::milliseconds(Engine::instance().config.netTimeoutMs.load()));
  if (!opened.stream) return fail(opened.error, HSTREAM{0});
  const HSTREAM handle = Engine::instance().publish(opened.stream);
  if (!handle) return fail(BASS_ERROR_INIT, HSTREAM{0});
  setLastError(BASS_OK);
  return handle;
}

BOOL BASS_StreamFree(HSTREAM handle) {
  if (!Engine::instance().release(handle)) return fail(BASS_ERROR_HANDLE, FALSE);
  return ok();
}

QWORD BASS_StreamGetFilePosition(HSTREAM handle, DWORD mode) {
  auto stream = findOrFail(handle);
  if (!stream) return BASS_POSITION_FAIL;
  const QWORD position = stream->filePosition(mode);
  if (position == BASS_POSITION_FAIL) return fail(BASS_ERROR_ILLTYPE, position);
  setLastError(BASS_OK);
  return position;
}

const char* BASS_ChannelGetTags(DWORD handle, DWORD type) {
  auto stream = findOrFail(handle);
  if (!stream) return nullptr;
  switch (type) {
    case BASS_TAG_OGG: case BASS_TAG_HTTP: case BASS_TAG_ICY:
    case BASS_TAG_META: case BASS_TAG_WMA: case BASS_TAG_WMA_META: break;
    default: return fail(BASS_ERROR_ILLTYPE, static_cast<const char*>(nullptr));
  }
  auto text = stream->tags(type);
  if (!text) return fail(BASS_ERROR_NOTAVAIL, static_cast<const char*>(nullptr));
  setLastError(BASS_OK);
  return keepForCaller(type, std::move(*text));
}

HSYNC BASS_ChannelSetSync(DWORD handle, DWORD type, QWORD, SYNCPROC* proc, void* user) {
  switch (type) {
    case BASS_SYNC_META: case BASS_SYNC_OGG_CHANGE: case BASS_SYNC_WMA_CHANGE: case BASS_SYNC_WMA_META: break;
    default: return fail(BASS_ERROR_ILLTYPE, HSYNC{0});
  }
  if (!proc) return fail(BASS_ERROR_ILLPARAM, HSYNC{0});
  auto stream = findOrFail(handle);
  if (!stream) return 0;
  setLastError(BASS_OK);
  return stream->addSync(Engine::instance().nextSyncHandle(), type, proc, user);
}

BOOL BASS_ChannelRemoveSync(DWORD handle, HSYNC sync) {
  auto stream = findOrFail(handle);
  if (!stream) return FALSE;
  if (!stream->removeSync(sync)) return fail(BASS_ERROR_HANDLE, FALSE);
  return ok();
}

BOOL BASS_ChannelPlay(DWORD handle, BOOL) {
  auto stream = findOrFail(handle);
  if (!stream) return FALSE;
  if (!stream->play()) return fail(BASS_ERROR_ENDED, FALSE);
  Engine::instance().output().add(stream);
  return ok();
}

DWORD BASS_ChannelIsActive(DWORD handle) {
  auto stream = findOrFail(handle);
  if (!stream) return BASS_ACTIVE_STOPPED;
  setLastError(BASS_OK);
  return stream->activity(Engine::instance().output().halted());
}

DWORD BASS_ChannelGetLevel(DWORD handle) {
  auto stream = findOrFail(handle);
  if (!stream) return BASS_LEVEL_FAIL;
  setLastError(BASS_OK);
  return Engine::instance().output().halted() ? 0 : stream->level();
}

BOOL BASS_ChannelGetInfo(DWORD handle, BASS_CHANNELINFO* info) {
  if (!info) return fail(BASS_ERROR_ILLPARAM, FALSE);
  auto stream = findOrFail(handle);
  if (!stream) return FALSE;
  const DecodedFormat& f = stream->format();
  *info = BASS_CHANNELINFO{};
  info->freq = static_cast<DWORD>(f.rate);
  info->chans = static_cast<DWORD>(f.channels);
  info->flags = stream->flags();
  info->ctype = f.ctype;
  info->filename = keepForCaller(0x20000, stream->url());
  return ok();
}

QWORD BASS_ChannelSeconds2Bytes(DWORD handle, double seconds) {
  auto stream = findOrFail(handle);
  if (!stream) return BASS_POSITION_FAIL;
  if (!(seconds >= 0)) return fail(BASS_ERROR_ILLPARAM, BASS_POSITION_FAIL);
  const DecodedFormat& f = stream->format();
  setLastError(BASS_OK);
  // Whole sample frames of the stream's own 16-bit format.
  return static_cast<QWORD>(seconds * f.rate) * static_cast<QWORD>(f.channels) * 2;
}

}  // extern "C"
