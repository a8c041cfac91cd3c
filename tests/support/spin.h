#pragma once

#include <QCoreApplication>

#include <chrono>

namespace ornivox::testsupport {

// Runs the calling thread's event loop until `ready` holds or `limit`
// passes; true when it held. For tests whose code under test reports through
// that event loop, so a plain wait would block what it waits for.
template <typename F>
bool spinUntil(F ready, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!ready()) {
        if (std::chrono::steady_clock::now() > end) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

}  // namespace ornivox::testsupport
