// The dark theme's rules that need no window system: the palette, the row
// and tab colour sets, the colour decisions of every owner-drawn control,
// the progress bar's state and fill, the filter tabs' right and middle click
// protocol and the geometry of grips, arrows, check boxes and row bands.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "ui/geometry.h"

namespace norvane {

struct Rgb {
  std::uint8_t r = 0;
  std::uint8_t g = 0;
  std::uint8_t b = 0;
  friend constexpr bool operator==(const Rgb&, const Rgb&) = default;
};

namespace palette {
inline constexpr Rgb kWindowBackground{23, 25, 29};
inline constexpr Rgb kSurface{29, 32, 37};
inline constexpr Rgb kRowAlternate{33, 36, 42};
inline constexpr Rgb kControl{38, 42, 49};
inline constexpr Rgb kControlHover{47, 52, 61};
inline constexpr Rgb kPressed{48, 73, 102};
inline constexpr Rgb kSelectedInactive{48, 56, 68};
inline constexpr Rgb kBorder{69, 76, 87};
inline constexpr Rgb kDivider{54, 61, 71};
inline constexpr Rgb kText{233, 237, 243};
inline constexpr Rgb kTextSecondary{187, 195, 207};
inline constexpr Rgb kTextDisabled{146, 155, 168};
inline constexpr Rgb kHighlight{125, 177, 233};
inline constexpr Rgb kAccentNeutral{152, 163, 179};
// Rows that need a look: warm text, unlike any maker's accent, bright on
// every row colour set.
inline constexpr Rgb kWarning{245, 214, 72};
inline constexpr Rgb kWarningSecondary{226, 196, 66};
// Rows of devices that left: text that recedes.
inline constexpr Rgb kTextGone{128, 135, 146};
}  // namespace palette

// Channel-wise average, fraction dropped.
constexpr Rgb blend(Rgb a, Rgb b) noexcept {
  return {static_cast<std::uint8_t>((a.r + b.r) / 2), static_cast<std::uint8_t>((a.g + b.g) / 2),
          static_cast<std::uint8_t>((a.b + b.b) / 2)};
}

// Colours of list rows (and filter tabs) of one accent index.
struct RowColors {
  Rgb even;
  Rgb odd;
  Rgb selected_focused;
  Rgb selected_unfocused;
  std::optional<Rgb> accent;  // none for the default set
};

// Index 1 to 6 has its own set; every other index uses the default one.
const RowColors& row_colors(int accent_index) noexcept;

// Background of row n.
Rgb row_background(const RowColors& set, bool selected, bool list_focused, int row) noexcept;

// How a list row stands out beyond its maker's colours.
enum class RowMark {
  kNone,
  kAttention,  // its state asks for a look
  kGone,       // the device said goodbye
};

// Text colour of column `column` of a row.
Rgb row_text(bool selected, int column, RowMark mark = RowMark::kNone) noexcept;

// The accent bar of a row, if its set has one: dimmed with the row's text
// when the device is gone.
std::optional<Rgb> row_accent_bar(const RowColors& set, RowMark mark) noexcept;

struct FaceColors {
  Rgb face;
  Rgb border;
  Rgb text;
  friend constexpr bool operator==(const FaceColors&, const FaceColors&) = default;
};

// The two push buttons.
FaceColors button_colors(bool enabled, bool hovered, bool pressed, bool focus_ring) noexcept;

// The closed combo box; `text` is the colour of the selected text, and
// `arrow` the chevron's.
struct ComboColors : FaceColors {
  Rgb arrow;
  friend constexpr bool operator==(const ComboColors&, const ComboColors&) = default;
};
ComboColors combo_colors(bool enabled, bool dropped, bool hovered, bool focused) noexcept;

// A filter tab. `checked` is BM_GETCHECK's answer; a disabled tab counts
// as unchecked for its colours but still shows its check mark.
struct TabColors : FaceColors {
  Rgb mark;  // left bar, check box frame and check mark
  bool draw_check = false;
  friend constexpr bool operator==(const TabColors&, const TabColors&) = default;
};
TabColors tab_colors(int accent_index, bool enabled, bool checked, bool hot,
                     bool focus_ring) noexcept;

// Geometry of a filter tab in its client rectangle.
struct TabGeometry {
  Rect mark_bar;                      // S(3) wide, one pixel in from left, top and bottom
  Rect check_box;                     // S(11) square
  std::array<Point, 3> check_mark{};  // polyline inside the box
  int text_left = 0;                  // text centred between these two
  int text_right = 0;
};
TabGeometry tab_geometry(const Rect& client, int dpi) noexcept;

// A chevron: three points of a polyline centred at (x, y).
std::array<Point, 3> chevron_points(int x, int y, int size, bool up) noexcept;

// The size grip's dots inside `grip` (at most six).
struct GripDots {
  std::array<Rect, 6> dots{};
  int count = 0;
};
GripDots grip_dots(const Rect& grip, int dpi) noexcept;

// Progress bar. Position 0..100, or -1 for the moving bar.
struct ProgressState {
  int position = 0;
  bool visible = false;
  bool animating() const noexcept { return visible && position == -1; }
};

struct ProgressUpdate {
  bool changed = false;      // nothing else applies when false
  bool start_timer = false;  // the animation starts
  bool stop_timer = false;   // the animation stops
  int native_position = 0;   // for PBM_SETPOS
};

// Clamps the position and moves the state; says what the control must do.
ProgressUpdate apply_progress(ProgressState& state, int position, bool visible) noexcept;

// Inner rectangle of the bar (inside its frame); empty when nothing fits.
Rect progress_inner(const Rect& client, int dpi) noexcept;

// The filled span [begin, end) as offsets from the inner left edge.
struct Span {
  int begin = 0;
  int end = 0;
  friend constexpr bool operator==(const Span&, const Span&) = default;
};
inline constexpr std::uint64_t kProgressPassMs = 1350;
Span progress_fill(int inner_width, int position, std::uint64_t tick_ms) noexcept;

// Right and middle clicks on a filter tab: pressed and released on the tab
// sends the solo command once. Release values are the window messages that
// end the click.
inline constexpr unsigned kRightButtonUp = 0x0205;   // WM_RBUTTONUP
inline constexpr unsigned kMiddleButtonUp = 0x0208;  // WM_MBUTTONUP

class TabClick {
 public:
  enum class Button { kRight, kMiddle };
  // A press; true when a click starts (the tab then captures the mouse).
  bool press(Button button, bool left_down, bool captured, bool inside) noexcept;
  // A release message (kRightButtonUp or kMiddleButtonUp). `ended` is set
  // when this release finishes the pending click (capture to be released);
  // the return value says whether the solo command is due.
  bool release(unsigned message, bool inside, bool& ended) noexcept;
  // Left clicks, cancel-mode, capture loss, leaving without capture.
  void cancel() noexcept { pending_release_ = 0; }
  unsigned pending_release() const noexcept { return pending_release_; }

 private:
  unsigned pending_release_ = 0;
};

// Rows a..b as one band across the client width, clipped to the client
// height. Either index negative means the whole client area. `first_top`
// is the top of row a and `row_height` the height of one row.
Rect row_band(int a, int b, int first_top, int row_height, int client_width,
              int client_height) noexcept;

// Header item layout: where its text goes and whether the sort arrow fits.
struct HeaderItemLayout {
  int text_left = 0;
  int text_right = 0;
  bool arrow = false;
  int arrow_x = 0;
};
HeaderItemLayout header_item_layout(int left, int right, bool sorted, int dpi) noexcept;

}  // namespace norvane
