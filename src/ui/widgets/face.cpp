#include "ui/widgets/face.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPen>

namespace ornivox::ui::face {

namespace {

struct Colours {
  QRgb top;
  QRgb bottom;
  QRgb border;
};

Colours coloursFor(unsigned state) {
  if (state & Disabled) return {0xffefefef, 0xffe4e4e4, 0xffb4b4b4};
  if (state & Down) return {0xffc3c9d2, 0xffe0e3e8, 0xff535c68};
  if (state & Hover) return {0xffffffff, 0xffe2eaf5, 0xff6b8cb5};
  return {0xfff7f8fa, 0xffd9dde3, 0xff868d97};
}

}  // namespace

void paint(QPainter& painter, const QRectF& rect, unsigned state, qreal radius) {
  const Colours c = coloursFor(state);
  const bool focus = (state & Focus) && !(state & Disabled);
  // Half-pixel inset: a 1 px pen centred on the edge would be split over
  // two rows and come out blurred.
  const QRectF edge = rect.adjusted(0.5, 0.5, -0.5, -0.5);
  QLinearGradient fill(edge.topLeft(), edge.bottomLeft());
  fill.setColorAt(0.0, QColor::fromRgba(c.top));
  fill.setColorAt(1.0, QColor::fromRgba(c.bottom));

  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, true);
  painter.setPen(QPen(QColor::fromRgba(focus ? 0xff2f6fd0 : c.border), 1.0));
  painter.setBrush(fill);
  painter.drawRoundedRect(edge, radius, radius);
  if (focus) {
    painter.setPen(QPen(QColor(47, 111, 208, 110), 1.0));
    painter.setBrush(Qt::NoBrush);
    const qreal inner = radius > 1.0 ? radius - 1.0 : 0.0;
    painter.drawRoundedRect(edge.adjusted(1.0, 1.0, -1.0, -1.0), inner, inner);
  }
  painter.restore();
}

QPixmap render(QSize size, unsigned state, qreal radius, qreal devicePixelRatio) {
  QPixmap pixmap(size * devicePixelRatio);
  pixmap.setDevicePixelRatio(devicePixelRatio);
  pixmap.fill(Qt::transparent);
  if (!size.isEmpty()) {
    QPainter painter(&pixmap);
    paint(painter, QRectF(QPointF(0, 0), QSizeF(size)), state, radius);
  }
  return pixmap;
}

}  // namespace ornivox::ui::face
