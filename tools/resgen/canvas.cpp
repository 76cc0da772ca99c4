#include "resgen/canvas.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace resgen {

Canvas MakeCanvas(int width, int height, std::uint8_t fill) {
  Canvas canvas;
  canvas.width = width;
  canvas.height = height;
  canvas.pixels.assign(static_cast<std::size_t>(width) * height, fill);
  return canvas;
}

std::uint8_t PixelAt(const Canvas& canvas, int x, int y) {
  return canvas.pixels[static_cast<std::size_t>(y) * canvas.width + x];
}

void SetPixel(Canvas& canvas, int x, int y, std::uint8_t colour) {
  if (x < 0 || y < 0 || x >= canvas.width || y >= canvas.height) return;
  canvas.pixels[static_cast<std::size_t>(y) * canvas.width + x] = colour;
}

namespace {

// Paints every pixel of the box whose centre satisfies inside().
template <typename Inside>
void FillWhere(Canvas& canvas, double left, double top, double right, double bottom,
               Inside inside, std::uint8_t colour) {
  const int x0 = std::max(0, static_cast<int>(std::floor(left)));
  const int y0 = std::max(0, static_cast<int>(std::floor(top)));
  const int x1 = std::min(canvas.width - 1, static_cast<int>(std::ceil(right)));
  const int y1 = std::min(canvas.height - 1, static_cast<int>(std::ceil(bottom)));
  for (int y = y0; y <= y1; ++y) {
    for (int x = x0; x <= x1; ++x) {
      if (inside(x + 0.5, y + 0.5)) SetPixel(canvas, x, y, colour);
    }
  }
}

}  // namespace

void FillRect(Canvas& canvas, double left, double top, double right, double bottom,
              std::uint8_t colour) {
  FillWhere(
      canvas, left, top, right, bottom,
      [&](double x, double y) { return x >= left && x < right && y >= top && y < bottom; },
      colour);
}

void FillEllipse(Canvas& canvas, double cx, double cy, double rx, double ry, std::uint8_t colour) {
  if (rx <= 0 || ry <= 0) return;
  FillWhere(
      canvas, cx - rx, cy - ry, cx + rx, cy + ry,
      [&](double x, double y) {
        const double dx = (x - cx) / rx;
        const double dy = (y - cy) / ry;
        return dx * dx + dy * dy <= 1.0;
      },
      colour);
}

void FillPolygon(Canvas& canvas, const std::vector<Point>& points, std::uint8_t colour) {
  if (points.size() < 3) return;
  double left = points[0].x, right = left, top = points[0].y, bottom = top;
  for (const Point& p : points) {
    left = std::min(left, p.x);
    right = std::max(right, p.x);
    top = std::min(top, p.y);
    bottom = std::max(bottom, p.y);
  }
  FillWhere(
      canvas, left, top, right, bottom,
      [&](double x, double y) {
        bool inside = false;
        for (std::size_t i = 0, j = points.size() - 1; i < points.size(); j = i++) {
          const Point& a = points[i];
          const Point& b = points[j];
          if ((a.y > y) != (b.y > y) && x < (b.x - a.x) * (y - a.y) / (b.y - a.y) + a.x) {
            inside = !inside;
          }
        }
        return inside;
      },
      colour);
}

void DrawLine(Canvas& canvas, Point from, Point to, std::uint8_t colour) {
  int x0 = static_cast<int>(std::floor(from.x));
  int y0 = static_cast<int>(std::floor(from.y));
  const int x1 = static_cast<int>(std::floor(to.x));
  const int y1 = static_cast<int>(std::floor(to.y));
  const int dx = std::abs(x1 - x0), sx = x0 < x1 ? 1 : -1;
  const int dy = -std::abs(y1 - y0), sy = y0 < y1 ? 1 : -1;
  int error = dx + dy;
  for (;;) {
    SetPixel(canvas, x0, y0, colour);
    if (x0 == x1 && y0 == y1) break;
    const int twice = 2 * error;
    if (twice >= dy) {
      error += dy;
      x0 += sx;
    }
    if (twice <= dx) {
      error += dx;
      y0 += sy;
    }
  }
}

}  // namespace resgen
