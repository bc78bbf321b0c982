// Scaling and placement of the main window's controls, kept free of the
// window system so that the arithmetic can be checked on any platform.
#pragma once

#include <array>
#include <cstdint>

namespace norvane {

// a * b / c rounded half away from zero, -1 when c is 0 or the result does
// not fit; the same contract as the Win32 MulDiv.
int mul_div(int a, int b, int c) noexcept;

// S(v): a 96-DPI pixel size at the given DPI (0 or less counts as 96).
int scale_px(int value, int dpi) noexcept;

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

inline constexpr int kFilterTabCount = 7;

struct LayoutInput {
  int client_width = 0;
  int client_height = 0;
  int dpi = 96;          // effective DPI (window DPI times zoom)
  int combo_height = 0;  // current height of the closed combo box, 0 if unknown
  bool progress_shown = false;
  bool maximized = false;
};

struct LayoutResult {
  int content_width = 0;  // client width less both margins
  bool one_row = true;    // selector and buttons share the first row
  int tabs_per_row = 7;
  Rect label;
  Rect combo;  // height includes the dropped list
  Rect search_button;
  Rect update_button;
  std::array<Rect, kFilterTabCount> tabs{};
  Rect progress;
  Rect list;
  Rect grip;         // empty when maximized
  Rect status_band;  // the three status texts share it
};

LayoutResult compute_layout(const LayoutInput& in) noexcept;

// Zoom percent limits and step.
inline constexpr int kZoomMin = 70;
inline constexpr int kZoomMax = 180;
inline constexpr int kZoomStep = 10;

// +10, -10 or 0 for a virtual key pressed with Ctrl (and without Alt).
// plus_key and minus_key are the keys that type "+" and "-" on the current
// keyboard layout (0 when the layout has none).
int zoom_step_for_key(unsigned virtual_key, unsigned plus_key, unsigned minus_key) noexcept;

// The zoom after a step, clamped to 70..180.
int next_zoom(int zoom, int step) noexcept;

// Minimum tracking size of the main window at the creation DPI.
struct Size {
  int width = 0;
  int height = 0;
  friend bool operator==(const Size&, const Size&) = default;
};
Size minimum_window_size(int base_dpi) noexcept;

}  // namespace norvane
