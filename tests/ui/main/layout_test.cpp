// The main window's layout, component by component, from one table: place,
// size, font, colour, alignment, wrapping, ampersands, tooltip and stacking.
// The same program runs at the toolkit's scale factors 1, 1.5 and 2
// (QT_SCALE_FACTOR): the layout is in logical pixels and must not move, and
// what the X server shows must be the window scaled as a whole, its outline
// and every picture in register.
#include <gtest/gtest.h>

#include <QFontInfo>
#include <QScreen>
#include <QTest>
#include <QWindow>

#include <cmath>
#include <iterator>
#include <optional>

#include "ui/env/ui_env.h"
#include "ui/main/main_window.h"
#include "ui/widgets/level_gauge.h"
#include "ui/widgets/shadow_label.h"
#include "ui/widgets/skin_image.h"
#include "ui/widgets/track_bar.h"

namespace ornivox::uitest {
namespace {

using ui::ShadowLabel;
using ui::TfrmMain;

// How a label's text must look; none for pictures, meters and the bar.
struct TextLook {
  int pixels;
  bool bold;
  QColor colour;
  Qt::Alignment alignment;
  bool wrap;
  bool accelerators;  // "&x" underlines x
};

struct Component {
  const char* name;
  QWidget* (*get)(TfrmMain&);
  QRect rect;                  // an empty size: sized to its text
  std::optional<TextLook> text;
  const char* tooltip;         // empty: none
};

template <auto member>
QWidget* Get(TfrmMain& window) {
  return window.*member;
}

const QColor kYellow(255, 255, 0);
// Behind the window, so that what lies outside its shape can be told from
// its own dark and black pixels; no picture of the skin has this colour.
const QColor kBackdrop(0, 255, 128);

// Bottom to top, as they are stacked.
const Component kComponents[] = {
    {"Image1", &Get<&TfrmMain::Image1>, {0, 0, 419, 114}, std::nullopt, ""},
    {"btnKapat", &Get<&TfrmMain::btnKapat>, {389, 24, 21, 23}, std::nullopt, "Kapat"},
    {"btnMinimize", &Get<&TfrmMain::btnMinimize>, {366, 24, 21, 23}, std::nullopt, "Simge"},
    {"btnSesAcik", &Get<&TfrmMain::btnSesAcik>, {258, 82, 16, 16}, std::nullopt, ""},
    {"btnDur", &Get<&TfrmMain::btnDur>, {240, 82, 16, 16}, std::nullopt, ""},
    {"btnPlay", &Get<&TfrmMain::btnPlay>, {222, 82, 16, 16}, std::nullopt, ""},
    {"btnSesKapali", &Get<&TfrmMain::btnSesKapali>, {215, 58, 16, 16}, std::nullopt, ""},
    {"logo", &Get<&TfrmMain::logo>, {7, 8, 100, 100}, std::nullopt, ""},
    {"lWebGit", &Get<&TfrmMain::lWebGit>, {7, 10, 98, 97}, std::nullopt, "Web Sayfasına Git"},
    {"imageBilgi", &Get<&TfrmMain::imageBilgi>, {362, 73, 53, 18}, std::nullopt, ""},
    {"lBilgi", &Get<&TfrmMain::lBilgi>, {366, 75, 45, 14},
     TextLook{11, true, QColor(), Qt::AlignHCenter | Qt::AlignTop, false, false}, ""},
    {"imageIstek", &Get<&TfrmMain::imageIstek>, {362, 52, 53, 18}, std::nullopt, ""},
    {"lIstek", &Get<&TfrmMain::lIstek>, {366, 54, 46, 13},
     TextLook{11, true, QColor(), Qt::AlignHCenter | Qt::AlignTop, false, false}, ""},
    {"lSol", &Get<&TfrmMain::lSol>, {336, 44, 7, 30}, std::nullopt, ""},
    {"lSag", &Get<&TfrmMain::lSag>, {344, 44, 7, 30}, std::nullopt, ""},
    {"Label4", &Get<&TfrmMain::Label4>, {113, 21, 221, 21},
     TextLook{12, true, kYellow, Qt::AlignCenter, false, true}, ""},
    {"sndBar", &Get<&TfrmMain::sndBar>, {270, 80, 89, 24}, std::nullopt, ""},
    {"Label3", &Get<&TfrmMain::Label3>, {113, 41, 223, 34},
     TextLook{12, true, kYellow, Qt::AlignCenter, true, false}, ""},
    {"sLink", &Get<&TfrmMain::sLink>, {114, 81, 0, 0},
     TextLook{11, false, QColor(0, 128, 192), Qt::AlignLeft | Qt::AlignTop, false, false}, ""},
    {"lKbps", &Get<&TfrmMain::lKbps>, {308, 19, 46, 26},
     TextLook{9, false, QColor(139, 139, 139), Qt::AlignRight | Qt::AlignTop, true, false}, ""},
};

qreal Scale() { return QGuiApplication::primaryScreen()->devicePixelRatio(); }

// A rectangle of logical pixels in device pixels, as the toolkit rounds it.
QRect Scaled(const QRect& r, qreal s) {
  return {QPoint(qRound(r.x() * s), qRound(r.y() * s)), QSize(qRound(r.width() * s), qRound(r.height() * s))};
}

class LayoutTest : public testing::Test, public PlayerWindow {
 protected:
  void SetUp() override {
    backdrop.setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    backdrop.setGeometry(QGuiApplication::primaryScreen()->geometry());
    backdrop.setAutoFillBackground(true);
    QPalette palette = backdrop.palette();
    palette.setColor(QPalette::Window, kBackdrop);
    backdrop.setPalette(palette);
    backdrop.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&backdrop));
    state().playlistUrl = "";
    makeWindow({});
    bool shown = false;
    QObject::connect(window.get(), &TfrmMain::shown, [&] { shown = true; });
    window->show();
    ASSERT_TRUE(spinUntil([&] { return shown; }, 5s));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
  }
  void TearDown() override { closeWindow(); }

