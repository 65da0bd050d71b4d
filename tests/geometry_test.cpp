// Geometry and text extents that construction derives text ends and dimension lines from.
#include <gtest/gtest.h>

#include <cmath>

#include "common/Func_2.h"

using namespace jww;

namespace {
// Degrees go through pi cut after 14 decimals, so turned points land within ~1e-14 of the exact
// value; 1e-12 leaves room for the coordinates used here.
constexpr double kTol = 1e-12;
}  // namespace

TEST(Geometry, RotateAngleDistance) {
  double x, y;
  RotatePoint(1, 0, 0, 0, 90, x, y);
  EXPECT_NEAR(x, 0, kTol);
  EXPECT_NEAR(y, 1, kTol);
  RotatePoint(3.25, -7, 1, 1, 0, x, y);
  EXPECT_EQ(x, 3.25);
  EXPECT_EQ(y, -7);
  RotatePoint(4, 5, 4, 5, 33, x, y);  // the centre itself, exactly
  EXPECT_EQ(x, 4);
  EXPECT_EQ(y, 5);
  // The degree factor is the 14-decimal one, not full-precision pi / 180.
  RotatePoint(1, 0, 0, 0, 180, x, y);
  EXPECT_EQ(y, std::sin(180 * (3.14159265358979 / 180)));

  struct Case {
    double dx, dy, want;
  } angles[] = {{0, -1, 3 * M_PI / 2}, {-1, 0, M_PI}, {1, 0, 0}, {5e-15, -5e-15, 0}, {0, 1e-13, M_PI / 2}, {-1, -1e-300, M_PI}};
  for (const Case& c : angles) {
    SCOPED_TRACE(testing::Message() << c.dx << "," << c.dy);
    const double a = VectorAngle(c.dx, c.dy);
    EXPECT_NEAR(a, c.want, 1e-15);
    EXPECT_GE(a, 0);
    EXPECT_LE(a, 2 * M_PI);
  }
  EXPECT_EQ(PointDistance(1, 1, 4, 5), 5);
}

TEST(Geometry, TextBasePoints) {
  struct Case {
    int c1, c2;
    double x, y, w, h, a, wantX, wantY;
  } cases[] = {
      {4, 0, 5, 2, 10, 4, 0, 0, 0},     // centre to start
      {4, 0, 5, 2, 10, 4, 90, 7, -3},   // turned a quarter
      {0, 2, 0, 0, 10, 4, 90, 0, 10},   // start to lower right
      {9, 9, 3, 4, 10, 4, 0, 3, 4},     // same code: the point as given
      {9, 2, 1, 1, 10, 4, 0, 11, 1},    // a code outside 0..8 acts as 0
      {-1, 8, 0, 0, 10, 4, 0, 10, 4},
      {8, 0, 10, 4, 10, 4, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.c1 << "->" << c.c2 << " a=" << c.a);
    double x, y;
    if (c.c2 == 0) TextStartPoint(c.c1, c.x, c.y, c.w, c.h, c.a, x, y);
    else TextAnchorConvert(c.c1, c.c2, c.x, c.y, c.w, c.h, c.a, x, y);
    EXPECT_NEAR(x, c.wantX, kTol);
    EXPECT_NEAR(y, c.wantY, kTol);
  }
}

TEST(Geometry, TextExtents) {
  struct Case {
    std::u16string s;
    double extent, fixed;
  } cases[] = {
      {u"", 0, 0},
      {u"AB", 3.5, 7},
      {u"\u3042\u3044", 7, 7},
      {u"A\u3042", 5, 7},
      {u"\t", 0, 3},
      {u"\tA", 2.5, 7},
      {u"\uFF76", 1.5, 3},   // half-width katakana
      {u"\uFFA0", 3, 3},     // just past them: full
      {u"\u007F", 3, 3},     // DEL is not printable ASCII: full
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.s.size() << " units, first " << (c.s.empty() ? 0 : int(c.s[0])));
    EXPECT_DOUBLE_EQ(TextExtent(c.s, 3, 1), c.extent);
    EXPECT_DOUBLE_EQ(TextExtentFixed(c.s, 3, 1), c.fixed);
  }
  EXPECT_TRUE(IsHalfWidthChar(u" "));
  EXPECT_TRUE(IsHalfWidthChar(u"~"));
  EXPECT_TRUE(IsHalfWidthChar(u"\uFF9F"));
  EXPECT_FALSE(IsHalfWidthChar(u"\u001F"));
  EXPECT_FALSE(IsHalfWidthChar(u"\uFF60"));
  EXPECT_FALSE(IsHalfWidthChar(u""));
}
