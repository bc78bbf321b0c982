#include "ui/geometry.h"

#include <cstdint>

namespace norvane {

int mul_div(int a, int b, int c) noexcept {
  if (c == 0) return -1;
  std::int64_t multiplicand = a;
  std::int64_t divisor = c;
  if (divisor < 0) {
    multiplicand = -multiplicand;
    divisor = -divisor;
  }
  const std::int64_t product = multiplicand * b;
  // Rounds half away from zero, as the system's MulDiv does, so that sizes
  // computed here match those computed by the controls themselves.
  const std::int64_t result =
      product >= 0 ? (product + divisor / 2) / divisor : (product - divisor / 2) / divisor;
  if (result > 2147483647 || result < -2147483647) return -1;
  return static_cast<int>(result);
}

int scale_px(int value, int dpi) noexcept { return mul_div(value, dpi > 0 ? dpi : 96, 96); }

}  // namespace norvane
