// Playlists that a station address may answer with instead of audio (PLS,
// M3U, ASX and the WMS reference form), and the entries worth following.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ornivox::audio {

enum class PlaylistHint {
  No,     // audio by its type or address
  Yes,    // a playlist by its type or address
  Sniff,  // ambiguous (video/x-ms-asf serves both ASF audio and ASX; text/*): decide from the body
};

PlaylistHint playlistHint(std::string_view contentType, std::string_view url);

// True when the first bytes of a body are a playlist's rather than audio's.
bool looksLikePlaylistBody(std::string_view head);

// Network entries (http, https, mms, mmsh) in the order they should be tried.
// Local files and other schemes are never returned.
std::vector<std::string> playlistEntries(std::string_view body);

}  // namespace ornivox::audio
