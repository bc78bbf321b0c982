// Pixel geometry shared by the window's layout and the dark theme: the
// system's MulDiv rule, DPI scaling, points, rectangles and sizes, kept
// free of the window system so that the arithmetic can be checked on any
// platform.
#pragma once

namespace norvane {

// a * b / c rounded half away from zero, -1 when c is 0 or the result does
// not fit; the same contract as the Win32 MulDiv.
int mul_div(int a, int b, int c) noexcept;

// S(v): a 96-DPI pixel size at the given DPI (0 or less counts as 96).
int scale_px(int value, int dpi) noexcept;

struct Point {
  int x = 0;
  int y = 0;
  friend constexpr bool operator==(const Point&, const Point&) = default;
};

struct Rect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  int right() const noexcept { return x + width; }
  int bottom() const noexcept { return y + height; }
  bool empty() const noexcept { return width <= 0 || height <= 0; }
  bool contains(int px, int py) const noexcept {
    return px >= x && px < right() && py >= y && py < bottom();
  }
  friend bool operator==(const Rect&, const Rect&) = default;
};

struct Size {
  int width = 0;
  int height = 0;
  friend bool operator==(const Size&, const Size&) = default;
};

}  // namespace norvane
