#pragma once

#include <QObject>

class QPainter;
class QRect;
class QWidget;

namespace ornivox::ui {

// The outline round a control on the skin that the keyboard has reached. It
// shows only while the focus came from the keyboard (Tab, or a key pressed
// on the control): a click never leaves an outline on the skin, and neither
// does the focus a window gives its first control when it is shown.
//
// With `presses`, it also makes the control a button for the keyboard: once
// its focus policy lets Tab reach it, Space, Return and Enter emit its
// clicked() signal, as a click does.
class FocusMark : public QObject {
 public:
  // A child of `control`, watching its keys and focus.
  explicit FocusMark(QWidget* control, bool presses = true);

  // Draws the outline round the control's rectangle when it is due; the
  // control calls it last in its paint.
  void paint(QPainter& painter) const;
  // The same round `area` of the control, for one that reaches past what it
  // shows.
  void paint(QPainter& painter, const QRect& area) const;

  static bool reachable(const QWidget& control);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void show(bool on);

  QWidget* control_;
  bool presses_;
  bool shown_ = false;
};

}  // namespace ornivox::ui
