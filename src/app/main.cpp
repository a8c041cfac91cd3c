// The program: one player per user session. A later start that names a
// playlist hands it to the running player and ends; a later start without
// one becomes a second, independent player. This file only composes: it
// makes the player, the windows and the services and wires them together.
#include <QApplication>
#include <QTimer>

#include <cstdlib>
#include <iostream>
#include <string>

#include "app/command_line.h"
#include "app/display_platform.h"
#include "app/end_signals.h"
#include "desktop/hand_over.h"
#include "desktop/instance_lock.h"
#include "player/player.h"
#include "resources/pictures.h"
#include "station/identity.h"
#include "ui/about/hakkinda.h"
#include "ui/common/fonts.h"
#include "ui/main/main_window.h"
#include "ui/mpris/mpris.h"
#include "ui/requests/istek.h"
#include "ui/requests/web_istek.h"

namespace {

// The player acknowledges once it has opened the argument; a player that is
// still starting, or hung, must not keep this process for ever.
constexpr int kHandOverTimeoutMs = 10000;
// How often a player without the lock looks whether it has come free.
constexpr int kTakeOverIntervalMs = 1000;

}  // namespace

int main(int argc, char** argv) {
  using namespace ornivox;
  if (const auto status = app::AnswerAboutItself(argc, argv, std::cout)) return *status;

  const QString name = QString::fromLatin1(station::kInstanceName.data(), static_cast<int>(station::kInstanceName.size()));
  const std::string argument = argc > 1 ? std::string(argv[1]) : std::string();

  // Held until the process ends; the kernel lets go of it even after a crash.
  desktop::InstanceLock lock = desktop::InstanceLock::acquire(name);
  if (lock.heldElsewhere() && !argument.empty()) {
    const std::string handed = app::ArgumentForRunningPlayer(argument);
    if (desktop::handOver(name, QByteArray::fromStdString(handed), kHandOverTimeoutMs)) return 0;
    // Lost: say so, so that whoever started it (a file manager, a script)
    // does not take the playlist for opened.
    std::cerr << argv[0] << ": the running player did not take " << handed << " within "
              << kHandOverTimeoutMs / 1000 << " s\n";
    return 1;
  }

  if (const auto platform = app::PlatformToAsk(std::getenv("QT_QPA_PLATFORM"), std::getenv("DISPLAY"),
                                               std::getenv("WAYLAND_DISPLAY")))
    qputenv("QT_QPA_PLATFORM", QByteArray::fromStdString(*platform));
  QApplication app(argc, argv);
  ornivox_init_pictures();
  ui::LoadLayoutFonts();

  Player player;
  ui::MainWindowOptions options;
  options.argument = argument;
  options.instanceLockHolder = lock.held();
  ui::TfrmMain frmMain(player, options);
  if (frmMain.audioSetup() != AudioSetup::Ready) {
    // Without sound there is no player: say why and end with a status that
    // tells scripts and session managers the start failed.
    ui::ShowAudioSetupFailure(&frmMain, frmMain.audioSetup());
    return 1;
  }
  ui::TfrmHakkinda frmHakkinda(&frmMain);
  // Made at start like the other windows though no control opens it: every build has always carried it.
  ui::TfrmIstek frmIstek(&frmMain);
  ui::TfrmWebIstek frmWebIstek(&frmMain);
  frmMain.setDialogs({&frmHakkinda, &frmWebIstek});
  // On the desktop's session bus, when there is one.
  ui::MprisService mpris(frmMain);

  // A player started beside another has neither the lock nor the endpoint.
  // When that one ends, this one takes both over, so that a later start
  // with a playlist still finds a player instead of becoming a third.
  QTimer takeOver;
  if (lock.heldElsewhere()) {
    QObject::connect(&takeOver, &QTimer::timeout, [&] {
      desktop::InstanceLock next = desktop::InstanceLock::acquire(name);
      if (!next.held()) return;
      lock = std::move(next);
      takeOver.stop();
      frmMain.takeOverHandOver();
    });
    takeOver.start(kTakeOverIntervalMs);
  }

  app::EndSignals endSignals([&frmMain] { frmMain.close(); });
  frmMain.show();
  return app.exec();
}
