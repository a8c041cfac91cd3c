#include "ui/requests/web_env.h"

#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QPixmap>
#include <QScreen>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <stdexcept>
#include <string>

#include "resources/pictures.h"
#include "support/fixture_paths.h"
#include "support/hang_guard.h"
#include "ui/common/fonts.h"

namespace ornivox::webtest {

RequestPage::RequestPage() : child_({testsupport::kPython, "-B", testsupport::fixturePath("request_page.py")}) {
  const auto ready = child_.readLine(20s);
  if (!ready || ready->rfind("ready ", 0) != 0) throw std::runtime_error("request page fixture did not start");
  port_ = std::stoi(ready->substr(6));
}

RequestPage::~RequestPage() { child_.stop(); }

QUrl RequestPage::address() const { return QUrl(QStringLiteral("http://127.0.0.1:%1/istek/istek.asp").arg(port_)); }

int RequestPage::pageRequests() {
  while (const auto line = child_.readLine(0ms))
    if (*line == "request GET /istek/istek.asp") ++pageRequests_;
  return pageRequests_;
}

int engineProcesses() {
  int count = 0;
  const std::string me = std::to_string(::getpid());
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    std::ifstream stat(entry.path() / "stat");
    std::string pid, comm, state, ppid;
    if (!(stat >> pid >> comm >> state >> ppid)) continue;
    if (comm.rfind("(QtWebEngineProc", 0) == 0 && ppid == me) ++count;
  }
  return count;
}

int webViews() {
  int count = 0;
  for (QWidget* widget : QApplication::allWidgets()) count += widget->inherits("QWebEngineView");
  return count;
}

bool showsText(QWidget* window) {
  const QRect area = window->geometry();
  const QImage shot = window->screen()->grabWindow(0, area.x(), area.y(), area.width(), area.height()).toImage();
  for (int y = 0; y < shot.height(); ++y)
    for (int x = 0; x < shot.width(); ++x)
      if (qGray(shot.pixel(x, y)) < 96) return true;
  return false;
}

void saveScreenshot(const char* name) {
  const char* dir = std::getenv("ORNIVOX_SCREENSHOT_DIR");
  if (!dir || !*dir) return;
  QScreen* screen = QGuiApplication::primaryScreen();
  ASSERT_TRUE(screen);
  EXPECT_TRUE(screen->grabWindow(0).save(QDir(QString::fromLocal8Bit(dir)).filePath(QLatin1String(name))));
}

}  // namespace ornivox::webtest

int main(int argc, char** argv) {
  // Xvfb has no GPU: the engine draws in software rather than through a
  // GPU process on the emulated one, which is slow and flaky on a loaded
  // machine.
  if (!qEnvironmentVariableIsSet("QTWEBENGINE_CHROMIUM_FLAGS")) qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu");
  // The main window opens an audio device; these tests listen to nothing.
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  const auto dir = std::filesystem::temp_directory_path() / ("ornivox-web-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  std::filesystem::permissions(dir, std::filesystem::perms::owner_all);
  setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);

  QApplication app(argc, argv);
  ornivox_init_pictures();
  ornivox::ui::LoadLayoutFonts();
  ::testing::InitGoogleTest(&argc, argv);
  ornivox::testsupport::InstallHangGuard();
  const int result = RUN_ALL_TESTS();
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
  return result;
}
