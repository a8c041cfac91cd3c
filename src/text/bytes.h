// Small helpers on the program's 8-bit texts. Only ASCII letters change
// case: every other byte is a letter of the code page (or of UTF-8) and keeps
// its place and value.
//
// Threads: any; nothing is shared.
#pragma once

#include <string>
#include <string_view>

namespace ornivox::text {

// Whether a byte counts as blank at the ends of a value: the space and every
// control character below it.
constexpr bool IsBlankOrControl(char c) { return static_cast<unsigned char>(c) <= 32; }

// `text` without the blanks and control characters at either end.
std::string_view TrimBlanks(std::string_view text);

std::string AsciiLower(std::string_view text);
std::string AsciiUpper(std::string_view text);

// Byte for byte, ASCII letters in either case alike.
bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);
bool StartsWithIgnoringAsciiCase(std::string_view text, std::string_view prefix);

}  // namespace ornivox::text
