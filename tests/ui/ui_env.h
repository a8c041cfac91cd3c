// What the main-window tests share: the application object, SDL's disk
// driver (so what would be heard lands in a file), the local station, and
// waiting on the event loop.
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QStringList>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "support/icecast_station.h"
#include "support/spin.h"

namespace ornivox::uitest {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

using testsupport::spinUntil;

// Runs the event loop for a while: for checks that something does NOT
// happen in that time.
void spinFor(std::chrono::milliseconds span);

// Runs the event loop until `timer` has fired `ticks` more times.
bool waitForTicks(QTimer* timer, int ticks, std::chrono::milliseconds limit = 5s);

std::string diskFile();
std::uintmax_t recordedBytes();
// `frames` stereo frames from byte `from` on, waiting for them up to `limit`.
std::vector<std::int16_t> recorded(std::uintmax_t from, std::size_t frames, std::chrono::milliseconds limit);
ornivox::testsupport::IcecastStation& station();
// The built program, for the tests that start a second instance.
std::string programPath();

}  // namespace ornivox::uitest
