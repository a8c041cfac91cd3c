#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "art.h"

namespace ornivox::pictures {

namespace {

constexpr int kWidth = 420;
constexpr int kHeight = 115;

// The window's outline is the union of three rectangles whose corners are
// cut row by row: cut[i] pixels come off the row i rows in from that corner.
// The cuts are drawn by hand so that the corners read as round at 1:1.
struct Part {
  int x0, y0, x1, y1;  // inclusive
  std::vector<int> topLeft, topRight, bottomLeft, bottomRight;
};

const std::array<Part, 3> kParts = {{
    // The logo frame.
    {1, 3, 111, 112, {5, 3, 2, 2, 1}, {3, 2, 1}, {4, 3, 2, 1}, {2, 2, 1}},
    // The display and the strip under it.
    {112, 12, 359, 103, {}, {3, 2, 1}, {}, {2}},
    // The button column.
    {360, 18, 418, 99, {}, {5, 3, 2, 1, 1}, {}, {}},
}};

int cut(const std::vector<int>& cuts, int i) { return i < int(cuts.size()) ? cuts[std::size_t(i)] : 0; }

std::vector<bool> bodyMask() {
  std::vector<bool> inside(std::size_t(kWidth) * kHeight, false);
  for (const Part& p : kParts) {
    for (int y = p.y0; y <= p.y1; ++y) {
      const int fromTop = y - p.y0, fromBottom = p.y1 - y;
      const int left = p.x0 + std::max(cut(p.topLeft, fromTop), cut(p.bottomLeft, fromBottom));
      const int right = p.x1 - std::max(cut(p.topRight, fromTop), cut(p.bottomRight, fromBottom));
      for (int x = left; x <= right; ++x) inside[std::size_t(y) * kWidth + std::size_t(x)] = true;
    }
  }
  return inside;
}

// Palette.
constexpr Rgb kWhite = rgb(255, 255, 255);
constexpr Rgb kOutline = rgb(44, 86, 142);
constexpr Rgb kBodyTop = rgb(226, 239, 251);
constexpr Rgb kBodyBottom = rgb(174, 205, 238);
constexpr Rgb kShade = rgb(120, 156, 202);
constexpr Rgb kPanelRim = rgb(8, 12, 22);
constexpr Rgb kPanelTop = rgb(12, 17, 30);
constexpr Rgb kPanelBottom = rgb(42, 56, 76);
constexpr Rgb kStripTop = rgb(242, 248, 254);
constexpr Rgb kStripBottom = rgb(206, 226, 248);
constexpr Rgb kStripRim = rgb(146, 182, 224);

Rgb body(double y) { return mix(kBodyTop, kBodyBottom, std::clamp((y - 3) / 109, 0.0, 1.0)); }

// A glossy face with a 1 px border, as buttons and the button faces use.
void glossyFace(Canvas& c, double x0, double y0, double x1, double y1, double radius, Rgb border, Rgb top,
                Rgb bottom) {
  c.fill(box(x0, y0, x1, y1, radius), border);
  c.fill(box(x0 + 1, y0 + 1, x1 - 1, y1 - 1, radius - 1), vertical(y0 + 1, top, y1 - 1, bottom));
  // The gloss: the upper half a little whiter, with a sharp lower edge.
  const double mid = std::floor((y0 + y1) / 2);
  c.fill(intersect(box(x0 + 1, y0 + 1, x1 - 1, y1 - 1, radius - 1), box(x0, y0, x1, mid)),
         vertical(y0 + 1, kWhite, mid, mix(top, kWhite, 0.3)), 0.45);
}

constexpr int kMinimizeX = 366, kCloseX = 389, kTitleButtonY = 24, kTitleButtonW = 21, kTitleButtonH = 23;
constexpr int kFaceX = 362, kRequestFaceY = 52, kInfoFaceY = 73, kFaceW = 53, kFaceH = 18;

void titleButtonSocket(Canvas& c, int x, int y) {
  c.fill(box(x - 1, y - 1, x + kTitleButtonW + 1, y + kTitleButtonH + 1, 4), kShade, 0.45);
  c.fill(box(x, y + kTitleButtonH, x + kTitleButtonW, y + kTitleButtonH + 2, 3), kWhite, 0.5);
}

void drawMinimize(Canvas& c, int x, int y) {
  glossyFace(c, x, y, x + kTitleButtonW, y + kTitleButtonH, 3, rgb(52, 96, 156), rgb(240, 247, 255),
             rgb(178, 208, 242));
  c.fill(box(x + 6, y + 15, x + 15, y + 17.5, 1), rgb(24, 58, 122));
}

void drawClose(Canvas& c, int x, int y) {
  glossyFace(c, x, y, x + kTitleButtonW, y + kTitleButtonH, 3, rgb(132, 22, 18), rgb(240, 104, 86),
             rgb(192, 34, 26));
  const double cx = x + 10.5, cy = y + 11.5, r = 4.2, half = 1.35;
  const Shape cross = unite(stroke({cx - r, cy - r}, {cx + r, cy + r}, half),
                            stroke({cx + r, cy - r}, {cx - r, cy + r}, half));
  c.fill(moved(cross, 0, 0.8), rgb(110, 14, 10), 0.45);
  c.fill(cross, kWhite);
}

void drawFace(Canvas& c, int x, int y) {
  glossyFace(c, x, y, x + kFaceW, y + kFaceH, 4, rgb(92, 134, 190), rgb(248, 251, 255), rgb(196, 221, 248));
}

Bitmap keyedCrop(const Canvas& skin, int x, int y, int w, int h, const Shape& local) {
  return toBitmap(skin.crop(x, y, w, h), [&](int i, int j) { return coverage(local, i, j, skin.scale()) >= 0.5; });
}

}  // namespace

std::vector<NamedBitmap> drawWindow(int scale) {
  Canvas c(kWidth, kHeight, kKey, scale);
  const std::vector<bool> inside = bodyMask();
  // By the window's pixels: the outline is the same at any scale.
  const auto in = [&](int x, int y) {
    return x >= 0 && y >= 0 && x < kWidth && y < kHeight && inside[std::size_t(y) * kWidth + std::size_t(x)];
  };
  const auto inPixel = [&](int x, int y) { return in(x / scale, y / scale); };

  // The body, with a border that follows the outline pixel for pixel, the
  // inner corners of its steps half blended so the curves look smooth, and
  // a bevel inside it: lighter along the top and left, darker along the
  // bottom and right.
  for (int py = 0; py < c.height(); ++py) {
    for (int px = 0; px < c.width(); ++px) {
      const int x = px / scale, y = py / scale;
      if (!in(x, y)) continue;
      Rgb colour = body((py + 0.5) / scale - 0.5);
      const bool edge = !in(x - 1, y) || !in(x + 1, y) || !in(x, y - 1) || !in(x, y + 1);
      const bool corner = !in(x - 1, y - 1) || !in(x + 1, y - 1) || !in(x - 1, y + 1) || !in(x + 1, y + 1);
      if (edge) {
        colour = kOutline;
      } else if (corner) {
        colour = mix(colour, kOutline, 0.5);
      } else if (!in(x - 2, y) || !in(x, y - 2)) {
        colour = mix(colour, kWhite, 0.6);
      } else if (!in(x + 2, y) || !in(x, y + 2)) {
        colour = mix(colour, kShade, 0.35);
      }
      c.at(px, py) = colour;
    }
  }

  // The logo's white field, sunk into the frame.
  c.fill(box(6, 7, 108, 109), kWhite, 0.8);
  c.fill(box(6, 7, 107, 108), kShade);
  c.fill(box(7, 8, 107, 108), kWhite);

  // The display: a dark glass panel, sunk in the same way.
  c.fill(box(112, 15, 359, 80, 4), kWhite, 0.7);
  c.fill(box(112, 15, 358, 79, 4), kPanelRim);
  c.fill(box(113, 16, 357, 78, 3), [](double, double y) {
    Rgb base = mix(kPanelTop, kPanelBottom, std::clamp((y - 16) / 62, 0.0, 1.0));
    // A faint reflection over the upper third, as on a glass front.
    if (y < 38) base = mix(base, kWhite, 0.08 * (38 - y) / 22);
    return base;
  });

  // The light strip under the display for the maker's link, the play, stop
  // and sound buttons and the volume bar.
  c.fill(box(112, 81, 358, 103, 3), kStripRim);
  c.fill(box(113, 82, 357, 102, 2), vertical(82, kStripTop, 102, kStripBottom));

  // The button column, set off from the display by a groove.
  c.fill(box(359, 20, 360, 98), kShade, 0.6);
  c.fill(box(360, 20, 361, 98), kWhite, 0.6);

  const Canvas bare = c;

  titleButtonSocket(c, kMinimizeX, kTitleButtonY);
  titleButtonSocket(c, kCloseX, kTitleButtonY);
  drawMinimize(c, kMinimizeX, kTitleButtonY);
  drawClose(c, kCloseX, kTitleButtonY);
  drawFace(c, kFaceX, kRequestFaceY);
  drawFace(c, kFaceX, kInfoFaceY);

  std::vector<NamedBitmap> out;
  out.push_back({"skin.bmp", toBitmap(c, inPixel)});
  out.push_back({"close.bmp", toBitmap(c.crop(kCloseX, kTitleButtonY, kTitleButtonW, kTitleButtonH))});
  out.push_back({"minimize.bmp", toBitmap(c.crop(kMinimizeX, kTitleButtonY, kTitleButtonW, kTitleButtonH))});
  out.push_back({"button_face.bmp",
                 keyedCrop(c, kFaceX, kRequestFaceY, kFaceW, kFaceH, box(0, 0, kFaceW, kFaceH, 4))});

  // The play, stop and sound buttons are not part of the face: the window
  // shows only the ones that apply.
  constexpr int kControlY = 82, kSize = 16;
  out.push_back(drawPlay(bare.crop(222, kControlY, kSize, kSize)));
  out.push_back(drawStop(bare.crop(240, kControlY, kSize, kSize)));
  out.push_back(drawSoundOn(bare.crop(258, kControlY, kSize, kSize)));
  out.push_back(drawSoundOff(bare.crop(258, kControlY, kSize, kSize)));
  return out;
}

}  // namespace ornivox::pictures
