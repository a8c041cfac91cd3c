#include "ui/env/ui_env.h"

#include <unistd.h>

#include <QApplication>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "resources/pictures.h"
#include "support/disk_recording.h"
#include "support/hang_guard.h"
#include "ui/common/fonts.h"

namespace ornivox::uitest {
namespace {
std::string gDiskFile;
std::unique_ptr<ornivox::testsupport::IcecastStation> gStation;
}  // namespace

void spinFor(std::chrono::milliseconds span) {
  const auto end = Clock::now() + span;
  while (Clock::now() < end) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

bool waitForTicks(QTimer* timer, int ticks, std::chrono::milliseconds limit) {
  int seen = 0;
  const auto connection = QObject::connect(timer, &QTimer::timeout, [&] { ++seen; });
  const bool ok = spinUntil([&] { return seen >= ticks; }, limit);
  QObject::disconnect(connection);
  return ok;
}

std::string diskFile() { return gDiskFile; }

std::uintmax_t recordedBytes() { return ornivox::testsupport::DiskRecording(gDiskFile).bytes(); }

std::vector<std::int16_t> recorded(std::uintmax_t from, std::size_t frames, std::chrono::milliseconds limit) {
  const std::uintmax_t want = from - from % 4 + frames * 4;
  spinUntil([&] { return recordedBytes() >= want; }, limit);
  return ornivox::testsupport::DiskRecording(gDiskFile).read(from, frames);
}

ornivox::testsupport::IcecastStation& station() {
  // A loaded machine can lose the race between Icecast's start and its
  // source client once; a second start settles it.
  for (int attempt = 0; !gStation; ++attempt) {
    try {
      gStation = ornivox::testsupport::IcecastStation::start({"/tone.mp3"});
    } catch (const std::exception&) {
      if (attempt == 1) throw;
    }
  }
  return *gStation;
}

std::string programPath() { return ORNIVOX_PROGRAM; }

}  // namespace ornivox::uitest

int main(int argc, char** argv) {
  using namespace ornivox::uitest;
  const auto dir = std::filesystem::temp_directory_path() / ("ornivox-ui-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  gDiskFile = (dir / "device.raw").string();
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", gDiskFile.c_str(), 1);
  // The hand-over endpoint and the instance lock live here, away from any
  // player the user runs.
  const auto runtime = dir / "runtime";
  std::filesystem::create_directories(runtime);
  std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
  setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);

  QApplication app(argc, argv);
  ornivox_init_pictures();
  ornivox::ui::LoadLayoutFonts();
  ::testing::InitGoogleTest(&argc, argv);
  ornivox::testsupport::InstallHangGuard();
  const int result = RUN_ALL_TESTS();
  gStation.reset();
  std::error_code ec;
  if (!std::getenv("ORNIVOX_KEEP_RECORDING")) std::filesystem::remove_all(dir, ec);
  return result;
}
