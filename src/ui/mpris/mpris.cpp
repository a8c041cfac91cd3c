#include "ui/mpris/mpris.h"

#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QFileInfo>
#include <QStringList>
#include <QTimer>
#include <QVariantMap>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "audio/bass.h"
#include "station/identity.h"
#include "ui/common/texts_qt.h"
#include "ui/main/main_window.h"
#include "ui/widgets/shadow_label.h"
#include "ui/widgets/track_bar.h"

namespace ornivox::ui {
namespace {

const QString kObjectPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kRootInterface = QStringLiteral("org.mpris.MediaPlayer2");
const QString kPlayerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString kBusName = QStringLiteral("org.mpris.MediaPlayer2.ornivox");
// The stream state has no event of its own; the window's meters poll it too.
constexpr int kStatePollMs = 250;

// libdbus starts a bus of its own (and leaves it running) when asked for the
// session bus without one being announced; only join one that exists.
bool sessionBusAnnounced() {
  const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  if (address && *address) return true;
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  return runtime && *runtime && QFileInfo::exists(QString::fromLocal8Bit(runtime) + QStringLiteral("/bus"));
}

}  // namespace

// What the two interfaces read and drive, and the change signals.
class MprisPlayerObject : public QObject {
  Q_OBJECT

 public:
  explicit MprisPlayerObject(TfrmMain& window, QObject* parent) : QObject(parent), window_(window) {
    playing_ = streamPlaying();
    metadata_ = currentMetadata();
    volume_ = window_.sndBar->value();
    connect(window_.Label3, &ShadowLabel::textChanged, this, [this] { refreshMetadata(); });
    connect(window_.Label4, &ShadowLabel::textChanged, this, [this] { refreshMetadata(); });
    connect(window_.sndBar, &TrackBar::valueChanged, this, [this](int value) {
      if (value == volume_) return;
      volume_ = value;
      announce(kPlayerInterface, {{QStringLiteral("Volume"), volume()}});
    });
    auto* poll = new QTimer(this);
    poll->setInterval(kStatePollMs);
    connect(poll, &QTimer::timeout, this, &MprisPlayerObject::refreshStatus);
    poll->start();
  }

  // Read when asked, so a client never sees the poll's lag.
  QString playbackStatus() const { return statusText(streamPlaying()); }
  QVariantMap metadata() const { return metadata_; }
  double volume() const { return window_.sndBar->value() / 100.0; }
  void setVolume(double value) {
    if (!std::isfinite(value)) return;
    // The bar's handler sets the device volume.
    window_.sndBar->setValue(static_cast<int>(std::lround(std::clamp(value, 0.0, 1.0) * 100.0)));
  }

  // A player that plays, or is still connecting, goes on as it is: the
  // window's play button would start the station afresh.
  void play() {
    if (streamBusy()) return;
    window_.player().btnPlayClick();
    refreshStatus();
  }
  void stop() {
    window_.player().btnDurClick();
    refreshStatus();
  }
  void playPause() { streamPlaying() ? stop() : play(); }
  void raise() {
    if (window_.isMinimized()) window_.showNormal();
    window_.show();
    window_.raise();
    window_.activateWindow();
  }

 private:
  static QString statusText(bool playing) { return playing ? QStringLiteral("Playing") : QStringLiteral("Stopped"); }
  bool streamPlaying() const { return BASS_ChannelIsActive(window_.player().state().channel) == BASS_ACTIVE_PLAYING; }
  bool streamBusy() const {
    const DWORD active = BASS_ChannelIsActive(window_.player().state().channel);
    return active == BASS_ACTIVE_PLAYING || active == BASS_ACTIVE_STALLED || window_.player().activeConnections() > 0;
  }

  QString stationName() const {
    const std::string& name = window_.player().state().stationName;
    return FromCp1254(name.empty() ? station::kBrand : std::string_view(name));
  }

  QVariantMap currentMetadata() const {
    // A new title is a new track for the desktop.
    const QString path = QStringLiteral("/org/ornivox/track/%1").arg(track_);
    return {{QStringLiteral("mpris:trackid"), QVariant::fromValue(QDBusObjectPath(path))},
            {QStringLiteral("xesam:title"), window_.Label3->text()},
            {QStringLiteral("xesam:artist"), QStringList{stationName()}}};
  }

  void refreshMetadata() {
    if (window_.Label3->text() != metadata_.value(QStringLiteral("xesam:title")).toString()) ++track_;
    QVariantMap now = currentMetadata();
    if (now == metadata_) return;
    metadata_ = std::move(now);
    announce(kPlayerInterface, {{QStringLiteral("Metadata"), metadata_}});
  }

  void refreshStatus() {
    const bool now = streamPlaying();
    if (now == playing_) return;
    playing_ = now;
    announce(kPlayerInterface, {{QStringLiteral("PlaybackStatus"), statusText(now)}});
  }

  static void announce(const QString& interface, const QVariantMap& changed) {
    QDBusMessage signal = QDBusMessage::createSignal(kObjectPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                     QStringLiteral("PropertiesChanged"));
    signal << interface << changed << QStringList();
    QDBusConnection::sessionBus().send(signal);
  }

