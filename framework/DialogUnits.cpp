#include "framework/DialogUnits.h"

#include <cstdint>

namespace fw {

int MulDiv(int a, int b, int c) {
  if (c == 0) return -1;
  const std::int64_t product = static_cast<std::int64_t>(a) * b;
  const std::int64_t half = (c < 0 ? -c : c) / 2;
  const bool negative = (product < 0) != (c < 0);
  const std::int64_t magnitude = (product < 0 ? -product : product) + half;
  const std::int64_t quotient = magnitude / (c < 0 ? -c : c);
  return static_cast<int>(negative ? -quotient : quotient);
}

int AverageCharWidthFromExtent(int extentOf52Letters) {
  // Halving the width of 26 letters and rounding keeps the platform's own
  // arithmetic, which never goes through floating point.
  return (extentOf52Letters / 26 + 1) / 2;
}

int DialogUnitsToPixelsX(int dlu, const BaseUnits& units) {
  return MulDiv(dlu, units.averageCharWidth, 4);
}

int DialogUnitsToPixelsY(int dlu, const BaseUnits& units) {
  return MulDiv(dlu, units.charHeight, 8);
}

PixelRect DialogRectToPixels(const DialogRect& rect, const BaseUnits& units) {
  return {DialogUnitsToPixelsX(rect.x, units), DialogUnitsToPixelsY(rect.y, units),
          DialogUnitsToPixelsX(rect.cx, units), DialogUnitsToPixelsY(rect.cy, units)};
}

}  // namespace fw
