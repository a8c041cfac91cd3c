// One send attempt against the real server, without the window: logging in,
// a server that goes silent, a cancelled attempt.
#include <gtest/gtest.h>

#include <future>

#include "mail/sender.h"
#include "support/smtp_fixture.h"

namespace ornivox::mailtest {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

mail::Settings Local() {
  mail::Settings settings;
  settings.host = "127.0.0.1";
  settings.recipients = {"istek@dalgaton.example"};
  return settings;
}

// The password goes only inside STARTTLS and only as AUTH LOGIN; without
// either the request still goes, without a login. STARTTLS is used whenever
// it is offered.
TEST(MailGonder, LogsInOnlyOverTlsAndThenWithLogin) {
  struct Case {
    const char* what;
    const char* mode;
    const char* user;
    bool tls;                           // as the server saw it
    std::optional<std::string> login;
    std::optional<std::string> mechanism;
  };
  const Case cases[] = {
      {"no user: no login although the server offers it", "accept", "", false, std::nullopt, std::nullopt},
      {"no STARTTLS: no login in clear, the mail still goes", "accept", "istek", false, std::nullopt, std::nullopt},
      {"STARTTLS and LOGIN: logged in, encrypted", "tls", "istek", true, "istek", "LOGIN"},
      {"STARTTLS without a user: encrypted all the same", "tls", "", true, std::nullopt, std::nullopt},
      {"STARTTLS but only PLAIN: no login, the mail still goes", "tls-plain-only", "istek", true, std::nullopt,
       std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SmtpServer server({{0, c.mode}});
    mail::Settings settings = Local();
    settings.user = c.user;
    settings.password = "gizli";
    settings.caFile = server.certificate();
    ASSERT_TRUE(mail::MailGonder(settings, server.port(0), {"Ali", "ali@dalgaton.example", "", "", ""}));
    ASSERT_TRUE(server.waitForMessages(1, 5s));
    const SmtpMessage m = server.messages().at(0);
    EXPECT_EQ(m.tls, c.tls);
    EXPECT_EQ(m.login, c.login);
    EXPECT_EQ(m.mechanism, c.mechanism);
    if (c.login) {
      EXPECT_EQ(m.password, std::string("gizli"));
    }
  }
}

// A certificate nobody vouches for ends the attempt before anything is sent.
TEST(MailGonder, AnUntrustedCertificateSendsNothing) {
  SmtpServer server({{0, "tls"}});
  mail::Settings settings = Local();
  settings.user = "istek";
  settings.password = "gizli";
  EXPECT_FALSE(mail::MailGonder(settings, server.port(0), {"Ali", "ali@dalgaton.example", "", "", ""}));
  ASSERT_TRUE(server.settle());
  EXPECT_TRUE(server.messages().empty());
}

TEST(MailGonder, AttemptOutcomes) {
  struct Case {
    const char* what;
    const char* mode;
    bool accepted;
    std::size_t messages;
  };
  const Case cases[] = {
      {"accepted", "accept", true, 1},
      {"recipient refused", "refuse", false, 0},
      // Delivered, then the connection breaks when we say goodbye: still
      // delivered, and reporting a failure would invite sending it twice.
      {"accepted, then dropped at QUIT", "drop", true, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SmtpServer server({{0, c.mode}});
    EXPECT_EQ(mail::MailGonder(Local(), server.port(0), {"Ali", "ali@dalgaton.example", "", "", ""}), c.accepted);
    ASSERT_TRUE(server.settle());
    EXPECT_EQ(server.connects(server.port(0)), 1);
    EXPECT_EQ(server.messages().size(), c.messages);
    // Every attempt says goodbye, also the one that is dropped for it.
    EXPECT_TRUE(server.waitForQuits(server.port(0), 1, 5s));
  }
}

TEST(MailGonder, NoRecipientFailsWithoutAConnection) {
  struct Case {
    const char* what;
    std::vector<std::string> recipients;
  };
  const Case cases[] = {
      {"empty list", {}},
      {"only empty addresses", {"", "\r\n"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SmtpServer server({{0, "accept"}});
    mail::Settings settings = Local();
    settings.recipients = c.recipients;
    EXPECT_FALSE(mail::MailGonder(settings, server.port(0), {"Ali", "ali@dalgaton.example", "", "", ""}));
    ASSERT_TRUE(server.settle());
    EXPECT_EQ(server.connects(server.port(0)), 0);
    EXPECT_TRUE(server.messages().empty());
  }
}

TEST(MailGonder, NoServerOnThePortFails) {
  // Bound and released: nobody listens there now.
  int port = 0;
  {
    SmtpServer server({{0, "accept"}});
    port = server.port(0);
  }
  EXPECT_FALSE(mail::MailGonder(Local(), port, {"Ali", "ali@dalgaton.example", "", "", ""}));
}

TEST(MailGonder, SilentServerEndsInTheTimeOut) {
  struct Case {
    const char* what;
    std::chrono::milliseconds connect;
    std::chrono::seconds reply;
  };
  const Case cases[] = {
      {"connect limit shorter", 1s, 20s},
      {"reply limit shorter", 20s, 1s},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SmtpServer server({{0, "silent"}});
    mail::Settings settings = Local();
    settings.connectTimeout = c.connect;
    settings.replyTimeout = c.reply;
    const auto start = Clock::now();
    EXPECT_FALSE(mail::MailGonder(settings, server.port(0), {"Ali", "ali@dalgaton.example", "", "", ""}));
    const auto took = Clock::now() - start;
    EXPECT_GE(took, 900ms);
    EXPECT_LT(took, 6s);
  }
}

TEST(MailGonder, CancelEndsAWaitingAttempt) {
  SmtpServer server({{0, "silent"}});
  std::atomic<bool> cancel{false};
  const auto start = Clock::now();
  auto attempt = std::async(std::launch::async, [&] {
    return mail::MailGonder(Local(), server.port(0), {"Ali", "ali@dalgaton.example", "", "", ""}, &cancel);
  });
  ASSERT_TRUE(server.waitForConnects(server.port(0), 1, 5s));
  cancel = true;
  ASSERT_EQ(attempt.wait_for(5s), std::future_status::ready);
  EXPECT_FALSE(attempt.get());
  EXPECT_LT(Clock::now() - start, 5s);  // well below the connect limit of ten seconds
}

}  // namespace
}  // namespace ornivox::mailtest
