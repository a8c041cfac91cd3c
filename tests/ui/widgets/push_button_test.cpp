#include "ui/widgets/push_button.h"
#include "ui/widgets/testkit.h"

#include <QStyleFactory>
#include <QTest>

#include <functional>
#include <memory>

using namespace ornivox::ui;
using namespace ornivox::ui::test;

namespace {

struct Scene {
  std::unique_ptr<Backdrop> window = std::make_unique<Backdrop>(QSize(240, 120));
  PushButton* button = new PushButton(QStringLiteral("Apply"), window.get());

  Scene() {
    button->setFont(textFont());
    button->setGeometry(40, 30, 100, 28);
  }
};

// The text is by far the darkest thing on the light face.
QRect textBox(const QImage& image) {
  QRect box;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (qGray(image.pixel(x, y)) < 80) box |= QRect(x, y, 1, 1);
  return box;
}

}  // namespace

class PushButtonTest : public QObject {
  Q_OBJECT

 private slots:
  void eachStateLooksItsOwn();
  void textCentredAndFollowed();
  void roundedCornersShowTheWindow();
  void sameUnderEveryStyle();
};

// Every state has a face of its own, and leaving it brings back the plain
// face exactly (nothing stale is kept).
void PushButtonTest::eachStateLooksItsOwn() {
  Scene scene;
  QVERIFY(showAndActivate(scene.window.get()));
  PushButton* b = scene.button;
  Backdrop* w = scene.window.get();
  b->clearFocus();
  QTest::mouseMove(w, {220, 100});
  QTRY_VERIFY_WITH_TIMEOUT(!b->underMouse(), 5000);
  const QImage plain = grabInWindow(b);

  struct State {
    const char* name;
    std::function<void()> enter;
    std::function<void()> leave;
  };
  const State states[] = {
      {"hover",
       [&] {
         QTest::mouseMove(b, {50, 14});
         QTRY_VERIFY_WITH_TIMEOUT(b->underMouse(), 5000);
       },
       [&] {
         QTest::mouseMove(w, {220, 100});
         QTRY_VERIFY_WITH_TIMEOUT(!b->underMouse(), 5000);
       }},
      {"pressed", [&] { b->setDown(true); }, [&] { b->setDown(false); }},
      {"focused",
       [&] {
         b->setFocus();
         QTRY_VERIFY_WITH_TIMEOUT(b->hasFocus(), 5000);
       },
       [&] { b->clearFocus(); }},
      {"disabled", [&] { b->setEnabled(false); }, [&] { b->setEnabled(true); }},
  };
  QList<QImage> looks{plain};
  for (const State& s : states) {
    s.enter();
    const QImage look = grabInWindow(b);
    for (const QImage& other : looks) QVERIFY2(look != other, s.name);
    looks.append(look);
    s.leave();
    QVERIFY2(grabInWindow(b) == plain, s.name);
  }
}

void PushButtonTest::textCentredAndFollowed() {
  Scene scene;
  QVERIFY(showAndExpose(scene.window.get()));
  struct Case {
    const char* text;
  };
  const Case cases[] = {{"Apply"}, {"OK"}, {"A much longer caption"}};
  int lastWidth = 0;
  for (const Case& c : cases) {
    scene.button->setText(QString::fromLatin1(c.text));
    scene.button->resize(std::max(scene.button->sizeHint().width(), 100), 28);
    const QImage image = grabInWindow(scene.button);
    const QRect box = textBox(image);
    QVERIFY2(!box.isEmpty(), c.text);
    const QPointF centre = QRectF(box).center();
    QVERIFY2(std::abs(centre.x() - image.width() / 2.0) <= 1.0,
             qPrintable(QStringLiteral("%1: centre %2 of %3").arg(c.text).arg(centre.x()).arg(image.width())));
    QVERIFY2(std::abs(centre.y() - image.height() / 2.0) <= 2.0,
             qPrintable(QStringLiteral("%1: centre %2 of %3").arg(c.text).arg(centre.y()).arg(image.height())));
    QVERIFY2(box.width() != lastWidth, c.text);
    lastWidth = box.width();
  }
}

void PushButtonTest::roundedCornersShowTheWindow() {
  Scene scene;
  QVERIFY(showAndExpose(scene.window.get()));
  const QImage image = grabInWindow(scene.button);
  const int r = image.width() - 1;
  const int b = image.height() - 1;
  for (QPoint corner : {QPoint(0, 0), QPoint(r, 0), QPoint(0, b), QPoint(r, b)})
    QCOMPARE(image.pixel(corner), kBackdrop);
  for (QPoint edge : {QPoint(r / 2, 0), QPoint(r / 2, b), QPoint(0, b / 2), QPoint(r, b / 2)})
    QVERIFY(image.pixel(edge) != kBackdrop);
}

void PushButtonTest::sameUnderEveryStyle() {
  QVERIFY(QStyleFactory::keys().size() >= 2);
  Scene scene;
  QVERIFY(showAndExpose(scene.window.get()));
  QCOMPARE(stylesThatChangeTheLook(scene.button), QStringList());
}

QTEST_MAIN(PushButtonTest)
#include "push_button_test.moc"
