// The window's outline, translucency and placement, without a display.
#include <gtest/gtest.h>

#include <QImage>
#include <QRegion>

#include <vector>

#include "ui/shape/window_shape.h"

namespace ornivox::ui {
namespace {

// The opaque columns [first, last] of each row of a region, or {-1,-1}.
std::vector<std::pair<int, int>> rowSpans(const QRegion& region, int width, int height) {
  std::vector<std::pair<int, int>> rows;
  for (int y = 0; y < height; ++y) {
    int first = -1, last = -1;
    for (int x = 0; x < width; ++x)
      if (region.contains(QPoint(x, y))) {
        if (first < 0) first = x;
        last = x;
      }
    rows.push_back({first, last});
  }
  return rows;
}

// Every opaque pixel of each row lies between first and last, with no gap.
bool rowIsSolid(const QRegion& region, int y, int first, int last) {
  for (int x = first; x <= last; ++x)
    if (!region.contains(QPoint(x, y))) return false;
  return true;
}

QImage filled(int w, int h, QColor colour) {
  QImage image(w, h, QImage::Format_RGB888);
  image.fill(colour);
  return image;
}

TEST(RegionFromBitmap, BuiltInSkinGivesTheOutlineTable) {
  const QImage skin(QStringLiteral(ORNIVOX_PICTURES_DIR "/skin.bmp"));
  ASSERT_FALSE(skin.isNull());
  ASSERT_EQ(skin.size(), QSize(420, 115));
  struct Rows {
    int from, to, first, last;  // first = -1: no pixel
  } table[] = {
      {0, 2, -1, -1},   {3, 3, 6, 108},   {4, 4, 4, 109},     {5, 5, 3, 110},     {6, 6, 3, 111},
      {7, 7, 2, 111},   {8, 11, 1, 111},  {12, 12, 1, 356},   {13, 13, 1, 357},   {14, 14, 1, 358},
      {15, 17, 1, 359}, {18, 18, 1, 413}, {19, 19, 1, 415},   {20, 20, 1, 416},   {21, 22, 1, 417},
      {23, 99, 1, 418}, {100, 102, 1, 359}, {103, 103, 1, 357}, {104, 108, 1, 111}, {109, 109, 2, 111},
      {110, 110, 3, 110}, {111, 111, 4, 109}, {112, 112, 5, 109}, {113, 114, -1, -1},
  };
  const QRegion region = RegionFromBitmap(skin);
  const auto spans = rowSpans(region, 420, 115);
  int covered = 0;
  for (const Rows& r : table) {
    for (int y = r.from; y <= r.to; ++y, ++covered) {
      EXPECT_EQ(spans[y].first, r.first) << "row " << y;
      EXPECT_EQ(spans[y].second, r.last) << "row " << y;
      if (r.first >= 0) {
        EXPECT_TRUE(rowIsSolid(region, y, r.first, r.last)) << "row " << y;
      }
    }
  }
  EXPECT_EQ(covered, 115);
  EXPECT_EQ(region.boundingRect(), QRect(QPoint(1, 3), QPoint(418, 112)));
}

TEST(RegionFromBitmap, KeyIsTheTopLeftPixel) {
  // A white corner makes every white pixel a hole, wherever it lies.
  QImage image = filled(6, 4, Qt::white);
  image.setPixelColor(2, 1, Qt::red);
  image.setPixelColor(3, 1, Qt::red);
  image.setPixelColor(4, 2, QColor(255, 0, 255));
  const QRegion region = RegionFromBitmap(image);
  EXPECT_EQ(region, QRegion(2, 1, 2, 1) + QRegion(4, 2, 1, 1));
}

TEST(RegionFromBitmap, OneColourGivesNothing) {
  EXPECT_TRUE(RegionFromBitmap(filled(9, 5, QColor(255, 0, 255))).isEmpty());
  EXPECT_TRUE(RegionFromBitmap(filled(9, 5, QColor(12, 34, 56))).isEmpty());
}

TEST(RegionFromBitmap, HolesAndRunEnds) {
  // Magenta margin of two columns left and one right; a one-pixel hole in
  // the middle; the channels must all match for a pixel to be key.
  QImage image = filled(8, 3, QColor(10, 20, 30));
  for (int y = 0; y < 3; ++y) {
    image.setPixelColor(0, y, QColor(255, 0, 255));
    image.setPixelColor(1, y, QColor(255, 0, 255));
    image.setPixelColor(7, y, QColor(255, 0, 255));
  }
  image.setPixelColor(4, 1, QColor(255, 0, 255));
  image.setPixelColor(5, 1, QColor(255, 0, 254));  // not the key
  const QRegion region = RegionFromBitmap(image);
  QRegion expected(2, 0, 5, 3);
  expected -= QRegion(4, 1, 1, 1);
  EXPECT_EQ(region, expected);
  // The pixel that ends a run stays.
  EXPECT_TRUE(region.contains(QPoint(2, 1)));
  EXPECT_TRUE(region.contains(QPoint(5, 1)));
}

TEST(RegionFromBitmap, OtherFormatsAreReadAs24Bit) {
  QImage image(4, 2, QImage::Format_ARGB32);
  image.fill(QColor(255, 0, 255));
  image.setPixelColor(1, 1, QColor(0, 0, 0, 0));  // alpha plays no part: black
  EXPECT_EQ(RegionFromBitmap(image), QRegion(1, 1, 1, 1));
  EXPECT_EQ(RegionFromBitmap(QImage()), QRegion());
}

TEST(TransparencyAlpha, Formula) {
  struct T {
    unsigned percent;
    int alpha;
  } cases[] = {{15, 216}, {0, 254}, {100, 0}, {50, 127}, {1, 252}, {99, 2}};
  for (auto& t : cases) EXPECT_EQ(TransparencyAlpha(t.percent), t.alpha) << t.percent << " per cent";
}

TEST(PlaceNearCorner, BottomRightOfTheWholeScreenWhereverItStarts) {
  struct Case {
    QRect screen;
    QPoint expected;
  } cases[] = {
      {{0, 0, 1024, 768}, {600, 612}},
      {{0, 0, 1920, 1080}, {1496, 924}},
      // A primary screen right of or below another one.
      {{1280, 0, 1024, 768}, {1880, 612}},
      {{0, 1024, 1920, 1080}, {1496, 1948}},
      {{-1024, -200, 1024, 768}, {-424, 412}},
  };
  for (const Case& c : cases) EXPECT_EQ(PlaceNearCorner(c.screen, QSize(419, 114)), c.expected) << c.screen.x();
}

}  // namespace
}  // namespace ornivox::ui
