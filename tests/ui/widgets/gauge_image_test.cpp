#include "ui/widgets/level_gauge.h"
#include "ui/widgets/skin_image.h"
#include "ui/widgets/testkit.h"

#include <QPaintEvent>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using namespace ornivox::ui;
using namespace ornivox::ui::test;

namespace {

// The player's gauge colours; the frame keeps its own.
constexpr QRgb kBar = 0xff737373;
constexpr QRgb kTrough = 0xff1e1e1e;

class PaintLog : public QObject {
 public:
  explicit PaintLog(QWidget* target) { target->installEventFilter(this); }
  QList<QRect> rects;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) rects.append(static_cast<QPaintEvent*>(event)->rect());
    return false;
  }
};

struct GaugeScene {
  std::unique_ptr<Backdrop> window = std::make_unique<Backdrop>(QSize(200, 160));
  LevelGauge* gauge = new LevelGauge(window.get());

  GaugeScene() {
    // 100 rows inside the frame: the bar's height is the percentage.
    gauge->setGeometry(50, 20, 10, 102);
    gauge->setRange(0, 65535);
    gauge->setColors(QColor::fromRgba(kBar), QColor::fromRgba(kTrough));
  }
};

// 24 x 16: a body colour, a distinct top-left block, the key colour at
// the bottom-left corner and in a block, and a magenta block that is no key.
constexpr QRgb kBody = 0xff2080c0;
constexpr QRgb kCorner = 0xffc04020;
constexpr QRgb kKey = 0xff0c2238;
constexpr QRgb kMagenta = 0xffff00ff;

QImage skinPicture() {
  QImage image(24, 16, QImage::Format_RGB32);
  image.fill(kBody);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) {
      image.setPixel(x, y, kCorner);
      image.setPixel(8 + x, 4 + y, kKey);
      image.setPixel(16 + x, 4 + y, kMagenta);
    }
  image.setPixel(0, 15, kKey);
  image.setPixel(1, 15, kKey);
  return image;
}

}  // namespace

class GaugeImageTest : public QObject {
  Q_OBJECT

 private slots:
  void gaugeFillsFromTheBottom();
  void gaugePaintsOnlyOnChange();
  void gaugeLetsTheMouseThrough();
  void imageDrawsUnscaledAndKeyed();
  void imageMouseSignals();
};

void GaugeImageTest::gaugeFillsFromTheBottom() {
  struct Case {
    int value;
    int rows;
  };
  const Case cases[] = {{0, 0},      {327, 0},     {328, 1},      {655, 1},      {16384, 25},
                        {32768, 50}, {49151, 75},  {65534, 100},  {65535, 100},  {90000, 100},
                        {-4, 0}};
  GaugeScene scene;
  QVERIFY(showAndExpose(scene.window.get()));
  const QRgb frame = scene.gauge->frameColor().rgba();
  QVERIFY(frame != kBar && frame != kTrough);
  for (const Case& c : cases) {
    scene.gauge->setValue(c.value);
    const QImage image = grabInWindow(scene.gauge);
    for (int y = 0; y < image.height(); ++y) {
      for (int x = 0; x < image.width(); ++x) {
        const bool edge = x == 0 || y == 0 || x == image.width() - 1 || y == image.height() - 1;
        const QRgb want = edge ? frame : (y > 100 - c.rows ? kBar : kTrough);
        QVERIFY2(image.pixel(x, y) == want, qPrintable(QStringLiteral("value %1: pixel %2,%3 is %4")
                                                           .arg(c.value)
                                                           .arg(x)
                                                           .arg(y)
                                                           .arg(image.pixel(x, y), 8, 16)));
      }
    }
  }
}

// The player feeds the gauge 50 times a second: only a change of the bar's
// height paints, and only the rows between the old and the new top of the
// bar, in the next pass of the event loop; nothing around the gauge paints.
void GaugeImageTest::gaugePaintsOnlyOnChange() {
  GaugeScene scene;
  QVERIFY(showAndExpose(scene.window.get()));
  QCoreApplication::processEvents();
  PaintLog gauge(scene.gauge);
  PaintLog window(scene.window.get());
  struct Step {
    int value;
    QRect painted;  // empty: no paint
  };
  // 100 inner rows, the last at y 100.
  const Step steps[] = {
      {1000, QRect(1, 99, 8, 2)},    // 2 rows
      {1000, {}},                    // the same value
      {1100, {}},                    // another value, still 2 rows
      {2000, QRect(1, 98, 8, 1)},    // 3 rows
      {70000, QRect(1, 1, 8, 97)},   // clamped: full
      {65535, {}},
      {0, QRect(1, 1, 8, 100)},
      {-1, {}},
  };
  for (const Step& s : steps) {
    const qsizetype before = gauge.rects.size();
    scene.gauge->setValue(s.value);
    QCoreApplication::processEvents();
    if (s.painted.isEmpty()) {
      QCOMPARE(gauge.rects.size(), before);
    } else {
      QCOMPARE(gauge.rects.size(), before + 1);
      QCOMPARE(gauge.rects.last(), s.painted);
    }
  }
  QCOMPARE(window.rects.size(), 0);
}

