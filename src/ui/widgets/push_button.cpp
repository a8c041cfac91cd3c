#include "ui/widgets/push_button.h"

#include "ui/widgets/face.h"

#include <QEvent>
#include <QKeyEvent>
#include <QPainter>

#include <algorithm>

namespace ornivox::ui {

namespace {

constexpr QRgb kText = 0xff1d2125;
constexpr QRgb kDisabledText = 0xff8c9096;
constexpr qreal kRadius = 3.0;

}  // namespace

PushButton::PushButton(QWidget* parent) : QAbstractButton(parent) {
  setFocusPolicy(Qt::StrongFocus);
  setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Fixed);
}

PushButton::PushButton(const QString& text, QWidget* parent) : PushButton(parent) {
  setText(text);
}

QSize PushButton::sizeHint() const {
  const QSize text = fontMetrics().size(Qt::TextShowMnemonic, QAbstractButton::text());
  return {std::max(text.width() + 24, 75), std::max(text.height() + 10, 23)};
}

QSize PushButton::minimumSizeHint() const {
  const QSize text = fontMetrics().size(Qt::TextShowMnemonic, QAbstractButton::text());
  return {text.width() + 8, text.height() + 4};
}

unsigned PushButton::state() const {
  if (!isEnabled()) return face::Disabled;
  unsigned s = face::Normal;
  if (isDown() || isChecked()) s |= face::Down;
  if (hovered_) s |= face::Hover;
  if (hasFocus()) s |= face::Focus;
  return s;
}

void PushButton::paintEvent(QPaintEvent*) {
  const unsigned s = state();
  const qreal dpr = devicePixelRatioF();
  if (s != faceState_ || size() != faceSize_ || dpr != faceDpr_ || text() != faceText_) {
    face_ = face::render(size(), s, kRadius, dpr);
    QPainter p(&face_);
    p.setFont(font());
    p.setPen(QColor::fromRgba(s & face::Disabled ? kDisabledText : kText));
    // A pressed face sinks by a pixel with its text.
    const QRect textArea = rect().translated((s & face::Down) ? QPoint(1, 1) : QPoint(0, 0));
    p.drawText(textArea, Qt::AlignCenter | Qt::TextShowMnemonic, text());
    faceState_ = s;
    faceSize_ = size();
    faceDpr_ = dpr;
    faceText_ = text();
  }
  QPainter painter(this);
  painter.drawPixmap(0, 0, face_);
}

void PushButton::keyPressEvent(QKeyEvent* event) {
  // Space is the toolkit's; Return and Enter press too, since our dialogs
  // have no default button to take them.
  const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  if (enter && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier && isEnabled()) {
    event->accept();
    click();
    return;
  }
  QAbstractButton::keyPressEvent(event);
}

void PushButton::enterEvent(QEnterEvent* event) {
  hovered_ = true;
  update();
  QAbstractButton::enterEvent(event);
}

void PushButton::leaveEvent(QEvent* event) {
  hovered_ = false;
  update();
  QAbstractButton::leaveEvent(event);
}

void PushButton::changeEvent(QEvent* event) {
  if (event->type() == QEvent::FontChange) {
    faceState_ = ~0u;
    updateGeometry();
  }
  QAbstractButton::changeEvent(event);
}

}  // namespace ornivox::ui

// The meta-object code is compiled here, with the class, instead of as a unit
// of its own that would read the toolkit's headers once more.
#include "moc_push_button.cpp"
