#include "ui/widgets/shadow_label.h"
#include "ui/widgets/testkit.h"

#include <QFile>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QSignalSpy>
#include <QTest>

#include <cmath>
#include <memory>

using namespace ornivox::ui;
using namespace ornivox::ui::test;

namespace {

constexpr QRgb kText = 0xffff0000;
constexpr QRgb kShadow = 0xff0000ff;
constexpr QRgb kHighlight = 0xffffffff;

struct Scene {
  std::unique_ptr<Backdrop> window = std::make_unique<Backdrop>(QSize(360, 200));
  ShadowLabel* label = new ShadowLabel(window.get());

  explicit Scene(const QString& text, QRect geometry = {40, 30, 240, 60}) {
    label->setFont(textFont());
    label->setTextColor(QColor::fromRgba(kText));
    label->setGeometry(geometry);
    label->setText(text);
  }
};

bool at(const QImage& image, QPoint p, QRgb colour) {
  return image.rect().contains(p) && image.pixel(p) == colour;
}

// Rows that hold text, gathered into runs: one run a line of text.
QList<QPair<int, int>> textBands(const QImage& image) {
  QList<QPair<int, int>> bands;
  int start = -1;
  for (int y = 0; y <= image.height(); ++y) {
    bool ink = false;
    for (int x = 0; y < image.height() && x < image.width() && !ink; ++x) ink = image.pixel(x, y) == kText;
    if (ink && start < 0) start = y;
    if (!ink && start >= 0) {
      bands.append({start, y - 1});
      start = -1;
    }
  }
  return bands;
}

class EventCounter : public QObject {
 public:
  explicit EventCounter(QObject* target, QEvent::Type type) : type_(type) { target->installEventFilter(this); }
  int count = 0;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    count += event->type() == type_;
    return false;
  }

 private:
  QEvent::Type type_;
};

}  // namespace

class ShadowLabelTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void copiesLieBeneathAlongTheirDirection();
  void alignmentPlacesTheText();
  void relaidOutOnResize();
  void wordWrapBreaksBetweenWords();
  void ampersands();
  void autoSizeFitsTextAndCopies();
  void textChangedOnlyOnChange();
  void accentsAboveCapitalsStayInside();
  void mouseSignals();
  void enterAndLeave();
};

void ShadowLabelTest::initTestCase() {
  QCOMPARE(QFontInfo(textFont()).family(), QStringLiteral("DejaVu Sans"));
}

// Each copy must be the text's own pixels moved by whole pixels: compare
// the shadow's pixels with the text's pixels shifted by 1..depth steps.
// Everything else in the label must be the window's colour.
void ShadowLabelTest::copiesLieBeneathAlongTheirDirection() {
  struct Case {
    const char* name;
    int depth;
    ShadowOrientation orientation;
    QPoint step;
    bool lowered;
  };
  const Case cases[] = {
      {"left", 1, ShadowOrientation::Left, {-1, 0}, false},
      {"top", 1, ShadowOrientation::Top, {0, -1}, false},
      {"right", 1, ShadowOrientation::Right, {1, 0}, false},
      {"bottom", 1, ShadowOrientation::Bottom, {0, 1}, false},
      {"left-top", 1, ShadowOrientation::LeftTop, {-1, -1}, false},
      {"right-top", 1, ShadowOrientation::RightTop, {1, -1}, false},
      {"left-bottom", 1, ShadowOrientation::LeftBottom, {-1, 1}, false},
      {"right-bottom", 1, ShadowOrientation::RightBottom, {1, 1}, false},
      {"depth 0", 0, ShadowOrientation::RightBottom, {0, 0}, false},
      {"depth 3, left-bottom", 3, ShadowOrientation::LeftBottom, {-1, 1}, false},
      {"lowered", 0, ShadowOrientation::RightBottom, {1, 1}, true},
  };
  for (const Case& c : cases) {
    const QString name = QString::fromLatin1(c.name);
    for (Qt::Alignment align : {Qt::Alignment(Qt::AlignLeft | Qt::AlignTop), Qt::Alignment(Qt::AlignCenter)}) {
      Scene scene(QStringLiteral("Shadow Wq&"));
      scene.label->setAlignment(align);
      scene.label->setShadow(c.depth, QColor::fromRgba(kShadow), c.orientation);
      if (c.lowered) scene.label->setLowered(true, QColor::fromRgba(kHighlight));
      QVERIFY(showAndExpose(scene.window.get()));

      const QImage image = grabInWindow(scene.label);
      const QRgb copy = c.lowered ? kHighlight : kShadow;
      const int copies = c.lowered ? 1 : c.depth;
      QVERIFY2(countOf(image, kText) > 100, qPrintable(name));
      int copyPixels = 0;
      for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
          const QPoint p(x, y);
          const QRgb pixel = image.pixel(p);
          QVERIFY2(pixel == kText || pixel == copy || pixel == kBackdrop,
                   qPrintable(QStringLiteral("%1: stray colour %2 at %3,%4")
                                  .arg(name)
                                  .arg(pixel, 8, 16)
                                  .arg(x)
                                  .arg(y)));
          bool expected = false;
          for (int k = 1; k <= copies && pixel != kText; ++k) expected |= at(image, p - c.step * k, kText);
          QVERIFY2((pixel == copy) == expected,
                   qPrintable(QStringLiteral("%1: copy %2 expected at %3,%4").arg(name, expected ? "" : "not").arg(x).arg(y)));
          copyPixels += pixel == copy;
        }
      }
      if (copies > 0) QVERIFY2(copyPixels > 20, qPrintable(name));
      // Nothing of a copy may be cut off at the label's edge: the label
      // keeps room for them on their side.
      const QRect text = boxOf(image, kText);
      for (int k = 1; k <= copies; ++k)
        QVERIFY2(image.rect().contains(text.translated(c.step * k)), qPrintable(name));
    }
  }
}

