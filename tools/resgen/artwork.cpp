#include "resgen/artwork.h"

#include <cmath>

#include "resgen/icon_writer.h"
#include "resgen/rle8.h"

namespace resgen {

namespace {

enum Colour : std::uint8_t {
  kBlack = 0, kMaroon, kGreen, kOlive, kNavy, kPurple, kTeal, kSilver,
  kGrey, kRed, kLime, kYellow, kBlue, kFuchsia, kAqua, kWhite,
};

const double kPi = std::acos(-1.0);

Point Rotated(Point centre, double angle, double x, double y) {
  const double c = std::cos(angle), s = std::sin(angle);
  return {centre.x + x * c - y * s, centre.y + x * s + y * c};
}

std::vector<Point> Wedge(Point centre, double radius, double angle, double half_width) {
  std::vector<Point> points{centre};
  constexpr int kSteps = 6;
  for (int i = 0; i <= kSteps; ++i) {
    const double a = angle - half_width + 2 * half_width * i / kSteps;
    points.push_back({centre.x + radius * std::cos(a), centre.y + radius * std::sin(a)});
  }
  return points;
}

// A disc seen from above; the sheen turns with `angle`. `pixel` is one pixel in the
// caller's units, so the rims stay one pixel wide at every size.
void DrawDisc(Canvas& canvas, Point c, double radius, double angle, double pixel,
              std::uint8_t hole) {
  FillEllipse(canvas, c.x, c.y, radius, radius, kGrey);
  FillEllipse(canvas, c.x, c.y, radius - pixel, radius - pixel, kSilver);
  FillPolygon(canvas, Wedge(c, radius - pixel, angle, 0.35), kWhite);
  FillPolygon(canvas, Wedge(c, radius - pixel, angle + kPi, 0.35), kAqua);
  const double hub = radius * 0.38;
  FillEllipse(canvas, c.x, c.y, hub, hub, kGrey);
  FillEllipse(canvas, c.x, c.y, hub - pixel, hub - pixel, kSilver);
  FillEllipse(canvas, c.x, c.y, radius * 0.15, radius * 0.15, hole);
}

void DrawFolderBack(Canvas& canvas, double left, double top, double right, double bottom,
                    double tab_height, double pixel) {
  const double tab = (right - left) * 0.4;
  FillRect(canvas, left, top - tab_height, left + tab, top + pixel, kBlack);
  FillRect(canvas, left + pixel, top - tab_height + pixel, left + tab - pixel, top + pixel, kOlive);
  FillRect(canvas, left, top, right, bottom, kBlack);
  FillRect(canvas, left + pixel, top + pixel, right - pixel, bottom - pixel, kOlive);
}

void DrawFolderFront(Canvas& canvas, double left, double top, double right, double bottom,
                     double pixel) {
  FillRect(canvas, left, top, right, bottom, kBlack);
  FillRect(canvas, left + pixel, top + pixel, right - pixel, bottom - pixel, kYellow);
}

void DrawPage(Canvas& canvas, Point centre, double angle) {
  constexpr double kHalfWidth = 6.5, kHalfHeight = 8, kFold = 4;
  auto at = [&](double x, double y) { return Rotated(centre, angle, x, y); };
  const std::vector<Point> outline{at(-kHalfWidth, -kHalfHeight), at(kHalfWidth - kFold, -kHalfHeight),
                                   at(kHalfWidth, -kHalfHeight + kFold), at(kHalfWidth, kHalfHeight),
                                   at(-kHalfWidth, kHalfHeight)};
  FillPolygon(canvas, outline, kGrey);
  const std::vector<Point> inside{at(-kHalfWidth + 1, -kHalfHeight + 1),
                                  at(kHalfWidth - kFold - 0.5, -kHalfHeight + 1),
                                  at(kHalfWidth - 1, -kHalfHeight + kFold + 0.5),
                                  at(kHalfWidth - 1, kHalfHeight - 1),
                                  at(-kHalfWidth + 1, kHalfHeight - 1)};
  FillPolygon(canvas, inside, kWhite);
  FillPolygon(canvas, {at(kHalfWidth - kFold, -kHalfHeight), at(kHalfWidth - kFold, -kHalfHeight + kFold),
                       at(kHalfWidth, -kHalfHeight + kFold)},
              kSilver);
  for (int line = 0; line < 4; ++line) {
    const double y = -4 + 3 * line;
    const double right = line == 3 ? 0.5 : 3.5;
    DrawLine(canvas, at(-4, y), at(right, y), line == 0 ? kBlue : kNavy);
  }
}

// Where the page is at t in [0, 1]: an arc from the disc's rim into the folder.
Point PagePosition(double t) { return {40 + t * 194, 20 - 11 * std::sin(kPi * t)}; }

}  // namespace

const std::vector<std::uint32_t>& IconPalette() {
  static const std::vector<std::uint32_t> palette{
      0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
      0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
  return palette;
}

const std::vector<std::uint32_t>& AnimationPalette() {
  static const std::vector<std::uint32_t> palette = [] {
    std::vector<std::uint32_t> colours = IconPalette();
    colours.push_back(0xF0F0F0);  // kCopyBackground
    return colours;
  }();
  return palette;
}

Canvas DrawCopyFrame(int frame) {
  Canvas canvas = MakeCanvas(kCopyFrameWidth, kCopyFrameHeight, kCopyBackground);
  // One turn of the disc per loop, so the last frame leads smoothly into the first.
  const double turn = 2 * kPi * frame / kCopyFrameCount;
  DrawDisc(canvas, {22, 20}, 17, turn - kPi / 4, 1, kCopyBackground);
  DrawFolderBack(canvas, 212, 12, 256, 36, 4, 1);

  const double t = static_cast<double>(frame) / (kCopyFrameCount - 1);
  for (int dot = 1; dot <= 3; ++dot) {
    const double earlier = t - 0.05 * dot;
    if (earlier < 0) break;
    const Point p = PagePosition(earlier);
    FillRect(canvas, p.x - 1, p.y - 1, p.x + 1, p.y + 1, dot == 1 ? kGrey : kSilver);
  }
  DrawPage(canvas, PagePosition(t), -0.35 * std::sin(2 * kPi * t));
  DrawFolderFront(canvas, 210, 19, 256, 37, 1);
  return canvas;
}

RleVideo BuildCopyAnimation() {
  RleVideo video;
  video.width = kCopyFrameWidth;
  video.height = kCopyFrameHeight;
  video.micro_seconds_per_frame = kCopyFrameMicroSeconds;
  video.palette = AnimationPalette();
  for (int i = 0; i < kCopyFrameCount; ++i) {
    const Canvas frame = DrawCopyFrame(i);
    std::vector<std::uint8_t> bottom_up;
    for (int y = frame.height - 1; y >= 0; --y) {
      const auto row = frame.pixels.begin() + static_cast<std::ptrdiff_t>(y) * frame.width;
      bottom_up.insert(bottom_up.end(), row, row + frame.width);
    }
    video.frames.push_back(EncodeRle8(bottom_up.data(), frame.width, frame.height));
  }
  return video;
}

Canvas DrawProgramIcon(int size) {
  Canvas canvas = MakeCanvas(size, size, kIconTransparent);
  const double s = size / 32.0;  // the design is 32 units square; rims stay one pixel wide
  DrawDisc(canvas, {11.5 * s, 11.5 * s}, 11 * s, -kPi / 4, 1, kIconTransparent);
  DrawFolderBack(canvas, 15 * s, 18 * s, 31 * s, 30 * s, 4 * s, 1);
  DrawFolderFront(canvas, 13 * s, 22 * s, 31 * s, 31 * s, 1);
  return canvas;
}

std::vector<std::uint8_t> BuildProgramIcon() {
  return BuildIcon({DrawProgramIcon(32), DrawProgramIcon(16)}, IconPalette());
}

}  // namespace resgen
