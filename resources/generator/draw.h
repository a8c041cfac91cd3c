// A small antialiased painter: shapes are signed distance functions, and a
// pixel takes a shape's paint in proportion to how much of it the shape
// covers. Only exactly rounded operations are used (the four, sqrt, floor),
// no sin or pow, so the generator makes the same bytes at any optimisation
// level and under the sanitizers.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace ornivox::pictures {

struct Rgb {
  double r = 0, g = 0, b = 0;
};

constexpr Rgb rgb(int r, int g, int b) { return Rgb{double(r), double(g), double(b)}; }
Rgb mix(Rgb from, Rgb to, double t);

struct Point {
  double x = 0, y = 0;
};

// Distance from (x, y) to the shape's edge in pixels, negative inside.
// Pixel (x, y) covers [x, x + 1) x [y, y + 1); its centre is sampled.
using Shape = std::function<double(double x, double y)>;
using Paint = std::function<Rgb(double x, double y)>;

Shape circle(double cx, double cy, double r);
Shape ellipse(double cx, double cy, double rx, double ry);
// The rectangle [x0, x1) x [y0, y1) with corners rounded by `radius`.
Shape box(double x0, double y0, double x1, double y1, double radius = 0);
// A stroke of half-width `half` from a to b, with round ends.
Shape stroke(Point a, Point b, double half);
Shape polygon(std::vector<Point> points);
Shape ring(double cx, double cy, double r, double half);
// The side of the line through a and b that an outline running clockwise
// on screen from a to b keeps inside.
Shape halfPlane(Point a, Point b);

Shape unite(Shape a, Shape b);
Shape intersect(Shape a, Shape b);
Shape subtract(Shape a, Shape b);
Shape moved(Shape s, double dx, double dy);

Paint solid(Rgb c);
// From `top` at y0 to `bottom` at y1, held beyond both.
Paint vertical(double y0, Rgb top, double y1, Rgb bottom);

// Shapes and places are given in units: the window's pixels. A canvas of
// scale 2 has two pixels to the unit each way, for screens that show the
// window at twice the size; width(), height() and at() count its pixels.
class Canvas {
 public:
  Canvas(int width, int height, Rgb background, int scale = 1);

  int width() const { return width_; }
  int height() const { return height_; }
  int scale() const { return scale_; }
  Rgb& at(int x, int y) { return pixels_[std::size_t(y) * std::size_t(width_) + std::size_t(x)]; }
  const Rgb& at(int x, int y) const { return pixels_[std::size_t(y) * std::size_t(width_) + std::size_t(x)]; }

  void fill(const Shape& shape, const Paint& paint, double opacity = 1);
  void fill(const Shape& shape, Rgb colour, double opacity = 1);

  // In units.
  Canvas crop(int x, int y, int width, int height) const;
  void paste(const Canvas& from, int x, int y);

 private:
  int width_;
  int height_;
  int scale_;
  std::vector<Rgb> pixels_;
};

// How much of pixel (x, y) the shape covers, from 0 to 1, on a canvas of
// `scale` pixels to the unit.
double coverage(const Shape& shape, int x, int y, int scale = 1);

// Eight bits a channel, rows from the top.
struct Bitmap {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgb;
};

inline constexpr Rgb kKey = rgb(255, 0, 255);

// Pixels for which `opaque` says no become the key colour; an opaque pixel
// that happens to round to the key colour is moved off it by one step.
Bitmap toBitmap(const Canvas& canvas, const std::function<bool(int x, int y)>& opaque);
Bitmap toBitmap(const Canvas& canvas);

}  // namespace ornivox::pictures
