#include "ui/geometry.h"

#include <gtest/gtest.h>

namespace norvane {
namespace {

TEST(MulDiv, RoundsHalfAwayFromZeroAndReportsOverflow) {
  struct Case {
    int a, b, c, want;
  };
  const Case cases[] = {
      {14, 115, 96, 17},       // 16.77
      {12, 115, 96, 14},       // 14.375
      {3, 1, 2, 2},            // 1.5 rounds up
      {-3, 1, 2, -2},          // -1.5 rounds away from zero
      {3, -1, -2, 2},          // negative divisor
      {5, 7, 0, -1},           // division by zero
      {2147483647, 2, 1, -1},  // does not fit
      {990, 144, 96, 1485},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(mul_div(c.a, c.b, c.c), c.want) << c.a << "*" << c.b << "/" << c.c;
  }
}

TEST(Geometry, ScalingAndRectangles) {
  // S(v) at the usual DPIs; 0 or less counts as 96.
  EXPECT_EQ(scale_px(8, 144), 12);
  EXPECT_EQ(scale_px(3, 120), 4);  // 3.75
  EXPECT_EQ(scale_px(2, 48), 1);
  EXPECT_EQ(scale_px(25, 0), 25);
  EXPECT_EQ(scale_px(25, -120), 25);
  // A rectangle holds its left and top edges, not its right and bottom.
  const Rect r{10, 20, 30, 40};
  EXPECT_EQ(r.right(), 40);
  EXPECT_EQ(r.bottom(), 60);
  EXPECT_TRUE(r.contains(10, 20));
  EXPECT_TRUE(r.contains(39, 59));
  EXPECT_FALSE(r.contains(40, 30));
  EXPECT_FALSE(r.contains(20, 60));
  EXPECT_FALSE(r.empty());
  EXPECT_TRUE((Rect{0, 0, 0, 5}).empty());
  EXPECT_TRUE((Rect{0, 0, 5, -1}).empty());
}

}  // namespace
}  // namespace norvane
