#include "ui/main/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>
#include <QMouseEvent>
#include <QScreen>
#include <QWindow>

#include <exception>
#include <initializer_list>

#include "audio/bass.h"
#include "desktop/handover_server.h"
#include "station/identity.h"
#include "ui/about/hakkinda.h"
#include "ui/common/display_server.h"
#include "ui/common/error_box.h"
#include "ui/common/fonts.h"
#include "ui/common/link_pointer.h"
#include "ui/common/open_address.h"
#include "ui/common/texts_qt.h"
#include "ui/requests/web_istek.h"
#include "ui/shape/jpeg_picture.h"
#include "ui/shape/window_shape.h"
#include "ui/widgets/level_gauge.h"
#include "ui/widgets/shadow_label.h"
#include "ui/widgets/skin_image.h"
#include "ui/widgets/track_bar.h"

namespace ornivox::ui {
namespace {

constexpr QSize kClientSize(419, 114);

QImage picture(const char* name) { return QImage(QStringLiteral(":/pictures/") + QLatin1String(name)); }

// The picture to show: on a screen scaled by more than one, the one drawn
// at twice the size ("name@2x.bmp") where there is one.
QImage shownPicture(const char* name) {
  if (qApp->devicePixelRatio() > 1.0) {
    QString twice = QStringLiteral(":/pictures/") + QLatin1String(name);
    twice.insert(twice.lastIndexOf(QLatin1Char('.')), QStringLiteral("@2x"));
    QImage image(twice);
    if (!image.isNull()) {
      image.setDevicePixelRatio(2.0);
      return image;
    }
  }
  return picture(name);
}

QFont tahoma(int pixels, bool bold) {
  QFont font = TahomaFont(pixels);
  font.setBold(bold);
  return font;
}

SkinImage* image(QWidget* parent, int x, int y, int w, int h, const QImage& pic, bool keyed) {
  auto* widget = new SkinImage(parent);
  widget->setGeometry(x, y, w, h);
  widget->setImage(pic, keyed);
  return widget;
}

ShadowLabel* label(QWidget* parent, int x, int y, int w, int h) {
  auto* widget = new ShadowLabel(parent);
  widget->setGeometry(x, y, w, h);
  return widget;
}

}  // namespace

void ShowBassError(QWidget* owner, const QString& text) {
  QMessageBox box(QMessageBox::NoIcon, QString(),
                  text + QStringLiteral("\r\n(error code: %1)").arg(BASS_ErrorGetCode()), QMessageBox::Ok, owner);
  box.exec();
}

void ShowAudioSetupFailure(QWidget* owner, AudioSetup failure) {
  switch (failure) {
    case AudioSetup::Ready:
      break;
    case AudioSetup::WrongVersion: {
      // No owner: the program ends without ever showing its window.
      QMessageBox box(QMessageBox::Critical, QString(), QStringLiteral("BASS.DLL kütüphanesi bulunamadı.."),
                      QMessageBox::Ok);
      box.exec();
      break;
    }
    case AudioSetup::NoDevice:
      ShowBassError(owner, QStringLiteral("Cant initialize device"));
      break;
  }
}

TfrmMain::TfrmMain(Player& player, MainWindowOptions options, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), player_(player), options_(std::move(options)) {
  setWindowTitle(QString::fromLatin1(station::kInstanceName.data(), static_cast<int>(station::kInstanceName.size())));
  setFixedSize(kClientSize);
  move(468, 222);
  setAttribute(Qt::WA_DeleteOnClose, false);
  // Without X11's shapes the skin's outline is its see-through key colour.
  if (!OnX11()) setAttribute(Qt::WA_TranslucentBackground);
  createComponents();
  player_.setView(this);
  FormCreate();
}

TfrmMain::~TfrmMain() { FormDestroy(); }

void TfrmMain::createComponents() {
  const QImage face = shownPicture("button_face.bmp");
  Image1 = image(this, 0, 0, kClientSize.width(), kClientSize.height(), shownPicture("skin.bmp"), !OnX11());
  btnKapat = image(this, 389, 24, 21, 23, shownPicture("close.bmp"), false);
  btnKapat->setToolTip(QStringLiteral("Kapat"));
  btnMinimize = image(this, 366, 24, 21, 23, shownPicture("minimize.bmp"), false);
  btnMinimize->setToolTip(QStringLiteral("Simge"));
  btnSesAcik = image(this, 258, 82, 16, 16, shownPicture("sound_on.bmp"), true);
  btnDur = image(this, 240, 82, 16, 16, shownPicture("stop.bmp"), true);
  btnPlay = image(this, 222, 82, 16, 16, shownPicture("play.bmp"), true);
  btnSesKapali = image(this, 215, 58, 16, 16, shownPicture("sound_off.bmp"), true);
  btnSesKapali->hide();
  logo = image(this, 7, 8, 100, 100, DecodeJpeg([] {
                 QFile f(QStringLiteral(":/pictures/logo.jpg"));
                 return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
               }()),
               false);
  lWebGit = label(this, 7, 10, 98, 97);
  lWebGit->setToolTip(QStringLiteral("Web Sayfasına Git"));
  imageBilgi = image(this, 362, 73, 53, 18, face, true);
  const QColor highlight = QApplication::palette().color(QPalette::Highlight);
  lBilgi = label(this, 366, 75, 45, 14);
  lBilgi->setFont(tahoma(11, true));
  lBilgi->setTextColor(highlight);
  lBilgi->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  lBilgi->setText(QStringLiteral("Bilgi"));
  imageIstek = image(this, 362, 52, 53, 18, face, true);
  lIstek = label(this, 366, 54, 46, 13);
  lIstek->setFont(tahoma(11, true));
  lIstek->setTextColor(highlight);
  lIstek->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  lIstek->setText(QStringLiteral("İstek"));

  for (LevelGauge** gauge : {&lSol, &lSag}) {
    *gauge = new LevelGauge(this);
    (*gauge)->setRange(0, 65535);
    (*gauge)->setColors(QColor(115, 115, 115), QColor(30, 30, 30));
    (*gauge)->setEnabled(false);
  }
  lSol->setGeometry(336, 44, 7, 30);
  lSag->setGeometry(344, 44, 7, 30);

  Label4 = label(this, 113, 21, 221, 21);
  Label4->setFont(tahoma(12, true));
  Label4->setTextColor(QColor(255, 255, 0));
  Label4->setAlignment(Qt::AlignCenter);
  Label4->setAccelerators(true);
  Label4->setShadow(1, Qt::black, ShadowOrientation::RightBottom);

  sndBar = new TrackBar(this);
  sndBar->setGeometry(270, 80, 89, 24);
  sndBar->setRange(0, 100);

  Label3 = label(this, 113, 41, 223, 34);
  Label3->setFont(tahoma(12, true));
  Label3->setTextColor(QColor(255, 255, 0));
  Label3->setAlignment(Qt::AlignCenter);
  Label3->setWordWrap(true);
  Label3->setAccelerators(false);
  Label3->setShadow(1, Qt::black, ShadowOrientation::RightBottom);

  sLink = label(this, 114, 81, 10, 10);
  sLink->setFont(tahoma(11, false));
  sLink->setTextColor(QColor(0, 128, 192));
  sLink->setLowered(true, QApplication::palette().color(QPalette::Light));
  sLink->setShadow(0, Qt::black, ShadowOrientation::Top);
  sLink->setAutoSize(true);
  sLink->setText(FromCp1254(station::kMakerAddress));

  lKbps = label(this, 308, 19, 46, 26);
  lKbps->setFont(tahoma(9, false));
  lKbps->setTextColor(QColor(139, 139, 139));
  lKbps->setAlignment(Qt::AlignRight | Qt::AlignTop);
  lKbps->setWordWrap(true);
  lKbps->setShadow(1, Qt::black, ShadowOrientation::Right);
  lKbps->setText(QStringLiteral("0 kbps aac"));

  setUpKeyboard();

  TimerKontrol = new QTimer(this);
  TimerKontrol->setInterval(options_.watchdogIntervalMs);
  tLevel = new QTimer(this);
  tLevel->setInterval(options_.levelIntervalMs);

  // Moving the window: any button on the skin, the two text lines or the logo.
  for (SkinImage* w : {Image1, logo})
    connect(w, &SkinImage::pressed, this, [this, w](Qt::MouseButton b) { startMove(w, b); });
  for (ShadowLabel* w : {Label4, Label3})
    connect(w, &ShadowLabel::pressed, this, [this, w](Qt::MouseButton b) { startMove(w, b); });

  connect(btnKapat, &SkinImage::clicked, this, &TfrmMain::btnKapatClick);
  connect(btnMinimize, &SkinImage::clicked, this, &TfrmMain::btnMinimizeClick);
  connect(btnSesAcik, &SkinImage::clicked, this, [this] { player_.btnSesAcikClick(); });
  connect(btnSesKapali, &SkinImage::clicked, this, [this] { player_.btnSesKapaliClick(); });
  connect(btnDur, &SkinImage::clicked, this, [this] { player_.btnDurClick(); });
  connect(btnPlay, &SkinImage::clicked, this, [this] { player_.btnPlayClick(); });
  connect(logo, &SkinImage::clicked, this, &TfrmMain::logoClick);
  connect(lWebGit, &ShadowLabel::clicked, this, &TfrmMain::lWebGitClick);
  connect(sLink, &ShadowLabel::clicked, this, &TfrmMain::sLinkClick);
  connect(Label4, &ShadowLabel::doubleClicked, this, &TfrmMain::Label4DblClick);
  connect(lKbps, &ShadowLabel::clicked, this, &TfrmMain::lKbpsClick);
  connect(lIstek, &ShadowLabel::clicked, this, &TfrmMain::lIstekClick);
  connect(lBilgi, &ShadowLabel::clicked, this, &TfrmMain::lBilgiClick);
  for (ShadowLabel* w : {sLink, lBilgi, lWebGit, lIstek}) {
    connect(w, &ShadowLabel::entered, this, [this] { linkHover(true); });
    connect(w, &ShadowLabel::left, this, [this] { linkHover(false); });
  }
  connect(sndBar, &TrackBar::valueChanged, this, [this](int position) { player_.sndBarPropertiesChange(position); });
  connect(TimerKontrol, &QTimer::timeout, this, [this] { player_.TimerKontrolTimer(); });
  connect(tLevel, &QTimer::timeout, this, [this] { player_.tLevelTimer(); });
  TimerKontrol->start();
  tLevel->start();
}

void TfrmMain::setUpKeyboard() {
  // The buttons that show only a picture are named for screen readers here;
  // their tooltips stay as they were.
  btnPlay->setAccessibleName(QStringLiteral("Çal"));
  btnDur->setAccessibleName(QStringLiteral("Dur"));
  btnSesAcik->setAccessibleName(QStringLiteral("Sesi Kapat"));
  btnSesKapali->setAccessibleName(QStringLiteral("Sesi Aç"));
  sndBar->setAccessibleName(QStringLiteral("Ses"));
  lSol->setAccessibleName(QStringLiteral("Sol"));
  lSag->setAccessibleName(QStringLiteral("Sağ"));
  // Tab only: a click on the skin must not leave a control focused and
  // marked.
  const std::initializer_list<QWidget*> order = {btnPlay, btnDur,      btnSesAcik, btnSesKapali, sndBar, lIstek,
                                                 lBilgi,  btnMinimize, btnKapat,   lWebGit,      sLink};
  QWidget* previous = nullptr;
  for (QWidget* w : order) {
    if (w != sndBar) w->setFocusPolicy(Qt::TabFocus);
    if (previous) setTabOrder(previous, w);
    previous = w;
  }
  // The window's first focus, when it becomes active.
  btnPlay->setFocus(Qt::OtherFocusReason);
}

void TfrmMain::FormCreate() {
  // A Wayland compositor takes no opacity from its clients.
  if (OnX11()) SetWindowTransparency(this, 15);
  QCoreApplication::processEvents();
  // The program's start decides what a failure means (main); nothing more
  // is set up here.
  audioSetup_ = SetUpAudio(nullptr);
  if (audioSetup_ != AudioSetup::Ready) return;
  shapeRegion = RegionFromBitmap(picture("skin.bmp"));
  // On Wayland the same region is where the window takes the pointer.
  setMask(shapeRegion);

  if (options_.listenForHandOver) {
    handover_ = std::make_unique<desktop::HandoverServer>(
        windowTitle(), [this](const QByteArray& argument) { OpenStation(argument.toStdString()); });
    handover_->listen(options_.instanceLockHolder);
  }
}

void TfrmMain::takeOverHandOver() {
  if (handover_) handover_->listen(true);
}

void TfrmMain::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (shownOnce_ || event->spontaneous()) return;
  shownOnce_ = true;
  FormShow();
  emit shown();
}

