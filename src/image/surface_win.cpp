#include "image/surface_win.h"

#include <climits>
#include <cstdlib>
#include <cstring>

#include "common/message_win.h"
#include "image/surface_rules.h"

namespace {

Surface* g_newest = nullptr;

void* AllocateCleared(std::size_t size) {
  void* block = Allocate(size);
  if (block) std::memset(block, 0, size);
  return block;
}

}  // namespace

Surface* CreateSurface(int width, int height, int eight_bit, int keep) {
  Surface* surface = static_cast<Surface*>(AllocateCleared(sizeof(Surface)));
  if (!surface) return nullptr;
  const std::int64_t magnitude = height < 0 ? -std::int64_t{height} : height;
  const std::int64_t stride = SurfaceStride(width, eight_bit);
  surface->width = width;
  surface->height = magnitude > INT_MAX ? INT_MAX : static_cast<std::int32_t>(magnitude);
  surface->stride = static_cast<std::int32_t>(stride < INT_MIN ? INT_MIN : stride > INT_MAX ? INT_MAX : stride);
  surface->keep = keep;
  surface->eight_bit = eight_bit;

  surface->info = static_cast<BITMAPINFO*>(AllocateCleared(SurfaceInfoSize(eight_bit)));
  if (!surface->info) {
    std::free(surface);
    return nullptr;
  }
  BITMAPINFOHEADER& header = surface->info->bmiHeader;
  if (eight_bit) {
    surface->palette = surface->info->bmiColors;
    header.biClrUsed = kPaletteEntries;
  }
  header.biSize = kInfoHeaderSize;
  header.biWidth = width;
  header.biHeight = height == INT_MIN ? INT_MAX : -height;  // positive request: top-down
  header.biPlanes = 1;
  header.biBitCount = eight_bit ? 8 : 24;

  // A row size that no 32-bit stride can describe gets no section at all.
  if (stride > 0 && stride <= INT_MAX) {
    HDC dc = CreateCompatibleDC(nullptr);
    void* bits = nullptr;
    surface->bitmap = CreateDIBSection(dc, surface->info, DIB_RGB_COLORS, &bits, nullptr, 0);
    surface->pixels = surface->bitmap ? static_cast<unsigned char*>(bits) : nullptr;
    if (dc) DeleteDC(dc);
  }

  LinkNewestSurface(g_newest, surface);
  return surface;
}

Surface* CreateSurface24(int width, int height, int keep) {
  return CreateSurface(width, height, 0, keep);
}

int ReleaseSurface(Surface* surface, int force) {
  if (!surface) return 0;
  if (!force && surface->keep) return 1;
  UnlinkSurface(g_newest, surface);
  if (surface->bitmap) DeleteObject(surface->bitmap);
  std::free(surface->info);
  std::free(surface);
  return 0;
}

Surface* NewestSurface() { return g_newest; }