  QWidget backdrop;

  // What the X server shows of the window, in device pixels.
  QImage grab() const {
    // grabWindow takes logical coordinates and returns device pixels.
    return window->screen()
        ->grabWindow(0, window->x(), window->y(), 419, 114)
        .toImage()
        .convertToFormat(QImage::Format_RGB888)
        .copy(Scaled(QRect(0, 0, 419, 114), Scale()));
  }
};

TEST_F(LayoutTest, EveryComponentWhereTheTableSaysAtThisScale) {
  const qreal s = Scale();
  const QByteArray wanted = qgetenv("QT_SCALE_FACTOR");
  if (!wanted.isEmpty()) {
    ASSERT_DOUBLE_EQ(s, wanted.toDouble()) << "the scale factor did not take";
  }
  EXPECT_EQ(window->size(), QSize(419, 114));
  EXPECT_DOUBLE_EQ(window->windowHandle()->devicePixelRatio(), s);

  int previousIndex = -1;
  const QObjectList children = window->children();
  for (const Component& c : kComponents) {
    SCOPED_TRACE(c.name);
    QWidget* w = c.get(*window);
    ASSERT_NE(w, nullptr);
    if (c.rect.isEmpty()) {
      EXPECT_EQ(w->pos(), c.rect.topLeft());
      EXPECT_EQ(w->size(), w->sizeHint());
    } else {
      EXPECT_EQ(w->geometry(), c.rect);
    }
    EXPECT_EQ(w->toolTip(), QString::fromUtf8(c.tooltip));
    const int index = static_cast<int>(children.indexOf(w));
    EXPECT_GT(index, previousIndex) << "stacked below the component before it";
    previousIndex = index;
    if (!c.text) continue;
    auto* label = qobject_cast<ShadowLabel*>(w);
    ASSERT_NE(label, nullptr);
    const QFontInfo font(label->font());
    EXPECT_EQ(font.family(), "Tahoma");
    EXPECT_EQ(font.pixelSize(), c.text->pixels);
    EXPECT_EQ(font.bold(), c.text->bold);
    const QColor colour = c.text->colour.isValid() ? c.text->colour : QApplication::palette().color(QPalette::Highlight);
    EXPECT_EQ(label->textColor(), colour);
    EXPECT_EQ(label->alignment(), c.text->alignment);
    EXPECT_EQ(label->wordWrap(), c.text->wrap);
    EXPECT_EQ(label->accelerators(), c.text->accelerators);
  }
}

// The outline in the X server is the skin's outline scaled by the factor:
// each device pixel is inside exactly when the logical point at its centre
// is. Pixels on the scaled edge may round either way.
TEST_F(LayoutTest, TheOutlineIsTheSkinsScaled) {
  const qreal s = Scale();
  const QRegion mask = window->mask();
  ASSERT_FALSE(mask.isEmpty());
  const QImage shot = grab();
  int wrong = 0, checked = 0;
  for (int y = 0; y < shot.height(); ++y) {
    for (int x = 0; x < shot.width(); ++x) {
      auto inside = [&](qreal dx, qreal dy) {
        return mask.contains(QPoint(static_cast<int>(std::floor((x + 0.5 + dx) / s)),
                                    static_cast<int>(std::floor((y + 0.5 + dy) / s))));
      };
      const bool in = inside(0, 0);
      if (in != inside(-1, 0) || in != inside(1, 0) || in != inside(0, -1) || in != inside(0, 1)) continue;
      ++checked;
      const bool shows = shot.pixelColor(x, y) != kBackdrop;
      if (shows != in) ++wrong;
    }
  }
  EXPECT_GT(checked, static_cast<int>(419 * 114 * s * s * 0.9));
  EXPECT_LT(wrong, checked / 1000) << wrong << " of " << checked;
}

