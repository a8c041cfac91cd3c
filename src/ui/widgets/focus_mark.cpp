#include "ui/widgets/focus_mark.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QWidget>

namespace ornivox::ui {

namespace {

bool isPressKey(const QKeyEvent& event) {
  if ((event.modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) return false;
  return event.key() == Qt::Key_Space || event.key() == Qt::Key_Return || event.key() == Qt::Key_Enter;
}

}  // namespace

FocusMark::FocusMark(QWidget* control, bool presses) : QObject(control), control_(control), presses_(presses) {
  control->installEventFilter(this);
}

bool FocusMark::reachable(const QWidget& control) { return (control.focusPolicy() & Qt::TabFocus) != 0; }

void FocusMark::show(bool on) {
  if (on == shown_) return;
  shown_ = on;
  control_->update();
}

bool FocusMark::eventFilter(QObject* watched, QEvent* event) {
  if (watched != control_) return false;
  switch (event->type()) {
    case QEvent::KeyPress: {
      // Whoever uses the keyboard wants to see where it is.
      if (control_->hasFocus()) show(true);
      const auto& key = static_cast<const QKeyEvent&>(*event);
      if (!presses_ || !reachable(*control_) || !control_->isEnabled() || !isPressKey(key)) return false;
      QMetaObject::invokeMethod(control_, "clicked");
      return true;
    }
    case QEvent::FocusIn: {
      const Qt::FocusReason reason = static_cast<const QFocusEvent&>(*event).reason();
      show(reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason);
      return false;
    }
    case QEvent::FocusOut:
      show(false);
      return false;
    default:
      return false;
  }
}

void FocusMark::paint(QPainter& painter) const { paint(painter, control_->rect()); }

void FocusMark::paint(QPainter& painter, const QRect& area) const {
  if (!shown_ || !control_->hasFocus()) return;
  // White under a black dash: seen on any part of any skin, light or dark.
  const QRect edge = area.adjusted(0, 0, -1, -1);
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setBrush(Qt::NoBrush);
  painter.setPen(QPen(Qt::white, 1));
  painter.drawRect(edge);
  painter.setPen(QPen(Qt::black, 1, Qt::DashLine));
  painter.drawRect(edge);
  painter.restore();
}

}  // namespace ornivox::ui
