#include "ui/theme_logic.h"

#include <gtest/gtest.h>

#include <vector>

namespace norvane {
namespace {

constexpr Rgb rgb(int r, int g, int b) {
  return {static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(g), static_cast<std::uint8_t>(b)};
}

TEST(ThemeColors, BlendAveragesEachChannelDroppingTheFraction) {
  EXPECT_EQ(blend(rgb(0, 0, 0), rgb(255, 255, 255)), rgb(127, 127, 127));
  EXPECT_EQ(blend(rgb(29, 32, 37), rgb(152, 163, 179)), rgb(90, 97, 108));
  EXPECT_EQ(blend(rgb(1, 2, 3), rgb(2, 3, 4)), rgb(1, 2, 3));
  EXPECT_EQ(blend(rgb(200, 10, 99), rgb(200, 10, 99)), rgb(200, 10, 99));
}

TEST(ThemeColors, RowSetsByAccentIndex) {
  struct Case {
    int index;
    Rgb even, odd, focused, unfocused;
    std::optional<Rgb> accent;
  };
  const Case cases[] = {
      {0, rgb(29, 32, 37), rgb(33, 36, 42), rgb(48, 73, 102), rgb(48, 56, 68), std::nullopt},
      {1, rgb(31, 57, 47), rgb(35, 63, 53), rgb(48, 85, 71), rgb(42, 73, 63), rgb(114, 194, 151)},
      {2, rgb(27, 53, 57), rgb(31, 60, 64), rgb(41, 78, 86), rgb(37, 68, 74), rgb(104, 199, 202)},
      {3, rgb(60, 38, 46), rgb(67, 42, 50), rgb(94, 54, 68), rgb(77, 47, 60), rgb(217, 129, 152)},
      {4, rgb(34, 45, 70), rgb(38, 51, 78), rgb(51, 68, 106), rgb(44, 59, 89), rgb(139, 162, 234)},
      {5, rgb(57, 44, 31), rgb(63, 48, 33), rgb(86, 61, 36), rgb(73, 54, 35), rgb(222, 165, 103)},
      {6, rgb(50, 39, 62), rgb(56, 43, 69), rgb(77, 57, 95), rgb(65, 49, 81), rgb(197, 155, 226)},
      // Out of range: the default set, no accent bar.
      {7, rgb(29, 32, 37), rgb(33, 36, 42), rgb(48, 73, 102), rgb(48, 56, 68), std::nullopt},
      {-1, rgb(29, 32, 37), rgb(33, 36, 42), rgb(48, 73, 102), rgb(48, 56, 68), std::nullopt},
  };
  for (const auto& c : cases) {
    const RowColors& set = row_colors(c.index);
    EXPECT_EQ(row_background(set, false, true, 0), c.even) << c.index;
    EXPECT_EQ(row_background(set, false, false, 1), c.odd) << c.index;
    EXPECT_EQ(row_background(set, false, true, 6), c.even) << c.index;
    EXPECT_EQ(row_background(set, true, true, 3), c.focused) << c.index;
    EXPECT_EQ(row_background(set, true, false, 4), c.unfocused) << c.index;
    EXPECT_EQ(set.accent, c.accent) << c.index;
  }
  EXPECT_EQ(row_text(false, 0), palette::kText);
  EXPECT_EQ(row_text(false, 3), palette::kTextSecondary);
  EXPECT_EQ(row_text(true, 3), palette::kText);
}

TEST(ThemeColors, RowsThatNeedALookStandOutAndGoneOnesRecede) {
  using namespace palette;
  struct Case {
    RowMark mark;
    bool selected;
    int column;
    Rgb text;
  };
  const Case cases[] = {
      {RowMark::kAttention, false, 0, kWarning}, {RowMark::kAttention, false, 7, kWarningSecondary},
      {RowMark::kAttention, true, 7, kWarning},  {RowMark::kGone, false, 0, kTextGone},
      {RowMark::kGone, false, 5, kTextGone},     {RowMark::kGone, true, 0, kTextSecondary},
  };
  for (const Case& c : cases) EXPECT_EQ(row_text(c.selected, c.column, c.mark), c.text);
  // The accent bar recedes with a gone device; a set without one has none.
  const RowColors& hikvision = row_colors(1);
  EXPECT_EQ(row_accent_bar(hikvision, RowMark::kAttention), hikvision.accent);
  EXPECT_EQ(row_accent_bar(hikvision, RowMark::kGone), blend(*hikvision.accent, hikvision.even));
  EXPECT_EQ(row_accent_bar(row_colors(0), RowMark::kGone), std::nullopt);
}

TEST(ThemeColors, ButtonFaces) {
  struct Case {
    bool enabled, hovered, pressed, focus;
    FaceColors want;
  };
  using namespace palette;
  const Case cases[] = {
      {true, false, false, false, {kControl, kBorder, kText}},
      {true, true, false, false, {kControlHover, kBorder, kText}},
      {true, true, true, false, {kPressed, kBorder, kText}},
      {true, false, true, true, {kPressed, kHighlight, kText}},
      {true, false, false, true, {kControl, kHighlight, kText}},
      {false, true, true, true, {kControl, kBorder, kTextDisabled}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(button_colors(c.enabled, c.hovered, c.pressed, c.focus), c.want)
        << c.enabled << c.hovered << c.pressed << c.focus;
  }
}

TEST(ThemeColors, ComboBoxFaces) {
  struct Case {
    bool enabled, dropped, hovered, focused;
    ComboColors want;
  };
  using namespace palette;
  const Case cases[] = {
      {true, false, false, false, {{kControl, kBorder, kText}, kTextSecondary}},
      {true, false, true, false, {{kControlHover, kBorder, kText}, kTextSecondary}},
      {true, true, false, false, {{kControlHover, kHighlight, kText}, kTextSecondary}},
      {true, false, false, true, {{kControl, kHighlight, kText}, kTextSecondary}},
      {false, true, true, true, {{kControl, kBorder, kTextDisabled}, kTextDisabled}},
      {false, true, false, false, {{kControl, kBorder, kTextDisabled}, kTextDisabled}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(combo_colors(c.enabled, c.dropped, c.hovered, c.focused), c.want)
        << c.enabled << c.dropped << c.hovered << c.focused;
  }
}

TEST(ThemeColors, FilterTabFaces) {
  using namespace palette;
  const Rgb hik = rgb(114, 194, 151);
  const Rgb hik_face = rgb(48, 85, 71);
  const Rgb faded_hik = blend(blend(hik, kSurface), kSurface);
  const Rgb faded_neutral = blend(blend(kAccentNeutral, kSurface), kSurface);
  struct Case {
    int index;
    bool enabled, checked, hot, focus;
    TabColors want;
  };
  const Case cases[] = {
      {1, true, true, false, false, {{hik_face, kBorder, kText}, hik, true}},
      {1,
       true,
       true,
       true,
       false,
       {{blend(hik_face, blend(hik_face, hik)), kBorder, kText}, hik, true}},
      {1, true, false, false, false, {{kSurface, kBorder, kTextDisabled}, faded_hik, false}},
      {1, true, false, true, true, {{kControl, kHighlight, kTextDisabled}, faded_hik, false}},
      // Checked but disabled: painted unchecked, check mark still drawn.
      {1, false, true, true, true, {{kSurface, kBorder, kTextDisabled}, faded_hik, true}},
      // "Pozostałe" has no accent: neutral mark, inactive selection face.
      {0, true, true, false, false, {{kSelectedInactive, kBorder, kText}, kAccentNeutral, true}},
      {0, true, false, false, false, {{kSurface, kBorder, kTextDisabled}, faded_neutral, false}},
      {9, true, true, false, true, {{kSelectedInactive, kHighlight, kText}, kAccentNeutral, true}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(tab_colors(c.index, c.enabled, c.checked, c.hot, c.focus), c.want)
        << c.index << c.enabled << c.checked << c.hot << c.focus;
  }
}

TEST(ThemeGeometry, TabMarkBoxCheckAndTextAt96And144Dpi) {
  struct Case {
    int dpi;
    Rect client;
    Rect bar, box;
    std::array<Point, 3> check;
    int text_left, text_right;
  };
  const Case cases[] = {
      {96,
       {0, 0, 117, 28},
       {1, 1, 3, 26},
       {10, 9, 11, 11},
       {{{12, 14}, {14, 16}, {19, 12}}},
       27,
       110},
      {144,
       {0, 0, 176, 42},
       {1, 1, 5, 40},
       {15, 13, 17, 17},
       {{{18, 21}, {21, 24}, {29, 18}}},
       41,
       165},
  };
  for (const auto& c : cases) {
    const TabGeometry g = tab_geometry(c.client, c.dpi);
    EXPECT_EQ(g.mark_bar, c.bar) << c.dpi;
    EXPECT_EQ(g.check_box, c.box) << c.dpi;
    EXPECT_EQ(g.check_mark, c.check) << c.dpi;
    EXPECT_EQ(g.text_left, c.text_left) << c.dpi;
    EXPECT_EQ(g.text_right, c.text_right) << c.dpi;
  }
}

TEST(ThemeGeometry, ChevronPoints) {
  EXPECT_EQ(chevron_points(50, 20, 4, false),
            (std::array<Point, 3>{{{46, 18}, {50, 22}, {54, 18}}}));
  EXPECT_EQ(chevron_points(50, 20, 4, true),
            (std::array<Point, 3>{{{46, 22}, {50, 18}, {54, 22}}}));
  // s/2 truncates: size 5 gives offsets of 2.
  EXPECT_EQ(chevron_points(0, 0, 5, false), (std::array<Point, 3>{{{-5, -2}, {0, 2}, {5, -2}}}));
}

TEST(ThemeGeometry, SizeGripDots) {
  struct Case {
    int dpi;
    Rect grip;
    std::vector<Rect> dots;
  };
  const Case cases[] = {
      // 96 DPI: 2x2 dots, step 4, inset 3; rows of 1, 2 and 3 dots.
      {96,
       {100, 100, 20, 20},
       {{115, 107, 2, 2},
        {115, 111, 2, 2},
        {111, 111, 2, 2},
        {115, 115, 2, 2},
        {111, 115, 2, 2},
        {107, 115, 2, 2}}},
      // 144 DPI: 3x3 dots, step 6, inset 5 (4.5 rounded away from zero).
      {144,
       {0, 0, 30, 30},
       {{22, 10, 3, 3},
        {22, 16, 3, 3},
        {16, 16, 3, 3},
        {22, 22, 3, 3},
        {16, 22, 3, 3},
        {10, 22, 3, 3}}},
      // Below 72 DPI S(2) is 1: one-pixel dots.
      {48,
       {0, 0, 10, 10},
       {{7, 3, 1, 1}, {7, 5, 1, 1}, {5, 5, 1, 1}, {7, 7, 1, 1}, {5, 7, 1, 1}, {3, 7, 1, 1}}},
      // A grip too small keeps only the dots that start inside it.
      {96, {0, 0, 8, 8}, {{3, 3, 2, 2}}},
  };
  for (const auto& c : cases) {
    const GripDots got = grip_dots(c.grip, c.dpi);
    ASSERT_EQ(got.count, static_cast<int>(c.dots.size())) << c.dpi;
    for (int i = 0; i < got.count; ++i) {
      EXPECT_EQ(got.dots[static_cast<std::size_t>(i)], c.dots[static_cast<std::size_t>(i)])
          << c.dpi << " dot " << i;
    }
  }
}

TEST(ThemeProgress, ClampingChangesAndTimer) {
  struct Step {
    int position;
    bool visible;
    ProgressUpdate want;
    int state_position;
  };
  // From the initial state (0, hidden).
  const Step steps[] = {
      {150, true, {true, false, false, 100}, 100},  // above 100 shows 100
      {150, true, {false, false, false, 0}, 100},   // same again: nothing
      {100, true, {false, false, false, 0}, 100},   // 150 and 100 are the same
      {-5, true, {true, true, false, 0}, -1},       // moving bar starts
      {-1, true, {false, false, false, 0}, -1},     // still moving: nothing
      {-1, false, {true, false, true, 0}, -1},      // hiding stops the timer
      {-7, true, {true, true, false, 0}, -1},       // shown again: starts again
      {50, true, {true, false, true, 50}, 50},      // a position stops it
      {0, false, {true, false, false, 0}, 0},
  };
  ProgressState state;
  int n = 0;
  for (const auto& step : steps) {
    const ProgressUpdate u = apply_progress(state, step.position, step.visible);
    EXPECT_EQ(u.changed, step.want.changed) << "step " << n;
    EXPECT_EQ(u.start_timer, step.want.start_timer) << "step " << n;
    EXPECT_EQ(u.stop_timer, step.want.stop_timer) << "step " << n;
    if (u.changed) {
      EXPECT_EQ(u.native_position, step.want.native_position) << "step " << n;
    }
    EXPECT_EQ(state.position, step.state_position) << "step " << n;
    EXPECT_EQ(state.visible, step.visible) << "step " << n;
    ++n;
  }
}

TEST(ThemeProgress, FillAndMovingSegment) {
  struct Case {
    int width, position;
    std::uint64_t tick;
    Span want;
  };
  const Case cases[] = {
      {300, 0, 0, {0, 0}},
      {300, 50, 0, {0, 150}},
      {300, 100, 0, {0, 300}},
      {301, 50, 0, {0, 151}},  // MulDiv rounds half up
      // Moving: w = 100, c = MulDiv(400, t mod 1350, 1350).
      {300, -1, 0, {0, 0}},
      {300, -1, 675, {100, 200}},         // halfway: c = 200
      {300, -1, 1350 + 675, {100, 200}},  // one pass takes 1350 ms
      {300, -1, 1349, {300, 300}},        // c = 400 at the end: gone past W
      {300, -1, 100, {0, 30}},            // c = 30, segment still entering
      {2, -1, 675, {1, 2}},               // w at least 1
      {0, 50, 0, {0, 0}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(progress_fill(c.width, c.position, c.tick), c.want)
        << c.width << " " << c.position << " " << c.tick;
  }
  EXPECT_EQ(progress_inner({0, 0, 300, 11}, 96), (Rect{1, 1, 298, 9}));
  EXPECT_EQ(progress_inner({0, 0, 450, 17}, 144), (Rect{2, 2, 446, 13}));
  EXPECT_TRUE(progress_inner({0, 0, 2, 2}, 96).empty());
}

TEST(ThemeTabClick, RightAndMiddleClickProtocol) {
  enum Op { kPressRight, kPressMiddle, kRelease, kCancel };
  struct Event {
    Op op;
    bool left_down = false, captured = false, inside = true;
    unsigned message = 0;  // for kRelease
    bool want = false;     // press started / solo due
  };
  struct Case {
    const char* name;
    std::vector<Event> events;
  };
  const Case cases[] = {
      {"right click inside",
       {{kPressRight, false, false, true, 0, true},
        {kRelease, false, false, true, kRightButtonUp, true}}},
      {"released outside",
       {{kPressRight, false, false, true, 0, true},
        {kRelease, false, false, false, kRightButtonUp, false}}},
      {"left button held",
       {{kPressRight, true, false, true, 0, false},
        {kRelease, false, false, true, kRightButtonUp, false}}},
      {"middle like right",
       {{kPressMiddle, false, false, true, 0, true},
        {kRelease, false, false, true, kMiddleButtonUp, true}}},
      {"other button's release ignored",
       {{kPressMiddle, false, false, true, 0, true},
        {kRelease, false, false, true, kRightButtonUp, false},
        {kRelease, false, false, true, kMiddleButtonUp, true}}},
      {"second press while pending",
       {{kPressRight, false, false, true, 0, true}, {kPressMiddle, false, false, true, 0, false}}},
      {"mouse captured elsewhere", {{kPressRight, false, true, true, 0, false}}},
      {"pressed outside", {{kPressRight, false, false, false, 0, false}}},
      {"cancelled",
       {{kPressRight, false, false, true, 0, true},
        {kCancel},
        {kRelease, false, false, true, kRightButtonUp, false}}},
      {"once only",
       {{kPressRight, false, false, true, 0, true},
        {kRelease, false, false, true, kRightButtonUp, true},
        {kRelease, false, false, true, kRightButtonUp, false}}},
  };
  for (const auto& c : cases) {
    TabClick click;
    int n = 0;
    for (const auto& e : c.events) {
      bool got = false;
      switch (e.op) {
        case kPressRight:
        case kPressMiddle:
          got = click.press(
              e.op == kPressRight ? TabClick::Button::kRight : TabClick::Button::kMiddle,
              e.left_down, e.captured, e.inside);
          break;
        case kRelease: {
          bool ended = false;
          got = click.release(e.message, e.inside, ended);
          break;
        }
        case kCancel:
          click.cancel();
          got = false;
          break;
      }
      EXPECT_EQ(got, e.want) << c.name << " event " << n;
      ++n;
    }
  }
  TabClick click;
  ASSERT_TRUE(click.press(TabClick::Button::kMiddle, false, false, true));
  EXPECT_EQ(click.pending_release(), kMiddleButtonUp);
  bool ended = false;
  EXPECT_FALSE(click.release(kMiddleButtonUp, false, ended));
  EXPECT_TRUE(ended);  // the capture is released even when released outside
  EXPECT_EQ(click.pending_release(), 0u);
}

TEST(ThemeGeometry, RowBandsAndHeaderItems) {
  // Rows of 20 pixels below a 24-pixel header in a 300x200 client area.
  EXPECT_EQ(row_band(2, 2, 64, 20, 300, 200), (Rect{0, 64, 300, 20}));
  EXPECT_EQ(row_band(2, 4, 64, 20, 300, 200), (Rect{0, 64, 300, 60}));
  EXPECT_EQ(row_band(5, 100000, 124, 20, 300, 200), (Rect{0, 124, 300, 76}));  // clipped
  EXPECT_TRUE(row_band(50, 60, 1024, 20, 300, 200).empty());                   // below view
  EXPECT_EQ(row_band(-1, 3, 0, 20, 300, 200), (Rect{0, 0, 300, 200}));         // whole list
  EXPECT_EQ(row_band(3, -1, 0, 20, 300, 200), (Rect{0, 0, 300, 200}));
  EXPECT_TRUE(row_band(4, 3, 0, 20, 300, 200).empty());
  EXPECT_EQ(row_band(0, 2147483600, -40, 20, 300, 200), (Rect{0, 0, 300, 200}));  // no overflow

  struct Case {
    int dpi, left, right;
    bool sorted;
    HeaderItemLayout want;
  };
  const Case cases[] = {
      {96, 0, 120, false, {8, 112, false, 108}},   {96, 0, 120, true, {8, 95, true, 108}},
      {96, 100, 124, true, {108, 99, false, 112}},  // narrower than S(25): no arrow
      {144, 0, 180, true, {12, 142, true, 161}},   {144, 0, 180, false, {12, 168, false, 161}},
  };
  for (const auto& c : cases) {
    const HeaderItemLayout h = header_item_layout(c.left, c.right, c.sorted, c.dpi);
    EXPECT_EQ(h.text_left, c.want.text_left) << c.dpi << " " << c.right;
    EXPECT_EQ(h.text_right, c.want.text_right) << c.dpi << " " << c.right;
    EXPECT_EQ(h.arrow, c.want.arrow) << c.dpi << " " << c.right;
    if (h.arrow) {
      EXPECT_EQ(h.arrow_x, c.want.arrow_x) << c.dpi;
    }
  }
}

}  // namespace
}  // namespace norvane
