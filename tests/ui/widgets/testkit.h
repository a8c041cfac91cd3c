#pragma once

#include <QFont>
#include <QImage>
#include <QList>
#include <QPoint>
#include <QRect>
#include <QStringList>
#include <QWidget>

class QSignalSpy;

// What the widget tests share: a plain coloured window to put widgets on,
// a font that is on every build machine, and pixel judgements.
namespace ornivox::ui::test {

// The window's own colour, which must show wherever a widget leaves its
// background alone. Not a colour any widget draws.
inline constexpr QRgb kBackdrop = 0xff2e8b57;

// A top-level window painted in kBackdrop; it keeps the presses that reach it.
class Backdrop : public QWidget {
 public:
  explicit Backdrop(QSize size = {300, 200});
  QList<QPoint> presses;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
};

// DejaVu Sans, bold, 12 px, without antialiasing, so every text pixel has
// exactly the pen's colour.
QFont textFont();

// Shows the window and waits (bounded) until the server has exposed it.
bool showAndExpose(QWidget* window);
bool showAndActivate(QWidget* window);

// The widget's rectangle, grown by `margin`, as its window paints it,
// so whatever shows through from the window is in the picture.
QImage grabInWindow(const QWidget* widget, int margin = 0);

// The smallest rectangle holding every pixel of exactly `colour`
// (empty when there is none).
QRect boxOf(const QImage& image, QRgb colour);
// The same for every pixel that is not `background`.
QRect boxOfAllBut(const QImage& image, QRgb background);
int countOf(const QImage& image, QRgb colour);

// Where a point of `widget` lies in its window, for the window-level mouse
// events that go through the same routing as the server's.
QPoint inWindow(const QWidget* widget, QPoint local);

// Mouse gestures sent through the widget's window, so they are routed as
// the server's would be (to the widget under the pointer, with the grab a
// press starts, and a double click made of the timestamps).
enum class Gesture { Click, DoubleClick, ReleaseOutside };
void perform(QWidget* widget, Gesture gesture, Qt::MouseButton button, QPoint local);

// The installed styles under which `widget` looks other than under the
// application's own; a widget in our own look gives none.
QStringList stylesThatChangeTheLook(QWidget* widget);

// The buttons a spy on a pressed(Qt::MouseButton) signal has seen.
QList<Qt::MouseButton> buttonsOf(const QSignalSpy& spy);

}  // namespace ornivox::ui::test