void TfrmMain::FormShow() {
  // A Wayland compositor places its windows itself.
  if (QScreen* screen = QGuiApplication::primaryScreen(); screen && OnX11())
    move(PlaceNearCorner(screen->geometry(), size()));
  if (QFileInfo::exists(QStringLiteral("logo.jpg"))) {
    // A file that is not a readable picture keeps the built-in logo.
    QImage replacement = LoadJpegFile(QStringLiteral("logo.jpg"));
    if (!replacement.isNull()) logo->setImage(replacement, false);
  }
  if (!OpenStation(options_.argument)) return;
  player_.setVolumeBarFromDevice();
  player_.state().messengerSuffix = std::string(station::kHomePage);
  player_.state().messengerToggle = true;
}

bool TfrmMain::OpenStation(const std::string& source) {
  try {
    player_.OpenStation(source);
    return true;
  } catch (const std::exception& error) {
    // The window stays open and silent.
    ShowErrorBox(this, error);
    return false;
  }
}

void TfrmMain::closeEvent(QCloseEvent* event) {
  FormClose();
  event->accept();
}

void TfrmMain::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  // Nothing to see while minimised: the meters' timer sleeps too.
  if (event->type() == QEvent::WindowStateChange && !destroyed_) {
    if (isMinimized())
      tLevel->stop();
    else if (!tLevel->isActive())
      tLevel->start();
  }
}

