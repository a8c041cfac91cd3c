// The e-mail song request window. Created hidden at start; each showing
// starts with empty fields. The send button mails what was typed to the
// station (port 587 first, 25 only when that fails) and says how it went.
//
// Threads: the UI thread. The mail goes out on a worker thread of the
// window's own, so the window keeps painting while the server answers; the
// send button stays disabled until both attempts are over.
#pragma once

#include <QDialog>

#include <atomic>
#include <thread>

#include "mail/sender.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;

namespace ornivox::ui {

class PushButton;

class TfrmIstek : public QDialog {
  Q_OBJECT
 public:
  // `mail`: where requests go; the station's build settings unless a caller
  // (a test) names another server.
  explicit TfrmIstek(QWidget* parent = nullptr, mail::Settings mail = mail::BuildSettings());
  ~TfrmIstek() override;

  // One attempt on `port` with the texts as they stand, on the calling
  // thread: true when the server accepted the message.
  bool MailGonder(int port);

  // True from a click that starts sending until its outcome is shown.
  bool sending() const { return worker_.joinable(); }

  QLineEdit* tAd = nullptr;
  QLineEdit* tEposta = nullptr;
  QLineEdit* tSanatci = nullptr;
  QLineEdit* tSarki = nullptr;
  QPlainTextEdit* tMesaj = nullptr;
  PushButton* btnGonder = nullptr;

 signals:
  // Both attempts are over (true when one of them was accepted); emitted
  // before the message box that reports it.
  void sendFinished(bool accepted);

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void FormShow();
  void btnGonderClick();
  void finishSend(bool accepted);
  mail::Request typed() const;

  mail::Settings mail_;
  std::thread worker_;
  std::atomic<bool> cancel_{false};
};

}  // namespace ornivox::ui
