// The program keeps its texts as 8-bit strings in code page 1254 (Turkish),
// counted and cut as bytes. They become Unicode only where they meet the
// toolkit; these conversions go through the C library's iconv.
//
// Threads: any; nothing is shared.
#pragma once

#include <string>
#include <string_view>

namespace ornivox::text {

// Every byte has a meaning in code page 1254 except five unassigned ones,
// which come out as U+FFFD.
std::string cp1254ToUtf8(std::string_view cp1254);

// Characters the code page lacks become "?". Bytes that are not valid UTF-8
// also become "?".
std::string utf8ToCp1254(std::string_view utf8);

// Little-endian UTF-16 as some stream formats carry their texts; a lone
// surrogate or an odd last byte comes out as U+FFFD.
std::string utf16LeToUtf8(std::string_view utf16le);

}  // namespace ornivox::text
