#include "image/surface_rules.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(SurfaceRules, Strides) {
  struct Row {
    std::int64_t width;
    int eight_bit;
    std::int64_t stride;
  };
  const Row rows[] = {
      {1, 0, 4},   {2, 0, 8},    {3, 0, 12},    {4, 0, 12},     {5, 0, 16},  {640, 0, 1920},
      {641, 0, 1924}, {1, 1, 4}, {8, 1, 8},     {9, 1, 12},     {640, 1, 640}, {0, 0, 0},
      // Signed division, as the record keeps it; such requests get no bitmap section.
      {-1, 0, 0}, {-5, 0, -12}, {-9, 1, -4},
      // No overflow for the widest int.
      {2147483647, 0, 6442450944}};
  for (const Row& row : rows) {
    EXPECT_EQ(SurfaceStride(row.width, row.eight_bit), row.stride)
        << row.width << (row.eight_bit ? " 8-bit" : " 24-bit");
  }
  EXPECT_EQ(SurfaceInfoSize(0), 40u);
  EXPECT_EQ(SurfaceInfoSize(1), 1064u);
}

struct Node {
  int id;
  Node* newer = nullptr;
  Node* older = nullptr;
};

// The list read from the newest end, checking the back links on the way.
std::vector<int> Walk(Node* newest) {
  std::vector<int> ids;
  Node* expected_newer = nullptr;
  for (Node* n = newest; n; n = n->older) {
    EXPECT_EQ(n->newer, expected_newer) << "back link of " << n->id;
    ids.push_back(n->id);
    expected_newer = n;
  }
  return ids;
}

TEST(SurfaceRules, ListLinking) {
  Node a{1}, b{2}, c{3}, d{4};
  Node* newest = nullptr;
  for (Node* n : {&a, &b, &c, &d}) LinkNewestSurface(newest, n);
  EXPECT_EQ(Walk(newest), (std::vector<int>{4, 3, 2, 1}));

  UnlinkSurface(newest, &d);  // newest: the next older one becomes the head
  EXPECT_EQ(Walk(newest), (std::vector<int>{3, 2, 1}));
  UnlinkSurface(newest, &b);  // middle: neighbours joined
  EXPECT_EQ(Walk(newest), (std::vector<int>{3, 1}));
  UnlinkSurface(newest, &a);  // oldest
  EXPECT_EQ(Walk(newest), (std::vector<int>{3}));
  UnlinkSurface(newest, &c);  // alone: the list empties
  EXPECT_EQ(newest, nullptr);

  LinkNewestSurface(newest, &b);  // a released node can be linked again
  EXPECT_EQ(Walk(newest), (std::vector<int>{2}));
}

}  // namespace
