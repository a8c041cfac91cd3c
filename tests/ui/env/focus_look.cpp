#include "ui/env/focus_look.h"

#include <QCoreApplication>
#include <QImage>
#include <QWidget>

#include "support/spin.h"

namespace ornivox::uitest {

using namespace std::chrono_literals;

bool FocusByTab(QWidget* w) {
  w->setFocus(Qt::TabFocusReason);
  return testsupport::spinUntil([&] { return w->hasFocus(); }, 5s);
}

int PixelsMarkedByFocus(QWidget* w) {
  w->clearFocus();
  QCoreApplication::processEvents();
  const QImage plain = w->grab().toImage().convertToFormat(QImage::Format_ARGB32);
  if (!FocusByTab(w)) return 0;
  const QImage marked = w->grab().toImage().convertToFormat(QImage::Format_ARGB32);
  int count = 0;
  for (int y = 0; y < plain.height(); ++y)
    for (int x = 0; x < plain.width(); ++x) count += plain.pixel(x, y) != marked.pixel(x, y);
  return count;
}

}  // namespace ornivox::uitest