void ShadowLabelTest::alignmentPlacesTheText() {
  struct Case {
    const char* name;
    Qt::Alignment align;
    double fx;  // share of the free width left of the text
    double fy;  // share of the free height above it
  };
  const Case cases[] = {
      {"centre-top", Qt::AlignHCenter | Qt::AlignTop, 0.5, 0.0},
      {"right-top", Qt::AlignRight | Qt::AlignTop, 1.0, 0.0},
      {"left-middle", Qt::AlignLeft | Qt::AlignVCenter, 0.0, 0.5},
      {"centre", Qt::AlignCenter, 0.5, 0.5},
      {"right-bottom", Qt::AlignRight | Qt::AlignBottom, 1.0, 1.0},
      {"left-bottom", Qt::AlignLeft | Qt::AlignBottom, 0.0, 1.0},
  };
  const QString text = QStringLiteral("Mid Tune");
  const QFontMetricsF metrics(textFont());
  Scene reference(text);
  reference.label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  QVERIFY(showAndExpose(reference.window.get()));
  const QRect home = boxOf(grabInWindow(reference.label), kText);
  QVERIFY(!home.isEmpty());
  QVERIFY(home.left() <= 2 && home.top() <= 4);

  const double freeWidth = reference.label->width() - metrics.horizontalAdvance(text);
  const double freeHeight = reference.label->height() - metrics.lineSpacing();
  for (const Case& c : cases) {
    Scene scene(text);
    scene.label->setAlignment(c.align);
    QVERIFY(showAndExpose(scene.window.get()));
    const QRect box = boxOf(grabInWindow(scene.label), kText);
    QCOMPARE(box.size(), home.size());
    const QPoint moved = box.topLeft() - home.topLeft();
    QVERIFY2(std::abs(moved.x() - c.fx * freeWidth) <= 1.0,
             qPrintable(QStringLiteral("%1: moved %2 across, wanted %3").arg(c.name).arg(moved.x()).arg(c.fx * freeWidth)));
    QVERIFY2(std::abs(moved.y() - c.fy * freeHeight) <= 1.0,
             qPrintable(QStringLiteral("%1: moved %2 down, wanted %3").arg(c.name).arg(moved.y()).arg(c.fy * freeHeight)));
  }
}

// Words chosen so that each fits the width alone but no two together:
// wrapped, a line each, and each line exactly the word's own pixels.
// Laid out again for a new size: right-aligned text follows the right edge.
void ShadowLabelTest::relaidOutOnResize() {
  Scene scene(QStringLiteral("Edge"), {20, 20, 100, 30});
  scene.label->setAlignment(Qt::AlignRight | Qt::AlignTop);
  QVERIFY(showAndExpose(scene.window.get()));
  const QRect before = boxOf(grabInWindow(scene.label), kText);
  QVERIFY(!before.isEmpty());
  scene.label->resize(140, 30);
  const QRect after = boxOf(grabInWindow(scene.label), kText);
  QCOMPARE(after, before.translated(40, 0));
}

