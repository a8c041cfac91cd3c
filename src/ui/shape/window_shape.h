// The main window's outline (from its skin picture), its translucency and
// its place on the screen.
//
// Threads: the UI thread (QRegion and QImage are plain values, so the pure
// functions also run in tests without a display).
#pragma once

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QRegion>
#include <QSize>

class QWidget;

namespace ornivox::ui {

// Every pixel of the picture except those of the key colour, which is the
// colour of the top-left pixel, compared exactly on all three channels.
QRegion RegionFromBitmap(const QImage& bitmap);

// The window's opacity for a share of transparency from 0 to 100:
// trunc((100 - percent) * 2.55) in extended precision, so 15 gives 216 and 0
// gives 254.
int TransparencyAlpha(unsigned percent);
void SetWindowTransparency(QWidget* window, unsigned percent);

// Near the bottom-right corner of the whole screen (not the work area), in
// the desktop's coordinates: a screen that does not start at (0, 0) keeps
// the window on itself.
QPoint PlaceNearCorner(const QRect& screen, QSize window);

}  // namespace ornivox::ui
