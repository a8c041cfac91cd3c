#pragma once

#include <QColor>
#include <QWidget>

namespace ornivox::ui {

// A vertical level bar: a 1 px frame around a background filled from the
// bottom in the bar colour, in proportion to the value. It has no text and
// lets the mouse through to whatever lies beneath.
class LevelGauge : public QWidget {
  Q_OBJECT

 public:
  explicit LevelGauge(QWidget* parent = nullptr);

  // A maximum below the minimum is taken as the minimum; the value is
  // brought into the new range.
  void setRange(int minimum, int maximum);
  int minimum() const { return minimum_; }
  int maximum() const { return maximum_; }

  // Clamped to the range. A new value is painted at once, since the player
  // feeds the gauge from a timer and would rather not wait for the event
  // loop; the same value again paints nothing.
  void setValue(int value);
  int value() const { return value_; }

  void setColors(const QColor& bar, const QColor& background);
  void setFrameColor(const QColor& frame);
  QColor barColor() const { return bar_; }
  QColor backgroundColor() const { return background_; }
  QColor frameColor() const { return frame_; }

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  int barHeight() const;

  int minimum_ = 0;
  int maximum_ = 100;
  int value_ = 0;
  QColor bar_{0x4c, 0xd0, 0x5a};
  QColor background_{Qt::black};
  QColor frame_{0x5a, 0x5a, 0x5a};
};

}  // namespace ornivox::ui