void ShadowLabelTest::wordWrapBreaksBetweenWords() {
  const QStringList words = {"alder", "bathe", "cider", "dealt"};
  const QFontMetricsF metrics(textFont());
  double widest = 0;
  for (const QString& w : words) widest = std::max(widest, metrics.horizontalAdvance(w));
  const int width = int(std::ceil(widest)) + 4;
  for (int i = 0; i + 1 < words.size(); ++i)
    QVERIFY(metrics.horizontalAdvance(words[i] + ' ' + words[i + 1]) > width);

  Scene wrapped(words.join(' '), {20, 20, width, 120});
  wrapped.label->setWordWrap(true);
  QVERIFY(showAndExpose(wrapped.window.get()));
  const QImage image = grabInWindow(wrapped.label);
  const auto bands = textBands(image);
  QCOMPARE(bands.size(), words.size());
  for (int i = 0; i < words.size(); ++i) {
    Scene alone(words[i], {20, 20, 200, 30});
    QVERIFY(showAndExpose(alone.window.get()));
    const QImage word = grabInWindow(alone.label);
    const QImage line = image.copy(0, bands[i].first, image.width(), bands[i].second - bands[i].first + 1);
    QVERIFY2(line.width() > boxOf(line, kText).right() + 1, qPrintable(words[i]));
    QCOMPARE(countOf(line, kText), countOf(word, kText));
    QCOMPARE(boxOf(line, kText).width(), boxOf(word, kText).width());
  }

  // A word wider than the label stays whole on its own line.
  Scene longWord(QStringLiteral("alder breathtakingly cider"), {20, 20, width, 120});
  longWord.label->setWordWrap(true);
  QVERIFY(showAndExpose(longWord.window.get()));
  QCOMPARE(textBands(grabInWindow(longWord.label)).size(), 3);

  Scene unwrapped(words.join(' '), {20, 20, width, 120});
  QVERIFY(showAndExpose(unwrapped.window.get()));
  const QImage oneLine = grabInWindow(unwrapped.label);
  QCOMPARE(textBands(oneLine).size(), 1);
  QCOMPARE(boxOf(oneLine, kText).right(), width - 1);
}

void ShadowLabelTest::ampersands() {
  enum class Expect { Same, Underlined, Wider };
  struct Case {
    const char* name;
    const char* text;
    bool accelerators;
    const char* reference;  // shown without accelerators
    Expect expect;
  };
  const Case cases[] = {
      {"marked letter", "A&B", true, "AB", Expect::Underlined},
      {"doubled ampersand", "A&&B", true, "A&B", Expect::Same},
      {"trailing ampersand", "AB&", true, "AB&", Expect::Same},
      {"plain ampersand", "A&B", false, "AB", Expect::Wider},
      {"plain doubled", "A&&B", false, "A&B", Expect::Wider},
  };
  const QFontMetricsF metrics(textFont());
  for (const Case& c : cases) {
    Scene scene(QString::fromLatin1(c.text));
    scene.label->setAccelerators(c.accelerators);
    Scene reference(QString::fromLatin1(c.reference));
    reference.label->setAccelerators(false);
    QVERIFY(showAndExpose(scene.window.get()));
    QVERIFY(showAndExpose(reference.window.get()));
    const QImage image = grabInWindow(scene.label);
    const QImage plain = grabInWindow(reference.label);
    const QRect plainBox = boxOf(plain, kText);
    const QRect box = boxOf(image, kText);
    switch (c.expect) {
      case Expect::Same:
        QVERIFY2(image == plain, c.name);
        break;
      case Expect::Wider:
        QVERIFY2(box.width() >= plainBox.width() + metrics.horizontalAdvance('&') - 2, c.name);
        break;
      case Expect::Underlined: {
        // The same glyphs, plus a line under the marked letter only.
        QRect extra;
        for (int y = 0; y < image.height(); ++y) {
          for (int x = 0; x < image.width(); ++x) {
            const bool inPlain = plain.pixel(x, y) == kText;
            const bool inImage = image.pixel(x, y) == kText;
            QVERIFY2(!inPlain || inImage, c.name);
            if (inImage && !inPlain) extra |= QRect(x, y, 1, 1);
          }
        }
        QVERIFY2(!extra.isEmpty(), c.name);
        QVERIFY2(extra.top() > plainBox.bottom() - 1, c.name);
        QVERIFY2(extra.height() <= 2, c.name);
        QVERIFY2(extra.left() >= plainBox.left() + metrics.horizontalAdvance('A') - 2, c.name);
        QVERIFY2(extra.right() <= plainBox.right() + 2, c.name);
        break;
      }
    }
  }
}

