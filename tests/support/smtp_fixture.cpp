#include "support/smtp_fixture.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <stdexcept>

#include "support/fixture_paths.h"
#include "support/json_lite.h"

namespace ornivox::mailtest {
namespace {

using namespace std::chrono_literals;
using testsupport::JsonValue;

std::optional<std::string> OptionalString(const JsonValue& json, std::string_view key) {
  const JsonValue* v = json.get(key);
  if (!v || v->type() != JsonValue::Type::String) return std::nullopt;
  return v->asString();
}

std::vector<std::string> Strings(const JsonValue* array) {
  std::vector<std::string> out;
  if (array)
    for (const auto& item : array->items()) out.push_back(item.asString());
  return out;
}

// The client's own port of a connection to `port`, or 0 when refused.
int ConnectOnce(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return 0;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int local = 0;
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
    sockaddr_in self{};
    socklen_t size = sizeof self;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&self), &size) == 0) local = ntohs(self.sin_port);
  }
  ::close(fd);
  return local;
}

}  // namespace

std::string Base64Decode(std::string_view text) {
  static constexpr std::string_view kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  unsigned acc = 0;
  int bits = 0;
  for (char c : text) {
    const std::size_t value = kAlphabet.find(c);
    if (value == std::string_view::npos) continue;
    acc = (acc << 6) | static_cast<unsigned>(value);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out += static_cast<char>((acc >> bits) & 0xff);
    }
  }
  return out;
}

SmtpServer::SmtpServer(const std::vector<std::pair<int, std::string>>& listens) {
  std::vector<std::string> argv{testsupport::kPython, "-B", testsupport::fixturePath("smtp_server.py")};
  for (const auto& [port, mode] : listens) {
    argv.push_back("--listen");
    argv.push_back(std::to_string(port) + ":" + mode);
    if (mode.rfind("tls", 0) == 0 && certificate_.empty()) {
      char name[] = "/tmp/ornivox-smtp-cert-XXXXXX";
      const int fd = ::mkstemp(name);
      if (fd < 0) throw std::runtime_error("no file for the mail server's certificate");
      ::close(fd);
      certificate_ = name;
    }
  }
  if (!certificate_.empty()) {
    argv.push_back("--certificate");
    argv.push_back(certificate_);
  }
  child_ = std::make_unique<testsupport::ChildProcess>(argv);
  const auto line = child_->readLine(20s);
  if (!line || line->rfind("ready", 0) != 0)
    throw std::runtime_error("smtp_server.py did not start: " + line.value_or("(nothing)"));
  std::istringstream in(line->substr(5));
  for (int port; in >> port;) ports_.push_back(port);
  probes_.assign(ports_.size(), 0);
  reader_ = std::thread([this] { read(); });
}

SmtpServer::~SmtpServer() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  if (reader_.joinable()) reader_.join();
  child_->stop();
  if (!certificate_.empty()) ::unlink(certificate_.c_str());
}

void SmtpServer::read() {
  for (;;) {
    {
      std::lock_guard lock(mutex_);
      if (stopping_) return;
    }
    const auto line = child_->readLine(100ms);
    if (!line) {
      if (child_->atEof()) return;
      continue;
    }
    const auto json = JsonValue::parse(*line);
    if (!json) continue;
    std::lock_guard lock(mutex_);
    const int port = static_cast<int>(json->getNumber("port"));
    if (json->getString("event") == "connect") {
      connectEvents_.emplace_back(port, static_cast<int>(json->getNumber("peer")));
    } else if (json->getString("event") == "quit") {
      quitEvents_.push_back(port);
    } else if (json->getString("event") == "message") {
      SmtpMessage m;
      m.port = port;
      m.mailFrom = json->getString("mail_from");
      m.rcptTos = Strings(json->get("rcpt_tos"));
      m.data = Base64Decode(json->getString("data"));
      m.tls = json->getBool("tls");
      m.login = OptionalString(*json, "auth");
      m.password = OptionalString(*json, "password");
      m.mechanism = OptionalString(*json, "mechanism");
      m.headerNames = Strings(json->get("header_names"));
      m.subject = json->getString("subject");
      m.fromName = json->getString("from_name");
      m.fromAddress = json->getString("from_address");
      m.charset = json->getString("charset");
      messages_.push_back(std::move(m));
    }
    changed_.notify_all();
  }
}

int SmtpServer::rawConnects(int port) const {
  return static_cast<int>(
      std::count_if(connectEvents_.begin(), connectEvents_.end(), [port](const auto& e) { return e.first == port; }));
}

bool SmtpServer::settle(std::chrono::milliseconds limit) {
  for (std::size_t i = 0; i < ports_.size(); ++i) {
    const int client = ConnectOnce(ports_[i]);
    if (client == 0) return false;
    std::unique_lock lock(mutex_);
    ++probes_[i];
    // The server accepts a port's connections in order, so once it has
    // reported the probe, it has reported every earlier one there too.
    const std::pair<int, int> probe{ports_[i], client};
    if (!changed_.wait_for(lock, limit, [&] {
          return std::find(connectEvents_.begin(), connectEvents_.end(), probe) != connectEvents_.end();
        }))
      return false;
  }
  return true;
}

int SmtpServer::connects(int port) {
  std::lock_guard lock(mutex_);
  const auto it = std::find(ports_.begin(), ports_.end(), port);
  const int probes = it == ports_.end() ? 0 : probes_[static_cast<std::size_t>(it - ports_.begin())];
  return rawConnects(port) - probes;
}

bool SmtpServer::waitForConnects(int port, int count, std::chrono::milliseconds limit) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, limit, [&] { return rawConnects(port) >= count; });
}

int SmtpServer::quits(int port) {
  std::lock_guard lock(mutex_);
  return static_cast<int>(std::count(quitEvents_.begin(), quitEvents_.end(), port));
}

bool SmtpServer::waitForQuits(int port, int count, std::chrono::milliseconds limit) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, limit, [&] {
    return std::count(quitEvents_.begin(), quitEvents_.end(), port) >= count;
  });
}

std::vector<SmtpMessage> SmtpServer::messages() {
  std::lock_guard lock(mutex_);
  return messages_;
}

bool SmtpServer::waitForMessages(std::size_t count, std::chrono::milliseconds limit) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, limit, [&] { return messages_.size() >= count; });
}

}  // namespace ornivox::mailtest
