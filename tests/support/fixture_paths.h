#pragma once

#include <string>
#include <string_view>

namespace ornivox::testsupport {

// The fixture scripts run with Debian's interpreter, not whatever python3
// comes first in PATH: that one is known to have what they use.
inline constexpr const char* kPython = "/usr/bin/python3";

inline std::string fixturesDir() { return ORNIVOX_FIXTURES_DIR; }

inline std::string fixturePath(std::string_view name) {
    return fixturesDir() + "/" + std::string(name);
}

}  // namespace ornivox::testsupport
