// Bitmap surfaces: a device-independent bitmap section with its info block and a direct
// pointer to its pixels, so decoders write into it and windows paint it unconverted.
// Every live surface sits in one process-wide list.
#pragma once

#include <windows.h>

#include <cstdint>

struct Surface {
  std::int32_t width;      // as requested
  std::int32_t height;     // absolute value of the request
  std::int32_t stride;     // bytes per row, a multiple of 4 for positive widths
  std::int32_t keep;       // non-zero: an unforced release is refused
  std::int32_t eight_bit;  // non-zero: 8 bits with a 256-entry palette, else 24 bits
  BITMAPINFO* info;        // owned; handed to the system and to painting
  RGBQUAD* palette;        // inside `info` for 8-bit surfaces, else null
  unsigned char* pixels;   // the section's memory; null when no section could be made
  HBITMAP bitmap;          // owned
  Surface* newer;          // next surface created after this one still alive
  Surface* older;          // the one created just before, still alive
};

// A positive height gives a top-down bitmap (first row in memory is the top row), a
// negative one a bottom-up bitmap. Null when the allocator has no memory for the record
// or the info block (it has shown its box); a section the system refuses leaves `bitmap`
// and `pixels` null.
Surface* CreateSurface(int width, int height, int eight_bit, int keep);
Surface* CreateSurface24(int width, int height, int keep);

// 0 when released (or null), 1 when refused: keep flag set and force 0.
int ReleaseSurface(Surface* surface, int force);

// The newest live surface, null when there is none.
Surface* NewestSurface();
