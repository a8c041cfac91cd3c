#pragma once

namespace ornivox::testsupport {

// A loopback TCP port that was free a moment ago; nothing listens on it, so
// it suits "connection refused" cases. Throws std::runtime_error.
int freePort();

}  // namespace ornivox::testsupport
