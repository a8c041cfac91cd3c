// The desktop's now-playing line.
//
// Threads: the UI thread.
#pragma once

#include <string_view>

namespace ornivox {

void SendNowPlaying(std::string_view brand, std::string_view title, std::string_view suffix, bool show);

}  // namespace ornivox