// The autosized label holds the same text and copy pixels as a roomy one:
// nothing cut off, no more room than needed, its corner left in place.
void ShadowLabelTest::autoSizeFitsTextAndCopies() {
  struct Case {
    const char* name;
    const char* text;
    int depth;
    ShadowOrientation orientation;
    bool lowered;
    QSize extra;
  };
  const Case cases[] = {
      {"plain", "Autosized", 0, ShadowOrientation::Right, false, {0, 0}},
      {"left-top shadow", "Shadowed Wq", 2, ShadowOrientation::LeftTop, false, {2, 2}},
      {"right shadow", "Right", 1, ShadowOrientation::Right, false, {1, 0}},
      {"lowered", "Lowered", 0, ShadowOrientation::Right, true, {1, 1}},
      {"longer", "A somewhat longer title - with more", 1, ShadowOrientation::RightBottom, false, {1, 1}},
  };
  const QFontMetricsF metrics(textFont());
  for (const Case& c : cases) {
    const QString text = QString::fromLatin1(c.text);
    Scene scene(QStringLiteral("x"), {30, 20, 5, 5});
    Scene roomy(text, {10, 10, 340, 60});
    for (ShadowLabel* label : {scene.label, roomy.label}) {
      label->setShadow(c.depth, QColor::fromRgba(kShadow), c.orientation);
      label->setLowered(c.lowered, QColor::fromRgba(kHighlight));
    }
    scene.label->setAutoSize(true);
    scene.label->setText(text);
    QVERIFY(showAndExpose(scene.window.get()));
    QVERIFY(showAndExpose(roomy.window.get()));

    QCOMPARE(scene.label->pos(), QPoint(30, 20));
    const QSize want(int(std::ceil(metrics.horizontalAdvance(text))) + c.extra.width(),
                     int(std::ceil(metrics.lineSpacing())) + c.extra.height());
    QVERIFY2(scene.label->size() == want, qPrintable(QStringLiteral("%1: %2x%3, wanted %4x%5")
                                                         .arg(c.name)
                                                         .arg(scene.label->width())
                                                         .arg(scene.label->height())
                                                         .arg(want.width())
                                                         .arg(want.height())));
    const QImage fitted = grabInWindow(scene.label);
    const QImage loose = grabInWindow(roomy.label);
    for (QRgb colour : {kText, kShadow, kHighlight})
      QVERIFY2(countOf(fitted, colour) == countOf(loose, colour), c.name);
  }

  // Following the text both ways.
  Scene scene(QStringLiteral("Short"), {30, 20, 300, 40});
  scene.label->setAutoSize(true);
  const int shortWidth = scene.label->width();
  QVERIFY(shortWidth < 100);
  scene.label->setText(QStringLiteral("Short, then a good deal longer"));
  QVERIFY(scene.label->width() > shortWidth + 50);
  scene.label->setText(QStringLiteral("Short"));
  QCOMPARE(scene.label->width(), shortWidth);
  scene.label->setFont([] {
    QFont f = textFont();
    f.setPixelSize(24);
    return f;
  }());
  QVERIFY(scene.label->width() > shortWidth * 3 / 2);
  QCOMPARE(scene.label->pos(), QPoint(30, 20));
}

// Labels of the stored layouts are exactly as tall as their text by the
// font's Windows metrics; the dot of a capital "İ" lies above the
// typographic ascent and must still be drawn: two bands of rows, the dot and
// the stem.
void ShadowLabelTest::accentsAboveCapitalsStayInside() {
  const QString tahoma = QStringLiteral("/usr/share/wine/fonts/tahoma.ttf");
  if (!QFile::exists(tahoma)) QSKIP("the layout's font is not installed");
  QFontDatabase::addApplicationFont(tahoma);
  for (bool bold : {false, true}) {
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(11);
    font.setBold(bold);
    font.setStyleStrategy(QFont::NoAntialias);
    Scene scene(QStringLiteral("İ"), QRect(40, 30, 20, 13));
    scene.label->setFont(font);
    scene.label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    QVERIFY(showAndExpose(scene.window.get()));
    const QImage image = grabInWindow(scene.label);
    QCOMPARE(textBands(image).size(), 2);
  }
}

