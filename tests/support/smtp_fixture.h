// A real mail server on loopback (tests/fixtures/smtp_server.py on Debian's
// aiosmtpd), started for one test, with what it saw: connections per port and
// each message's envelope and exact bytes.
#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/process.h"

namespace ornivox::mailtest {

struct SmtpMessage {
  int port = 0;
  std::string mailFrom;
  std::vector<std::string> rcptTos;
  std::string data;  // the bytes as received, dot-stuffing undone
  bool tls = false;  // STARTTLS was on when the message came
  std::optional<std::string> login, password, mechanism;
  // As Python's mail parser reads the message (UTF-8).
  std::vector<std::string> headerNames;
  std::string subject, fromName, fromAddress, charset;
};

class SmtpServer {
 public:
  // {port, mode}: port 0 takes a free one; modes accept, refuse, drop,
  // silent, tls, tls-plain-only (tests/fixtures/smtp_server.py).
  explicit SmtpServer(const std::vector<std::pair<int, std::string>>& listens);
  ~SmtpServer();

  int port(std::size_t index) const { return ports_.at(index); }
  // The TLS modes' certificate (PEM), for the client to trust; empty
  // without a TLS mode.
  const std::string& certificate() const { return certificate_; }

  // Makes sure every connection made so far has been reported: a probe
  // connection per port, which the server accepts after the earlier ones, is
  // waited for and then left out of the counts.
  bool settle(std::chrono::milliseconds limit = std::chrono::seconds(5));

  int connects(int port);
  bool waitForConnects(int port, int count, std::chrono::milliseconds limit);
  // QUIT commands that reached the server on `port`.
  int quits(int port);
  bool waitForQuits(int port, int count, std::chrono::milliseconds limit);
  std::vector<SmtpMessage> messages();
  bool waitForMessages(std::size_t count, std::chrono::milliseconds limit);

 private:
  void read();
  int rawConnects(int port) const;

  std::string certificate_;
  std::unique_ptr<testsupport::ChildProcess> child_;
  std::vector<int> ports_;
  std::thread reader_;
  bool stopping_ = false;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::pair<int, int>> connectEvents_;  // {port, client's port}
  std::vector<int> quitEvents_;
  std::vector<int> probes_;                          // per port, in ports_ order
  std::vector<SmtpMessage> messages_;
};

std::string Base64Decode(std::string_view text);

}  // namespace ornivox::mailtest
