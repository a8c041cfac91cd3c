// The web song request window: the station's own request page, hosted in an
// embedded browser. Created hidden at start and shown modally from the main
// window; closing it only hides it.
//
// The browser engine is heavy (its own processes, tens of megabytes), and
// most listeners never ask for a song, so nothing of it starts before the
// first opening.
//
// Threads: the UI thread.
#pragma once

#include <QDialog>
#include <QUrl>

namespace ornivox::ui {

class TfrmWebIstek : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmWebIstek(QWidget* parent = nullptr);

  // The station's request page: "http://" + the build's web host +
  // "/istek/istek.asp" unless set otherwise.
  const QUrl& pageAddress() const { return pageAddress_; }
  void setPageAddress(const QUrl& address) { pageAddress_ = address; }

  // Starts loading `address` afresh, so nothing typed into the last page
  // survives. Returns before the page has loaded. The first call loads the
  // browser module and creates the browser; throws std::runtime_error
  // when the module cannot be loaded, or when the browser's sandbox cannot
  // run (as root) and nobody switched it off for this process.
  void navigate(const QUrl& address);

  // The browser (a QWebEngineView); null until the first navigate().
  QWidget* webBrowser() const { return WebBrowser; }

  // Sizes the window so that it measures `outer` with its frame; without a
  // window manager the frame is empty.
  void setOuterSize(QSize outer);
  // Puts the window, frame included, in the middle of the desktop.
  void centreOnDesktop();

 protected:
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // The browser module's entry points.
  struct BrowserModule {
    QWidget* (*create)(QWidget* parent) = nullptr;
    void (*load)(QWidget* browser, const QUrl* address) = nullptr;
  };
  static BrowserModule loadBrowserModule();
  void fitOuterSize();

  BrowserModule module_;  // empty until the first navigate()
  QWidget* WebBrowser = nullptr;
  QUrl pageAddress_;
  QSize outerSize_;
  QMargins fittedFrame_;
  bool centred_ = false;
};

}  // namespace ornivox::ui