void ShadowLabelTest::textChangedOnlyOnChange() {
  Scene scene(QString(), {20, 20, 200, 30});
  QVERIFY(showAndExpose(scene.window.get()));
  EventCounter paints(scene.label, QEvent::Paint);
  QSignalSpy changed(scene.label, &ShadowLabel::textChanged);
  struct Step {
    const char* text;
    int emitted;
  };
  const Step steps[] = {{"one", 1}, {"one", 1}, {"two", 2}, {"two", 2}, {"", 3}, {"", 3}, {"one", 4}};
  for (const Step& s : steps) {
    const QString text = QString::fromLatin1(s.text);
    const int paintsBefore = paints.count;
    const qsizetype emittedBefore = changed.size();
    scene.label->setText(text);
    QCOMPARE(changed.size(), s.emitted);
    QCOMPARE(scene.label->text(), text);
    if (changed.size() > emittedBefore) {
      QCOMPARE(changed.last().at(0).toString(), text);
      // A change is painted on the next pass of the event loop.
      QTRY_VERIFY_WITH_TIMEOUT(paints.count > paintsBefore, 5000);
    }
  }
  const int before = paints.count;
  scene.label->repaintNow();
  QCOMPARE(paints.count, before + 1);
}

void ShadowLabelTest::mouseSignals() {
  struct Case {
    const char* name;
    Gesture gesture;
    Qt::MouseButton button;
    const char* text;
    QList<Qt::MouseButton> pressed;
    int clicked;
    int doubleClicked;
  };
  // The second press of a double click is a press, but its release does
  // not make a second click.
  const Case cases[] = {
      {"left click", Gesture::Click, Qt::LeftButton, "Title", {Qt::LeftButton}, 1, 0},
      {"right click", Gesture::Click, Qt::RightButton, "Title", {Qt::RightButton}, 0, 0},
      {"middle click", Gesture::Click, Qt::MiddleButton, "Title", {Qt::MiddleButton}, 0, 0},
      {"left double click", Gesture::DoubleClick, Qt::LeftButton, "Title", {Qt::LeftButton, Qt::LeftButton}, 1, 1},
      {"right double click", Gesture::DoubleClick, Qt::RightButton, "Title", {Qt::RightButton, Qt::RightButton}, 0, 0},
      {"left released outside", Gesture::ReleaseOutside, Qt::LeftButton, "Title", {Qt::LeftButton}, 0, 0},
      {"click on an empty label", Gesture::Click, Qt::LeftButton, "", {Qt::LeftButton}, 1, 0},
  };
  for (const Case& c : cases) {
    Scene scene(QString::fromLatin1(c.text), {50, 50, 120, 30});
    QVERIFY(showAndExpose(scene.window.get()));
    QSignalSpy pressed(scene.label, &ShadowLabel::pressed);
    QSignalSpy clicked(scene.label, &ShadowLabel::clicked);
    QSignalSpy doubled(scene.label, &ShadowLabel::doubleClicked);
    // A corner far from the text: the whole rectangle takes the mouse.
    perform(scene.label, c.gesture, c.button, {115, 26});
    QVERIFY2(buttonsOf(pressed) == c.pressed, c.name);
    QVERIFY2(clicked.size() == c.clicked, c.name);
    QVERIFY2(doubled.size() == c.doubleClicked, c.name);
    QVERIFY2(scene.window->presses.isEmpty(), c.name);
  }
}

void ShadowLabelTest::enterAndLeave() {
  Scene scene(QStringLiteral("Hover"), {50, 50, 120, 30});
  QVERIFY(showAndExpose(scene.window.get()));
  QSignalSpy entered(scene.label, &ShadowLabel::entered);
  QSignalSpy left(scene.label, &ShadowLabel::left);
  QTest::mouseMove(scene.window.get(), {10, 10});
  QTest::mouseMove(scene.label, {60, 15});
  QTRY_COMPARE_WITH_TIMEOUT(entered.size(), 1, 5000);
  QCOMPARE(left.size(), 0);
  QTest::mouseMove(scene.window.get(), {300, 150});
  QTRY_COMPARE_WITH_TIMEOUT(left.size(), 1, 5000);
  QCOMPARE(entered.size(), 1);
}

QTEST_MAIN(ShadowLabelTest)
#include "shadow_label_test.moc"
