#pragma once

#include <QPixmap>
#include <QRectF>
#include <QSize>

class QPainter;

// The raised, rounded face shared by the push button and the track bar's
// thumb, so both read as one family whatever the desktop's style is.
namespace ornivox::ui::face {

enum State : unsigned {
  Normal = 0,
  Hover = 1 << 0,
  Down = 1 << 1,
  Focus = 1 << 2,
  Disabled = 1 << 3,
};

// Rounded rectangle with a soft vertical gradient and a 1 px border;
// Down wins over Hover, Disabled over both.
void paint(QPainter& painter, const QRectF& rect, unsigned state, qreal radius);

// The face alone on a transparent pixmap of `size` logical pixels, for
// widgets that keep it between paints.
QPixmap render(QSize size, unsigned state, qreal radius, qreal devicePixelRatio);

}  // namespace ornivox::ui::face
