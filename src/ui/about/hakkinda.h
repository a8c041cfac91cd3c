// The about box: the product's name and version, who made it for which
// station, and links to the maker's and the station's sites. Created hidden
// at start; the main window fills in the station's texts, places it and
// shows it modally.
//
// Threads: the UI thread.
#pragma once

#include <QDialog>
#include <QRect>
#include <QString>
#include <QTimer>

#include <optional>

namespace ornivox::ui {

class PushButton;
class ShadowLabel;

class TfrmHakkinda : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmHakkinda(QWidget* parent = nullptr);

  // The maker's site, with the station's name (the current text of lRadyo)
  // as it is, so the maker sees which station's listeners come.
  QString makerAddress() const;

  // Puts the box's frame just above `anchor` (the main window's frame), its
  // lower edge 14 pixels over the anchor's top and its left 113 pixels in;
  // not kept on the screen. Under a window manager the frame is only known
  // once the box has been shown, so until then the box is placed again as
  // soon as it is: the first opening sits where later ones do.
  void placeAbove(const QRect& anchor);

  // The components, by their layout names (the caller sets lRadyo and lWeb;
  // tests look at all of them).
  ShadowLabel* Label7 = nullptr;
  ShadowLabel* Label1 = nullptr;
  ShadowLabel* Label2 = nullptr;
  ShadowLabel* Label8 = nullptr;
  ShadowLabel* lRadyo = nullptr;
  ShadowLabel* Label3 = nullptr;
  ShadowLabel* Label4 = nullptr;
  ShadowLabel* lWeb = nullptr;
  PushButton* btnKapat = nullptr;

 signals:
  // After FormShow has run, on every showing.
  void shown();

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void place();
  void placeOnceFramed();
  void FormShow();
  void Label2Click();
  void lWebClick();

  // The last placeAbove's anchor, while the box's frame is not known yet.
  std::optional<QRect> anchor_;
  // The window manager names the frame's size in a property of its own, and
  // the toolkit tells no event for it: after a showing the box looks again a
  // few times, for a second at most.
  QTimer* frameWatch_ = nullptr;
  int frameLooks_ = 0;
};

}  // namespace ornivox::ui
