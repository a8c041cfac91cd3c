// ornivox-play: a command-line front of the audio engine. Connects to a
// station, shows what the player shows (connecting, buffering, station name,
// title changes, codec and bit rate, level meters) and plays to the default
// output device.
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <thread>

#include "audio/bass.h"
#include "metadata/bitrate_rules.h"
#include "player/buffering.h"

namespace {

std::atomic<bool> interrupted{false};

void printList(const char* label, const char* list) {
  if (!list) return;
  for (const char* p = list; *p; p += std::strlen(p) + 1) std::printf("%s %s\n", label, p);
}

std::string codecName(DWORD ctype) {
  const std::string_view name = ornivox::CodecNameOf(ctype);
  return name.empty() ? "?" : std::string(name);
}

void onMeta(HSYNC, DWORD channel, DWORD, void*) {
  if (const char* meta = BASS_ChannelGetTags(channel, BASS_TAG_META)) std::printf("title: %s\n", meta);
  std::fflush(stdout);
}

void onOggChange(HSYNC, DWORD channel, DWORD, void*) {
  printList("comment:", BASS_ChannelGetTags(channel, BASS_TAG_OGG));
  std::fflush(stdout);
}

std::string meter(DWORD level) {
  const int n = static_cast<int>(level * 30 / 32768);
  return std::string(static_cast<std::size_t>(n), '#') + std::string(static_cast<std::size_t>(30 - n), '.');
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: ornivox-play URL [seconds]\nExit codes: 0 played, 1 no service, 2 usage, 3 no sound device.\n");
    return 2;
  }
  const std::string url = argv[1];
  const double seconds = argc > 2 ? std::atof(argv[2]) : 0;
  std::signal(SIGINT, [](int) { interrupted = true; });
  std::signal(SIGTERM, [](int) { interrupted = true; });
  std::setvbuf(stdout, nullptr, _IOLBF, 0);

  if ((BASS_GetVersion() >> 16) != BASSVERSION) {
    std::fprintf(stderr, "wrong audio engine version\n");
    return 1;
  }
  if (!BASS_Init(-1, 44100, 0, nullptr, nullptr)) {
    std::fprintf(stderr, "No sound device could be opened (error %d). Set SDL_AUDIODRIVER=disk to record to a file.\n",
                 BASS_ErrorGetCode());
    return 3;  // the run script records to a file instead
  }
  BASS_SetConfig(BASS_CONFIG_NET_PLAYLIST, 1);
  BASS_SetConfig(BASS_CONFIG_BUFFER, 500);
  BASS_SetConfig(BASS_CONFIG_NET_BUFFER, 2000);
  BASS_SetConfig(BASS_CONFIG_NET_PREBUF, 100);
  BASS_SetConfig(BASS_CONFIG_NET_TIMEOUT, 20000);
  BASS_SetConfigPtr(BASS_CONFIG_NET_AGENT, "LODOSFIL");

  std::printf("status: connecting to %s\n", url.c_str());
  const HSTREAM channel = BASS_StreamCreateURL(url.c_str(), 0, 0x940000, nullptr, nullptr);
  if (!channel) {
    std::printf("status: no service (error %d)\n", BASS_ErrorGetCode());
    BASS_Free();
    return 1;
  }
  int progress = 0;
  do {
    const QWORD end = BASS_StreamGetFilePosition(channel, BASS_FILEPOS_END);
    if (end == BASS_POSITION_FAIL || end == 0) break;
    const QWORD download = BASS_StreamGetFilePosition(channel, BASS_FILEPOS_DOWNLOAD);
    const QWORD current = BASS_StreamGetFilePosition(channel, BASS_FILEPOS_CURRENT);
    const auto now = static_cast<int>(ornivox::BufferedPercent(end, download, current));
    if (now != progress) std::printf("buffering: %d%%\n", now);
    progress = now;
    // A connection that ended early never fills the buffer: play what came.
    if (BASS_StreamGetFilePosition(channel, BASS_FILEPOS_CONNECTED) == 0) break;
    if (progress <= 75) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  } while (progress <= 75 && !interrupted);

  printList("icy:", BASS_ChannelGetTags(channel, BASS_TAG_ICY));
  printList("http:", BASS_ChannelGetTags(channel, BASS_TAG_HTTP));
  printList("comment:", BASS_ChannelGetTags(channel, BASS_TAG_OGG));
  printList("wma:", BASS_ChannelGetTags(channel, BASS_TAG_WMA));
  BASS_CHANNELINFO info{};
  if (BASS_ChannelGetInfo(channel, &info))
    std::printf("format: %s, %u Hz, %u channels\n", codecName(info.ctype).c_str(), info.freq, info.chans);
  onMeta(0, channel, 0, nullptr);
  BASS_ChannelSetSync(channel, BASS_SYNC_META, 0, onMeta, nullptr);
  BASS_ChannelSetSync(channel, BASS_SYNC_OGG_CHANGE, 0, onOggChange, nullptr);
  BASS_ChannelPlay(channel, FALSE);
  std::printf("status: playing\n");

  const auto start = std::chrono::steady_clock::now();
  int tick = 0;
  while (!interrupted) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const DWORD active = BASS_ChannelIsActive(channel);
    if (active != BASS_ACTIVE_PLAYING && active != BASS_ACTIVE_STALLED) {
      std::printf("status: stream ended\n");
      break;
    }
    if (++tick % 10 == 0) {
      const DWORD level = BASS_ChannelGetLevel(channel);
      std::printf("level: L %s R %s%s\n", meter(level & 0xFFFF).c_str(), meter(level >> 16).c_str(),
                  active == BASS_ACTIVE_STALLED ? " (stalled)" : "");
    }
    if (seconds > 0 && std::chrono::steady_clock::now() - start > std::chrono::duration<double>(seconds)) break;
  }
  BASS_Free();
  return 0;
}
