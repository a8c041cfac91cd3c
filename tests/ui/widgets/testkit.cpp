#include "ui/widgets/testkit.h"

#include <QFontInfo>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleFactory>
#include <QTest>

#include <memory>

namespace ornivox::ui::test {

Backdrop::Backdrop(QSize size) {
  setWindowFlag(Qt::FramelessWindowHint);
  resize(size);
}

void Backdrop::paintEvent(QPaintEvent*) {
  QPainter(this).fillRect(rect(), QColor::fromRgba(kBackdrop));
}

void Backdrop::mousePressEvent(QMouseEvent* event) {
  presses.append(event->position().toPoint());
}

QFont textFont() {
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPixelSize(12);
  font.setBold(true);
  font.setStyleStrategy(QFont::NoAntialias);
  return font;
}

bool showAndExpose(QWidget* window) {
  window->show();
  return QTest::qWaitForWindowExposed(window, 5000);
}

bool showAndActivate(QWidget* window) {
  if (!showAndExpose(window)) return false;
  window->activateWindow();
  return QTest::qWaitForWindowActive(window, 5000);
}

QImage grabInWindow(const QWidget* widget, int margin) {
  QWidget* window = widget->window();
  const QRect area(widget->mapTo(window, QPoint(0, 0)), widget->size());
  return window->grab(area.adjusted(-margin, -margin, margin, margin))
      .toImage()
      .convertToFormat(QImage::Format_ARGB32);
}

namespace {

template <typename Match>
QRect boxWhere(const QImage& image, Match match) {
  QRect box;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (match(image.pixel(x, y))) box |= QRect(x, y, 1, 1);
  return box;
}

}  // namespace

QRect boxOf(const QImage& image, QRgb colour) {
  return boxWhere(image, [colour](QRgb p) { return p == colour; });
}

QRect boxOfAllBut(const QImage& image, QRgb background) {
  return boxWhere(image, [background](QRgb p) { return p != background; });
}

int countOf(const QImage& image, QRgb colour) {
  int n = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) n += image.pixel(x, y) == colour;
  return n;
}

QPoint inWindow(const QWidget* widget, QPoint local) {
  return widget->mapTo(widget->window(), local);
}

void perform(QWidget* widget, Gesture gesture, Qt::MouseButton button, QPoint local) {
  QWindow* window = widget->window()->windowHandle();
  const QPoint at = inWindow(widget, local);
  switch (gesture) {
    case Gesture::Click:
      QTest::mouseClick(window, button, {}, at);
      break;
    case Gesture::DoubleClick:
      QTest::mouseDClick(window, button, {}, at);
      break;
    case Gesture::ReleaseOutside:
      QTest::mousePress(window, button, {}, at);
      QTest::mouseRelease(window, button, {}, inWindow(widget, {widget->width() + 10, widget->height() + 10}));
      break;
  }
}

QStringList stylesThatChangeTheLook(QWidget* widget) {
  const QImage own = grabInWindow(widget);
  QStringList changed;
  for (const QString& key : QStyleFactory::keys()) {
    std::unique_ptr<QStyle> style(QStyleFactory::create(key));
    widget->setStyle(style.get());
    if (grabInWindow(widget) != own) changed.append(key);
    widget->setStyle(nullptr);
  }
  return changed;
}

QList<Qt::MouseButton> buttonsOf(const QSignalSpy& spy) {
  QList<Qt::MouseButton> buttons;
  for (const auto& args : spy) buttons.append(args.at(0).value<Qt::MouseButton>());
  return buttons;
}

}  // namespace ornivox::ui::test
