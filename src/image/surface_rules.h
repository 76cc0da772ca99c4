// What bitmap surfaces need that is not Win32: row strides, the size of the bitmap-info
// block, and the linking of the process-wide list of live surfaces (newest first).
#pragma once

#include <cstddef>
#include <cstdint>

constexpr std::size_t kInfoHeaderSize = 40;
constexpr int kPaletteEntries = 256;

// Bytes per row: (3 x width + 3) / 4 x 4 for 24 bits, (width + 3) / 4 x 4 for 8 bits, with
// signed division as the record keeps it. 64-bit so that no int width overflows here.
std::int64_t SurfaceStride(std::int64_t width, int eight_bit);

// The header, followed by 256 palette entries of 4 bytes for an 8-bit surface.
std::size_t SurfaceInfoSize(int eight_bit);

// Puts a node at the newest end. Node has `newer` and `older` pointers.
template <typename Node>
void LinkNewestSurface(Node*& newest, Node* node) {
  node->older = newest;
  node->newer = nullptr;
  if (newest) newest->newer = node;
  newest = node;
}

// Takes a node out, joining its neighbours; the newest one moves the head.
template <typename Node>
void UnlinkSurface(Node*& newest, Node* node) {
  if (node->newer) {
    node->newer->older = node->older;
  } else {
    newest = node->older;
  }
  if (node->older) node->older->newer = node->newer;
  node->newer = node->older = nullptr;
}