// Every picture lies where the table puts it, scaled: the device pixels of
// its rectangle match the picture scaled by the factor, and no place up to
// three device pixels off matches it better than a pixel's rounding allows.
TEST_F(LayoutTest, ThePicturesAreInRegister) {
  const qreal s = Scale();
  const QImage shot = grab();
  int compared = 0;
  for (const Component* c = std::begin(kComponents); c != std::end(kComponents); ++c) {
    // What lies above it hides it there: labels with text, the meters, the bar.
    QRegion above;
    for (const Component* a = c + 1; a != std::end(kComponents); ++a) {
      QWidget* w = a->get(*window);
      auto* label = qobject_cast<ShadowLabel*>(w);
      if (w->isVisible() && !(label && label->text().isEmpty())) above += w->geometry();
    }
    auto* image = qobject_cast<ui::SkinImage*>(c->get(*window));
    if (image == nullptr || image == window->Image1 || !image->isVisible()) continue;
    SCOPED_TRACE(c->name);
    const QRect device = Scaled(c->rect, s);
    const QImage picture = image->pixmap().toImage().convertToFormat(QImage::Format_ARGB32);
    const QImage scaled = picture.scaled(device.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    auto difference = [&](QPoint offset) -> std::optional<double> {
      double sum = 0;
      int n = 0;
      for (int y = 3; y < scaled.height() - 3; ++y)
        for (int x = 3; x < scaled.width() - 3; ++x) {
          const QColor want = scaled.pixelColor(x, y);
          if (want.alpha() < 255) continue;  // the key: the skin shows there
          const QPoint at = device.topLeft() + QPoint(x, y);
          if (above.intersects(QRect(QPoint(static_cast<int>((at.x() - 3) / s), static_cast<int>((at.y() - 3) / s)),
                                     QPoint(static_cast<int>((at.x() + 3) / s), static_cast<int>((at.y() + 3) / s)))))
            continue;
          const QColor got = shot.pixelColor(at + offset);
          sum += std::abs(got.red() - want.red()) + std::abs(got.green() - want.green()) + std::abs(got.blue() - want.blue());
          ++n;
        }
      if (n < 30) return std::nullopt;  // hidden by what lies above it
      return sum / n;
    };
    const std::optional<double> here = difference({0, 0});
    if (!here) continue;
    ++compared;
    // Scaled by the toolkit rather than drawn at this size, the picture is
    // a little softer than Qt's own smooth scaling of it.
    EXPECT_LT(*here, 48) << "mean difference per pixel";
    QPoint best(0, 0);
    double bestDifference = *here;
    for (int dy = -3; dy <= 3; ++dy)
      for (int dx = -3; dx <= 3; ++dx)
        if (const auto d = difference({dx, dy}); d && *d < bestDifference) {
          bestDifference = *d;
          best = {dx, dy};
        }
    EXPECT_LE(std::max(std::abs(best.x()), std::abs(best.y())), 1)
        << "fits best " << best.x() << ", " << best.y() << " device pixels off";
  }
  // The five buttons and the logo at least; their labels cover most of
  // the button faces.
  EXPECT_GE(compared, 6);
}

// On a screen scaled by two the pictures are the ones drawn at that size,
// shown pixel for pixel: sharp, not the 1:1 pictures blown up.
TEST_F(LayoutTest, AtTwiceTheSizeThePicturesAreDrawnForIt) {
  if (Scale() != 2.0) GTEST_SKIP() << "for a screen scaled by two";
  const QImage shot = grab();
  struct Picture {
    const char* file;
    QRect rect;
  } pictures[] = {{"close@2x.bmp", {389, 24, 21, 23}}, {"minimize@2x.bmp", {366, 24, 21, 23}},
                  {"play@2x.bmp", {222, 82, 16, 16}},  {"stop@2x.bmp", {240, 82, 16, 16}},
                  {"skin@2x.bmp", {0, 0, 110, 114}}};
  for (const Picture& p : pictures) {
    SCOPED_TRACE(p.file);
    const QImage drawn = QImage(QStringLiteral(":/pictures/") + QLatin1String(p.file)).convertToFormat(QImage::Format_RGB888);
    ASSERT_FALSE(drawn.isNull());
    const QRgb key = drawn.pixel(0, drawn.height() - 1);
    int same = 0, total = 0;
    for (int y = 0; y < p.rect.height() * 2; ++y)
      for (int x = 0; x < p.rect.width() * 2; ++x) {
        if (drawn.pixel(x, y) == key) continue;
        // The logo lies on the skin's white field.
        if (QRect(14, 16, 200, 200).contains(x, y) && p.rect.topLeft() == QPoint(0, 0)) continue;
        ++total;
        if (shot.pixel(p.rect.x() * 2 + x, p.rect.y() * 2 + y) == drawn.pixel(x, y)) ++same;
      }
    ASSERT_GT(total, 100);
    EXPECT_GT(same, total * 98 / 100) << same << " of " << total;
  }
}

}  // namespace
}  // namespace ornivox::uitest
