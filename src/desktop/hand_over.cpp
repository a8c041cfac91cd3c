#include "desktop/hand_over.h"

#include <QDeadlineTimer>
#include <QLocalSocket>
#include <QThread>

#include <algorithm>

#include "desktop/runtime_dir.h"

namespace ornivox::desktop {
namespace {

constexpr int kFirstRetryMs = 25;
constexpr int kLastRetryMs = 400;

}  // namespace

bool handOver(const QString& name, const QByteArray& argument, int timeoutMs) {
  if (argument.isEmpty() || argument.size() > kHandoverMaxBytes || timeoutMs <= 0) return false;
  const QString path = handoverSocketPath(name);
  if (path.isEmpty()) return false;

  const QDeadlineTimer deadline(timeoutMs);
  auto left = [&deadline] { return static_cast<int>(deadline.remainingTime()); };

  // The lock's holder may still be starting, its endpoint not yet there:
  // try again, a little later each time, until the deadline.
  QLocalSocket socket;
  for (int pauseMs = kFirstRetryMs;; pauseMs = std::min(pauseMs * 2, kLastRetryMs)) {
    socket.connectToServer(path);
    if (socket.waitForConnected(left())) break;
    socket.abort();
    if (deadline.remainingTime() <= pauseMs) return false;
    QThread::msleep(static_cast<unsigned long>(pauseMs));
  }

  socket.write(handoverFrame(argument));
  // Each wait makes progress or fails, and each gets only what is left of
  // the one budget, so these loops end by the deadline.
  while (socket.bytesToWrite() > 0) {
    if (deadline.hasExpired() || !socket.waitForBytesWritten(left())) return false;
  }
  while (socket.bytesAvailable() < 1) {
    if (deadline.hasExpired() || !socket.waitForReadyRead(left())) return false;
  }
  char ack = 0;
  return socket.getChar(&ack) && ack == kHandoverAck;
}

}  // namespace ornivox::desktop
