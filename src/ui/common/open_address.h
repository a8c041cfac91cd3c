// Opening a web address in the user's browser. Errors (no browser, a bad
// address) are nobody's business here: the click simply does nothing.
//
// Threads: the UI thread.
#pragma once

#include <string_view>

namespace ornivox::ui {

// `address` in code page 1254, taken byte for byte as an encoded URL.
void OpenAddress(std::string_view address);

}  // namespace ornivox::ui
