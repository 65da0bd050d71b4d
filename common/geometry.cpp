// Geometry and text-extent routines used when entities are built: pure functions, no state.
#include <cmath>

#include "common/Func_2.h"

namespace jww {

namespace {

// Pi as drawings have always been built with: cut after 14 decimals.
constexpr double kDegToRad = 3.14159265358979 / 180;

void BaseColumnRow(int c, int& column, int& row) {
  if (c < 0 || c > 8) c = 0;
  column = c % 3;
  row = c / 3;
}

}  // namespace

void RotatePoint(double x, double y, double cx, double cy, double a, double& rx, double& ry) {
  const double t = a * kDegToRad;
  const double c = std::cos(t), s = std::sin(t);
  rx = cx + (x - cx) * c - (y - cy) * s;
  ry = cy + (x - cx) * s + (y - cy) * c;
}

double VectorAngle(double dx, double dy) {
  if (std::fabs(dx) < 1e-14 && std::fabs(dy) < 1e-14) return 0;
  double t = std::atan2(dy, dx);
  if (t < 0) t += 2 * M_PI;
  return t;
}

double PointDistance(double x1, double y1, double x2, double y2) {
  const double dx = x2 - x1, dy = y2 - y1;
  return std::sqrt(dx * dx + dy * dy);
}

void TextStartPoint(int c, double x, double y, double w, double h, double a, double& sx, double& sy) {
  int column, row;
  BaseColumnRow(c, column, row);
  RotatePoint(x - column * w / 2, y - row * h / 2, x, y, a, sx, sy);
}

void TextAnchorConvert(int c1, int c2, double x, double y, double w, double h, double a, double& px,
                       double& py) {
  if (c1 == c2) {
    px = x;
    py = y;
    return;
  }
  double sx, sy;
  TextStartPoint(c1, x, y, w, h, a, sx, sy);
  int column, row;
  BaseColumnRow(c2, column, row);
  double ox, oy;
  RotatePoint(column * w / 2, row * h / 2, 0, 0, a, ox, oy);
  px = sx + ox;
  py = sy + oy;
}

bool IsHalfWidthChar(std::u16string_view s) {
  if (s.empty()) return false;
  return (s >= u"\u0020" && s <= u"\u007E") || (s >= u"\uFF61" && s <= u"\uFF9F");
}

namespace {
bool HalfWidthUnit(char16_t c) { return (c >= 0x20 && c <= 0x7E) || (c >= 0xFF61 && c <= 0xFF9F); }
}  // namespace

double TextExtent(std::u16string_view s, double w, double d) {
  double len = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    if (i > 0) len += HalfWidthUnit(s[i - 1]) ? d / 2 : d;
    if (s[i] >= 0x20) len += HalfWidthUnit(s[i]) ? w / 2 : w;
  }
  return len;
}

double TextExtentFixed(std::u16string_view s, double w, double d) {
  if (s.empty()) return 0;
  const double n = static_cast<double>(s.size());
  return n * w + (n - 1) * d;
}

}  // namespace jww
