#include "app/layout_logic.h"

#include <algorithm>

namespace norvane {

LayoutResult compute_layout(const LayoutInput& in) noexcept {
  const auto s = [&](int v) { return scale_px(v, in.dpi); };
  LayoutResult out;
  const int cw = in.client_width;
  const int ch = in.client_height;
  const int margin = s(12);
  const int gap = s(8);
  const int content = std::max(cw - 2 * margin, 0);
  const int small_gap = std::min(gap, content);
  out.content_width = content;

  // The two buttons share one width budget in the ratio 124:150.
  const int buttons = std::min(s(124) + s(150), content - small_gap);
  const int search_width = mul_div(buttons, 124, 274);
  const int update_width = buttons - search_width;
  const int row_height = in.combo_height > 0 ? in.combo_height : s(28);
  const int label_width = s(106);

  out.one_row = content >= label_width + s(140) + buttons + small_gap + gap;

  out.label = {margin, margin, label_width, row_height};
  const int combo_width =
      std::max(content - label_width - (out.one_row ? buttons + small_gap + gap : 0), 0);
  out.combo = {margin + label_width, margin, combo_width, s(260)};

  const int button_y = out.one_row ? margin : margin + row_height + gap;
  out.search_button = {margin + content - buttons - small_gap, button_y, search_width, row_height};
  out.update_button = {margin + content - update_width, button_y, update_width, row_height};

  const int tab_width = std::min(s(117), content);
  int pitch = tab_width + gap;
  if (pitch < 2) pitch = 1;
  const int per_row = std::clamp((content + gap) / pitch, 1, kFilterTabCount);
  out.tabs_per_row = per_row;
  const int tabs_y = button_y + row_height + gap;
  for (int i = 0; i < kFilterTabCount; ++i) {
    out.tabs[static_cast<std::size_t>(i)] = {margin + (i % per_row) * (tab_width + gap),
                                             tabs_y + (i / per_row) * (row_height + gap), tab_width,
                                             row_height};
  }
  const int tab_rows = (kFilterTabCount + per_row - 1) / per_row;

  const int progress_y = tabs_y + tab_rows * (row_height + gap);
  out.progress = {margin, progress_y, content, s(11)};
  const int list_y = in.progress_shown ? progress_y + s(11) + gap : progress_y;

  if (!in.maximized) {
    const int grip = s(20);
    const int gx = std::max(cw - grip, 0);
    const int gy = std::max(ch - grip, 0);
    out.grip = {gx, gy, cw - gx, ch - gy};
  }

  const int band_height = s(24);
  const int band_top = std::max(ch - band_height - margin, 0);
  int band_right = cw - margin;
  if (!out.grip.empty()) band_right = std::min(band_right, out.grip.x - s(4));
  band_right = std::max(band_right, margin);
  out.status_band = {margin, band_top, band_right - margin, band_height};

  out.list = {margin, list_y, content, std::max(band_top - s(4) - list_y, 0)};
  return out;
}

int zoom_step_for_key(unsigned virtual_key, unsigned plus_key, unsigned minus_key) noexcept {
  constexpr unsigned kAdd = 0x6B;
  constexpr unsigned kOemPlus = 0xBB;
  constexpr unsigned kSubtract = 0x6D;
  constexpr unsigned kOemMinus = 0xBD;
  if (virtual_key == 0) return 0;
  if (virtual_key == kAdd || virtual_key == kOemPlus || virtual_key == plus_key) return kZoomStep;
  if (virtual_key == kSubtract || virtual_key == kOemMinus || virtual_key == minus_key) {
    return -kZoomStep;
  }
  return 0;
}

int next_zoom(int zoom, int step) noexcept {
  int z = zoom + step;
  if (z < kZoomMin + 1) z = kZoomMin;
  if (z >= kZoomMax) z = kZoomMax;
  return z;
}

Size minimum_window_size(int base_dpi) noexcept {
  return {mul_div(580, base_dpi, 96), mul_div(300, base_dpi, 96)};
}

}  // namespace norvane
