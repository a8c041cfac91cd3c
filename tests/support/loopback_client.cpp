#include "support/loopback_client.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <stdexcept>

namespace ornivox::testsupport {
namespace {

using Clock = std::chrono::steady_clock;

int remainingMs(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

}  // namespace

LoopbackConnection::LoopbackConnection(int port, std::chrono::milliseconds timeout) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd_ < 0) throw std::runtime_error("socket() failed");
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    int r = ::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    if (r != 0 && errno == EINPROGRESS) {
        pollfd pfd{fd_, POLLOUT, 0};
        int soErr = ETIMEDOUT;
        if (::poll(&pfd, 1, static_cast<int>(timeout.count())) > 0) {
            socklen_t len = sizeof soErr;
            ::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &soErr, &len);
        }
        r = soErr == 0 ? 0 : -1;
        errno = soErr;
    }
    if (r != 0) {
        std::string why = std::strerror(errno);
        ::close(fd_);
        throw std::runtime_error("connect to 127.0.0.1:" + std::to_string(port) + ": " + why);
    }
}

LoopbackConnection::~LoopbackConnection() {
    if (fd_ >= 0) ::close(fd_);
}

bool LoopbackConnection::send(std::string_view data) {
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (!data.empty()) {
        ssize_t n = ::send(fd_, data.data(), data.size(), MSG_NOSIGNAL);
        if (n > 0) {
            data.remove_prefix(static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
        pollfd pfd{fd_, POLLOUT, 0};
        if (::poll(&pfd, 1, remainingMs(deadline)) <= 0 && Clock::now() >= deadline) return false;
    }
    return true;
}

bool LoopbackConnection::receive(std::string& into, size_t size, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    char chunk[16384];
    while (into.size() < size && !closed_) {
        ssize_t n = ::recv(fd_, chunk, std::min(sizeof chunk, size - into.size()), 0);
        if (n > 0) {
            into.append(chunk, static_cast<size_t>(n));
            continue;
        }
        if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
            closed_ = true;  // orderly close or reset
            break;
        }
        if (Clock::now() >= deadline) break;
        pollfd pfd{fd_, POLLIN, 0};
        ::poll(&pfd, 1, remainingMs(deadline));
    }
    return into.size() >= size;
}

std::string exchange(int port, std::string_view request, size_t maxBytes,
                     std::chrono::milliseconds timeout) {
    LoopbackConnection conn(port, timeout);
    std::string out;
    if (conn.send(request)) conn.receive(out, maxBytes, timeout);
    return out;
}

}  // namespace ornivox::testsupport
