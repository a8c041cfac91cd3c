// The codec and bit-rate label, as in "128 kbps mp3": the rules, from the
// tag lists and numbers a channel gives (player/stream_bitrate.h reads
// them). Only the engine's types and constants are used, not the engine.
//
// Threads: any; nothing is shared.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "audio/bass.h"

namespace ornivox {

using TagEntryList = std::vector<std::string_view>;

// The text before the first `ch`, or all of it when there is none.
std::string_view TextBefore(std::string_view text, char ch);
// At most 255 characters after the first `ch`, or all of it when there is none.
std::string_view TextAfter(std::string_view text, char ch);

// "mp3", "aac", ... for a channel type; empty for other types.
std::string_view CodecNameOf(DWORD ctype);

// The rate text from the header lists: the last "icy-br" of the ICY list
// when there is one (the HTTP list is then not consulted), otherwise the
// first "ice-bitrate" or "icy-br" of the HTTP list. Trimmed of control
// characters and blanks; empty when none gives one.
std::string RateText(const std::optional<TagEntryList>& icy, const std::optional<TagEntryList>& http);
// A whole decimal number, or 0 ("128,64", overflow, ...).
std::int32_t ParseRate(std::string_view text);
// The rate guessed from the bytes of decoded audio one millisecond makes,
// by channel type (none: the type is unknown).
std::int32_t EstimateRate(std::uint32_t bytesPerMs, std::optional<DWORD> ctype);

// The label: the rate, " kbps ", the codec name (which may be empty).
std::string KbpsLabel(std::int32_t rate, std::string_view codec);

}  // namespace ornivox
