#include "ui/requests/istek.h"

#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QShowEvent>

#include <algorithm>
#include <initializer_list>
#include <vector>

#include "ui/common/fonts.h"
#include "ui/common/texts_qt.h"
#include "ui/widgets/push_button.h"

namespace ornivox::ui {
namespace {

constexpr int kEditLeft = 88;
constexpr int kEditWidth = 184;
constexpr int kEditHeight = 21;
constexpr int kLabelRight = 86;  // every label ends here, against the edits
constexpr int kFirstPort = 587;
constexpr int kSecondPort = 25;

struct LabelPlace {
  const char* text;
  int top;
  int width;
};

constexpr LabelPlace kLabels[] = {
    {"Adınız", 9, 28},
    {"Eposta Adresiniz", 30, 78},
    {"Sanatçı Adı", 54, 54},
    {"İstek Şarkınız", 75, 63},
    {"Mesajınız", 95, 43},
};

}  // namespace

TfrmIstek::TfrmIstek(QWidget* parent, mail::Settings mail) : QDialog(parent), mail_(std::move(mail)) {
  setObjectName(QStringLiteral("frmIstek"));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  setWindowTitle(QString::fromUtf8(" İstek Gönder"));
  setFont(DialogFont());
  QPalette face = palette();
  face.setColor(QPalette::Window, QColor(0xF0, 0xF0, 0xF0));
  setPalette(face);
  setAutoFillBackground(true);
  setFixedSize(274, 228);
  move(419, 333);

  int index = 1;
  std::vector<QLabel*> labels;
  for (const LabelPlace& place : kLabels) {
    auto* label = new QLabel(QString::fromUtf8(place.text), this);
    labels.push_back(label);
    label->setObjectName(QStringLiteral("Label%1").arg(index++));
    label->setAlignment(Qt::AlignRight | Qt::AlignTop);
    // Our font may run wider than the layout's; the label grows to the left
    // so that it still ends against the edits.
    const int width = std::max(place.width, label->fontMetrics().horizontalAdvance(label->text()));
    label->setGeometry(kLabelRight - width, place.top, width, 13);
  }

  auto makeEdit = [this](const char* name, int top) {
    auto* edit = new QLineEdit(this);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setGeometry(kEditLeft, top, kEditWidth, kEditHeight);
    return edit;
  };
  tAd = makeEdit("tAd", 5);
  tEposta = makeEdit("tEposta", 27);
  tSanatci = makeEdit("tSanatci", 49);
  tSarki = makeEdit("tSarki", 72);

  tMesaj = new QPlainTextEdit(this);
  tMesaj->setObjectName(QStringLiteral("tMesaj"));
  tMesaj->setGeometry(kEditLeft, 94, kEditWidth, 104);
  tMesaj->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  tMesaj->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  tMesaj->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  tMesaj->setTabChangesFocus(true);

  // Each field is named by its label for screen readers; the texts carry no
  // "&", so no shortcut comes with it.
  const std::initializer_list<QWidget*> fields = {tAd, tEposta, tSanatci, tSarki, tMesaj};
  for (size_t i = 0; i < labels.size() && i < fields.size(); ++i) labels[i]->setBuddy(fields.begin()[i]);

  btnGonder = new PushButton(QString::fromUtf8("Gönder"), this);
  btnGonder->setObjectName(QStringLiteral("btnGonder"));
  btnGonder->setGeometry(87, 200, 75, 25);
  btnGonder->setFocusPolicy(Qt::StrongFocus);
  connect(btnGonder, &QAbstractButton::clicked, this, [this] { btnGonderClick(); });

  setTabOrder(tAd, tEposta);
  setTabOrder(tEposta, tSanatci);
  setTabOrder(tSanatci, tSarki);
  setTabOrder(tSarki, tMesaj);
  setTabOrder(tMesaj, btnGonder);
}

TfrmIstek::~TfrmIstek() {
  // A send still under way gives up within about a second.
  cancel_ = true;
  if (worker_.joinable()) worker_.join();
}

void TfrmIstek::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!event->spontaneous()) FormShow();
}

void TfrmIstek::FormShow() {
  tAd->clear();
  tEposta->clear();
  tSanatci->clear();
  tSarki->clear();
  tMesaj->clear();
  tAd->setFocus(Qt::OtherFocusReason);
}

mail::Request TfrmIstek::typed() const {
  return {ToCp1254(tAd->text()), ToCp1254(tEposta->text()), ToCp1254(tSanatci->text()), ToCp1254(tSarki->text()),
          ToCp1254(tMesaj->toPlainText())};
}

bool TfrmIstek::MailGonder(int port) { return mail::MailGonder(mail_, port, typed(), &cancel_); }

void TfrmIstek::btnGonderClick() {
  if (tEposta->text().isEmpty()) return;
  if (tAd->text().isEmpty()) return;
  if (worker_.joinable()) return;
  btnGonder->setEnabled(false);
  cancel_ = false;
  worker_ = std::thread([this, request = typed(), settings = mail_] {
    // Each attempt composes afresh, dated when it starts.
    const bool accepted = mail::MailGonder(settings, kFirstPort, request, &cancel_) ||
                          mail::MailGonder(settings, kSecondPort, request, &cancel_);
    // Dropped if the window is gone by then: its destructor joins us.
    QMetaObject::invokeMethod(this, [this, accepted] { finishSend(accepted); }, Qt::QueuedConnection);
  });
}

void TfrmIstek::finishSend(bool accepted) {
  if (worker_.joinable()) worker_.join();
  btnGonder->setEnabled(true);
  emit sendFinished(accepted);
  QMessageBox box(QMessageBox::NoIcon, QGuiApplication::applicationDisplayName(),
                  QString::fromUtf8(accepted ? "İstek mesajınız başarıyla gönderildi." : "İstek mesajınız gönderilemedi."),
                  QMessageBox::Ok, this);
  box.exec();
  if (accepted) close();
}

}  // namespace ornivox::ui

// The meta-object code is compiled here, with the class, instead of as a unit
// of its own that would read the toolkit's headers once more.
#include "moc_istek.cpp"
