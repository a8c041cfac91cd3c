// The 16 x 16 buttons on the strip under the display: a light rounded key
// with a dark symbol; the key colour shows around the rounded corners.
#include "art.h"

namespace ornivox::pictures {

namespace {

constexpr double kSize = 16;
constexpr Rgb kSymbol = rgb(24, 52, 104);
constexpr Rgb kRed = rgb(214, 30, 24);

const Shape& key() {
  static const Shape shape = box(0, 0, kSize, kSize, 3);
  return shape;
}

Canvas blankKey(const Canvas& under) {
  Canvas c = under;
  c.fill(key(), rgb(104, 142, 194));
  c.fill(box(1, 1, kSize - 1, kSize - 1, 2), vertical(1, rgb(253, 254, 255), kSize - 1, rgb(204, 224, 248)));
  c.fill(box(1, kSize - 2, kSize - 1, kSize - 1, 1), rgb(176, 202, 236), 0.6);
  return c;
}

NamedBitmap finish(const char* file, const Canvas& c) {
  return {file, toBitmap(c, [&](int x, int y) { return coverage(key(), x, y, c.scale()) >= 0.5; })};
}

// The loudspeaker: a box and a cone opening to the right.
Shape speaker() {
  return unite(box(2, 6, 5, 10, 0.5), polygon({{4, 6}, {8, 2.5}, {8, 13.5}, {4, 10}}));
}

}  // namespace

NamedBitmap drawPlay(const Canvas& under) {
  Canvas c = blankKey(under);
  c.fill(polygon({{5, 3.5}, {12.5, 8}, {5, 12.5}}), kSymbol);
  return finish("play.bmp", c);
}

NamedBitmap drawStop(const Canvas& under) {
  Canvas c = blankKey(under);
  c.fill(unite(box(4.5, 4, 7, 12, 0.5), box(9, 4, 11.5, 12, 0.5)), kSymbol);
  return finish("stop.bmp", c);
}

NamedBitmap drawSoundOn(const Canvas& under) {
  Canvas c = blankKey(under);
  c.fill(speaker(), kSymbol);
  // Two waves, each the part of a ring right of the cone's mouth.
  const Shape wedge = intersect(halfPlane({8, 8}, {15, 0.5}), halfPlane({15, 15.5}, {8, 8}));
  c.fill(intersect(ring(7.5, 8, 3.2, 0.7), wedge), kSymbol);
  c.fill(intersect(ring(7.5, 8, 6.0, 0.7), wedge), kSymbol);
  return finish("sound_on.bmp", c);
}

NamedBitmap drawSoundOff(const Canvas& under) {
  Canvas c = blankKey(under);
  c.fill(speaker(), kSymbol);
  // A red stroke across it, parted from the speaker by a thin light edge.
  const Point a{2.5, 13.5}, b{13.5, 2.5};
  c.fill(stroke(a, b, 2.1), rgb(246, 250, 255));
  c.fill(stroke(a, b, 1.2), kRed);
  return finish("sound_off.bmp", c);
}

}  // namespace ornivox::pictures