// In the player the gauges lie on the skin picture, a sibling: a press on
// a gauge must reach that picture, not stop at the gauge or skip to the
// window.
void GaugeImageTest::gaugeLetsTheMouseThrough() {
  GaugeScene scene;
  auto* skin = new SkinImage(scene.window.get());
  skin->setGeometry(20, 10, 100, 130);
  skin->setImage(skinPicture(), false);
  skin->lower();
  QVERIFY(showAndExpose(scene.window.get()));
  QSignalSpy pressed(skin, &SkinImage::pressed);
  for (Qt::MouseButton button : {Qt::LeftButton, Qt::RightButton})
    QTest::mouseClick(scene.window->windowHandle(), button, {}, inWindow(scene.gauge, {5, 60}));
  QCOMPARE(buttonsOf(pressed), (QList<Qt::MouseButton>{Qt::LeftButton, Qt::RightButton}));
  QVERIFY(scene.window->presses.isEmpty());
}

void GaugeImageTest::imageDrawsUnscaledAndKeyed() {
  struct Case {
    const char* name;
    bool keyed;
    QSize size;
  };
  const Case cases[] = {
      {"keyed", true, {24, 16}},
      {"not keyed", false, {24, 16}},
      {"keyed, cut off by a smaller widget", true, {10, 8}},
      {"not keyed, in a larger widget", false, {40, 30}},
  };
  const QImage picture = skinPicture();
  constexpr int kMargin = 4;
  for (const Case& c : cases) {
    Backdrop window({120, 80});
    auto* image = new SkinImage(&window);
    image->setGeometry(QRect(QPoint(30, 20), c.size));
    image->setImage(picture, c.keyed);
    QVERIFY(showAndExpose(&window));
    const QImage shown = grabInWindow(image, kMargin);
    for (int y = 0; y < shown.height(); ++y) {
      for (int x = 0; x < shown.width(); ++x) {
        const QPoint p(x - kMargin, y - kMargin);
        QRgb want = kBackdrop;
        if (image->rect().contains(p) && picture.rect().contains(p)) {
          want = picture.pixel(p);
          if (c.keyed && want == kKey) want = kBackdrop;
        }
        QVERIFY2(shown.pixel(x, y) == want,
                 qPrintable(QStringLiteral("%1: %2,%3 is %4").arg(c.name).arg(p.x()).arg(p.y()).arg(shown.pixel(x, y), 8, 16)));
      }
    }
  }

  // The key is whatever the bottom-left pixel holds, magenta included.
  QImage magentaKeyed = picture;
  magentaKeyed.setPixel(0, 15, kMagenta);
  Backdrop window({120, 80});
  auto* image = new SkinImage(&window);
  image->setGeometry(30, 20, 24, 16);
  image->setImage(magentaKeyed, true);
  QVERIFY(showAndExpose(&window));
  const QImage shown = grabInWindow(image);
  QCOMPARE(countOf(shown, kMagenta), 0);
  QCOMPARE(countOf(shown, kKey), 17);
  QCOMPARE(shown.pixel(17, 5), kBackdrop);
}

void GaugeImageTest::imageMouseSignals() {
  struct Case {
    const char* name;
    Gesture gesture;
    Qt::MouseButton button;
    QList<Qt::MouseButton> pressed;
    int clicked;
  };
  const Case cases[] = {
      {"left click", Gesture::Click, Qt::LeftButton, {Qt::LeftButton}, 1},
      {"right click", Gesture::Click, Qt::RightButton, {Qt::RightButton}, 0},
      {"middle click", Gesture::Click, Qt::MiddleButton, {Qt::MiddleButton}, 0},
      {"left double click", Gesture::DoubleClick, Qt::LeftButton, {Qt::LeftButton, Qt::LeftButton}, 2},
      {"left released outside", Gesture::ReleaseOutside, Qt::LeftButton, {Qt::LeftButton}, 0},
  };
  for (const Case& c : cases) {
    Backdrop window({120, 80});
    auto* image = new SkinImage(&window);
    image->setGeometry(30, 20, 24, 16);
    image->setImage(skinPicture(), true);
    QVERIFY(showAndExpose(&window));
    QSignalSpy pressed(image, &SkinImage::pressed);
    QSignalSpy clicked(image, &SkinImage::clicked);
    perform(image, c.gesture, c.button, {20, 10});
    QVERIFY2(buttonsOf(pressed) == c.pressed, c.name);
    QVERIFY2(clicked.size() == c.clicked, c.name);
    QVERIFY2(window.presses.isEmpty(), c.name);
  }
}

QTEST_MAIN(GaugeImageTest)
#include "gauge_image_test.moc"
