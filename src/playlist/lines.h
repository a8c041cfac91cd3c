// What the three playlist scanners share: reading a file into lines.
//
// Threads: any; nothing is shared.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ornivox::playlist {

// A playlist is a few lines (a long one, lines of a megabyte); what lies
// beyond this in a file is not read.
inline constexpr std::size_t kMaxPlaylistBytes = 4 * 1024 * 1024;

// The lines of the named file's first kMaxPlaylistBytes, split at CR, LF and
// CR LF; nullopt when no regular file of that name exists (a directory, a
// FIFO or a device is no playlist; none of them is waited on or read).
// Throws std::system_error when it exists but cannot be opened or read.
std::optional<std::vector<std::string>> ReadLines(const std::string& file);

}  // namespace ornivox::playlist
