#include "ui/theme_logic.h"

#include <algorithm>

namespace norvane {

namespace {

// Index 0 is the default set (no accent); 1 to 6 follow the filter tabs'
// accents: Hikvision, Dahua, MikroTik, Ubiquiti, Espressif, IPv6.
constexpr std::array<RowColors, 7> kRowColors = {{
    {{29, 32, 37}, {33, 36, 42}, {48, 73, 102}, {48, 56, 68}, std::nullopt},
    {{31, 57, 47}, {35, 63, 53}, {48, 85, 71}, {42, 73, 63}, Rgb{114, 194, 151}},
    {{27, 53, 57}, {31, 60, 64}, {41, 78, 86}, {37, 68, 74}, Rgb{104, 199, 202}},
    {{60, 38, 46}, {67, 42, 50}, {94, 54, 68}, {77, 47, 60}, Rgb{217, 129, 152}},
    {{34, 45, 70}, {38, 51, 78}, {51, 68, 106}, {44, 59, 89}, Rgb{139, 162, 234}},
    {{57, 44, 31}, {63, 48, 33}, {86, 61, 36}, {73, 54, 35}, Rgb{222, 165, 103}},
    {{50, 39, 62}, {56, 43, 69}, {77, 57, 95}, {65, 49, 81}, Rgb{197, 155, 226}},
}};

}  // namespace

const RowColors& row_colors(int accent_index) noexcept {
  if (accent_index < 1 || accent_index > 6) return kRowColors[0];
  return kRowColors[static_cast<std::size_t>(accent_index)];
}

Rgb row_background(const RowColors& set, bool selected, bool list_focused, int row) noexcept {
  if (selected) return list_focused ? set.selected_focused : set.selected_unfocused;
  return (row & 1) == 0 ? set.even : set.odd;
}

Rgb row_text(bool selected, int column, RowMark mark) noexcept {
  const bool primary = selected || column == 0;
  switch (mark) {
    case RowMark::kAttention:
      return primary ? palette::kWarning : palette::kWarningSecondary;
    case RowMark::kGone:
      // On the selection colour the receding grey would be hard to read.
      return selected ? palette::kTextSecondary : palette::kTextGone;
    case RowMark::kNone:
      break;
  }
  return primary ? palette::kText : palette::kTextSecondary;
}

std::optional<Rgb> row_accent_bar(const RowColors& set, RowMark mark) noexcept {
  if (!set.accent || mark != RowMark::kGone) return set.accent;
  return blend(*set.accent, set.even);
}

FaceColors button_colors(bool enabled, bool hovered, bool pressed, bool focus_ring) noexcept {
  if (!enabled) return {palette::kControl, palette::kBorder, palette::kTextDisabled};
  FaceColors c;
  c.face = pressed ? palette::kPressed : (hovered ? palette::kControlHover : palette::kControl);
  c.border = focus_ring ? palette::kHighlight : palette::kBorder;
  c.text = palette::kText;
  return c;
}

ComboColors combo_colors(bool enabled, bool dropped, bool hovered, bool focused) noexcept {
  ComboColors c;
  c.face = (!enabled || (!dropped && !hovered)) ? palette::kControl : palette::kControlHover;
  if (focused) {
    c.border = enabled ? palette::kHighlight : palette::kBorder;
  } else {
    c.border = enabled && dropped ? palette::kHighlight : palette::kBorder;
  }
  c.text = enabled ? palette::kText : palette::kTextDisabled;
  c.arrow = enabled ? palette::kTextSecondary : palette::kTextDisabled;
  return c;
}

TabColors tab_colors(int accent_index, bool enabled, bool checked, bool hot,
                     bool focus_ring) noexcept {
  const RowColors& set = row_colors(accent_index);
  const Rgb accent = set.accent.value_or(palette::kAccentNeutral);
  const bool on = enabled && checked;
  TabColors c;
  if (on) {
    const Rgb base = set.accent ? set.selected_focused : palette::kSelectedInactive;
    c.face = hot ? blend(base, blend(base, accent)) : base;
    c.mark = accent;
    c.text = palette::kText;
  } else {
    c.face = enabled && hot ? palette::kControl : palette::kSurface;
    c.mark = blend(blend(accent, palette::kSurface), palette::kSurface);
    c.text = palette::kTextDisabled;
  }
  c.border = enabled && focus_ring ? palette::kHighlight : palette::kBorder;
  c.draw_check = checked;
  return c;
}

TabGeometry tab_geometry(const Rect& client, int dpi) noexcept {
  const auto s = [&](int v) { return scale_px(v, dpi); };
  TabGeometry g;
  g.mark_bar = {client.x + 1, client.y + 1, s(3), client.height - 2};
  const int box = s(11);
  const int middle = client.y + client.height / 2;
  g.check_box = {client.x + s(10), middle - box / 2, box, box};
  g.check_mark = {{{g.check_box.x + s(2), middle},
                   {g.check_box.x + s(4), middle + s(2)},
                   {g.check_box.right() - s(2), middle - s(2)}}};
  g.text_left = g.check_box.right() + s(6);
  g.text_right = client.right() - s(7);
  return g;
}

std::array<Point, 3> chevron_points(int x, int y, int size, bool up) noexcept {
  const int half = size / 2;
  const int dy = up ? -half : half;
  return {{{x - size, y - dy}, {x, y + dy}, {x + size, y - dy}}};
}

GripDots grip_dots(const Rect& grip, int dpi) noexcept {
  GripDots out;
  const int s2 = scale_px(2, dpi);
  const int dot = s2 < 2 ? 1 : s2;
  const int step = scale_px(4, dpi);
  const int inset = scale_px(3, dpi);
  for (int row = 0; row < 3; ++row) {
    const int bottom = grip.bottom() - inset - step * (2 - row);
    for (int i = 0; i <= row; ++i) {
      const int right = grip.right() - inset - step * i;
      const Rect r{right - dot, bottom - dot, dot, dot};
      if (r.x >= grip.x && r.y >= grip.y) out.dots[static_cast<std::size_t>(out.count++)] = r;
    }
  }
  return out;
}

ProgressUpdate apply_progress(ProgressState& state, int position, bool visible) noexcept {
  const int clamped = position < 0 ? -1 : std::min(position, 100);
  ProgressUpdate u;
  if (clamped == state.position && visible == state.visible) return u;
  const bool was = state.animating();
  state.position = clamped;
  state.visible = visible;
  const bool now = state.animating();
  u.changed = true;
  u.start_timer = !was && now;
  u.stop_timer = was && !now;
  u.native_position = clamped < 0 ? 0 : clamped;
  return u;
}

Rect progress_inner(const Rect& client, int dpi) noexcept {
  const int inset = std::max(scale_px(1, dpi), 1);
  Rect r{client.x + inset, client.y + inset, client.width - 2 * inset, client.height - 2 * inset};
  if (r.width <= 0 || r.height <= 0) return Rect{};
  return r;
}

Span progress_fill(int inner_width, int position, std::uint64_t tick_ms) noexcept {
  if (inner_width <= 0) return {};
  if (position >= 0) return {0, mul_div(inner_width, std::min(position, 100), 100)};
  const int segment = std::max(inner_width / 3, 1);
  const int phase = static_cast<int>(tick_ms % kProgressPassMs);
  const int c = mul_div(segment + inner_width, phase, static_cast<int>(kProgressPassMs));
  return {std::max(c - segment, 0), std::min(c, inner_width)};
}

bool TabClick::press(Button button, bool left_down, bool captured, bool inside) noexcept {
  if (left_down || pending_release_ != 0 || captured || !inside) return false;
  pending_release_ = button == Button::kRight ? kRightButtonUp : kMiddleButtonUp;
  return true;
}

bool TabClick::release(unsigned message, bool inside, bool& ended) noexcept {
  ended = pending_release_ != 0 && pending_release_ == message;
  if (!ended) return false;
  pending_release_ = 0;
  return inside;
}

Rect row_band(int a, int b, int first_top, int row_height, int client_width,
              int client_height) noexcept {
  if (a < 0 || b < 0) return {0, 0, client_width, client_height};
  if (b < a || row_height <= 0 || client_width <= 0) return {};
  const long long bottom =
      static_cast<long long>(first_top) + (static_cast<long long>(b) - a + 1) * row_height;
  const int top = std::max(first_top, 0);
  const int clipped = static_cast<int>(std::min<long long>(bottom, client_height));
  if (clipped <= top) return {};
  return {0, top, client_width, clipped - top};
}

HeaderItemLayout header_item_layout(int left, int right, bool sorted, int dpi) noexcept {
  const int inset = scale_px(8, dpi);
  const int arrow_room = scale_px(25, dpi);
  HeaderItemLayout h;
  h.text_left = left + inset;
  h.text_right = right - (sorted ? arrow_room : inset);
  h.arrow = sorted && right - left >= arrow_room;
  h.arrow_x = right - arrow_room / 2;
  return h;
}

}  // namespace norvane
