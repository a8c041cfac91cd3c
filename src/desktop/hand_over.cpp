#include "desktop/hand_over.h"

#include <QDeadlineTimer>
#include <QLocalSocket>

#include "desktop/runtime_dir.h"

namespace ornivox::desktop {

bool handOver(const QString& name, const QByteArray& argument, int timeoutMs) {
  if (argument.isEmpty() || argument.size() > kHandoverMaxBytes || timeoutMs <= 0) return false;
  const QString path = handoverSocketPath(name);
  if (path.isEmpty()) return false;

  const QDeadlineTimer deadline(timeoutMs);
  auto left = [&deadline] { return static_cast<int>(deadline.remainingTime()); };

  QLocalSocket socket;
  socket.connectToServer(path);
  if (!socket.waitForConnected(left())) return false;

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
