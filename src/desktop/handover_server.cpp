#include "desktop/handover_server.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QRandomGenerator>
#include <QTimer>
#include <QtEndian>
#include <cerrno>
#include <cstring>
#include <utility>

#include "desktop/runtime_dir.h"

namespace ornivox::desktop {
namespace {

// Honest starts connect one at a time; this only bounds what a flood of
// stalled clients can hold.
constexpr size_t kMaxClients = 16;

bool fillAddress(sockaddr_un& addr, const QByteArray& path) {
  addr = {};
  addr.sun_family = AF_UNIX;
  if (path.size() >= static_cast<qsizetype>(sizeof addr.sun_path)) return false;
  std::memcpy(addr.sun_path, path.constData(), static_cast<size_t>(path.size()));
  return true;
}

}  // namespace

HandoverServer::HandoverServer(QString name, Handler handler, QObject* parent)
    : QObject(parent), name_(std::move(name)), handler_(std::move(handler)), server_(new QLocalServer(this)) {
  connect(server_, &QLocalServer::newConnection, this, &HandoverServer::acceptPending);
}

HandoverServer::~HandoverServer() {
  releaseName();
  for (auto& [socket, client] : clients_) {
    client.timer->stop();
    socket->disconnect(this);
  }
  clients_.clear();
  server_->disconnect(this);
  delete server_;  // and the client sockets, its children
}

bool HandoverServer::isListening() const { return server_->isListening(); }

// The socket is bound under a private name and then moved into place, so the
// public name changes hands atomically: rename() replaces whatever is there
// (for the lock holder), link() fails when the name is taken (for anybody
// else). QLocalServer only ever learns the private name, so its clean-up can
// never delete a successor's socket; releaseName() removes ours.
bool HandoverServer::listen(bool replaceStale) {
  if (server_->isListening()) return true;
  const QString dir = runtimeDirectory();
  if (dir.isEmpty()) return false;
  const QString path = dir + u'/' + name_ + QStringLiteral(".socket");
  const QString staging = dir + QStringLiteral("/.") + name_ + u'.' + QString::number(::getpid()) + u'.' +
                          QString::number(QRandomGenerator::global()->generate(), 16) + QStringLiteral(".new");
  const QByteArray finalName = QFile::encodeName(path);
  const QByteArray stagingName = QFile::encodeName(staging);

  // Clients connect by the public name, so it must fit an address too.
  sockaddr_un addr;
  if (!fillAddress(addr, finalName) || !fillAddress(addr, stagingName)) {
    qWarning("Hand-over socket path too long: %s", finalName.constData());
    return false;
  }
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
    ::close(fd);
    return false;
  }
  auto fail = [&](const char* what) {
    const int err = errno;
    ::close(fd);
    ::unlink(stagingName.constData());
    if (err != EEXIST) qWarning("Hand-over socket %s: %s: %s", finalName.constData(), what, std::strerror(err));
    return false;
  };
  if (::chmod(stagingName.constData(), 0600) != 0) return fail("chmod");
  if (::listen(fd, 16) != 0) return fail("listen");
  if (replaceStale) {
    if (::rename(stagingName.constData(), finalName.constData()) != 0) return fail("rename");
  } else {
    if (::link(stagingName.constData(), finalName.constData()) != 0) return fail("link");
    ::unlink(stagingName.constData());
  }

  struct stat st {};
  if (::stat(finalName.constData(), &st) == 0) {
    dev_ = st.st_dev;
    ino_ = st.st_ino;
  }
  path_ = path;
  if (!server_->listen(fd)) {
    // Qt owns the descriptor now; only the name is ours to undo.
    releaseName();
    return false;
  }
  return true;
}

bool HandoverServer::stillOurs() const {
  if (path_.isEmpty()) return false;
  struct stat st {};
  return ::stat(QFile::encodeName(path_).constData(), &st) == 0 && st.st_dev == dev_ && st.st_ino == ino_;
}

void HandoverServer::releaseName() {
  if (stillOurs()) ::unlink(QFile::encodeName(path_).constData());
  path_.clear();
}

// Only this user's own starts hand over. The socket's mode keeps others out,
// but a runtime folder may be shared and root passes any mode: the peer's
// credentials say who is really at the other end.
static bool fromThisUser(const QLocalSocket* socket) {
  ucred peer{};
  socklen_t size = sizeof peer;
  return ::getsockopt(static_cast<int>(socket->socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 &&
         peer.uid == ::getuid();
}

void HandoverServer::acceptPending() {
  while (QLocalSocket* socket = server_->nextPendingConnection()) {
    if (clients_.size() >= kMaxClients || !fromThisUser(socket)) {
      socket->abort();
      socket->deleteLater();
      continue;
    }
    auto* timer = new QTimer(socket);
    timer->setSingleShot(true);
    clients_.emplace(socket, Client{timer, {}, false});
    connect(timer, &QTimer::timeout, this, [this, socket] { drop(socket); });
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readFrom(socket); });
    connect(socket, &QLocalSocket::disconnected, this, [this, socket] { drop(socket); });
    timer->start(clientTimeout_);
    readFrom(socket);  // the message may have come with the connection
  }
}

void HandoverServer::readFrom(QLocalSocket* socket) {
  auto it = clients_.find(socket);
  if (it == clients_.end()) return;
  Client& client = it->second;
  if (client.handled) {
    socket->readAll();  // nothing more is expected; we are closing
    return;
  }
  client.buffer += socket->readAll();
  if (client.buffer.size() < 4) return;
  const quint32 length = qFromBigEndian<quint32>(client.buffer.constData());
  if (length == 0 || length > static_cast<quint32>(kHandoverMaxBytes)) return drop(socket);
  const qsizetype total = 4 + static_cast<qsizetype>(length);
  if (client.buffer.size() < total) return;
  // A client sends one message and then waits: anything beyond it is not ours.
  if (client.buffer.size() > total) return drop(socket);

  client.handled = true;
  client.timer->stop();
  const QByteArray argument = std::exchange(client.buffer, {}).mid(4);

  // The open routine may run a nested event loop (a message box, say), in
  // which this client can go away or this server be destroyed: keep the
  // handler alive by copy and look at both again afterwards.
  QPointer<HandoverServer> self(this);
  QPointer<QLocalSocket> alive(socket);
  Handler handler = handler_;
  handler(argument);
  if (!self || !alive) return;
  it = clients_.find(socket);
  if (it == clients_.end()) return;

  // The timer now bounds the close, in case the client never reads.
  it->second.timer->start(clientTimeout_);
  socket->write(&kHandoverAck, 1);
  socket->disconnectFromServer();  // writes the acknowledgement first
}

void HandoverServer::drop(QLocalSocket* socket) {
  auto it = clients_.find(socket);
  if (it == clients_.end()) return;
  it->second.timer->stop();
  clients_.erase(it);
  socket->disconnect(this);
  socket->abort();
  socket->deleteLater();
}

}  // namespace ornivox::desktop

// The meta-object code is compiled here, with the class, instead of as a unit
// of its own that would read the toolkit's headers once more.
#include "moc_handover_server.cpp"
