// The song title inside an ICY metadata block, such as
// "StreamTitle='Artist - Song';StreamUrl='';".
//
// Threads: any; nothing is shared.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ornivox {

// The value of the block's first StreamTitle field, bytes as they came; an
// empty title when the field has no proper end; nothing when the block has
// no "StreamTitle=" at all.
//
// Servers do not escape quotes or semicolons inside titles, so the value
// runs from after the quote that follows "StreamTitle=" up to the first
// "';" that ends the field: one followed by the next field's name and its
// "=", or by the end of the block (padding NULs do not count). Thus
// 'Rock;Pop' and 'It's' come through whole.
std::optional<std::string> StreamTitleOf(std::string_view block);

}  // namespace ornivox
