// One SMTP send attempt over libcurl.
//
// Threads: any thread, blocking; meant for a worker so the window keeps
// painting. Attempts share nothing.
#pragma once

#include <atomic>
#include <chrono>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "mail/composer.h"

namespace ornivox::mail {

struct Settings {
  std::string host;      // empty: every attempt fails before any connection
  // Empty: no login. Else AUTH LOGIN with the password, but only inside
  // STARTTLS and only when the server offers LOGIN; otherwise the request
  // goes without a login. STARTTLS is used whenever the server offers it.
  std::string user;
  std::string password;
  // The certificates to trust for STARTTLS, as a PEM file; empty: the
  // system's.
  std::string caFile;
  std::vector<std::string> recipients;
  // Our own limits, so a silent server ends the attempt: from the TCP connect
  // through the greeting and EHLO, and for each later reply.
  std::chrono::milliseconds connectTimeout{std::chrono::seconds(10)};
  std::chrono::seconds replyTimeout{20};
};

// The station's build: the station kit's mail settings.
Settings BuildSettings();

// Sends `message` (as composed) from `envelopeFrom` to the settings' recipients
// on `port`; without a recipient nothing is sent and the attempt fails. True
// when the server accepted the message's data; what happens
// while closing the connection afterwards no longer matters, since the mail
// is then delivered. `cancel` set from another thread ends the attempt early
// (false).
bool SendMessage(const Settings& settings, int port, std::string_view envelopeFrom, const std::string& message,
                 const std::atomic<bool>* cancel = nullptr);

// One complete request attempt: composes the message with `now` and sends it.
bool MailGonder(const Settings& settings, int port, const Request& request, std::time_t now,
                const std::atomic<bool>* cancel = nullptr);
inline bool MailGonder(const Settings& settings, int port, const Request& request,
                       const std::atomic<bool>* cancel = nullptr) {
  return MailGonder(settings, port, request, std::time(nullptr), cancel);
}

}  // namespace ornivox::mail
