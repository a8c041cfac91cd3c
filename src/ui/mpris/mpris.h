// The player on the session bus as an MPRIS2 media player
// (org.mpris.MediaPlayer2.ornivox), so desktop panels, media keys and
// playerctl see the title and station and can play, stop and set the
// volume. It drives the window's own handlers and follows the window's
// lines, volume bar and stream state; without a session bus it does nothing.
//
// Threads: the UI thread.
#pragma once

#include <QObject>
#include <QString>

namespace ornivox::ui {

class TfrmMain;
class MprisPlayerObject;

class MprisService : public QObject {
  Q_OBJECT

 public:
  explicit MprisService(TfrmMain& window, QObject* parent = nullptr);
  ~MprisService() override;

  // The bus name taken, or empty when the player is not on the bus.
  QString serviceName() const { return serviceName_; }

 private:
  MprisPlayerObject* object_ = nullptr;
  QString serviceName_;
};

}  // namespace ornivox::ui
