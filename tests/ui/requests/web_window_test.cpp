// The main window's request label and the window it opens, with the browser
// engine loaded on the first opening.
#include <gtest/gtest.h>

#include <unistd.h>

#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include "player/player.h"
#include "ui/main/main_window.h"
#include "ui/requests/web_env.h"
#include "ui/requests/web_istek.h"
#include "ui/widgets/shadow_label.h"

namespace ornivox::webtest {
namespace {

using ui::TfrmWebIstek;

// A click as the window system delivers it, so that a modal window can
// block it (a click sent to the widget itself would skip that check).
void clickThroughWindow(QWidget* widget) {
  QWindow* window = widget->window()->windowHandle();
  ASSERT_TRUE(window);
  QTest::mouseClick(window, Qt::LeftButton, {}, widget->mapTo(widget->window(), widget->rect().center()));
}

// The program's main window with its request window, shown.
struct ShownWindows {
  explicit ShownWindows(const QUrl& page) : main(player, Options()), request(new TfrmWebIstek(&main)) {
    main.setDialogs({nullptr, request});
    request->setPageAddress(page);
    QObject::connect(&main, &ui::TfrmMain::shown, [this] { shown = true; });
    main.show();
  }
  static ui::MainWindowOptions Options() {
    ui::MainWindowOptions options;
    options.listenForHandOver = false;
    options.instanceLockHolder = false;
    return options;
  }
  Player player;
  ui::TfrmMain main;
  TfrmWebIstek* request;  // owned by the main window
  bool shown = false;
};

// As root the engine's sandbox cannot run, and the program never switches it
// off by itself: a box says why and the request window stays closed, with no
// browser made.
TEST_F(WebRequestTest, AsRootWithoutTheSandboxABoxSaysWhyAndTheWindowStaysClosed) {
  if (::geteuid() != 0) {
    GTEST_SKIP() << "the sandbox runs for other users";
  }
  const QByteArray switchedOff = qgetenv("QTWEBENGINE_DISABLE_SANDBOX");
  qunsetenv("QTWEBENGINE_DISABLE_SANDBOX");
  ShownWindows windows(page->address());
  ASSERT_TRUE(spinUntil([&] { return windows.shown; }, 10s));
  ui::TfrmMain& main = windows.main;
  TfrmWebIstek* request = windows.request;

  QString text;
  bool requestShown = false;
  QTimer poller;
  poller.setInterval(20);
  QObject::connect(&poller, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    text = box->text();
    requestShown = request->isVisible();
    box->accept();
  });
  poller.start();
  clickThroughWindow(main.lIstek);
  spinUntil([&] { return !text.isEmpty(); }, 10s);
  poller.stop();
  if (!switchedOff.isNull()) qputenv("QTWEBENGINE_DISABLE_SANDBOX", switchedOff);

  EXPECT_TRUE(text.contains(QStringLiteral("root"))) << text.toStdString();
  EXPECT_FALSE(requestShown);
  EXPECT_FALSE(request->isVisible());
  EXPECT_EQ(request->webBrowser(), nullptr);
}

// The program's own path: this test does not link the engine, so it loads
// first when the window first opens, as in the program.
TEST_F(WebRequestTest, MainWindowLabelOpensTheWindowModally) {
  ShownWindows windows(page->address());
  ASSERT_TRUE(spinUntil([&] { return windows.shown; }, 10s));
  ui::TfrmMain& main = windows.main;
  TfrmWebIstek* request = windows.request;

  EXPECT_EQ(request->webBrowser(), nullptr);
  EXPECT_EQ(webViews(), 0);
  EXPECT_EQ(engineProcesses(), 0);
  const int requestsBefore = page->pageRequests();

  // What the modal loop saw; filled in by the poller below.
  QWidget* modal = nullptr;
  QRect frame;
  QString title;
  int clicksThrough = 0;
  bool drawn = false;
  bool timedOut = false;
  QObject::connect(main.lIstek, &ui::ShadowLabel::clicked, [&] { ++clicksThrough; });

  // exec() only returns once the window is closed, so the checks run from
  // inside its loop and close it when done (or when time runs out).
  const auto deadline = std::chrono::steady_clock::now() + 30s;
  QTimer poller;
  poller.setInterval(20);
  QObject::connect(&poller, &QTimer::timeout, [&] {
    QWidget* active = QApplication::activeModalWidget();
    if (!active) return;
    if (std::chrono::steady_clock::now() > deadline) {
      timedOut = true;
      active->close();
      return;
    }
    if (!modal) {
      modal = active;
      frame = active->frameGeometry();
    }
    if (!request->webBrowser() || request->webBrowser()->property("title").toString() != kPageTitle) return;
    title = request->webBrowser()->property("title").toString();
    // Loaded is not yet drawn: wait for the form's text on the screen.
    if (!showsText(active)) return;
    drawn = true;
    saveScreenshot("web-request.png");
    // The main window takes no input meanwhile: a click on its label must
    // not reach it.
    clickThroughWindow(main.lIstek);
    active->close();
  });
  poller.start();
  // The click is delivered at once; it returns when the window is closed.
  clickThroughWindow(main.lIstek);
  poller.stop();

  EXPECT_FALSE(timedOut);
  EXPECT_EQ(modal, request);
  EXPECT_EQ(title, kPageTitle);
  EXPECT_TRUE(drawn);
  EXPECT_EQ(frame.size(), kOpenedSize);
  // Centred on the desktop, not over the main window.
  const QRect desktop = main.screen()->geometry();
  EXPECT_EQ(frame.center(), desktop.center()) << frame.x() << "," << frame.y();
  EXPECT_EQ(clicksThrough, 1);  // the opening click alone
  EXPECT_TRUE(request->isHidden());
  EXPECT_EQ(page->pageRequests() - requestsBefore, 1);
  EXPECT_EQ(webViews(), 1);
  EXPECT_GT(engineProcesses(), 0);
}

// From the keyboard alone: Return on the request label opens the window,
// and Escape closes it with the page loaded and focused inside it (the page
// leaves the key to the window).
TEST_F(WebRequestTest, TheKeyboardOpensTheWindowAndEscapeClosesIt) {
  ShownWindows windows(page->address());
  ASSERT_TRUE(spinUntil([&] { return windows.shown; }, 10s));
  TfrmWebIstek* request = windows.request;
  bool opened = false;
  bool escaped = false;
  bool timedOut = false;
  const auto deadline = std::chrono::steady_clock::now() + 30s;
  QTimer poller;
  poller.setInterval(20);
  QObject::connect(&poller, &QTimer::timeout, [&] {
    if (QApplication::activeModalWidget() != request) return;
    opened = true;
    if (std::chrono::steady_clock::now() > deadline) {
      timedOut = true;
      request->close();
      return;
    }
    if (escaped || !request->webBrowser() || !showsText(request)) return;
    escaped = true;
    // Into the page itself, where the keyboard is while one reads it.
    QWidget* browser = request->webBrowser();
    QTest::keyClick(browser->focusProxy() ? browser->focusProxy() : browser, Qt::Key_Escape);
  });
  poller.start();
  // Returns when the window is closed.
  QTest::keyClick(windows.main.lIstek, Qt::Key_Return);
  poller.stop();
  EXPECT_TRUE(opened);
  EXPECT_TRUE(escaped);
  EXPECT_FALSE(timedOut);
  EXPECT_TRUE(request->isHidden());
}

}  // namespace
}  // namespace ornivox::webtest
