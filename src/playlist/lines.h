// What the three playlist scanners share: reading a file into lines and
// ASCII-only case folding (other bytes are letters of the code page and keep
// their positions).
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

std::string AsciiUpper(std::string_view text);
std::string AsciiLower(std::string_view text);

}  // namespace ornivox::playlist
