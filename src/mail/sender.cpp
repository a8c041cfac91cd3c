#include "mail/sender.h"

#include <curl/curl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <string>

namespace ornivox::mail {
namespace {

struct Upload {
  std::string_view data;
  std::size_t at = 0;
};

std::size_t ReadChunk(char* buffer, std::size_t size, std::size_t count, void* user) {
  auto* upload = static_cast<Upload*>(user);
  const std::size_t n = std::min(size * count, upload->data.size() - upload->at);
  std::memcpy(buffer, upload->data.data() + upload->at, n);
  upload->at += n;
  return n;
}

// Called at least once a second while the transfer waits, so a cancel is
// seen within about that time.
int Progress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  const auto* cancel = static_cast<const std::atomic<bool>*>(user);
  return cancel && cancel->load() ? 1 : 0;
}

// An envelope address with a CR or LF in it would end the SMTP command.
std::string OneLine(std::string_view text) {
  std::string out;
  for (char c : text)
    if (c != '\r' && c != '\n') out += c;
  return out;
}

// The EHLO greeting names this machine.
std::string LocalHostName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "localhost";
  return name;
}

std::string Url(const std::string& host, int port) {
  const bool literalV6 = host.find(':') != std::string::npos && host.front() != '[';
  std::string url = "smtp://" + (literalV6 ? "[" + host + "]" : host) + ":" + std::to_string(port) + "/";
  const std::string local = LocalHostName();
  if (char* escaped = curl_easy_escape(nullptr, local.c_str(), static_cast<int>(local.size()))) {
    url += escaped;
    curl_free(escaped);
  }
  return url;
}

}  // namespace

namespace {

// How one attempt talks to the server about encryption and logging in.
enum class Login {
  // No login; STARTTLS when the server offers it, and when it does, a
  // certificate that fails the check ends the attempt.
  None,
  // AUTH LOGIN, only inside STARTTLS: a server without it is not logged in
  // to at all.
  OverTls,
};

struct Outcome {
  CURLcode code = CURLE_FAILED_INIT;
  bool loginOffered = false;  // an AUTH line of the server's named LOGIN
};

// Watches the server's replies for its AUTH line.
int WatchReplies(CURL*, curl_infotype type, char* data, std::size_t size, void* user) {
  if (type != CURLINFO_HEADER_IN) return 0;
  std::string line(data, size);
  for (char& c : line) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (line.rfind("250-AUTH", 0) == 0 || line.rfind("250 AUTH", 0) == 0) {
    std::string mechanisms = " " + line.substr(8) + " ";
    for (char& c : mechanisms)
      if (c == '\r' || c == '\n' || c == '=') c = ' ';
    if (mechanisms.find(" LOGIN ") != std::string::npos) static_cast<Outcome*>(user)->loginOffered = true;
  }
  return 0;
}

Outcome Attempt(const Settings& settings, int port, std::string_view envelopeFrom, const std::string& message,
                curl_slist* recipients, const std::atomic<bool>* cancel, Login login) {
  Outcome outcome;
  std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), curl_easy_cleanup);
  if (!curl) return outcome;
  CURL* h = curl.get();

  Upload upload{message};
  const std::string url = Url(settings.host, port);
  const std::string from = "<" + OneLine(envelopeFrom) + ">";
  const long replySeconds = std::max<long>(1, static_cast<long>(settings.replyTimeout.count()));
  bool ok = curl_easy_setopt(h, CURLOPT_URL, url.c_str()) == CURLE_OK &&
            curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "smtp") == CURLE_OK &&
            curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L) == CURLE_OK &&
            curl_easy_setopt(h, CURLOPT_MAIL_FROM, from.c_str()) == CURLE_OK &&
            curl_easy_setopt(h, CURLOPT_MAIL_RCPT, recipients) == CURLE_OK &&
            curl_easy_setopt(h, CURLOPT_READFUNCTION, ReadChunk) == CURLE_OK &&
            curl_easy_setopt(h, CURLOPT_READDATA, &upload) == CURLE_OK &&
            curl_easy_setopt(h, CURLOPT_UPLOAD, 1L) == CURLE_OK &&
            curl_easy_setopt(h, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(message.size())) == CURLE_OK &&
            curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(settings.connectTimeout.count())) ==
                CURLE_OK &&
            curl_easy_setopt(h, CURLOPT_SERVER_RESPONSE_TIMEOUT, replySeconds) == CURLE_OK &&
            curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L) == CURLE_OK &&
            curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, Progress) == CURLE_OK &&
            curl_easy_setopt(h, CURLOPT_XFERINFODATA, cancel) == CURLE_OK &&
            curl_easy_setopt(h, CURLOPT_DEBUGFUNCTION, WatchReplies) == CURLE_OK &&
            curl_easy_setopt(h, CURLOPT_DEBUGDATA, &outcome) == CURLE_OK &&
            curl_easy_setopt(h, CURLOPT_VERBOSE, 1L) == CURLE_OK &&
            curl_easy_setopt(h, CURLOPT_USE_SSL, login == Login::OverTls ? CURLUSESSL_ALL : CURLUSESSL_TRY) ==
                CURLE_OK;
  if (ok && !settings.caFile.empty()) ok = curl_easy_setopt(h, CURLOPT_CAINFO, settings.caFile.c_str()) == CURLE_OK;
  if (ok && login == Login::OverTls)
    ok = curl_easy_setopt(h, CURLOPT_USERNAME, settings.user.c_str()) == CURLE_OK &&
         curl_easy_setopt(h, CURLOPT_PASSWORD, settings.password.c_str()) == CURLE_OK &&
         curl_easy_setopt(h, CURLOPT_LOGIN_OPTIONS, "AUTH=LOGIN") == CURLE_OK;
  if (!ok) return outcome;
  // The transfer ends with the server's reply to the data; QUIT follows when
  // the handle is released, and its failure cannot undo a delivered mail.
  outcome.code = curl_easy_perform(h);
  return outcome;
}

}  // namespace

