// What the three playlist scanners share: reading a file into lines.
//
// Threads: any; nothing is shared.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ornivox::playlist {

// The lines of the named file, split at CR, LF and CR LF; nullopt when no
// file of that name exists (a directory is not a file). Throws
// std::system_error when it exists but cannot be opened or read.
std::optional<std::vector<std::string>> ReadLines(const std::string& file);

}  // namespace ornivox::playlist
