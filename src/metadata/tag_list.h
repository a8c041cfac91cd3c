// The engine's tag lists: NUL-terminated texts ended by an empty one.
//
// Threads: any; nothing is shared.
#pragma once

#include <string_view>
#include <vector>

namespace ornivox {

// The entries of a list, in order, up to its empty text; none for null.
// The views point into `list`.
std::vector<std::string_view> TagEntries(const char* list);

// Whether `entry` starts with `prefix`, byte for byte (case counts).
inline bool StartsWith(std::string_view entry, std::string_view prefix) { return entry.substr(0, prefix.size()) == prefix; }

}  // namespace ornivox
