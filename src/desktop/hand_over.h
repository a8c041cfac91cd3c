// The second start's side of the hand-over: give the running player the
// argument and wait until its open routine has returned.
//
// Threads: any thread. Only blocking socket waits are used, so no event
// loop and no QCoreApplication are needed; call it before creating the
// application object, so a hand-off never touches the display.
#pragma once

#include <QByteArray>
#include <QString>

namespace ornivox::desktop {

// Connects to the endpoint of the player named `name`, sends `argument`
// (the raw bytes of argv[1], so any file name survives unchanged) and waits
// for the acknowledgement, all within `timeoutMs` in total. True only when
// the player acknowledged. While nobody listens (a player that holds the
// lock but is still starting, or a socket file left by a killed player) it
// tries again until the deadline. False at once for an empty argument and
// for one longer than kHandoverMaxBytes.
bool handOver(const QString& name, const QByteArray& argument, int timeoutMs);

}  // namespace ornivox::desktop
