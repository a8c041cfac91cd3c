// The two arguments that ask the program about itself instead of naming a
// playlist. They are answered before anything else happens: no display, no
// sound device and no other running player is needed or disturbed.
#pragma once

#include <optional>
#include <ostream>
#include <string>

namespace ornivox::app {

// The exit status when the arguments are "--help" or "--version" (answered
// on `out`); nothing when they name a playlist or nothing at all.
std::optional<int> AnswerAboutItself(int argc, const char* const* argv, std::ostream& out);

// The argument as the running player must get it: a relative path that names
// an existing file here is made absolute, since the player resolves it in
// its own folder, not in this start's. Anything else goes as it is.
std::string ArgumentForRunningPlayer(const std::string& argument);

}  // namespace ornivox::app
