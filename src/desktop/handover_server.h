// The player's side of the hand-over: a local socket named after the main
// window's caption, <runtimeDirectory()>/<name>.socket, on which later
// starts deliver their argument (see hand_over.h for the wire format).
//
// Threads: construct, listen and destroy on the thread whose event loop
// serves the clients (the UI thread). The handler runs on that thread, one
// message at a time, before the client is acknowledged. Clients are served
// by readyRead only: a client that stalls is dropped after clientTimeout()
// and never holds up the event loop or the other clients.
#pragma once

#include <sys/types.h>

#include <QByteArray>
#include <QObject>
#include <QString>
#include <chrono>
#include <functional>
#include <unordered_map>

class QLocalServer;
class QLocalSocket;
class QTimer;

namespace ornivox::desktop {

class HandoverServer : public QObject {
  Q_OBJECT

 public:
  using Handler = std::function<void(const QByteArray&)>;

  HandoverServer(QString name, Handler handler, QObject* parent = nullptr);
  ~HandoverServer() override;

  // Starts listening; true when this player now owns the endpoint. The lock
  // holder passes replaceStale = true and takes the name over whatever is
  // there (a socket left by a killed player, or one that a second player
  // took before the holder's window existed). Any other player listens only
  // while the name is free and otherwise returns false: hand-overs belong to
  // the lock holder. Calling it again while listening returns true.
  bool listen(bool replaceStale);
  bool isListening() const;
  QString socketPath() const { return path_; }

  // How long a client may take to send its message. Default 5 s.
  void setClientTimeout(std::chrono::milliseconds timeout) { clientTimeout_ = timeout; }
  std::chrono::milliseconds clientTimeout() const { return clientTimeout_; }

 private:
  struct Client {
    QTimer* timer = nullptr;
    QByteArray buffer;
    bool handled = false;
  };

  void acceptPending();
  void readFrom(QLocalSocket* socket);
  void drop(QLocalSocket* socket);
  bool stillOurs() const;
  void releaseName();

  QString name_;
  Handler handler_;
  QString path_;
  QLocalServer* server_;
  std::chrono::milliseconds clientTimeout_{5000};
  std::unordered_map<QLocalSocket*, Client> clients_;
  // The socket file we put in place, to tell it from a successor's.
  dev_t dev_ = 0;
  ino_t ino_ = 0;
};

}  // namespace ornivox::desktop
