// The player on the session bus, driven the way a desktop does it: the real
// window on the local Icecast station, playerctl and plain D-Bus calls from
// a connection of their own.
#include <gtest/gtest.h>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMetaType>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QProcess>

#include <cmath>
#include <cstdlib>
#include <memory>

#include "audio/bass.h"
#include "player/player_state.h"
#include "ui/env/ui_env.h"
#include "ui/main/main_window.h"
#include "ui/mpris/mpris.h"
#include "ui/widgets/shadow_label.h"
#include "ui/widgets/track_bar.h"

// Readable failures: gtest finds this next to QString.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }
QT_END_NAMESPACE

namespace ornivox::uitest {
namespace {

const QString kService = QStringLiteral("org.mpris.MediaPlayer2.ornivox");
const QString kPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kPlayerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");

struct CtlRun {
  int exitCode = -1;
  QString out;
};

// playerctl while the event loop runs: the player answers on this thread.
CtlRun playerctl(const QStringList& args) {
  QProcess process;
  process.start(QStringLiteral("playerctl"), QStringList{QStringLiteral("-p"), QStringLiteral("ornivox")} + args);
  const bool ended = spinUntil([&] { return process.state() == QProcess::NotRunning; }, 10s);
  if (!ended) {
    process.kill();
    process.waitForFinished(2000);
    ADD_FAILURE() << "playerctl " << args.join(' ').toStdString() << " did not end";
    return {};
  }
  return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
          QString::fromUtf8(process.readAllStandardOutput()).trimmed()};
}

// Collects the player's PropertiesChanged signals.
class ChangeLog : public QObject {
  Q_OBJECT
 public:
  QList<QPair<QString, QVariantMap>> changes;
  QVariant last(const QString& property) const {
    for (auto it = changes.rbegin(); it != changes.rend(); ++it)
      if (it->second.contains(property)) return it->second.value(property);
    return {};
  }
 public slots:
  void changed(const QString& interface, const QVariantMap& properties, const QStringList&) {
    changes.append({interface, properties});
  }
};

class MprisTest : public testing::Test, public PlayerWindow {
 protected:
  void SetUp() override {
    observer_ = std::make_unique<QDBusConnection>(
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("observer")));
    ASSERT_TRUE(observer_->isConnected()) << "no session bus: run under dbus-run-session";
  }
  void TearDown() override {
    mpris.reset();
    if (window) BASS_SetVolume(1.0f);
    closeWindow();
    observer_.reset();
    QDBusConnection::disconnectFromBus(QStringLiteral("observer"));
  }

  void openPlaying(bool onTheBus = true) {
    state().playlistUrl = station().url("/tone.mp3");
    ui::MainWindowOptions options;
    options.listenForHandOver = false;
    makeWindow(options);
    if (onTheBus) {
      mpris = std::make_unique<ui::MprisService>(*window);
      ASSERT_EQ(mpris->serviceName(), kService);
    }
    bool shown = false;
    QObject::connect(window.get(), &ui::TfrmMain::shown, [&] { shown = true; });
    window->show();
    ASSERT_TRUE(spinUntil([&] { return shown; }, 5s));
    ASSERT_TRUE(spinUntil([this] { return playing(); }, 15s));
  }

  // Sets the station's title until the window shows it: a listener who
  // connected just before a change may still get the old one first.
  bool showTitle(const QString& title) {
    for (int attempt = 0; attempt < 3; ++attempt) {
      if (!station().setTitle("/tone.mp3", title.toStdString())) return false;
      if (spinUntil([&] { return window->Label3->text() == title; }, 8s)) return true;
    }
    return false;
  }

  // A call from the observer's connection, answered by the event loop here.
  QDBusMessage call(const QString& interface, const QString& method, const QVariantList& args = {}) {
    QDBusMessage message = QDBusMessage::createMethodCall(kService, kPath, interface, method);
    message.setArguments(args);
    QDBusPendingCallWatcher watcher(observer_->asyncCall(message, 5000));
    spinUntil([&] { return watcher.isFinished(); }, 6s);
    return watcher.reply();
  }
  QVariant property(const QString& interface, const QString& name) {
    const QDBusMessage reply =
        call(QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"), {interface, name});
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return {};
    return reply.arguments().first().value<QDBusVariant>().variant();
  }

  std::unique_ptr<ui::MprisService> mpris;
  std::unique_ptr<QDBusConnection> observer_;
};

TEST_F(MprisTest, DesktopReadsTheTitleTheStationAndTheState) {
  openPlaying();
  EXPECT_EQ(playerctl({QStringLiteral("status")}).out, QStringLiteral("Playing"));
  EXPECT_EQ(playerctl({QStringLiteral("metadata"), QStringLiteral("artist")}).out, QStringLiteral("Dalgaton"));
  for (const QString& title : {QStringLiteral("Çalan Şarkı: ğüşöç İı"), QStringLiteral("İkinci Parça")}) {
    SCOPED_TRACE(title.toStdString());
    ASSERT_TRUE(showTitle(title)) << window->Label3->text().toStdString();
    const CtlRun run = playerctl({QStringLiteral("metadata"), QStringLiteral("title")});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, title);
  }

