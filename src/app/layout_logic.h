// Scaling and placement of the main window's controls, kept free of the
// window system so that the arithmetic can be checked on any platform.
#pragma once

#include <array>

#include "ui/geometry.h"

namespace norvane {

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
Size minimum_window_size(int base_dpi) noexcept;

}  // namespace norvane
