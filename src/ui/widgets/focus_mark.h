#pragma once

#include <QObject>

class QPainter;
class QWidget;

namespace ornivox::ui {

// Makes a piece of the skin a control the keyboard can press: once its focus
// policy lets Tab reach it, Space, Return and Enter emit its clicked()
// signal, as a click does. The outline shows only while the focus came from
// the keyboard (Tab, or a key pressed on the control): a click never leaves
// an outline on the skin, and neither does the focus a window gives its
// first control when it is shown.
class FocusMark : public QObject {
 public:
  // A child of `control`, watching its keys and focus.
  explicit FocusMark(QWidget* control);

  // Draws the outline round the control's rectangle when it is due; the
  // control calls it last in its paint.
  void paint(QPainter& painter) const;

  static bool reachable(const QWidget& control);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void show(bool on);

  QWidget* control_;
  bool shown_ = false;
};

}  // namespace ornivox::ui