  TfrmMain& window_;
  bool playing_ = false;
  int volume_ = 0;
  quint64 track_ = 1;
  QVariantMap metadata_;
};

namespace {

class RootAdaptor : public QDBusAbstractAdaptor {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
  Q_PROPERTY(bool CanQuit READ canQuit)
  Q_PROPERTY(bool CanRaise READ canRaise)
  Q_PROPERTY(bool HasTrackList READ hasTrackList)
  Q_PROPERTY(QString Identity READ identity)
  Q_PROPERTY(QString DesktopEntry READ desktopEntry)
  Q_PROPERTY(QStringList SupportedUriSchemes READ supportedUriSchemes)
  Q_PROPERTY(QStringList SupportedMimeTypes READ supportedMimeTypes)

 public:
  explicit RootAdaptor(MprisPlayerObject* object) : QDBusAbstractAdaptor(object), object_(object) {}

  bool canQuit() const { return false; }
  bool canRaise() const { return true; }
  bool hasTrackList() const { return false; }
  QString identity() const { return QStringLiteral("Ornivox"); }
  QString desktopEntry() const { return QStringLiteral("ornivox"); }
  QStringList supportedUriSchemes() const { return {QStringLiteral("http")}; }
  QStringList supportedMimeTypes() const {
    return {QStringLiteral("audio/mpeg"), QStringLiteral("audio/aac"), QStringLiteral("audio/ogg"),
            QStringLiteral("audio/x-scpls"), QStringLiteral("audio/x-mpegurl"), QStringLiteral("video/x-ms-asf")};
  }

 public slots:
  void Raise() { object_->raise(); }
  // Closing the player is the user's; the desktop may not.
  void Quit() {}

 private:
  MprisPlayerObject* object_;
};

class PlayerAdaptor : public QDBusAbstractAdaptor {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
  Q_PROPERTY(QString PlaybackStatus READ playbackStatus)
  Q_PROPERTY(QVariantMap Metadata READ metadata)
  Q_PROPERTY(double Volume READ volume WRITE setVolume)
  Q_PROPERTY(qlonglong Position READ position)
  Q_PROPERTY(double Rate READ rate)
  Q_PROPERTY(double MinimumRate READ rate)
  Q_PROPERTY(double MaximumRate READ rate)
  Q_PROPERTY(bool CanGoNext READ no)
  Q_PROPERTY(bool CanGoPrevious READ no)
  Q_PROPERTY(bool CanPlay READ yes)
  Q_PROPERTY(bool CanPause READ yes)
  Q_PROPERTY(bool CanSeek READ no)
  Q_PROPERTY(bool CanControl READ yes)

 public:
  explicit PlayerAdaptor(MprisPlayerObject* object) : QDBusAbstractAdaptor(object), object_(object) {}

  QString playbackStatus() const { return object_->playbackStatus(); }
  QVariantMap metadata() const { return object_->metadata(); }
  double volume() const { return object_->volume(); }
  void setVolume(double value) { object_->setVolume(value); }
  // A live stream has no position to speak of.
  qlonglong position() const { return 0; }
  double rate() const { return 1.0; }
  bool yes() const { return true; }
  bool no() const { return false; }

 public slots:
  void Play() { object_->play(); }
  // A stream cannot hold its place: pausing is stopping.
  void Pause() { object_->stop(); }
  void Stop() { object_->stop(); }
  void PlayPause() { object_->playPause(); }
  void Next() {}
  void Previous() {}
  void Seek(qlonglong) {}
  void SetPosition(const QDBusObjectPath&, qlonglong) {}
  void OpenUri(const QString&) {}

 signals:
  void Seeked(qlonglong position);

 private:
  MprisPlayerObject* object_;
};

}  // namespace

MprisService::MprisService(TfrmMain& window, QObject* parent) : QObject(parent) {
  if (!sessionBusAnnounced()) return;
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return;
  object_ = new MprisPlayerObject(window, this);
  new RootAdaptor(object_);
  new PlayerAdaptor(object_);
  if (!bus.registerObject(kObjectPath, object_, QDBusConnection::ExportAdaptors)) {
    delete object_;
    object_ = nullptr;
    return;
  }
  // A second player takes a name of its own, as the interface suggests.
  for (const QString& name :
       {kBusName, kBusName + QStringLiteral(".instance%1").arg(QCoreApplication::applicationPid())}) {
    if (bus.registerService(name)) {
      serviceName_ = name;
      return;
    }
  }
  bus.unregisterObject(kObjectPath);
  delete object_;
  object_ = nullptr;
}

MprisService::~MprisService() {
  if (!object_) return;
  QDBusConnection bus = QDBusConnection::sessionBus();
  bus.unregisterService(serviceName_);
  bus.unregisterObject(kObjectPath);
}

}  // namespace ornivox::ui

#include "mpris.moc"

// The meta-object code is compiled here, with the class, instead of as a unit
// of its own that would read the toolkit's headers once more.
#include "moc_mpris.cpp"