  const QString root = QStringLiteral("org.mpris.MediaPlayer2");
  struct Case {
    QString interface;
    QString name;
    QVariant value;
  };
  const Case cases[] = {
      {root, QStringLiteral("Identity"), QStringLiteral("Ornivox")},
      {root, QStringLiteral("DesktopEntry"), QStringLiteral("ornivox")},
      {root, QStringLiteral("CanQuit"), false},
      {root, QStringLiteral("CanRaise"), true},
      {root, QStringLiteral("HasTrackList"), false},
      {kPlayerInterface, QStringLiteral("CanPlay"), true},
      {kPlayerInterface, QStringLiteral("CanPause"), true},
      {kPlayerInterface, QStringLiteral("CanControl"), true},
      {kPlayerInterface, QStringLiteral("CanGoNext"), false},
      {kPlayerInterface, QStringLiteral("CanGoPrevious"), false},
      {kPlayerInterface, QStringLiteral("CanSeek"), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name.toStdString());
    EXPECT_EQ(property(c.interface, c.name), c.value);
  }
  EXPECT_FALSE(property(root, QStringLiteral("SupportedUriSchemes")).toStringList().isEmpty());
  EXPECT_FALSE(property(root, QStringLiteral("SupportedMimeTypes")).toStringList().isEmpty());
}

TEST_F(MprisTest, DesktopStopsPlaysAndSetsTheVolume) {
  openPlaying();
  struct Step {
    const char* command;
    bool playing;
    const char* status;
  };
  const Step steps[] = {
      {"stop", false, "Stopped"},
      {"play", true, "Playing"},
      {"pause", false, "Stopped"},
      {"play-pause", true, "Playing"},
      {"play-pause", false, "Stopped"},
      {"play", true, "Playing"},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.command);
    const std::uint64_t before = player().generation();
    EXPECT_EQ(playerctl({QString::fromLatin1(s.command)}).exitCode, 0);
    // Playing again is a new connection; until it has taken over, the old
    // stream may sound for a moment after the output restarts.
    auto settled = [&] {
      if (!s.playing) return !playing();
      return player().generation() > before && player().activeConnections() == 0 && playing();
    };
    ASSERT_TRUE(spinUntil(settled, 15s));
    // The window's own handlers ran: the watchdog runs only while playing.
    EXPECT_EQ(window->TimerKontrol->isActive(), s.playing);
    EXPECT_EQ(playerctl({QStringLiteral("status")}).out, QString::fromLatin1(s.status));
  }

  struct Volume {
    const char* value;
    int bar;
  };
  const Volume volumes[] = {{"0.5", 50}, {"0.25", 25}, {"1", 100}, {"0", 0}, {"0.333", 33}, {"1.5", 100}};
  for (const Volume& v : volumes) {
    SCOPED_TRACE(v.value);
    EXPECT_EQ(playerctl({QStringLiteral("volume"), QString::fromLatin1(v.value)}).exitCode, 0);
    ASSERT_TRUE(spinUntil([&] { return window->sndBar->value() == v.bar; }, 5s)) << window->sndBar->value();
    // The bar's handler set the device.
    EXPECT_NEAR(BASS_GetVolume(), v.bar / 100.0, 0.01);
    EXPECT_NEAR(playerctl({QStringLiteral("volume")}).out.toDouble(), v.bar / 100.0, 1e-6);
  }
}

// Play on a player that plays already changes nothing: no new connection,
// no gap in the sound.
TEST_F(MprisTest, PlayWhilePlayingChangesNothing) {
  openPlaying();
  const std::uint64_t before = player().generation();
  const auto channel = player().state().channel;
  EXPECT_EQ(playerctl({QStringLiteral("play")}).exitCode, 0);
  EXPECT_EQ(player().generation(), before);
  EXPECT_EQ(player().state().channel, channel);
  EXPECT_TRUE(playing());
  EXPECT_EQ(playerctl({QStringLiteral("status")}).out, QStringLiteral("Playing"));
}

