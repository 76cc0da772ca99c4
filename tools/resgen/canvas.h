// An 8-bit indexed picture with the few filled shapes the artwork needs.
#pragma once

#include <cstdint>
#include <vector>

namespace resgen {

struct Point {
  double x;
  double y;
};

// Rows run top to bottom; a pixel is covered by a shape when its centre lies inside it.
struct Canvas {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> pixels;
};

Canvas MakeCanvas(int width, int height, std::uint8_t fill);
std::uint8_t PixelAt(const Canvas& canvas, int x, int y);
void SetPixel(Canvas& canvas, int x, int y, std::uint8_t colour);  // clipped
void FillRect(Canvas& canvas, double left, double top, double right, double bottom,
              std::uint8_t colour);
void FillEllipse(Canvas& canvas, double cx, double cy, double rx, double ry, std::uint8_t colour);
// Even-odd rule, so any simple polygon works whatever its winding.
void FillPolygon(Canvas& canvas, const std::vector<Point>& points, std::uint8_t colour);
void DrawLine(Canvas& canvas, Point from, Point to, std::uint8_t colour);

}  // namespace resgen
