#include "ui/widgets/level_gauge.h"

#include "ui/widgets/accessible.h"

#include <QPainter>

#include <algorithm>

namespace ornivox::ui {

LevelGauge::LevelGauge(QWidget* parent) : QWidget(parent) {
  InstallAccessibleWidgets();
  setAttribute(Qt::WA_TransparentForMouseEvents);
  // Every pixel is painted, so nothing beneath needs painting first: at
  // 50 frames a second that halves the work.
  setAttribute(Qt::WA_OpaquePaintEvent);
}

QSize LevelGauge::sizeHint() const { return {8, 40}; }

void LevelGauge::setRange(int minimum, int maximum) {
  maximum = std::max(minimum, maximum);
  if (minimum == minimum_ && maximum == maximum_) return;
  minimum_ = minimum;
  maximum_ = maximum;
  value_ = std::clamp(value_, minimum_, maximum_);
  update();
}

void LevelGauge::setValue(int value) {
  value = std::clamp(value, minimum_, maximum_);
  if (value == value_) return;
  const int before = barHeight();
  value_ = value;
  const int after = barHeight();
  if (after == before) return;  // the same picture
  // Only the rows between the old and the new top of the bar change. The
  // player sets both meters 50 times a second: one paint pass for the two,
  // of a few rows each, and none for the labels that overlap their edges.
  const int bottom = height() - 2;  // the inner area's last row
  const int low = std::min(before, after), high = std::max(before, after);
  update(QRect(1, bottom - high + 1, width() - 2, high - low));
}

void LevelGauge::setColors(const QColor& bar, const QColor& background) {
  if (bar == bar_ && background == background_) return;
  bar_ = bar;
  background_ = background;
  update();
}

void LevelGauge::setFrameColor(const QColor& frame) {
  if (frame == frame_) return;
  frame_ = frame;
  update();
}

int LevelGauge::barHeight() const {
  const long long inner = std::max(height() - 2, 0);
  const long long span = static_cast<long long>(maximum_) - minimum_;
  if (span <= 0 || inner == 0) return 0;
  const long long filled = static_cast<long long>(value_) - minimum_;
  return static_cast<int>((filled * inner + span / 2) / span);
}

void LevelGauge::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QRect r = rect();
  painter.setPen(frame_);
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(r.adjusted(0, 0, -1, -1));
  const QRect inner = r.adjusted(1, 1, -1, -1);
  if (inner.isEmpty()) return;
  const int bar = barHeight();
  painter.fillRect(QRect(inner.left(), inner.top(), inner.width(), inner.height() - bar), background_);
  if (bar > 0) painter.fillRect(QRect(inner.left(), inner.bottom() - bar + 1, inner.width(), bar), bar_);
}

}  // namespace ornivox::ui

// The meta-object code is compiled here, with the class, instead of as a unit
// of its own that would read the toolkit's headers once more.
#include "moc_level_gauge.cpp"
