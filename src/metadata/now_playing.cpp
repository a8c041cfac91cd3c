#include "metadata/now_playing.h"

namespace ornivox {

// Nothing announces the title yet.
void SendNowPlaying(std::string_view, std::string_view, std::string_view, bool) {}

}  // namespace ornivox