TEST_F(MprisTest, ChangesAreAnnounced) {
  openPlaying();
  ChangeLog log;
  ASSERT_TRUE(observer_->connect(kService, kPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                 QStringLiteral("PropertiesChanged"), &log,
                                 SLOT(changed(QString, QVariantMap, QStringList))));
  // The match rule reaches the bus before anything is changed.
  property(kPlayerInterface, QStringLiteral("PlaybackStatus"));

  ASSERT_TRUE(showTitle(QStringLiteral("Üçüncü Parça")));
  ASSERT_TRUE(spinUntil([&] { return log.last(QStringLiteral("Metadata")).isValid(); }, 5s));
  const QVariantMap metadata = qdbus_cast<QVariantMap>(log.last(QStringLiteral("Metadata")));
  EXPECT_EQ(metadata.value(QStringLiteral("xesam:title")).toString(), QStringLiteral("Üçüncü Parça"));
  EXPECT_EQ(metadata.value(QStringLiteral("xesam:artist")).toStringList(), QStringList{QStringLiteral("Dalgaton")});

  window->sndBar->setValue(30);
  ASSERT_TRUE(spinUntil([&] { return log.last(QStringLiteral("Volume")).isValid(); }, 5s));
  EXPECT_DOUBLE_EQ(log.last(QStringLiteral("Volume")).toDouble(), 0.3);

  // The stop button, not the bus, stops the stream; the change still shows.
  const auto stopped = [&] { return log.last(QStringLiteral("PlaybackStatus")).toString() == QStringLiteral("Stopped"); };
  ASSERT_FALSE(stopped());
  window->player().btnDurClick();
  EXPECT_TRUE(spinUntil(stopped, 5s));
  for (const auto& change : log.changes) EXPECT_EQ(change.first, kPlayerInterface);
}

TEST_F(MprisTest, RaiseShowsTheWindow) {
  openPlaying();
  window->hide();
  ASSERT_FALSE(window->isVisible());
  EXPECT_EQ(call(QStringLiteral("org.mpris.MediaPlayer2"), QStringLiteral("Raise")).type(), QDBusMessage::ReplyMessage);
  EXPECT_TRUE(spinUntil([&] { return window->isVisible(); }, 5s));
}

// A second player, a process of its own, takes an instance name beside the
// first.
TEST_F(MprisTest, ASecondProgramJoinsUnderAnInstanceName) {
  openPlaying();
  QProcess program;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("SDL_DISKAUDIOFILE"), QString::fromStdString(diskFile() + ".second"));
  program.setProcessEnvironment(env);
  program.start(QString::fromStdString(programPath()), {});
  ASSERT_TRUE(program.waitForStarted(5000));
  const QString instance = QStringLiteral("ornivox.instance%1").arg(program.processId());
  QStringList players;
  for (int attempt = 0; attempt < 50 && !players.contains(instance); ++attempt) {
    players = playerctl({QStringLiteral("-l")}).out.split('\n');
    if (!players.contains(instance)) spinFor(200ms);
  }
  EXPECT_TRUE(players.contains(instance)) << players.join(' ').toStdString();
  EXPECT_TRUE(players.contains(QStringLiteral("ornivox"))) << players.join(' ').toStdString();
  // The built-in station is out of reach here: that player stands still.
  QProcess ctl;
  ctl.start(QStringLiteral("playerctl"), {QStringLiteral("-p"), instance, QStringLiteral("status")});
  ASSERT_TRUE(spinUntil([&] { return ctl.state() == QProcess::NotRunning; }, 10s));
  EXPECT_EQ(QString::fromUtf8(ctl.readAllStandardOutput()).trimmed(), QStringLiteral("Stopped"));
  program.terminate();
  EXPECT_TRUE(program.waitForFinished(10000));
}

// Without an announced session bus nothing joins one (libdbus would
// otherwise start a bus of its own); with it, the same window does.
TEST_F(MprisTest, NoAnnouncedBusNoPlayer) {
  openPlaying(false);
  const QByteArray address = qgetenv("DBUS_SESSION_BUS_ADDRESS");
  const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
  qunsetenv("DBUS_SESSION_BUS_ADDRESS");
  qunsetenv("XDG_RUNTIME_DIR");
  auto none = std::make_unique<ui::MprisService>(*window);
  qputenv("DBUS_SESSION_BUS_ADDRESS", address);
  qputenv("XDG_RUNTIME_DIR", runtime);
  EXPECT_TRUE(none->serviceName().isEmpty());
  EXPECT_FALSE(playerctl({QStringLiteral("-l")}).out.split('\n').contains(QStringLiteral("ornivox")));
  none.reset();
  mpris = std::make_unique<ui::MprisService>(*window);
  EXPECT_EQ(mpris->serviceName(), kService);
  EXPECT_EQ(playerctl({QStringLiteral("status")}).out, QStringLiteral("Playing"));
}

}  // namespace
}  // namespace ornivox::uitest

#include "mpris_test.moc"
