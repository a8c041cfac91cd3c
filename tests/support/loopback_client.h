#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

namespace ornivox::testsupport {

// A plain TCP client to 127.0.0.1 for looking at exactly what a fixture
// sends, byte for byte, without any HTTP library in between.
class LoopbackConnection {
public:
    // Throws std::runtime_error when the connection is refused or times out.
    explicit LoopbackConnection(int port,
                                std::chrono::milliseconds timeout = std::chrono::seconds(5));
    ~LoopbackConnection();

    LoopbackConnection(const LoopbackConnection&) = delete;
    LoopbackConnection& operator=(const LoopbackConnection&) = delete;

    bool send(std::string_view data);

    // Appends to `into` until it holds `size` bytes, the peer closes or the
    // time-out passes. True when `size` bytes are there.
    bool receive(std::string& into, size_t size, std::chrono::milliseconds timeout);
    bool peerClosed() const { return closed_; }

private:
    int fd_ = -1;
    bool closed_ = false;
};

// Sends `request` and returns whatever comes back, up to `maxBytes`, until
// the peer closes or the time-out passes.
std::string exchange(int port, std::string_view request, size_t maxBytes,
                     std::chrono::milliseconds timeout);

}  // namespace ornivox::testsupport
