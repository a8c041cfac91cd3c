// Ornivox audio engine: network streams, decoding and output behind a small
// C-style API on 32-bit handles.
//
// Threads: every function may be called from any thread. None of them blocks
// on the network except BASS_StreamCreateURL, which waits until the server has
// answered and the stream's format is known (or the network time-out).
//
// Callbacks: sync procedures (BASS_ChannelSetSync) run on an engine thread of
// their stream, never on the caller's thread and never on the audio output
// thread. A callback may block (for example on a synchronous hand-over to the
// UI thread): BASS_StreamFree never waits for a callback, so freeing a stream
// from the thread the callback waits on cannot deadlock. BASS_Free, which
// ends the engine, waits until every callback in progress has returned, so
// that none reaches what its caller destroys next: release first whatever a
// callback may wait for. After a stream is freed its handle fails every call
// with BASS_ERROR_HANDLE.
//
// Handles are never reused while the process runs: a stale handle stays
// stale, a freed stream's late callbacks see a handle that fails.
//
// The engine's threads, what each touches, and the order of their locks:
// - The caller's threads: any function here. Each call takes the engine's
//   locks it needs and lets go of them before it returns.
// - Per stream: a download thread (libcurl into the stream's ring buffer,
//   cutting out the ICY metadata), a decode thread (FFmpeg from the ring into
//   the decoded queue) and a sync thread, which runs the sync callbacks and
//   the auto-free at the stream's end. A callback runs with no engine lock
//   held, so it may call back in.
// - The device thread (SDL's): mixes the playing streams from their decoded
//   queues into the device, never blocking on more than the playing list.
// - The reaper: joins the threads of freed streams, so that no caller of
//   BASS_StreamFree waits for them; BASS_Free waits for the reaper.
// Locks, outermost first: the engine's life cycle (BASS_Init, BASS_Free),
// the stream table, the output device, SDL's device lock, the playing list.
// A stream's own locks (its source, its tags and syncs, its buffers) are
// leaves: nothing else is taken while one is held.
//
// The engine is one per process: the C interface needs that instance and
// each calling thread's last error and tag copies, the only state here that
// lives outside an object its owner passes around.
#pragma once

#include <cstdint>

