// Program start: one player per user session. A later start that names a
// playlist hands it to the running player and ends; a later start without
// one becomes a second, independent player.
#include <QApplication>

#include <cstring>
#include <string>

#include "about/hakkinda.h"
#include "app/station_texts.h"
#include "main/fonts.h"
#include "main/main_window.h"
#include "mpris/mpris.h"
#include "pictures.h"
#include "platform/hand_over.h"
#include "platform/instance_lock.h"
#include "requests/istek.h"
#include "requests/web_istek.h"

namespace {

// The player acknowledges once it has opened the argument; a player that is
// still starting, or hung, must not keep this process for ever.
constexpr int kHandOverTimeoutMs = 10000;

}  // namespace

int main(int argc, char** argv) {
  using namespace ornivox;
  const QString name = QString::fromLatin1(station::kInstanceName.data(), static_cast<int>(station::kInstanceName.size()));
  const std::string argument = argc > 1 ? std::string(argv[1]) : std::string();

  // Held until the process ends; the kernel lets go of it even after a crash.
  static platform::InstanceLock lock = platform::InstanceLock::acquire(name);
  if (lock.heldElsewhere() && !argument.empty()) {
    platform::handOver(name, QByteArray::fromStdString(argument), kHandOverTimeoutMs);
    return 0;
  }

  QApplication app(argc, argv);
  ornivox_init_pictures();
  ui::LoadLayoutFonts();

  ui::MainWindowOptions options;
  options.argument = argument;
  options.instanceLockHolder = !lock.heldElsewhere();
  ui::TfrmMain frmMain(options);
  // On the desktop's session bus, when there is one.
  ui::MprisService mpris(frmMain);
  ui::TfrmHakkinda frmHakkinda(&frmMain);
  ui::TfrmIstek frmIstek(&frmMain);
  ui::TfrmWebIstek frmWebIstek(&frmMain);
  frmMain.show();
  return app.exec();
}
