#include "player/audio_setup.h"

#include <string>

#include "audio/bass.h"
#include "station/identity.h"

namespace ornivox {

AudioSetup SetUpAudio(void* window) {
  if ((BASS_GetVersion() >> 16) != BASSVERSION) return AudioSetup::WrongVersion;
  if (!BASS_Init(-1, 44100, 0, window, nullptr)) return AudioSetup::NoDevice;
  // Results unchecked: a missing plug-in shows later as a station that
  // cannot be opened.
  BASS_PluginLoad("basswma", 1);
  BASS_PluginLoad("bass_aac.dll", 1);
  BASS_SetConfig(BASS_CONFIG_NET_PLAYLIST, 1);
  BASS_SetConfig(BASS_CONFIG_BUFFER, 500);
  BASS_SetConfig(BASS_CONFIG_NET_BUFFER, 2000);
  BASS_SetConfig(BASS_CONFIG_NET_PREBUF, 100);
  BASS_SetConfig(BASS_CONFIG_NET_TIMEOUT, 20000);
  BASS_SetConfig(BASS_CONFIG_UPDATETHREADS, 4);
  const std::string agent(station::kUserAgent);
  BASS_SetConfigPtr(BASS_CONFIG_NET_AGENT, agent.c_str());
  return AudioSetup::Ready;
}

}  // namespace ornivox
