#include "ui/requests/web_istek.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLibrary>
#include <QOpenGLContext>
#include <QScreen>
#include <QVBoxLayout>
#include <QWindow>

#include <stdexcept>
#include <string>

#include "station/identity.h"

// The toolkit's own, for its modules; exported, but in no public header.
Q_GUI_EXPORT void qt_gl_set_global_share_context(QOpenGLContext* context);

namespace ornivox::ui {
namespace {

// What the window keeps from its form; every opening resizes it anyway.
constexpr QSize kStoredClientSize(450, 452);

QUrl stationRequestPage() {
  const QString host = QString::fromLatin1(station::kWebHost.data(), static_cast<qsizetype>(station::kWebHost.size()));
  return QUrl(QStringLiteral("http://") + host + QStringLiteral("/istek/istek.asp"));
}

QMargins frameOf(const QWidget* window) {
  const QWindow* handle = window->windowHandle();
  return handle ? handle->frameMargins() : QMargins();
}

// What the engine expects of the program before it loads.
void prepareEngine() {
  // It draws through a graphics context it shares with the toolkit, one the
  // toolkit makes when the application starts, but only when asked before
  // that: asking there would cost every start what only the request window
  // needs. So it is made here, before the engine looks for it.
  if (!QOpenGLContext::globalShareContext()) {
    auto* context = new QOpenGLContext(qApp);
    context->create();
    qt_gl_set_global_share_context(context);
  }
}

// The sandbox keeps a page that breaks into the browser's renderer from
// acting with the listener's rights. The engine cannot run it as root, and
// then refuses to start at all unless it is switched off; that is for whoever
// starts the program to decide (QTWEBENGINE_DISABLE_SANDBOX), never for the
// program: a renderer exploit would run as root.
void requireSandbox() {
  if (::geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
    throw std::runtime_error("İstek sayfası yönetici (root) hesabıyla açılamaz: tarayıcının korumalı alanı "
                             "bu hesapta çalışmaz.");
}

}  // namespace

// Loads the module; it stays for the rest of the program, as the engine
// cannot be unloaded. Throws with the loader's reason on failure.
TfrmWebIstek::BrowserModule TfrmWebIstek::loadBrowserModule() {
  requireSandbox();
  prepareEngine();
  QLibrary library(QCoreApplication::applicationDirPath() + QStringLiteral("/browser/" ORNIVOX_WEB_BROWSER_NAME));
  if (!library.load()) throw std::runtime_error(library.errorString().toStdString());
  const auto create = reinterpret_cast<decltype(BrowserModule::create)>(library.resolve("ornivox_web_browser_create"));
  const auto load = reinterpret_cast<decltype(BrowserModule::load)>(library.resolve("ornivox_web_browser_load"));
  if (!create || !load) throw std::runtime_error(library.errorString().toStdString());
  return BrowserModule{create, load};
}

TfrmWebIstek::TfrmWebIstek(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      pageAddress_(stationRequestPage()) {
  setObjectName(QStringLiteral("frmWebIstek"));
  setWindowTitle(QStringLiteral(" İstek Formu"));
  setFont(QFont(QStringLiteral("MS Sans Serif"), 8));
  QPalette colours = palette();
  colours.setColor(QPalette::Window, colours.color(QPalette::Button));
  setPalette(colours);
  setFixedSize(kStoredClientSize);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
}

void TfrmWebIstek::navigate(const QUrl& address) {
  if (!module_.create) module_ = loadBrowserModule();
  if (!WebBrowser) {
    WebBrowser = module_.create(this);
    WebBrowser->setObjectName(QStringLiteral("WebBrowser"));
    layout()->addWidget(WebBrowser);
  }
  // A new load, not a reload: a reload would put back what was typed.
  module_.load(WebBrowser, &address);
}

void TfrmWebIstek::setOuterSize(QSize outer) {
  outerSize_ = outer;
  fitOuterSize();
}

void TfrmWebIstek::fitOuterSize() {
  if (outerSize_.isEmpty()) return;
  const QMargins frame = frameOf(this);
  fittedFrame_ = frame;
  setFixedSize(outerSize_.shrunkBy(frame));
}

void TfrmWebIstek::centreOnDesktop() {
  const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect desktop = screen->geometry();
  const QSize outer = size().grownBy(frameOf(this));
  // move() places the frame's corner.
  move(desktop.x() + (desktop.width() - outer.width()) / 2, desktop.y() + (desktop.height() - outer.height()) / 2);
  centred_ = true;
}

bool TfrmWebIstek::event(QEvent* event) {
  const bool handled = QDialog::event(event);
  // A window manager tells the frame only once the window is up; until
  // then the fit took the frame as empty.
  if ((event->type() == QEvent::Show || event->type() == QEvent::Move) && !outerSize_.isEmpty() &&
      frameOf(this) != fittedFrame_) {
    fitOuterSize();
    if (centred_) centreOnDesktop();
  }
  if (event->type() == QEvent::Hide) centred_ = false;
  // Escape is looked for while the window shows, whichever of the page's
  // widgets has the keyboard.
  if (event->type() == QEvent::Show) QCoreApplication::instance()->installEventFilter(this);
  if (event->type() == QEvent::Hide) QCoreApplication::instance()->removeEventFilter(this);
  return handled;
}

bool TfrmWebIstek::eventFilter(QObject* watched, QEvent* event) {
  // The page takes every key it is given and never hands Escape back to the
  // window, so the window takes it first, as a dialog's Escape closes it.
  if (event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    auto* widget = qobject_cast<QWidget*>(watched);
    if (key->key() == Qt::Key_Escape && key->modifiers() == Qt::NoModifier && widget && widget->window() == this) {
      reject();
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

}  // namespace ornivox::ui

// The meta-object code is compiled here, with the class, instead of as a unit
// of its own that would read the toolkit's headers once more.
#include "moc_web_istek.cpp"
