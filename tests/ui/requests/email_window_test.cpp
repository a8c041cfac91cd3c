// The request window against a real mail server on ports 587 and 25 of this
// test's own network namespace: what the click sends, in which order it
// tries the ports, what it says, and what it leaves in the window.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <ctime>
#include <functional>
#include <initializer_list>

#include "mail/composer.h"
#include "support/smtp_fixture.h"
#include "support/spin.h"
#include "ui/common/texts_qt.h"
#include "ui/env/focus_look.h"
#include "ui/requests/istek.h"
#include "ui/widgets/push_button.h"

namespace ornivox::mailtest {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using testsupport::spinUntil;
using ui::TfrmIstek;

const QString kSent = QString::fromUtf8("İstek mesajınız başarıyla gönderildi.");
const QString kNotSent = QString::fromUtf8("İstek mesajınız gönderilemedi.");
const std::vector<std::string> kRecipients{"istek@dalgaton.example", "dj@dalgaton.example"};

// Message boxes run their own modal loop; this answers each one as it
// appears, remembering what it said.
class BoxAnswerer {
 public:
  BoxAnswerer() {
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box || !box->isVisible()) return;
      texts << box->text();
      box->button(QMessageBox::Ok)->click();
    });
    timer_.start(20);
  }
  QStringList texts;

 private:
  QTimer timer_;
};

mail::Settings Local(std::chrono::milliseconds connect = 5s, std::chrono::seconds reply = 5s) {
  mail::Settings settings;
  settings.host = "127.0.0.1";
  settings.recipients = kRecipients;
  settings.connectTimeout = connect;
  settings.replyTimeout = reply;
  return settings;
}

struct Typed {
  QString name = QStringLiteral("Ali");
  QString email = QStringLiteral("ali@dalgaton.example");
  QString artist;
  QString song;
  QString message;
};

void Fill(TfrmIstek& form, const Typed& typed) {
  form.tAd->setText(typed.name);
  form.tEposta->setText(typed.email);
  form.tSanatci->setText(typed.artist);
  form.tSarki->setText(typed.song);
  form.tMesaj->setPlainText(typed.message);
}

Typed Read(const TfrmIstek& form) {
  return {form.tAd->text(), form.tEposta->text(), form.tSanatci->text(), form.tSarki->text(),
          form.tMesaj->toPlainText()};
}

void ExpectTexts(const TfrmIstek& form, const Typed& typed) {
  const Typed now = Read(form);
  EXPECT_EQ(now.name, typed.name);
  EXPECT_EQ(now.email, typed.email);
  EXPECT_EQ(now.artist, typed.artist);
  EXPECT_EQ(now.song, typed.song);
  EXPECT_EQ(now.message, typed.message);
}

// Clicks send (or runs `press`) and waits for the box that reports it.
bool SendAndAnswer(TfrmIstek& form, BoxAnswerer& boxes, std::chrono::milliseconds limit = 20s,
                   const std::function<void()>& press = {}) {
  const auto before = boxes.texts.size();
  if (press)
    press();
  else
    QTest::mouseClick(form.btnGonder, Qt::LeftButton);
  return spinUntil([&] { return boxes.texts.size() > before && !form.sending(); }, limit);
}

void ShowForm(TfrmIstek& form) {
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
}

TEST(EmailRequestWindow, LabelsEndAgainstTheEditsAndTabFollowsTheFields) {
  TfrmIstek form(nullptr, Local());
  ShowForm(form);
  for (int i = 1; i <= 5; ++i) {
    auto* label = form.findChild<QLabel*>(QStringLiteral("Label%1").arg(i));
    ASSERT_NE(label, nullptr) << i;
    EXPECT_EQ(label->geometry().x() + label->geometry().width(), 86) << i;
    EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->width()) << i;
  }
  EXPECT_EQ(form.font().family(), QStringLiteral("MS Sans Serif"));
  EXPECT_EQ(form.windowTitle(), QString::fromUtf8(" İstek Gönder"));
  form.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
  ASSERT_EQ(QApplication::focusWidget(), form.tAd);
  const QWidget* order[] = {form.tEposta, form.tSanatci, form.tSarki, form.tMesaj, form.btnGonder, form.tAd};
  for (const QWidget* next : order) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), next) << next->objectName().toStdString();
  }
}

