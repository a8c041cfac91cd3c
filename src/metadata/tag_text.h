// Tag texts as the window shows them: in the program's code page 1254.
//
// Threads: any; nothing is shared.
#pragma once

#include <string>
#include <string_view>

namespace ornivox {

// Text that is valid UTF-8 and not plain ASCII is converted to code page
// 1254 (characters it lacks become "?"); anything else stays byte for byte,
// since older servers send their titles in the station's own code page.
std::string TagTextForDisplay(std::string_view bytes);

// Whether `bytes` is well-formed UTF-8 (no overlong forms, no surrogates,
// nothing past U+10FFFF).
bool IsValidUtf8(std::string_view bytes);

}  // namespace ornivox
