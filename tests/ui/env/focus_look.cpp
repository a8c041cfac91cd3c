#include "ui/env/focus_look.h"

#include <QCoreApplication>
#include <QTest>
#include <QImage>
#include <QWidget>

#include <memory>

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
  const QImage plain = w->grab().toImage();
  if (!FocusByTab(w)) return 0;
  return DifferingPixels(plain, w->grab().toImage());
}

int DifferingPixels(const QImage& a, const QImage& b) {
  const QImage one = a.convertToFormat(QImage::Format_ARGB32);
  const QImage two = b.convertToFormat(QImage::Format_ARGB32);
  int count = 0;
  for (int y = 0; y < one.height() && y < two.height(); ++y)
    for (int x = 0; x < one.width() && x < two.width(); ++x) count += one.pixel(x, y) != two.pixel(x, y);
  return count;
}

std::string KeyName(Qt::Key key) {
  const std::unique_ptr<char[]> name(QTest::toString(key));
  return name ? std::string(name.get()) : std::string();
}

}  // namespace ornivox::uitest
