// The player's main window: a borderless, skinned, slightly translucent
// 419 x 114 window with the station line, the title line, the codec label,
// two level meters, the transport and mute buttons, the volume bar and the
// links. Its behaviour lives in the Player it is given; this class lays out
// the components, binds their events and implements PlayerView.
//
// Threads: the UI thread only. Connection threads and engine callbacks reach
// it through Player's blocking UI calls.
#pragma once

#include <QImage>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <memory>
#include <string>

#include "player/audio_setup.h"
#include "player/player.h"
#include "player/player_view.h"

namespace ornivox::desktop {
class HandoverServer;
}

namespace ornivox::ui {

class LevelGauge;
class ShadowLabel;
class SkinImage;
class TfrmHakkinda;
class TfrmWebIstek;
class TrackBar;

struct MainWindowOptions {
  // The first command-line argument (a playlist file), or empty.
  std::string argument;
  int watchdogIntervalMs = 25000;
  int levelIntervalMs = 20;
  // Listen for the arguments of later starts; only the instance-lock holder
  // may replace a stale endpoint.
  bool listenForHandOver = true;
  bool instanceLockHolder = true;
};

// The windows the main window opens; either may be missing (then its label
// does nothing). They must outlive the main window's use of them.
struct MainWindowDialogs {
  TfrmHakkinda* about = nullptr;       // from lBilgi
  TfrmWebIstek* webRequest = nullptr;  // from lIstek
};

class TfrmMain : public QWidget, public PlayerView {
  Q_OBJECT

 public:
  // Becomes `player`'s window until it is destroyed; `player` must outlive
  // it. Sets up the audio engine (FormCreate): see audioSetup().
  TfrmMain(Player& player, MainWindowOptions options, QWidget* parent = nullptr);
  ~TfrmMain() override;

  Player& player() { return player_; }

  // How setting up the audio engine went. Anything but Ready means the
  // program must end: the window is neither shaped nor listening, and
  // ShowAudioSetupFailure says why.
  AudioSetup audioSetup() const { return audioSetup_; }

  void setDialogs(MainWindowDialogs dialogs) { dialogs_ = dialogs; }

  // This player now holds the single-instance lock (the player that held it
  // has ended): it takes the hand-over endpoint over, a stale one included,
  // so later starts find it. Does nothing when it does not listen at all.
  void takeOverHandOver();

  // PlayerView
  void setStationLine(const std::string& text) override;
  std::string stationLine() const override;
  void repaintStationLine() override;
  void setTitleLine(const std::string& text) override;
  std::string titleLine() const override;
  void setKbpsLabel(const std::string& text) override;
  void setVolumeBar(int position) override;
  int volumeBar() const override;
  void setWatchdogEnabled(bool enabled) override;
  void showMuted(bool muted) override;
  void setLevels(int left, int right) override;

  // The components, by their layout names (tests look at them).
  ShadowLabel* Label4 = nullptr;
  ShadowLabel* Label3 = nullptr;
  ShadowLabel* lKbps = nullptr;
  ShadowLabel* sLink = nullptr;
  ShadowLabel* lWebGit = nullptr;
  ShadowLabel* lBilgi = nullptr;
  ShadowLabel* lIstek = nullptr;
  SkinImage* Image1 = nullptr;
  SkinImage* btnKapat = nullptr;
  SkinImage* btnMinimize = nullptr;
  SkinImage* btnSesAcik = nullptr;
  SkinImage* btnDur = nullptr;
  SkinImage* btnPlay = nullptr;
  SkinImage* btnSesKapali = nullptr;
  SkinImage* logo = nullptr;
  SkinImage* imageBilgi = nullptr;
  SkinImage* imageIstek = nullptr;
  LevelGauge* lSol = nullptr;
  LevelGauge* lSag = nullptr;
  TrackBar* sndBar = nullptr;
  QTimer* TimerKontrol = nullptr;
  QTimer* tLevel = nullptr;

  // The region applied as the window's shape.
  QRegion shapeRegion;

 signals:
  // After FormShow has run (tests wait for it).
  void shown();

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void createComponents();
  // Tab order, focus and the names screen readers say.
  void setUpKeyboard();
  void FormCreate();
  void FormShow();
  void FormClose();
  void FormDestroy();
  // False when reading the station's files failed (shown in an error box).
  bool OpenStation(const std::string& source);

  void startMove(QWidget* pressed, Qt::MouseButton button);
  void btnKapatClick();
  void btnMinimizeClick();
  void sLinkClick();
  void lWebGitClick();
  void logoClick();
  void Label4DblClick();
  void lKbpsClick();
  void lIstekClick();
  void lBilgiClick();
  void linkHover(bool inside);

  Player& player_;
  MainWindowOptions options_;
  MainWindowDialogs dialogs_;
  AudioSetup audioSetup_ = AudioSetup::Ready;
  std::unique_ptr<desktop::HandoverServer> handover_;
  bool shownOnce_ = false;
  // Clicks on the codec label; never reset while the program runs.
  int kbpsClicks_ = 0;
  static constexpr int kKbpsClicksBeforeAddress = 20;
  bool destroyed_ = false;

  // A window move the window manager could not take over: the grab offset
  // while a button is held on one of the move areas.
  QPointer<QWidget> dragSource_;
  QPoint dragOffset_;
};

// The message box used when the audio device cannot be opened: the text, a
// line break and the engine's error code.
void ShowBassError(QWidget* owner, const QString& text);

// The box that tells why the audio engine could not be set up (`failure`
// is not Ready); the program ends after it.
void ShowAudioSetupFailure(QWidget* owner, AudioSetup failure);

}  // namespace ornivox::ui