extern "C" {

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using QWORD = std::uint64_t;
using BOOL = int;
using HSTREAM = DWORD;
using HSYNC = DWORD;
using HPLUGIN = DWORD;

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

// Version 2.4 in the high word.
inline constexpr DWORD BASSVERSION = 0x0204;

// Error codes (BASS_ErrorGetCode).
enum : int {
  BASS_OK = 0,
  BASS_ERROR_MEM = 1,
  BASS_ERROR_FILEOPEN = 2,  // the address could not be opened (empty, refused, not found)
  BASS_ERROR_DRIVER = 3,    // no audio output could be opened
  BASS_ERROR_HANDLE = 5,    // zero, freed or stale handle
  BASS_ERROR_FORMAT = 6,    // output format not supported
  BASS_ERROR_INIT = 8,      // BASS_Init has not succeeded
  BASS_ERROR_START = 9,     // output halted by BASS_Stop
  BASS_ERROR_ALREADY = 14,  // already initialised / already playing
  BASS_ERROR_ILLTYPE = 19,  // unknown tag, sync or position type
  BASS_ERROR_ILLPARAM = 20,
  BASS_ERROR_DEVICE = 23,   // unknown device number
  BASS_ERROR_NOTFILE = 27,  // a position that a live stream does not have
  BASS_ERROR_NONET = 32,    // no connection could be made
  BASS_ERROR_CREATE = 33,   // the server answered with an error
  BASS_ERROR_NOTAVAIL = 37, // the requested data is not available
  BASS_ERROR_TIMEOUT = 40,  // the network time-out ran out
  BASS_ERROR_FILEFORM = 41, // the content is not audio that can be decoded
  BASS_ERROR_CODEC = 44,    // the codec is not available
  BASS_ERROR_ENDED = 45,    // the stream has ended
  BASS_ERROR_UNKNOWN = -1,
};

// Configuration options (BASS_SetConfig / BASS_SetConfigPtr).
enum : DWORD {
  BASS_CONFIG_BUFFER = 0,          // decoded playback buffer, ms
  BASS_CONFIG_NET_TIMEOUT = 11,    // connect / no-data time-out, ms
  BASS_CONFIG_NET_BUFFER = 12,     // network buffer, ms of the stream's bit rate
  BASS_CONFIG_NET_PREBUF = 15,     // per cent of the network buffer to refill after a stall
  BASS_CONFIG_NET_AGENT = 16,      // user agent text, set with BASS_SetConfigPtr
  BASS_CONFIG_NET_PLAYLIST = 21,   // 1: follow playlist answers to their first entry that opens
  BASS_CONFIG_UPDATETHREADS = 24,  // accepted; output is pulled by the device thread
};

// Stream flags.
enum : DWORD {
  BASS_STREAM_AUTOFREE = 0x40000,
  BASS_STREAM_BLOCK = 0x100000,
  BASS_STREAM_STATUS = 0x800000,
};

// File positions (BASS_StreamGetFilePosition).
enum : DWORD {
  BASS_FILEPOS_CURRENT = 0,     // bytes handed to the decoder
  BASS_FILEPOS_DOWNLOAD = 1,    // bytes received
  BASS_FILEPOS_END = 2,         // network buffer capacity (live) or content length
  BASS_FILEPOS_CONNECTED = 4,   // 1 while the download goes on, 0 once the connection has ended
  BASS_FILEPOS_WMA_BUFFER = 1000, // per cent of the network buffer filled
};

// Tags (BASS_ChannelGetTags).
enum : DWORD {
  BASS_TAG_OGG = 2,
  BASS_TAG_HTTP = 3,
  BASS_TAG_ICY = 4,
  BASS_TAG_META = 5,
  BASS_TAG_WMA = 8,        // list: the tags of the ASF header being heard, "name=value"
  BASS_TAG_WMA_META = 11,  // one text: the last script command heard ("type=parameter"), else the first received
};

// Syncs (BASS_ChannelSetSync).
enum : DWORD {
  BASS_SYNC_META = 4,
  BASS_SYNC_OGG_CHANGE = 12,
  BASS_SYNC_WMA_CHANGE = 0x10100,  // a fresh ASF header is heard (the source started over)
  BASS_SYNC_WMA_META = 0x10101,    // a script command is heard
};

// Channel states (BASS_ChannelIsActive).
enum : DWORD {
  BASS_ACTIVE_STOPPED = 0,
  BASS_ACTIVE_PLAYING = 1,
  BASS_ACTIVE_STALLED = 2,
  BASS_ACTIVE_PAUSED = 3,
};

// Channel types (BASS_CHANNELINFO::ctype).
enum : DWORD {
  BASS_CTYPE_STREAM_OGG = 0x10002,
  BASS_CTYPE_STREAM_MP1 = 0x10003,
  BASS_CTYPE_STREAM_MP2 = 0x10004,
  BASS_CTYPE_STREAM_MP3 = 0x10005,
  BASS_CTYPE_STREAM_WMA = 0x10300,
  BASS_CTYPE_STREAM_WMA_MP3 = 0x10301,
  BASS_CTYPE_STREAM_AAC = 0x10b00,
  BASS_CTYPE_STREAM_MP4 = 0x10b01,
};

inline constexpr QWORD BASS_POSITION_FAIL = ~QWORD{0};
inline constexpr DWORD BASS_LEVEL_FAIL = ~DWORD{0};

struct BASS_CHANNELINFO {
  DWORD freq;      // the stream's own sample rate
  DWORD chans;     // the stream's own channel count
  DWORD flags;     // the flags the stream was created with
  DWORD ctype;     // BASS_CTYPE_STREAM_*
  DWORD origres;   // bits per sample of the source, 0 for compressed formats
  HPLUGIN plugin;  // 0: decoders are built in
  DWORD sample;    // 0
  const char* filename;  // the address that was opened (after playlists and redirects)
};

using SYNCPROC = void(HSYNC handle, DWORD channel, DWORD data, void* user);
using DOWNLOADPROC = void(const void* buffer, DWORD length, void* user);

DWORD BASS_GetVersion();
// Opens the default output (device -1 or 1) at `freq`; `win` and `clsid` are ignored.
BOOL BASS_Init(int device, DWORD freq, DWORD flags, void* win, const void* clsid);
// Stops every stream and the output and joins every engine thread; see
// Callbacks above.
BOOL BASS_Free();
// The last error of the calling thread.
int BASS_ErrorGetCode();

// The decoders are built in: the known plug-in names succeed, others fail.
HPLUGIN BASS_PluginLoad(const char* file, DWORD flags);

BOOL BASS_SetConfig(DWORD option, DWORD value);
DWORD BASS_GetConfig(DWORD option);
BOOL BASS_SetConfigPtr(DWORD option, const void* value);
const void* BASS_GetConfigPtr(DWORD option);

BOOL BASS_Stop();
BOOL BASS_Start();
float BASS_GetVolume();
BOOL BASS_SetVolume(float volume);

// Blocks; see the header comment. `proc` must be null.
HSTREAM BASS_StreamCreateURL(const char* url, DWORD offset, DWORD flags, DOWNLOADPROC* proc, void* user);
BOOL BASS_StreamFree(HSTREAM handle);
QWORD BASS_StreamGetFilePosition(HSTREAM handle, DWORD mode);

// The returned text is a copy that belongs to the calling thread: it stays
// valid until the same thread reads the same tag type again, whatever happens
// to the stream meanwhile.
const char* BASS_ChannelGetTags(DWORD handle, DWORD tags);
HSYNC BASS_ChannelSetSync(DWORD handle, DWORD type, QWORD param, SYNCPROC* proc, void* user);
BOOL BASS_ChannelRemoveSync(DWORD handle, HSYNC sync);
BOOL BASS_ChannelPlay(DWORD handle, BOOL restart);
DWORD BASS_ChannelIsActive(DWORD handle);
DWORD BASS_ChannelGetLevel(DWORD handle);
BOOL BASS_ChannelGetInfo(DWORD handle, BASS_CHANNELINFO* info);
QWORD BASS_ChannelSeconds2Bytes(DWORD handle, double seconds);

}  // extern "C"