bool SendMessage(const Settings& settings, int port, std::string_view envelopeFrom, const std::string& message,
                 const std::atomic<bool>* cancel) {
  // Without a host there is nobody to talk to: no connection at all.
  if (settings.host.empty() || (cancel && cancel->load())) return false;

  std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> recipients(nullptr, curl_slist_free_all);
  for (const auto& recipient : settings.recipients) {
    if (OneLine(recipient).empty()) continue;
    curl_slist* grown = curl_slist_append(recipients.get(), OneLine(recipient).c_str());
    if (!grown) return false;
    recipients.release();
    recipients.reset(grown);
  }
  // Nobody to send to is a failure, not a mail: libcurl would not send one
  // and ask the server for HELP instead, which any server answers.
  if (!recipients) return false;

  auto send = [&](Login login) {
    return Attempt(settings, port, envelopeFrom, message, recipients.get(), cancel, login);
  };
  if (settings.user.empty()) return send(Login::None).code == CURLE_OK;
  // The password travels only encrypted, and only to a server that offers
  // LOGIN. Without either the request still goes, without a login, as it
  // always has to a server that asks for none. Every failure below comes
  // before the message's data, so nothing is sent twice.
  const Outcome first = send(Login::OverTls);
  if (first.code == CURLE_OK) return true;
  if (cancel && cancel->load()) return false;
  if (first.code == CURLE_USE_SSL_FAILED || (first.code == CURLE_LOGIN_DENIED && !first.loginOffered))
    return send(Login::None).code == CURLE_OK;
  return false;
}

bool MailGonder(const Settings& settings, int port, const Request& request, std::time_t now,
                const std::atomic<bool>* cancel) {
  if (settings.host.empty()) return false;
  return SendMessage(settings, port, request.email, ComposeRequest(request, settings.recipients, now), cancel);
}

}  // namespace ornivox::mail
