#include "ui/widgets/skin_image.h"

#include "ui/widgets/accessible.h"

#include <QImage>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

namespace ornivox::ui {

SkinImage::SkinImage(QWidget* parent) : QWidget(parent), focus_(new FocusMark(this)) {
  InstallAccessibleWidgets();
}

QSize SkinImage::sizeHint() const {
  return pixmap_.isNull() ? QSize(0, 0) : pixmap_.deviceIndependentSize().toSize();
}

void SkinImage::setImage(const QImage& image, bool keyTransparent) {
  if (image.isNull()) {
    pixmap_ = QPixmap();
  } else if (!keyTransparent) {
    pixmap_ = QPixmap::fromImage(image);
  } else {
    QImage keyed = image.convertToFormat(QImage::Format_ARGB32);
    const QRgb key = keyed.pixel(0, keyed.height() - 1);
    for (int y = 0; y < keyed.height(); ++y) {
      auto* line = reinterpret_cast<QRgb*>(keyed.scanLine(y));
      for (int x = 0; x < keyed.width(); ++x)
        if (line[x] == key) line[x] = 0;
    }
    pixmap_ = QPixmap::fromImage(std::move(keyed));
  }
  // As many picture pixels to a widget pixel as the picture was drawn for
  // (a "@2x" picture for a screen scaled by two), whatever the screen's scale.
  pixmap_.setDevicePixelRatio(image.isNull() ? 1.0 : image.devicePixelRatio());
  updateGeometry();
  update();
}

void SkinImage::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  const QRect area = event->rect() & QRect(QPoint(0, 0), sizeHint());
  if (!pixmap_.isNull() && !area.isEmpty()) {
    painter.save();
    painter.setClipRect(area);
    painter.drawPixmap(QPoint(0, 0), pixmap_);
    painter.restore();
  }
  focus_->paint(painter);
}

void SkinImage::mousePressEvent(QMouseEvent* event) {
  emit pressed(event->button());
  click_.press(event->button());
  event->accept();
}

void SkinImage::mouseReleaseEvent(QMouseEvent* event) {
  if (click_.release(event->button(), rect().contains(event->position().toPoint()))) emit clicked();
  event->accept();
}

}  // namespace ornivox::ui

// The meta-object code is compiled here, with the class, instead of as a unit
// of its own that would read the toolkit's headers once more.
#include "moc_skin_image.cpp"
