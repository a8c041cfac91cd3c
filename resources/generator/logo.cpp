// The station logo: a presenter with headphones at a studio microphone,
// a transmitter mast sending waves, and the station's name on a band.
#include <iterator>
#include <vector>

#include "art.h"

namespace ornivox::pictures {

namespace {

constexpr int kSize = 100;
constexpr Rgb kSkin = rgb(250, 212, 174);
constexpr Rgb kSkinShade = rgb(226, 176, 138);
constexpr Rgb kHair = rgb(96, 58, 30);
constexpr Rgb kInk = rgb(40, 30, 34);
constexpr Rgb kGear = rgb(44, 50, 64);
constexpr Rgb kShirt = rgb(238, 126, 38);
constexpr Rgb kYellow = rgb(255, 212, 60);
constexpr Rgb kWhite = rgb(255, 255, 255);

// Letters as strokes on a 5 x 7 grid, for the station's name.
struct Glyph {
  char letter;
  std::vector<std::vector<Point>> lines;
};

const std::vector<Glyph>& glyphs() {
  static const std::vector<Glyph> all = {
      {'D', {{{0, 0}, {0, 7}, {3, 7}, {5, 5}, {5, 2}, {3, 0}, {0, 0}}}},
      {'A', {{{0, 7}, {2.5, 0}, {5, 7}}, {{1, 4.6}, {4, 4.6}}}},
      {'L', {{{0, 0}, {0, 7}, {5, 7}}}},
      {'G', {{{5, 1.2}, {4, 0}, {1, 0}, {0, 1}, {0, 6}, {1, 7}, {4, 7}, {5, 6}, {5, 4}, {3, 4}}}},
      {'T', {{{0, 0}, {5, 0}}, {{2.5, 0}, {2.5, 7}}}},
      {'O', {{{1, 0}, {4, 0}, {5, 1}, {5, 6}, {4, 7}, {1, 7}, {0, 6}, {0, 1}, {1, 0}}}},
      {'N', {{{0, 7}, {0, 0}, {5, 7}, {5, 0}}}},
  };
  return all;
}

void text(Canvas& c, const char* s, double x, double y, double sx, double sy, double half, Rgb colour) {
  const double advance = 5 * sx + 3;
  for (const char* p = s; *p; ++p, x += advance) {
    for (const Glyph& g : glyphs()) {
      if (g.letter != *p) continue;
      for (const auto& line : g.lines)
        for (std::size_t i = 1; i < line.size(); ++i)
          c.fill(stroke({x + line[i - 1].x * sx, y + line[i - 1].y * sy}, {x + line[i].x * sx, y + line[i].y * sy},
                        half),
                 colour);
    }
  }
}

void sky(Canvas& c) {
  c.fill(box(0, 0, kSize, kSize), vertical(0, rgb(70, 150, 226), 84, rgb(196, 230, 252)));
  // A cloud.
  Shape cloud = unite(unite(circle(14, 17, 5), circle(21, 13, 6.5)), unite(circle(28, 17, 5), box(10, 17, 32, 22, 2.5)));
  c.fill(cloud, kWhite, 0.9);
  // Green hills on the horizon.
  c.fill(ellipse(82, 92, 44, 16), rgb(104, 178, 86));
  c.fill(ellipse(18, 94, 40, 15), rgb(86, 160, 72));
}

void mast(Canvas& c) {
  constexpr double cx = 81, top = 20, base = 86, spread = 9;
  const auto left = [&](double y) { return cx - spread * (y - top) / (base - top); };
  const auto right = [&](double y) { return cx + spread * (y - top) / (base - top); };
  const Rgb steel = rgb(58, 66, 90);
  c.fill(stroke({cx, top}, {left(base), base}, 0.9), steel);
  c.fill(stroke({cx, top}, {right(base), base}, 0.9), steel);
  // Cross bracing, zigzagging up between the legs.
  const double levels[] = {84, 72, 61, 51, 42, 34, 27};
  for (std::size_t i = 0; i + 1 < std::size(levels); ++i) {
    const double y0 = levels[i], y1 = levels[i + 1];
    c.fill(stroke({left(y0), y0}, {right(y0), y0}, 0.55), steel);
    if (i % 2 == 0)
      c.fill(stroke({left(y0), y0}, {right(y1), y1}, 0.5), steel);
    else
      c.fill(stroke({right(y0), y0}, {left(y1), y1}, 0.5), steel);
  }
  // Red and white bands on the top section, then the aerial and its light.
  c.fill(stroke({cx, top}, {cx, 10}, 0.9), steel);
  c.fill(circle(cx, 9, 4), rgb(255, 80, 60), 0.25);
  c.fill(circle(cx, 9, 2.2), rgb(232, 36, 28));
  c.fill(circle(cx - 0.7, 8.3, 0.8), kWhite, 0.8);
  // Waves going out both ways.
  const Shape toRight = intersect(halfPlane({cx + 1, 9}, {100, -14}), halfPlane({100, 32}, {cx + 1, 9}));
  const Shape toLeft = intersect(halfPlane({cx - 1, 9}, {cx - 20, 32}), halfPlane({cx - 20, -14}, {cx - 1, 9}));
  for (double r : {6.0, 10.5, 15.0}) {
    const Shape wave = intersect(ring(cx, 9, r, 0.9), unite(toRight, toLeft));
    c.fill(wave, kWhite, 0.95 - r / 40);
  }
}

void presenter(Canvas& c) {
  constexpr double hx = 38, hy = 40;
  // Body and shirt, with an open collar.
  c.fill(box(12, 62, 64, 110, 16), vertical(62, rgb(250, 156, 72), 80, kShirt));
  c.fill(box(32, 50, 44, 64, 3), kSkinShade);
  c.fill(polygon({{30, 62}, {38, 72}, {46, 62}, {42, 60}, {38, 66}, {34, 60}}), kWhite);
  c.fill(polygon({{34, 60}, {38, 66}, {42, 60}}), kSkinShade);

  // Headphone band behind the head.
  c.fill(intersect(ring(hx, hy - 1, 16.5, 1.7), box(0, 0, kSize, hy - 2)), kGear);

  // Head and hair, the head with a thin darker edge as drawn with a pen.
  c.fill(circle(hx, hy, 14.8), rgb(176, 120, 86));
  c.fill(circle(hx, hy, 14), kSkin);
  c.fill(intersect(circle(hx, hy - 1.5, 14.6), box(0, 0, kSize, hy - 6)), kHair);
  c.fill(unite(circle(hx - 7, hy - 6, 4.2), circle(hx + 1, hy - 7, 4.6)), kHair);
  c.fill(circle(hx + 8, hy - 6.5, 3.5), kHair);

  // Face.
  for (double side : {-1.0, 1.0}) {
    const double ex = hx + side * 5;
    c.fill(ellipse(ex, hy + 1, 1.7, 2.3), kInk);
    c.fill(circle(ex + 0.6, hy, 0.65), kWhite);
    c.fill(stroke({ex - 2.2, hy - 3.6}, {ex + 2.2, hy - 4.2 + side * 0.6}, 0.55), kHair);
    c.fill(circle(hx + side * 9, hy + 5.5, 2.6), rgb(246, 140, 140), 0.45);
  }
  c.fill(ellipse(hx, hy + 4.5, 1.5, 1.1), kSkinShade);
  // An open, talking mouth.
  c.fill(intersect(circle(hx, hy + 6.6, 3.8), box(0, hy + 7, kSize, kSize)), rgb(150, 40, 40));
  c.fill(intersect(circle(hx, hy + 10.6, 1.8), circle(hx, hy + 6.6, 3.8)), rgb(232, 110, 110));

  // Ear cups over the ears.
  c.fill(box(hx - 19, hy - 6, hx - 12, hy + 7, 3), kGear);
  c.fill(box(hx + 12, hy - 6, hx + 19, hy + 7, 3), kGear);
  c.fill(box(hx - 18, hy - 4.5, hx - 16.5, hy + 3, 0.7), rgb(120, 130, 150), 0.8);
  c.fill(box(hx + 13, hy - 4.5, hx + 14.5, hy + 3, 0.7), rgb(120, 130, 150), 0.8);
}

void microphone(Canvas& c) {
  // On a boom arm reaching in from the right, in front of the mouth.
  const Rgb arm = rgb(36, 40, 52);
  c.fill(stroke({60, 60}, {68, 74}, 1.3), arm);
  c.fill(stroke({68, 74}, {68, 84}, 1.5), arm);
  c.fill(box(55, 55, 65, 62, 2), arm);
  c.fill(box(54, 40, 66, 58, 6), rgb(84, 90, 108));
  // Grille.
  for (double y = 44; y < 56; y += 3) c.fill(stroke({56.5, y}, {63.5, y}, 0.45), rgb(150, 158, 178));
  c.fill(box(56, 41.5, 59, 52, 1.5), kWhite, 0.3);
  c.fill(box(53.5, 52.5, 66.5, 55, 1), rgb(200, 40, 40));
}

void desk(Canvas& c) {
  c.fill(box(0, 78, 74, 88), rgb(40, 72, 128));
  c.fill(box(0, 78, 74, 80), rgb(96, 140, 204));
  // Hands resting on the desk, outlined so they read against the shirt.
  for (double x : {25.0, 51.0}) {
    c.fill(ellipse(x, 78.5, 5.6, 3.4), kSkinShade);
    c.fill(ellipse(x, 78, 4.6, 2.6), kSkin);
  }
}

void nameBand(Canvas& c) {
  c.fill(box(0, 86, kSize, kSize), vertical(86, rgb(20, 50, 112), kSize, rgb(10, 28, 70)));
  c.fill(box(0, 86, kSize, 87), rgb(120, 170, 236));
  constexpr double sx = 1.3, sy = 1.29;
  const double width = 8 * 5 * sx + 7 * 3;
  text(c, "DALGATON", (kSize - width) / 2, 88.5, sx, sy, 0.85, kYellow);
}

}  // namespace

Bitmap drawLogo() {
  Canvas c(kSize, kSize, kWhite);
  sky(c);
  mast(c);
  presenter(c);
  microphone(c);
  desk(c);
  nameBand(c);
  return toBitmap(c);
}

}  // namespace ornivox::pictures