// From the keyboard alone: the send button's keys send as a click does,
// Escape closes the window from any field, and the button shows its focus.
TEST(EmailRequestWindow, SpaceAndEnterSendLikeAClick) {
  SmtpServer server({{587, "accept"}, {25, "accept"}});
  TfrmIstek form(nullptr, Local());
  BoxAnswerer boxes;
  const Qt::Key keys[] = {Qt::Key_Space, Qt::Key_Return, Qt::Key_Enter};
  int sent = 0;
  for (const Qt::Key key : keys) {
    SCOPED_TRACE(uitest::KeyName(key));
    ShowForm(form);
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    Fill(form, Typed{});
    form.btnGonder->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(SendAndAnswer(form, boxes, 20s, [&] {
      QTest::keyClick(form.btnGonder, key, key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
    }));
    EXPECT_EQ(boxes.texts.value(boxes.texts.size() - 1), kSent);
    EXPECT_TRUE(server.waitForMessages(++sent, 5s));
    EXPECT_FALSE(form.isVisible());
  }
}

TEST(EmailRequestWindow, EscapeClosesTheWindowFromAnyField) {
  TfrmIstek form(nullptr, Local());
  for (QWidget* field : std::initializer_list<QWidget*>{form.tAd, form.tEposta, form.tSanatci, form.tSarki,
                                                        form.tMesaj, form.btnGonder}) {
    SCOPED_TRACE(field->objectName().toStdString());
    ShowForm(form);
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    ASSERT_TRUE(uitest::FocusByTab(field));
    QTest::keyClick(field, Qt::Key_Escape);
    EXPECT_TRUE(spinUntil([&] { return !form.isVisible(); }, 5s));
  }
}

TEST(EmailRequestWindow, ScreenReadersNameEveryFieldByItsLabel) {
  TfrmIstek form(nullptr, Local());
  struct Control {
    QWidget* widget;
    QAccessible::Role role;
    QString name;
  };
  const Control controls[] = {
      {form.tAd, QAccessible::EditableText, QString::fromUtf8("Adınız")},
      {form.tEposta, QAccessible::EditableText, QString::fromUtf8("Eposta Adresiniz")},
      {form.tSanatci, QAccessible::EditableText, QString::fromUtf8("Sanatçı Adı")},
      {form.tSarki, QAccessible::EditableText, QString::fromUtf8("İstek Şarkınız")},
      {form.tMesaj, QAccessible::EditableText, QString::fromUtf8("Mesajınız")},
      {form.btnGonder, QAccessible::Button, QString::fromUtf8("Gönder")},
  };
  for (const Control& c : controls) {
    SCOPED_TRACE(c.widget->objectName().toStdString());
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(c.widget);
    ASSERT_NE(face, nullptr);
    EXPECT_EQ(face->role(), c.role);
    EXPECT_EQ(face->text(QAccessible::Name), c.name);
  }
}

TEST(EmailRequestWindow, TheSendButtonShowsItsFocus) {
  TfrmIstek form(nullptr, Local());
  ShowForm(form);
  form.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
  EXPECT_GT(uitest::PixelsMarkedByFocus(form.btnGonder), form.btnGonder->width() + form.btnGonder->height());
}

TEST(EmailRequestWindow, TheServerReceivesTheMessageAsComposed) {
  SmtpServer server({{587, "accept"}, {25, "accept"}});
  TfrmIstek form(nullptr, Local());
  ShowForm(form);
  BoxAnswerer boxes;
  const Typed typed{QString::fromUtf8("Şükrü Öz"), QStringLiteral("sukru@dalgaton.example"),
                    QString::fromUtf8("Barış Manço"), QString::fromUtf8("<b>Dağlar & Dağlar</b>"),
                    QString::fromUtf8("Merhaba\n.nokta ile başlayan satır\n.\nson")};
  Fill(form, typed);
  if (const char* dir = std::getenv("ORNIVOX_SCREENSHOT_DIR")) {
    QDir().mkpath(QString::fromLocal8Bit(dir));
    spinUntil([] { return false; }, 100ms);  // let the caret and the fields paint
    form.grab().save(QString::fromLocal8Bit(dir) + QStringLiteral("/email-request.png"));
  }
  const std::time_t before = std::time(nullptr);
  ASSERT_TRUE(SendAndAnswer(form, boxes));
  const std::time_t after = std::time(nullptr);
  EXPECT_EQ(boxes.texts, QStringList{kSent});
  EXPECT_FALSE(form.isVisible());

  ASSERT_TRUE(server.waitForMessages(1, 5s));
  const SmtpMessage m = server.messages().at(0);
  EXPECT_EQ(m.port, 587);
  EXPECT_EQ(m.mailFrom, "sukru@dalgaton.example");
  EXPECT_EQ(m.rcptTos, kRecipients);
  // The composer's exact bytes, dated some second of the click.
  const mail::Request request{ui::ToCp1254(typed.name), ui::ToCp1254(typed.email), ui::ToCp1254(typed.artist),
                              ui::ToCp1254(typed.song), ui::ToCp1254(typed.message)};
  bool matched = false;
  for (std::time_t t = before; t <= after && !matched; ++t)
    matched = m.data == mail::ComposeRequest(request, kRecipients, t);
  EXPECT_TRUE(matched) << m.data;
  EXPECT_NE(m.data.find("\r\n.nokta ile ba\xfelayan sat\xfdr\r\n.\r\nson</td> \r\n"), std::string::npos);
  // And as a mail reader decodes it.
  EXPECT_EQ(m.subject, "[ISTEK]Şükrü Öz size istek mesajı gönderdi..");
  EXPECT_EQ(m.fromName, "Şükrü Öz");
  EXPECT_EQ(m.fromAddress, "sukru@dalgaton.example");
  EXPECT_EQ(m.charset, "iso-8859-9");
  EXPECT_EQ(m.headerNames, (std::vector<std::string>{"X-Mailer", "From", "Reply-To", "To", "Subject", "Date",
                                                     "MIME-Version", "Content-Type"}));
  ASSERT_TRUE(server.settle());
  EXPECT_EQ(server.connects(587), 1);
  EXPECT_EQ(server.connects(25), 0);
}

TEST(EmailRequestWindow, Port587FirstAnd25OnlyAfterItFailed) {
  struct Case {
    const char* what;
    std::vector<std::pair<int, std::string>> listens;
    bool sent;
    int connects587, messages587, connects25, messages25;
  };
  const Case cases[] = {
      {"587 takes it, 25 is never asked", {{587, "accept"}, {25, "accept"}}, true, 1, 1, 0, 0},
      {"nobody on 587, 25 takes it", {{25, "accept"}}, true, 0, 0, 1, 1},
      {"587 refuses the recipient, 25 takes it", {{587, "refuse"}, {25, "accept"}}, true, 1, 0, 1, 1},
      {"587 takes it and drops the line at QUIT", {{587, "drop"}, {25, "accept"}}, true, 1, 1, 0, 0},
      {"both refuse", {{587, "refuse"}, {25, "refuse"}}, false, 1, 0, 1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SmtpServer server(c.listens);
    TfrmIstek form(nullptr, Local());
    ShowForm(form);
    BoxAnswerer boxes;
    const Typed typed{QStringLiteral("Ali"), QStringLiteral("ali@dalgaton.example"), QStringLiteral("Sezen Aksu"),
                      QStringLiteral("Firuze"), QStringLiteral("Selam")};
    Fill(form, typed);
    ASSERT_TRUE(SendAndAnswer(form, boxes));
    EXPECT_EQ(boxes.texts, QStringList{c.sent ? kSent : kNotSent});
    EXPECT_EQ(form.isVisible(), !c.sent);
    if (!c.sent) ExpectTexts(form, typed);
    EXPECT_TRUE(form.btnGonder->isEnabled());
    ASSERT_TRUE(server.settle());
    EXPECT_EQ(server.connects(587), c.connects587);
    EXPECT_EQ(server.connects(25), c.connects25);
    int on587 = 0, on25 = 0;
    for (const auto& m : server.messages()) (m.port == 587 ? on587 : on25)++;
    EXPECT_EQ(on587, c.messages587);
    EXPECT_EQ(on25, c.messages25);
  }
}

TEST(EmailRequestWindow, TheStationBuildWithoutAHostFailsWithoutAConnection) {
  if (!mail::BuildSettings().host.empty()) GTEST_SKIP() << "this build names a mail server";
  SmtpServer server({{587, "accept"}, {25, "accept"}});
  TfrmIstek form;  // the build's own settings
  ShowForm(form);
  BoxAnswerer boxes;
  const Typed typed;
  Fill(form, typed);
  ASSERT_TRUE(SendAndAnswer(form, boxes));
  EXPECT_EQ(boxes.texts, QStringList{kNotSent});
  EXPECT_TRUE(form.isVisible());
  ExpectTexts(form, typed);
  ASSERT_TRUE(server.settle());
  EXPECT_EQ(server.connects(587), 0);
  EXPECT_EQ(server.connects(25), 0);
}

TEST(EmailRequestWindow, SilentServersTimeOutWhileTheWindowKeepsPainting) {
  SmtpServer server({{587, "silent"}, {25, "silent"}});
  TfrmIstek form(nullptr, Local(1s, 1s));
  ShowForm(form);
  BoxAnswerer boxes;
  const Typed typed;
  Fill(form, typed);
  const auto start = Clock::now();
  QTest::mouseClick(form.btnGonder, Qt::LeftButton);
  EXPECT_TRUE(form.sending());
  EXPECT_FALSE(form.btnGonder->isEnabled());
  // The event loop goes on while the attempts wait: a timer keeps ticking
  // and the window repaints on request.
  int ticks = 0;
  QTimer ticker;
  QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
  ticker.start(50);
  EXPECT_TRUE(spinUntil([&] { return ticks >= 5; }, 2s));
  EXPECT_TRUE(form.sending());
  ASSERT_TRUE(spinUntil([&] { return !boxes.texts.isEmpty() && !form.sending(); }, 15s));
  const auto took = Clock::now() - start;
  EXPECT_EQ(boxes.texts, QStringList{kNotSent});
  EXPECT_GE(took, 1800ms);  // two attempts of a second each
  EXPECT_LT(took, 10s);
  EXPECT_TRUE(form.isVisible());
  EXPECT_TRUE(form.btnGonder->isEnabled());
  ExpectTexts(form, typed);
  ASSERT_TRUE(server.settle());
  EXPECT_EQ(server.connects(587), 1);
  EXPECT_EQ(server.connects(25), 1);
}

TEST(EmailRequestWindow, LineBreaksTypedIntoNameOrAddressAddNoHeaderLine) {
  struct Case {
    const char* what;
    QString name;
    QString email;
    const char* fromName;
    const char* fromAddress;
  };
  const Case cases[] = {
      {"CR LF and a field in the name", QStringLiteral("Ali\r\nBcc: kurban@dalgaton.example"),
       QStringLiteral("ali@dalgaton.example"), "AliBcc: kurban@dalgaton.example", "ali@dalgaton.example"},
      {"lone LF in the name, CR LF after the address", QStringLiteral("Ali\nX-Priority: 1"),
       QStringLiteral("ali@dalgaton.example\r\n"), "AliX-Priority: 1", "ali@dalgaton.example"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SmtpServer server({{587, "accept"}});
    TfrmIstek form(nullptr, Local());
    ShowForm(form);
    BoxAnswerer boxes;
    Fill(form, {c.name, c.email, {}, {}, {}});
    ASSERT_TRUE(form.tAd->text().contains(QLatin1Char('\n')));  // the edit kept what it was given
    ASSERT_TRUE(SendAndAnswer(form, boxes));
    EXPECT_EQ(boxes.texts, QStringList{kSent});
    ASSERT_TRUE(server.waitForMessages(1, 5s));
    const SmtpMessage m = server.messages().at(0);
    EXPECT_EQ(m.headerNames, (std::vector<std::string>{"X-Mailer", "From", "Reply-To", "To", "Subject", "Date",
                                                       "MIME-Version", "Content-Type"}));
    EXPECT_EQ(m.fromName, c.fromName);
    EXPECT_EQ(m.fromAddress, c.fromAddress);
    EXPECT_EQ(m.mailFrom, c.fromAddress);
  }
}

TEST(EmailRequestWindow, EmptyNameOrAddressSendsNothing) {
  struct Case {
    const char* what;
    QString name;
    QString email;
    bool sends;
  };
  const Case cases[] = {
      {"empty address", QStringLiteral("Ali"), QString(), false},
      {"empty name", QString(), QStringLiteral("ali@dalgaton.example"), false},
      {"both empty", QString(), QString(), false},
      {"a blank is a name", QStringLiteral(" "), QStringLiteral("ali@dalgaton.example"), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SmtpServer server({{587, "accept"}, {25, "accept"}});
    TfrmIstek form(nullptr, Local());
    ShowForm(form);
    BoxAnswerer boxes;
    Fill(form, {c.name, c.email, QStringLiteral("Sanatçı"), {}, {}});
    QTest::mouseClick(form.btnGonder, Qt::LeftButton);
    EXPECT_EQ(form.sending(), c.sends);
    if (c.sends) {
      ASSERT_TRUE(spinUntil([&] { return !boxes.texts.isEmpty() && !form.sending(); }, 20s));
      EXPECT_EQ(boxes.texts, QStringList{kSent});
    }
    ASSERT_TRUE(server.settle());
    // Any box would have come from a send; none started, none came.
    EXPECT_EQ(boxes.texts.size(), c.sends ? 1 : 0);
    EXPECT_EQ(server.connects(587), c.sends ? 1 : 0);
    EXPECT_EQ(server.connects(25), 0);
    EXPECT_EQ(form.isVisible(), !c.sends);
  }
}

TEST(EmailRequestWindow, ShowingAgainAfterAFailureStartsClean) {
  TfrmIstek form(nullptr, mail::Settings{});  // no host: fails at once
  ShowForm(form);
  BoxAnswerer boxes;
  Fill(form, {QStringLiteral("Ali"), QStringLiteral("ali@dalgaton.example"), QStringLiteral("a"),
              QStringLiteral("b"), QStringLiteral("c\nd")});
  ASSERT_TRUE(SendAndAnswer(form, boxes));
  EXPECT_EQ(boxes.texts, QStringList{kNotSent});
  form.tMesaj->setFocus();
  ASSERT_EQ(form.focusWidget(), form.tMesaj);
  form.hide();
  ShowForm(form);
  ExpectTexts(form, {QString(), QString(), QString(), QString(), QString()});
  EXPECT_EQ(form.focusWidget(), form.tAd);
}

}  // namespace
}  // namespace ornivox::mailtest
