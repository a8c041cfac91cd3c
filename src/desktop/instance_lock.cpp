#include "desktop/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>
#include <cstring>
#include <utility>

#include "desktop/runtime_dir.h"

namespace ornivox::desktop {
namespace {

QString describeErrno(const QString& what, const QString& path, int err) {
  return what + u' ' + path + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(err));
}

}  // namespace

InstanceLock InstanceLock::acquire(const QString& name) {
  const QString dir = runtimeDirectory();
  if (dir.isEmpty()) return InstanceLock(State::Unavailable, -1, QStringLiteral("no runtime directory"));
  const QString path = dir + u'/' + name + QStringLiteral(".lock");
  const QByteArray encoded = QFile::encodeName(path);

  int fd;
  do fd = ::open(encoded.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  while (fd < 0 && errno == EINTR);
  if (fd < 0) return InstanceLock(State::Unavailable, -1, describeErrno(QStringLiteral("cannot open"), path, errno));

  // LOCK_NB: a start must never wait for a player to go away. A signal can
  // still interrupt the call, so retry that a few times.
  int r = -1;
  for (int attempt = 0; attempt < 8; ++attempt) {
    r = ::flock(fd, LOCK_EX | LOCK_NB);
    if (r == 0 || errno != EINTR) break;
  }
  if (r == 0) return InstanceLock(State::Held, fd, {});
  const int err = errno;
  ::close(fd);
  if (err == EWOULDBLOCK) return InstanceLock(State::HeldElsewhere, -1, {});
  return InstanceLock(State::Unavailable, -1, describeErrno(QStringLiteral("cannot lock"), path, err));
}

InstanceLock::InstanceLock(State state, int fd, QString error)
    : state_(state), fd_(fd), error_(std::move(error)) {}

InstanceLock::InstanceLock(InstanceLock&& other) noexcept
    : state_(other.state_), fd_(std::exchange(other.fd_, -1)), error_(std::move(other.error_)) {}

InstanceLock& InstanceLock::operator=(InstanceLock&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    state_ = other.state_;
    fd_ = std::exchange(other.fd_, -1);
    error_ = std::move(other.error_);
  }
  return *this;
}

InstanceLock::~InstanceLock() {
  if (fd_ >= 0) ::close(fd_);
}

}  // namespace ornivox::desktop
