#include "ui/about/hakkinda.h"

#include <QApplication>
#include <QHideEvent>

#include <string>

#include "station/identity.h"
#include "ui/common/display_server.h"
#include "ui/common/fonts.h"
#include "ui/common/link_pointer.h"
#include "ui/common/open_address.h"
#include "ui/common/texts_qt.h"
#include "ui/widgets/push_button.h"
#include "ui/widgets/shadow_label.h"
#include "version/version_block.h"

namespace ornivox::ui {
namespace {

constexpr QSize kClientSize(274, 195);
// How often, and how far apart, a showing looks for the box's frame: for
// five seconds, since a busy window manager can take seconds to frame it;
// the looks stop as soon as the box sits in its frame's place.
constexpr int kFrameLooks = 250;
constexpr int kFrameLookMs = 20;
const QColor kSkyBlue(166, 202, 240);
const QColor kTeal(0, 128, 128);

QFont tahoma(int pixels, bool underline = false) {
  QFont font = TahomaFont(pixels);
  font.setUnderline(underline);
  return font;
}

ShadowLabel* label(QWidget* parent, const char* name, QRect box, const QFont& font, const QColor& colour,
                   const QString& text) {
  auto* widget = new ShadowLabel(parent);
  widget->setObjectName(QLatin1String(name));
  widget->setGeometry(box);
  widget->setFont(font);
  widget->setTextColor(colour);
  widget->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  widget->setText(text);
  return widget;
}

}  // namespace

TfrmHakkinda::TfrmHakkinda(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint) {
  setObjectName(QStringLiteral("frmHakkinda"));
  frameWatch_ = new QTimer(this);
  frameWatch_->setInterval(kFrameLookMs);
  connect(frameWatch_, &QTimer::timeout, this, &TfrmHakkinda::placeOnceFramed);
  setWindowTitle(QStringLiteral("Hakkında"));
  setFixedSize(kClientSize);
  // Always replaced by the caller before showing.
  move(795, 224);
  setFont(DialogFont());
  QPalette pal = palette();
  pal.setColor(QPalette::Window, kSkyBlue);
  setPalette(pal);
  setAutoFillBackground(true);

  const QColor text = QApplication::palette().color(QPalette::WindowText);
  const QColor link = QApplication::palette().color(QPalette::Link);
  Label7 = label(this, "Label7", {16, 4, 241, 28}, tahoma(19), kTeal, QStringLiteral("Ornivox"));
  Label1 = label(this, "Label1", {40, 34, 63, 13}, tahoma(11), text, QStringLiteral("Bu yazılım, "));
  Label2 = label(this, "Label2", {98, 34, 60, 17}, tahoma(11), link, QStringLiteral("Lodosfil"));
  Label8 = label(this, "Label8", {158, 34, 63, 13}, tahoma(11), text, QStringLiteral("tarafından"));
  lRadyo = label(this, "lRadyo", {8, 49, 257, 13}, tahoma(11), text, QStringLiteral("xxx radyo"));
  Label3 = label(this, "Label3", {50, 64, 163, 13}, tahoma(11), text, QStringLiteral("için internetten radyo dinlemek"));
  Label4 = label(this, "Label4", {50, 79, 163, 13}, tahoma(11), text, QStringLiteral("amacıyla geliştirilmişdir."));
  lWeb = label(this, "lWeb", {6, 133, 265, 16}, tahoma(13, true), link, QStringLiteral("web"));

  btnKapat = new PushButton(QStringLiteral("Kapat"), this);
  btnKapat->setObjectName(QStringLiteral("btnKapat"));
  btnKapat->setGeometry(105, 160, 75, 25);
  btnKapat->setFocusPolicy(Qt::StrongFocus);
  btnKapat->setFocus();

  connect(Label2, &ShadowLabel::clicked, this, &TfrmHakkinda::Label2Click);
  connect(lWeb, &ShadowLabel::clicked, this, &TfrmHakkinda::lWebClick);
  for (ShadowLabel* w : {Label2, lWeb}) {
    // Tab reaches the links too, and only Tab: a click leaves no outline.
    w->setFocusPolicy(Qt::TabFocus);
    connect(w, &ShadowLabel::entered, this, [] { ShowLinkPointer(true); });
    connect(w, &ShadowLabel::left, this, [] { ShowLinkPointer(false); });
  }
  connect(btnKapat, &PushButton::clicked, this, &TfrmHakkinda::close);
}

QString TfrmHakkinda::makerAddress() const { return FromCp1254(station::MakerSiteAddress(ToCp1254(lRadyo->text()))); }

void TfrmHakkinda::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (anchor_) {
    frameLooks_ = 0;
    frameWatch_->start();
  }
  FormShow();
  emit shown();
}

void TfrmHakkinda::placeAbove(const QRect& anchor) {
  if (!OnX11()) return;  // the compositor places it
  anchor_ = anchor;
  place();
}

void TfrmHakkinda::place() {
  const int outerHeight = frameGeometry().height();
  move(anchor_->left() + 113, anchor_->top() - outerHeight + 14);
  // Without a frame (none yet, or no window manager) the box's own height
  // stands for the outer one, and a frame that comes later places it again.
  if (outerHeight != height()) anchor_.reset();
}

void TfrmHakkinda::placeOnceFramed() {
  // The window manager has framed the box: its frame's height is known now.
  if (anchor_ && isVisible() && frameGeometry().height() != height()) place();
  if (!anchor_ || !isVisible() || ++frameLooks_ > kFrameLooks) frameWatch_->stop();
}

void TfrmHakkinda::hideEvent(QHideEvent* event) {
  QDialog::hideEvent(event);
  anchor_.reset();
}

void TfrmHakkinda::FormShow() {
  Label7->setText(QStringLiteral("Ornivox v") + QString::fromStdString(version::OwnVersionText()));
}

void TfrmHakkinda::Label2Click() { OpenAddress(ToCp1254(makerAddress())); }

void TfrmHakkinda::lWebClick() { OpenAddress(ToCp1254(lWeb->text())); }

}  // namespace ornivox::ui

// The meta-object code is compiled here, with the class, instead of as a unit
// of its own that would read the toolkit's headers once more.
#include "moc_hakkinda.cpp"
