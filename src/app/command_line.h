// The two arguments that ask the program about itself instead of naming a
// playlist. They are answered before anything else happens: no display, no
// sound device and no other running player is needed or disturbed.
#pragma once

#include <optional>
#include <ostream>

namespace ornivox::app {

// The exit status when the arguments are "--help" or "--version" (answered
// on `out`); nothing when they name a playlist or nothing at all.
std::optional<int> AnswerAboutItself(int argc, const char* const* argv, std::ostream& out);

}  // namespace ornivox::app
