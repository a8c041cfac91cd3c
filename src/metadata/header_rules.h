// What the stream's header tags say to the window: station names and
// when to refresh the codec and bit-rate label.
//
// Threads: any; nothing is shared.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

namespace ornivox {

struct HeaderAction {
  enum class Kind { Station, KbpsLabel };
  Kind kind;
  std::string_view text;  // the station name candidate (Station only)
};

// The header list's entries in order: each "icy-name:" gives its rest as a
// station name, untrimmed; each "icy-br:" asks for the label to be set
// afresh. Prefixes compare case-sensitively; other entries do nothing.
std::vector<HeaderAction> ScanHeaderList(const std::vector<std::string_view>& entries);

// The station name in a WMA stream's mid-stream tag: the rest of a
// "title=" text, else nothing.
std::optional<std::string_view> WmaMetaTitle(std::string_view text);

// The station names in a WMA header list: the rest of each "title=" entry.
std::vector<std::string_view> WmaHeaderTitles(const std::vector<std::string_view>& entries);

}  // namespace ornivox
