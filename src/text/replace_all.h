// Replacing every occurrence of a text, searching again from the start after
// each replacement, so replacements can meet: "  " by " " collapses a run of
// any length in one call.
//
// Threads: any; nothing is shared.
#pragma once

#include <string>
#include <string_view>

namespace ornivox::text {

// The program's texts are single-byte (code page 1254), so a byte is a
// character here and the result is what a character-wise rewrite gives.
//
// An empty find, or a find equal to the replacement, returns text unchanged.
// Rescanning would never end when the replacement contains find; then every
// occurrence in the original text is replaced once, left to right, and the
// inserted copies are not searched. Other pairs can also rewrite forever
// (find "ab" by "bbaa" in "aab"): the rewriting stops after an amount of
// work proportional to the texts' sizes, and the text as it stands then is
// returned.
std::string ReplaceAll(std::string_view text, std::string_view find, std::string_view replacement);

}  // namespace ornivox::text
