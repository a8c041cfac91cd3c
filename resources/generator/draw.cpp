#include "draw.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace ornivox::pictures {

Rgb mix(Rgb from, Rgb to, double t) {
  return Rgb{from.r + (to.r - from.r) * t, from.g + (to.g - from.g) * t, from.b + (to.b - from.b) * t};
}

namespace {

double length(double x, double y) { return std::sqrt(x * x + y * y); }

// Distance from p to the segment a-b.
double segmentDistance(Point p, Point a, Point b) {
  const double vx = b.x - a.x, vy = b.y - a.y;
  const double wx = p.x - a.x, wy = p.y - a.y;
  const double len2 = vx * vx + vy * vy;
  const double t = len2 > 0 ? std::clamp((wx * vx + wy * vy) / len2, 0.0, 1.0) : 0.0;
  return length(wx - vx * t, wy - vy * t);
}

}  // namespace

Shape circle(double cx, double cy, double r) {
  return [=](double x, double y) { return length(x - cx, y - cy) - r; };
}

Shape ellipse(double cx, double cy, double rx, double ry) {
  // Not a true distance away from the edge, but exact enough across the one
  // pixel where antialiasing happens for the shallow ellipses drawn here.
  return [=](double x, double y) {
    const double u = (x - cx) / rx, v = (y - cy) / ry;
    const double k = length(u, v);
    if (k == 0) return -std::min(rx, ry);
    const double gx = u / rx, gy = v / ry;
    return (k - 1) * k / length(gx, gy);
  };
}

Shape box(double x0, double y0, double x1, double y1, double radius) {
  const double cx = (x0 + x1) / 2, cy = (y0 + y1) / 2;
  const double hx = (x1 - x0) / 2 - radius, hy = (y1 - y0) / 2 - radius;
  return [=](double x, double y) {
    const double qx = std::abs(x - cx) - hx, qy = std::abs(y - cy) - hy;
    return length(std::max(qx, 0.0), std::max(qy, 0.0)) + std::min(std::max(qx, qy), 0.0) - radius;
  };
}

Shape stroke(Point a, Point b, double half) {
  return [=](double x, double y) { return segmentDistance({x, y}, a, b) - half; };
}

Shape polygon(std::vector<Point> points) {
  return [points = std::move(points)](double x, double y) {
    double best = 1e30;
    bool inside = false;
    for (std::size_t i = 0, j = points.size() - 1; i < points.size(); j = i++) {
      const Point a = points[j], b = points[i];
      best = std::min(best, segmentDistance({x, y}, a, b));
      if ((a.y > y) != (b.y > y) && x < a.x + (y - a.y) * (b.x - a.x) / (b.y - a.y)) inside = !inside;
    }
    return inside ? -best : best;
  };
}

Shape ring(double cx, double cy, double r, double half) {
  return [=](double x, double y) { return std::abs(length(x - cx, y - cy) - r) - half; };
}

Shape halfPlane(Point a, Point b) {
  const double nx = b.y - a.y, ny = a.x - b.x;
  const double n = length(nx, ny);
  return [=](double x, double y) { return ((x - a.x) * nx + (y - a.y) * ny) / n; };
}

Shape unite(Shape a, Shape b) {
  return [a = std::move(a), b = std::move(b)](double x, double y) { return std::min(a(x, y), b(x, y)); };
}

Shape intersect(Shape a, Shape b) {
  return [a = std::move(a), b = std::move(b)](double x, double y) { return std::max(a(x, y), b(x, y)); };
}

Shape subtract(Shape a, Shape b) {
  return [a = std::move(a), b = std::move(b)](double x, double y) { return std::max(a(x, y), -b(x, y)); };
}

Shape moved(Shape s, double dx, double dy) {
  return [s = std::move(s), dx, dy](double x, double y) { return s(x - dx, y - dy); };
}

Paint solid(Rgb c) {
  return [c](double, double) { return c; };
}

Paint vertical(double y0, Rgb top, double y1, Rgb bottom) {
  return [=](double, double y) { return mix(top, bottom, std::clamp((y - y0) / (y1 - y0), 0.0, 1.0)); };
}

double coverage(const Shape& shape, int x, int y, int scale) {
  const double s = scale;
  return std::clamp(0.5 - shape((x + 0.5) / s, (y + 0.5) / s) * s, 0.0, 1.0);
}

Canvas::Canvas(int width, int height, Rgb background, int scale)
    : width_(width * scale),
      height_(height * scale),
      scale_(scale),
      pixels_(std::size_t(width_) * std::size_t(height_), background) {}

void Canvas::fill(const Shape& shape, const Paint& paint, double opacity) {
  const double s = scale_;
  for (int y = 0; y < height_; ++y) {
    for (int x = 0; x < width_; ++x) {
      const double a = coverage(shape, x, y, scale_) * opacity;
      if (a > 0) at(x, y) = mix(at(x, y), paint((x + 0.5) / s, (y + 0.5) / s), a);
    }
  }
}

void Canvas::fill(const Shape& shape, Rgb colour, double opacity) { fill(shape, solid(colour), opacity); }

Canvas Canvas::crop(int x, int y, int width, int height) const {
  Canvas out(width, height, Rgb{}, scale_);
  const int x0 = x * scale_, y0 = y * scale_;
  for (int j = 0; j < out.height(); ++j)
    for (int i = 0; i < out.width(); ++i) out.at(i, j) = at(x0 + i, y0 + j);
  return out;
}

void Canvas::paste(const Canvas& from, int x, int y) {
  const int x0 = x * scale_, y0 = y * scale_;
  for (int j = 0; j < from.height(); ++j)
    for (int i = 0; i < from.width(); ++i) at(x0 + i, y0 + j) = from.at(i, j);
}

namespace {

std::uint8_t channel(double v) { return std::uint8_t(std::floor(std::clamp(v, 0.0, 255.0) + 0.5)); }

}  // namespace

Bitmap toBitmap(const Canvas& canvas, const std::function<bool(int x, int y)>& opaque) {
  Bitmap out;
  out.width = canvas.width();
  out.height = canvas.height();
  out.rgb.reserve(std::size_t(out.width) * std::size_t(out.height) * 3);
  for (int y = 0; y < out.height; ++y) {
    for (int x = 0; x < out.width; ++x) {
      std::uint8_t r = 255, g = 0, b = 255;
      if (opaque(x, y)) {
        const Rgb& c = canvas.at(x, y);
        r = channel(c.r);
        g = channel(c.g);
        b = channel(c.b);
        if (r == 255 && g == 0 && b == 255) g = 1;
      }
      out.rgb.insert(out.rgb.end(), {r, g, b});
    }
  }
  return out;
}

Bitmap toBitmap(const Canvas& canvas) {
  return toBitmap(canvas, [](int, int) { return true; });
}

}  // namespace ornivox::pictures
