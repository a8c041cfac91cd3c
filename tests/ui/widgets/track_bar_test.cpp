#include "ui/widgets/testkit.h"
#include "ui/widgets/track_bar.h"

#include <QApplication>
#include <QSignalSpy>
#include <QStyleFactory>
#include <QTest>
#include <QWheelEvent>

#include <memory>

using namespace ornivox::ui;
using namespace ornivox::ui::test;

namespace {

// 211 px wide: 200 px of travel for the 11 px thumb, two pixels a step.
constexpr QRect kGeometry{40, 30, 211, 22};

struct Scene {
  std::unique_ptr<Backdrop> window = std::make_unique<Backdrop>(QSize(300, 100));
  TrackBar* bar = new TrackBar(window.get());

  explicit Scene(int value) {
    bar->setGeometry(kGeometry);
    bar->setValue(value);
  }
};

QList<int> values(const QSignalSpy& spy) {
  QList<int> out;
  for (const auto& args : spy) out.append(args.at(0).toInt());
  return out;
}

}  // namespace

class TrackBarTest : public QObject {
  Q_OBJECT

 private slots:
  void defaults();
  void pressOnTheGroove();
  void dragFollowsThePointer();
  void keys();
  void wheel();
  void valueChangedOnlyOnChange();
  void drawsOnlyGrooveAndThumb();
  void sameUnderEveryStyle();
};

void TrackBarTest::defaults() {
  TrackBar bar;
  QCOMPARE(bar.minimum(), 0);
  QCOMPARE(bar.maximum(), 100);
  QCOMPARE(bar.orientation(), Qt::Horizontal);
}

void TrackBarTest::pressOnTheGroove() {
  struct Case {
    const char* name;
    int x;
    int start;
    int expected;
  };
  const Case cases[] = {
      {"left end", 1, 50, 0},
      {"right end", 209, 50, 100},
      {"middle", 105, 0, 50},
      {"a quarter", 55, 90, 25},
      {"on the thumb, off its centre", 30 * 2 + 5 + 3, 30, 30},
  };
  for (const Case& c : cases) {
    Scene scene(c.start);
    QVERIFY(showAndExpose(scene.window.get()));
    QSignalSpy changed(scene.bar, &TrackBar::valueChanged);
    QWindow* window = scene.window->windowHandle();
    QTest::mouseClick(window, Qt::LeftButton, {}, inWindow(scene.bar, {c.x, 11}));
    QVERIFY2(scene.bar->value() == c.expected,
             qPrintable(QStringLiteral("%1: %2").arg(c.name).arg(scene.bar->value())));
    const QList<int> want = c.expected == c.start ? QList<int>{} : QList<int>{c.expected};
    QVERIFY2(values(changed) == want, c.name);
    QVERIFY2(scene.bar->thumbRect().contains(c.x, 11), c.name);
  }

  // Other buttons leave it alone and fall through to the window.
  Scene scene(40);
  QVERIFY(showAndExpose(scene.window.get()));
  QSignalSpy changed(scene.bar, &TrackBar::valueChanged);
  QTest::mouseClick(scene.window->windowHandle(), Qt::RightButton, {}, inWindow(scene.bar, {150, 11}));
  QCOMPARE(scene.bar->value(), 40);
  QCOMPARE(changed.size(), 0);
  QCOMPARE(scene.window->presses.size(), 1);
}

void TrackBarTest::dragFollowsThePointer() {
  Scene scene(20);
  QVERIFY(showAndExpose(scene.window.get()));
  QSignalSpy changed(scene.bar, &TrackBar::valueChanged);
  QSignalSpy released(scene.bar, &TrackBar::sliderReleased);
  QWindow* window = scene.window->windowHandle();
  // Grab the thumb 3 px right of its left edge; it keeps that offset.
  const int grab = scene.bar->thumbRect().left() + 3;
  QTest::mousePress(window, Qt::LeftButton, {}, inWindow(scene.bar, {grab, 11}));
  QCOMPARE(changed.size(), 0);
  for (int dx = 1; dx <= 120; ++dx) QTest::mouseMove(window, inWindow(scene.bar, {grab + dx, 11}));
  QCOMPARE(scene.bar->value(), 80);
  QCOMPARE(scene.bar->thumbRect().left(), grab + 120 - 3);
  // Two pixels a step, one pixel a move: each value from 21 to 80 once.
  QList<int> seen = values(changed);
  QCOMPARE(seen.size(), 60);
  for (int i = 0; i < seen.size(); ++i) QCOMPARE(seen[i], 21 + i);
  // Past the end it stays at the end.
  QTest::mouseMove(window, inWindow(scene.bar, {250, 11}));
  QTest::mouseMove(window, inWindow(scene.bar, {255, 11}));
  QTest::mouseRelease(window, Qt::LeftButton, {}, inWindow(scene.bar, {255, 11}));
  QCOMPARE(scene.bar->value(), 100);
  QCOMPARE(released.size(), 1);
  seen = values(changed);
  QCOMPARE(seen.size(), 61);
  QCOMPARE(seen.last(), 100);
}

