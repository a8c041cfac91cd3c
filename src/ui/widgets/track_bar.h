#pragma once

#include <QAbstractSlider>
#include <QPixmap>

#include "ui/widgets/focus_mark.h"

namespace ornivox::ui {

// A horizontal slider in our own look (a thin groove filled up to a small
// raised thumb) that leaves the skin visible around it. Range 0..100.
//
// A left press on the groove puts the thumb's centre under the pointer at
// once and goes on dragging from there; a press on the thumb only grabs it.
// Arrow keys and each wheel notch move one single step, Page keys one page
// step, Home and End to the ends. valueChanged (tracking is on) fires once
// for every change of the value, by the user or by setValue, and never when
// the value stays the same.
class TrackBar : public QAbstractSlider {
  Q_OBJECT

 public:
  explicit TrackBar(QWidget* parent = nullptr);

  // Where the thumb is drawn now, in widget coordinates.
  QRect thumbRect() const;

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  QRect grooveRect() const;
  int valueAt(int thumbLeft) const;
  unsigned thumbState() const;
  void preparePixmaps(qreal dpr);

  FocusMark* focusMark_;
  int dragOffset_ = 0;
  int wheelAngle_ = 0;
  bool hovered_ = false;

  // Groove and thumb are drawn once per size or state and then only
  // copied, as dragging repaints at the pointer's rate.
  QPixmap groove_;
  QPixmap grooveFilled_;
  QPixmap thumb_;
  QSize grooveSize_;
  bool grooveEnabled_ = true;
  unsigned thumbFor_ = ~0u;
  QSize thumbSize_;
  qreal dpr_ = 0;
};

}  // namespace ornivox::ui
