// The browser of the web request window, built as a module of its own that
// the window loads when it first opens. Linking the engine into the program
// would load and relocate it, and set up its graphics context, at every
// start: about twice the memory and start-up time of the player without it.
#include <QUrl>
#include <QWebEngineView>

extern "C" Q_DECL_EXPORT QWidget* ornivox_web_browser_create(QWidget* parent) { return new QWebEngineView(parent); }

extern "C" Q_DECL_EXPORT void ornivox_web_browser_load(QWidget* browser, const QUrl* address) {
  static_cast<QWebEngineView*>(browser)->load(*address);
}