void TrackBarTest::keys() {
  struct Case {
    const char* name;
    Qt::Key key;
    int start;
    int expected;
  };
  const Case cases[] = {
      {"right arrow", Qt::Key_Right, 50, 51},  {"left arrow", Qt::Key_Left, 50, 49},
      {"page up", Qt::Key_PageUp, 50, 60},     {"page down", Qt::Key_PageDown, 50, 40},
      {"home", Qt::Key_Home, 50, 0},           {"end", Qt::Key_End, 50, 100},
      {"right at the end", Qt::Key_Right, 100, 100}, {"page down near the start", Qt::Key_PageDown, 4, 0},
  };
  for (const Case& c : cases) {
    Scene scene(c.start);
    QVERIFY(showAndActivate(scene.window.get()));
    scene.bar->setFocus();
    QTRY_VERIFY_WITH_TIMEOUT(scene.bar->hasFocus(), 5000);
    QSignalSpy changed(scene.bar, &TrackBar::valueChanged);
    QTest::keyClick(scene.window->windowHandle(), c.key);
    QVERIFY2(scene.bar->value() == c.expected, c.name);
    const QList<int> want = c.expected == c.start ? QList<int>{} : QList<int>{c.expected};
    QVERIFY2(values(changed) == want, c.name);
  }
}

void TrackBarTest::wheel() {
  struct Case {
    const char* name;
    QList<int> angles;
    int start;
    QList<int> emitted;
  };
  const Case cases[] = {
      {"a notch up", {120}, 50, {51}},
      {"a notch down", {-120}, 50, {49}},
      {"two half notches", {60, 60}, 50, {51}},
      {"half up, half down", {60, -60}, 50, {}},
      {"a double notch", {240}, 50, {52}},
      {"up at the end", {120}, 100, {}},
      {"three notches", {120, 120, 120}, 10, {11, 12, 13}},
  };
  for (const Case& c : cases) {
    Scene scene(c.start);
    QVERIFY(showAndExpose(scene.window.get()));
    QSignalSpy changed(scene.bar, &TrackBar::valueChanged);
    const QPointF at(100, 11);
    for (int angle : c.angles) {
      QWheelEvent event(at, scene.bar->mapToGlobal(at), QPoint(), QPoint(0, angle), Qt::NoButton, Qt::NoModifier,
                        Qt::NoScrollPhase, false);
      QApplication::sendEvent(scene.bar, &event);
      QVERIFY2(event.isAccepted(), c.name);
    }
    QVERIFY2(values(changed) == c.emitted, c.name);
    QVERIFY2(scene.bar->value() == (c.emitted.isEmpty() ? c.start : c.emitted.last()), c.name);
  }
}

void TrackBarTest::valueChangedOnlyOnChange() {
  enum class Op { SetValue, SetRange };
  struct Step {
    Op op;
    int a;
    int b;
    int value;
    QList<int> emitted;
  };
  const Step steps[] = {
      {Op::SetValue, 30, 0, 30, {30}},   {Op::SetValue, 30, 0, 30, {}},   {Op::SetValue, 150, 0, 100, {100}},
      {Op::SetValue, 101, 0, 100, {}},   {Op::SetValue, -5, 0, 0, {0}},   {Op::SetRange, 10, 20, 10, {10}},
      {Op::SetValue, 15, 0, 15, {15}},   {Op::SetRange, 0, 100, 15, {}},  {Op::SetValue, 0, 0, 0, {0}},
  };
  TrackBar bar;
  bar.setValue(0);
  QSignalSpy changed(&bar, &TrackBar::valueChanged);
  int i = 0;
  for (const Step& s : steps) {
    changed.clear();
    if (s.op == Op::SetValue)
      bar.setValue(s.a);
    else
      bar.setRange(s.a, s.b);
    QVERIFY2(bar.value() == s.value, qPrintable(QStringLiteral("step %1").arg(i)));
    QVERIFY2(values(changed) == s.emitted, qPrintable(QStringLiteral("step %1").arg(i)));
    ++i;
  }
}

// Around the groove and thumb the window shows through; the thumb is drawn
// where the value puts it.
void TrackBarTest::drawsOnlyGrooveAndThumb() {
  struct Case {
    int value;
    int thumbLeft;
  };
  const Case cases[] = {{0, 0}, {50, 100}, {100, 200}};
  for (const Case& c : cases) {
    Scene scene(c.value);
    QVERIFY(showAndExpose(scene.window.get()));
    const QImage image = grabInWindow(scene.bar);
    const int w = image.width();
    for (int x = 0; x < w; ++x) {
      QCOMPARE(image.pixel(x, 0), kBackdrop);
      QCOMPARE(image.pixel(x, image.height() - 1), kBackdrop);
    }
    // A row through the thumb but above the groove: only the thumb.
    const QImage row = image.copy(0, 5, w, 1);
    QCOMPARE(boxOfAllBut(row, kBackdrop).left(), c.thumbLeft);
    QCOMPARE(boxOfAllBut(row, kBackdrop).width(), 11);
    // The groove's middle row: drawn on both sides of the thumb where
    // there is room.
    const QImage groove = image.copy(0, 11, w, 1);
    const QRect drawn = boxOfAllBut(groove, kBackdrop);
    QVERIFY(drawn.left() <= 6 && drawn.right() >= w - 7);
  }
}

void TrackBarTest::sameUnderEveryStyle() {
  QVERIFY(QStyleFactory::keys().size() >= 2);
  Scene scene(37);
  QVERIFY(showAndExpose(scene.window.get()));
  QCOMPARE(stylesThatChangeTheLook(scene.bar), QStringList());
}

QTEST_MAIN(TrackBarTest)
#include "track_bar_test.moc"
