#include "ui/widgets/track_bar.h"

#include "ui/widgets/accessible.h"
#include "ui/widgets/face.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QWheelEvent>

#include <algorithm>
#include <limits>

namespace ornivox::ui {

namespace {

constexpr int kThumbWidth = 11;
constexpr int kThumbMaxHeight = 18;
constexpr int kGrooveHeight = 4;
// One notch of a common wheel, in eighths of a degree.
constexpr int kNotch = 120;

QPixmap groovePixmap(QSize size, qreal dpr, QColor fill, QColor edge) {
  QPixmap pixmap(size * dpr);
  pixmap.setDevicePixelRatio(dpr);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing, true);
  p.setPen(QPen(edge, 1.0));
  p.setBrush(fill);
  const QRectF r = QRectF(QPointF(0, 0), QSizeF(size)).adjusted(0.5, 0.5, -0.5, -0.5);
  p.drawRoundedRect(r, 1.5, 1.5);
  return pixmap;
}

}  // namespace

TrackBar::TrackBar(QWidget* parent) : QAbstractSlider(parent), focusMark_(new FocusMark(this, false)) {
  InstallAccessibleWidgets();
  setOrientation(Qt::Horizontal);
  setRange(0, 100);
  setSingleStep(1);
  setPageStep(10);
  setTracking(true);
  setFocusPolicy(Qt::WheelFocus);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QSize TrackBar::sizeHint() const { return {120, 22}; }

QSize TrackBar::minimumSizeHint() const { return {kThumbWidth * 3, 12}; }

QRect TrackBar::thumbRect() const {
  const int span = std::max(width() - kThumbWidth, 0);
  const int x = QStyle::sliderPositionFromValue(minimum(), maximum(), sliderPosition(), span,
                                                invertedAppearance());
  const int h = std::clamp(height() - 4, 1, kThumbMaxHeight);
  return {x, (height() - h) / 2, kThumbWidth, h};
}

QRect TrackBar::grooveRect() const {
  const int w = std::max(width() - kThumbWidth + 1, 1);
  return {kThumbWidth / 2, (height() - kGrooveHeight) / 2, w, kGrooveHeight};
}

int TrackBar::valueAt(int thumbLeft) const {
  const int span = std::max(width() - kThumbWidth, 0);
  return QStyle::sliderValueFromPosition(minimum(), maximum(), thumbLeft, span,
                                         invertedAppearance());
}

unsigned TrackBar::thumbState() const {
  if (!isEnabled()) return face::Disabled;
  unsigned state = face::Normal;
  if (isSliderDown()) state |= face::Down;
  if (hovered_) state |= face::Hover;
  if (hasFocus()) state |= face::Focus;
  return state;
}

void TrackBar::preparePixmaps(qreal dpr) {
  const QSize groove = grooveRect().size();
  const QSize thumb = thumbRect().size();
  if (dpr != dpr_ || groove != grooveSize_ || isEnabled() != grooveEnabled_) {
    const bool on = isEnabled();
    groove_ = groovePixmap(groove, dpr, QColor(0, 0, 0, 70), QColor(0, 0, 0, on ? 150 : 80));
    grooveFilled_ = groovePixmap(groove, dpr, on ? QColor(0x3b, 0x82, 0xe0) : QColor(0xa8, 0xa8, 0xa8),
                                 on ? QColor(0x1f, 0x4f, 0x96) : QColor(0x80, 0x80, 0x80));
    grooveSize_ = groove;
    grooveEnabled_ = on;
  }
  const unsigned state = thumbState();
  if (dpr != dpr_ || state != thumbFor_ || thumb != thumbSize_) {
    thumb_ = face::render(thumb, state, 2.5, dpr);
    thumbFor_ = state;
    thumbSize_ = thumb;
  }
  dpr_ = dpr;
}

void TrackBar::paintEvent(QPaintEvent*) {
  preparePixmaps(devicePixelRatioF());
  const QRect groove = grooveRect();
  const QRect thumb = thumbRect();
  QPainter painter(this);
  painter.drawPixmap(groove.topLeft(), groove_);
  // The groove is filled from its start to the thumb's centre.
  const int filled = invertedAppearance() ? groove.right() - thumb.center().x() : thumb.center().x() - groove.left();
  if (filled > 0) {
    const int from = invertedAppearance() ? groove.width() - filled : 0;
    painter.drawPixmap(QPointF(groove.left() + from, groove.top()), grooveFilled_,
                       QRectF(from * dpr_, 0, filled * dpr_, groove.height() * dpr_));
  }
  painter.drawPixmap(thumb.topLeft(), thumb_);
  // The thumb's own focus look is too small to find the bar by. The mark
  // keeps to the thumb's height: the bar reaches below the skin's edge.
  focusMark_->paint(painter, QRect(0, thumb.top(), width(), thumb.height()));
}

void TrackBar::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || maximum() == minimum()) {
    event->ignore();
    return;
  }
  event->accept();
  const int x = event->position().toPoint().x();
  const QRect thumb = thumbRect();
  setSliderDown(true);
  if (thumb.contains(event->position().toPoint())) {
    dragOffset_ = x - thumb.left();
  } else {
    dragOffset_ = kThumbWidth / 2;
    setSliderPosition(valueAt(x - dragOffset_));
  }
}

void TrackBar::mouseMoveEvent(QMouseEvent* event) {
  if (!isSliderDown()) {
    event->ignore();
    return;
  }
  event->accept();
  setSliderPosition(valueAt(event->position().toPoint().x() - dragOffset_));
}

void TrackBar::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !isSliderDown()) {
    event->ignore();
    return;
  }
  event->accept();
  setSliderDown(false);
}

void TrackBar::wheelEvent(QWheelEvent* event) {
  const QPoint angle = event->angleDelta();
  int delta = angle.y() != 0 ? angle.y() : angle.x();
  if (event->inverted()) delta = -delta;
  // Fine-grained wheels send parts of a notch; a step is taken per notch.
  wheelAngle_ += delta;
  const int notches = wheelAngle_ / kNotch;
  wheelAngle_ -= notches * kNotch;
  if (notches != 0) {
    const long long target = static_cast<long long>(value()) + static_cast<long long>(notches) * singleStep();
    setValue(static_cast<int>(std::clamp<long long>(target, std::numeric_limits<int>::min(),
                                                    std::numeric_limits<int>::max())));
  }
  event->accept();
}

void TrackBar::enterEvent(QEnterEvent* event) {
  hovered_ = true;
  update();
  QAbstractSlider::enterEvent(event);
}

void TrackBar::leaveEvent(QEvent* event) {
  hovered_ = false;
  update();
  QAbstractSlider::leaveEvent(event);
}

}  // namespace ornivox::ui

// The meta-object code is compiled here, with the class, instead of as a unit
// of its own that would read the toolkit's headers once more.
#include "moc_track_bar.cpp"
