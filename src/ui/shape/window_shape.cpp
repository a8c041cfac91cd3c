#include "ui/shape/window_shape.h"

#include <QWidget>

#include <cmath>

namespace ornivox::ui {

QRegion RegionFromBitmap(const QImage& bitmap) {
  const QImage image = bitmap.convertToFormat(QImage::Format_RGB888);
  const int width = image.width();
  const int height = image.height();
  QRegion region(0, 0, width, height);
  if (width == 0 || height == 0) return region;
  const uchar* first = image.constScanLine(0);
  const uchar key[3] = {first[0], first[1], first[2]};
  auto isKey = [&](const uchar* p) { return p[0] == key[0] && p[1] == key[1] && p[2] == key[2]; };
  for (int y = 0; y < height; ++y) {
    const uchar* row = image.constScanLine(y);
    int runStart = -1;
    for (int x = 0; x < width; ++x) {
      const bool keyed = isKey(row + 3 * x);
      if (keyed && runStart < 0) {
        runStart = x;
      } else if (!keyed && runStart >= 0) {
        region -= QRegion(runStart, y, x - runStart, 1);
        runStart = -1;
      }
    }
    if (runStart >= 0) region -= QRegion(runStart, y, width - runStart, 1);
  }
  return region;
}

int TransparencyAlpha(unsigned percent) {
  // 2.55 is not exact in binary: its nearest extended value lies just below,
  // so the true product for 0 per cent lies just below 255 and its integer
  // part is 254. The rounded product would be 255.0 exactly, so take the
  // rounding error into account before cutting off the fraction.
  const long double share = 100.0L - static_cast<long double>(percent);
  const long double product = share * 2.55L;
  const long double error = std::fmal(share, 2.55L, -product);
  long double whole = std::truncl(product);
  if (whole == product && error < 0 && whole > 0) whole -= 1;
  return static_cast<int>(whole);
}

void SetWindowTransparency(QWidget* window, unsigned percent) {
  window->setWindowOpacity(TransparencyAlpha(percent) / 255.0);
}

QPoint PlaceNearCorner(const QRect& screen, QSize window) {
  return screen.topLeft() + QPoint(screen.width() - window.width() - 5, screen.height() - window.height() - 42);
}

}  // namespace ornivox::ui