void TfrmMain::FormClose() { player_.SendNowPlaying({}, {}, {}, false); }

void TfrmMain::FormDestroy() {
  if (destroyed_) return;
  destroyed_ = true;
  handover_.reset();
  TimerKontrol->stop();
  tLevel->stop();
  player_.close();
  BASS_Free();
  player_.joinConnections();
  player_.setView(nullptr);
}

void TfrmMain::startMove(QWidget* pressed, Qt::MouseButton button) {
  // The window manager moves the window when it can, but its move follows
  // the first button only; for the others, and without one, follow the
  // pointer ourselves until the button is released.
  // A Wayland client cannot move its window: the compositor's move is the
  // only one, for any button.
  if (QWindow* w = windowHandle(); (button == Qt::LeftButton || !OnX11()) && w && w->startSystemMove()) return;
  dragSource_ = pressed;
  dragOffset_ = QCursor::pos() - frameGeometry().topLeft();
  pressed->installEventFilter(this);
}

bool TfrmMain::eventFilter(QObject* watched, QEvent* event) {
  if (watched == dragSource_) {
    if (event->type() == QEvent::MouseMove) {
      move(static_cast<QMouseEvent*>(event)->globalPosition().toPoint() - dragOffset_);
      return true;
    }
    if (event->type() == QEvent::MouseButtonRelease) {
      dragSource_->removeEventFilter(this);
      dragSource_ = nullptr;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void TfrmMain::btnKapatClick() { close(); }

void TfrmMain::btnMinimizeClick() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->isVisible()) w->showMinimized();
}

void TfrmMain::sLinkClick() { OpenAddress(station::MakerSiteAddress(station::kBrand)); }

void TfrmMain::lWebGitClick() { OpenAddress(station::kHomePage); }

void TfrmMain::logoClick() { OpenAddress(station::kHomePage); }

void TfrmMain::Label4DblClick() {
  if (Label4->text().contains(QStringLiteral("www."))) OpenAddress(station::kHomePage);
}

void TfrmMain::lKbpsClick() {
  // A hidden way to see the address being played, for whoever helps a
  // listener on the telephone: only from the 21st click on.
  if (++kbpsClicks_ <= kKbpsClicksBeforeAddress) return;
  const std::string address = std::string(station::kPlaylistUrl) + " - " + player_.state().streamUrl;
  // What is typed there, and how the box is left, changes nothing.
  QInputDialog::getText(this, QStringLiteral("Bilgi"), QStringLiteral("Yayın Adresi :"), QLineEdit::Normal,
                        FromCp1254(address));
}
void TfrmMain::lIstekClick() {
  TfrmWebIstek* request = dialogs_.webRequest;
  if (!request) return;
  request->setOuterSize(QSize(360, 240));
  // Loading starts while the window is still hidden.
  try {
    request->navigate(request->pageAddress());
  } catch (const std::exception& error) {
    // The request window is not shown.
    ShowErrorBox(this, error);
    return;
  }
  request->centreOnDesktop();
  request->exec();
}
void TfrmMain::lBilgiClick() {
  TfrmHakkinda* box = dialogs_.about;
  if (!box) return;
  box->placeAbove(frameGeometry());
  box->lRadyo->setText(FromCp1254(station::kBrand));
  box->lWeb->setText(FromCp1254(station::kHomePage));
  box->exec();
}

void TfrmMain::linkHover(bool inside) { ShowLinkPointer(inside); }

// PlayerView

void TfrmMain::setStationLine(const std::string& text) { Label4->setText(FromCp1254(text)); }

std::string TfrmMain::stationLine() const { return ToCp1254(Label4->text()); }

void TfrmMain::repaintStationLine() {
  if (!isMinimized()) Label4->repaintNow();
}

void TfrmMain::setTitleLine(const std::string& text) { Label3->setText(FromCp1254(text)); }

std::string TfrmMain::titleLine() const { return ToCp1254(Label3->text()); }

void TfrmMain::setKbpsLabel(const std::string& text) { lKbps->setText(FromCp1254(text)); }

void TfrmMain::setVolumeBar(int position) { sndBar->setValue(position); }

int TfrmMain::volumeBar() const { return sndBar->value(); }

void TfrmMain::setWatchdogEnabled(bool enabled) {
  // Enabling a running watchdog keeps its rhythm.
  if (enabled) {
    if (!TimerKontrol->isActive()) TimerKontrol->start();
  } else {
    TimerKontrol->stop();
  }
}

void TfrmMain::showMuted(bool muted) {
  SkinImage* shown = muted ? btnSesKapali : btnSesAcik;
  SkinImage* hidden = muted ? btnSesAcik : btnSesKapali;
  // The keyboard stays on the mute button as it changes its face.
  const bool focused = hidden->hasFocus();
  if (muted) {
    btnSesKapali->move(btnSesKapali->x(), btnSesAcik->y());
    btnSesKapali->move(btnSesAcik->x(), btnSesKapali->y());
  }
  shown->show();
  hidden->hide();
  if (focused) shown->setFocus(Qt::TabFocusReason);
}

void TfrmMain::setLevels(int left, int right) {
  // Nothing to see while minimised: no painting at all.
  if (isMinimized()) return;
  lSol->setValue(left);
  lSag->setValue(right);
}

}  // namespace ornivox::ui

// The meta-object code is compiled here, with the class, instead of as a unit
// of its own that would read the toolkit's headers once more.
#include "moc_main_window.cpp"
