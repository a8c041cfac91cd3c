// What the web request window tests share: the request page fixture, the
// browser engine's traces in this process, and the screen.
#pragma once

#include <gtest/gtest.h>

#include <QUrl>
#include <QWidget>

#include <chrono>

#include "support/process.h"
#include "support/spin.h"

namespace ornivox::webtest {

using namespace std::chrono_literals;
using testsupport::spinUntil;

inline const QString kPageTitle = QStringLiteral("Şarkı İsteği");
inline constexpr QSize kOpenedSize(360, 240);

// tests/fixtures/request_page.py; remembers every request it reported.
class RequestPage {
 public:
  RequestPage();
  ~RequestPage();

  QUrl address() const;
  // Page requests reported so far; reads without blocking the event loop.
  int pageRequests();

 private:
  testsupport::ChildProcess child_;
  int port_ = 0;
  int pageRequests_ = 0;
};

// Browser processes running under this one: the engine starts them when it
// starts.
int engineProcesses();
// Browser views alive in this process.
int webViews();
// Whether `window` shows anything dark on its white page, as the screen has
// it: the form's labels and fields.
bool showsText(QWidget* window);
// The whole screen into $ORNIVOX_SCREENSHOT_DIR/name, when that is set.
void saveScreenshot(const char* name);

// One request page for all tests of a program.
class WebRequestTest : public testing::Test {
 protected:
  static void SetUpTestSuite() { page = new RequestPage; }
  static void TearDownTestSuite() {
    delete page;
    page = nullptr;
  }
  static inline RequestPage* page = nullptr;
};

}  // namespace ornivox::webtest
