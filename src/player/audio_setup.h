// Opens the engine the way the player needs it: the default device, the
// format plug-ins and the network settings.
//
// Threads: the UI thread, once, before any station is opened.
#pragma once

namespace ornivox {

enum class AudioSetup {
  Ready,
  WrongVersion,  // not an engine of version 2.4
  NoDevice,      // the default output device cannot be opened
};

AudioSetup SetUpAudio(void* window);

}  // namespace ornivox
