#pragma once

#include "ui/widgets/click_gesture.h"
#include "ui/widgets/focus_mark.h"

#include <QPixmap>
#include <QWidget>

class QImage;

namespace ornivox::ui {

// A piece of the skin: a picture drawn at its own size from the top-left
// corner and cut off at the widget's edge. With a key, the colour of the
// picture's bottom-left pixel is see-through wherever it occurs. A picture
// whose device pixel ratio is 2 is drawn at half its pixel size, sharp on a
// screen scaled by two. Given a focus policy that Tab reaches, the image is
// a button (see FocusMark).
class SkinImage : public QWidget {
  Q_OBJECT

 public:
  explicit SkinImage(QWidget* parent = nullptr);

  void setImage(const QImage& image, bool keyTransparent);
  const QPixmap& pixmap() const { return pixmap_; }

  QSize sizeHint() const override;

 signals:
  // Every press of any button, the second of a double click included.
  void pressed(Qt::MouseButton button);
  // A left press and release inside; each click of a double click counts.
  void clicked();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  QPixmap pixmap_;
  ClickGesture click_;
  FocusMark* focus_;
};

}  // namespace ornivox::ui
