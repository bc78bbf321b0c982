#include "app/layout_logic.h"

#include <gtest/gtest.h>

namespace norvane {
namespace {

TEST(Layout, OneRowAt96Dpi) {
  // 990x560 window at 96 DPI: client about 974x521.
  LayoutInput in{974, 521, 96, 24, false, false};
  const LayoutResult r = compute_layout(in);
  EXPECT_EQ(r.content_width, 950);
  EXPECT_TRUE(r.one_row);
  EXPECT_EQ(r.label, (Rect{12, 12, 106, 24}));
  // Buttons: B = min(274, 950 - 8) = 274; search 124, update 150.
  EXPECT_EQ(r.search_button, (Rect{12 + 950 - 274 - 8, 12, 124, 24}));
  EXPECT_EQ(r.update_button, (Rect{12 + 950 - 150, 12, 150, 24}));
  // The gap between the two buttons is g and the combo ends G before them.
  EXPECT_EQ(r.update_button.x - r.search_button.right(), 8);
  EXPECT_EQ(r.combo, (Rect{118, 12, 950 - 106 - (274 + 8 + 8), 260}));
  EXPECT_EQ(r.search_button.x - r.combo.right(), 8);
  // Tabs on one row under the buttons.
  EXPECT_EQ(r.tabs_per_row, 7);
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(r.tabs[static_cast<std::size_t>(i)], (Rect{12 + i * 125, 44, 117, 24}));
  }
  EXPECT_EQ(r.progress, (Rect{12, 76, 950, 11}));
  EXPECT_EQ(r.list.y, 76);
  // Band: top 521-24-12, right edge left of the grip.
  EXPECT_EQ(r.grip, (Rect{954, 501, 20, 20}));
  EXPECT_EQ(r.status_band, (Rect{12, 485, 954 - 4 - 12, 24}));
  EXPECT_EQ(r.list.height, 485 - 4 - 76);
}

TEST(Layout, ProgressBarPushesTheListDown) {
  LayoutInput in{974, 521, 96, 24, false, false};
  const int top = compute_layout(in).list.y;
  in.progress_shown = true;
  const LayoutResult shown = compute_layout(in);
  EXPECT_EQ(shown.list.y, top + 11 + 8);
  EXPECT_EQ(shown.list.bottom(), shown.status_band.y - 4);
}

TEST(Layout, MaximizedHasNoGripAndTheBandReachesTheMargin) {
  LayoutInput in{1280, 700, 96, 24, false, true};
  const LayoutResult r = compute_layout(in);
  EXPECT_TRUE(r.grip.empty());
  EXPECT_EQ(r.status_band.right(), 1280 - 12);
}

TEST(Layout, NarrowWindowMovesButtonsToSecondRowAndStacksTabs) {
  // Content width 400: too narrow for 106 + 140 + 274 + 16.
  LayoutInput in{424, 400, 96, 24, false, false};
  const LayoutResult r = compute_layout(in);
  EXPECT_FALSE(r.one_row);
  EXPECT_EQ(r.combo.right(), 12 + 400);  // reaches the right margin
  EXPECT_EQ(r.search_button.y, 12 + 24 + 8);
  EXPECT_EQ(r.update_button.right(), 12 + 400);
  // (400 + 8) / 125 = 3 tabs per row, three rows.
  EXPECT_EQ(r.tabs_per_row, 3);
  EXPECT_EQ(r.tabs[3].x, 12);
  EXPECT_EQ(r.tabs[3].y, r.tabs[0].y + 32);
  EXPECT_EQ(r.progress.y, r.tabs[0].y + 3 * 32);

  // Smallest width: one tab per row, seven rows.
  in.client_width = 24 + 60;
  const LayoutResult tiny = compute_layout(in);
  EXPECT_EQ(tiny.tabs_per_row, 1);
  EXPECT_EQ(tiny.tabs[6].y, tiny.tabs[0].y + 6 * 32);
  EXPECT_EQ(tiny.tabs[0].width, 60);
}

TEST(Layout, ScalesWithDpiAndFallsBackToRowHeight) {
  LayoutInput in{1485, 840, 144, 0, false, false};
  const LayoutResult r = compute_layout(in);
  EXPECT_EQ(r.label, (Rect{18, 18, 159, 42}));  // S(28) = 42 without a combo height
  EXPECT_EQ(r.tabs[0].width, 176);              // S(117) = 175.5 -> 176
  EXPECT_EQ(r.status_band.height, 36);
  EXPECT_EQ(r.grip.width, 30);
}

TEST(Layout, EmptyOrTinyClientAreasStayNonNegative) {
  for (int w : {0, 1, 10, 30}) {
    for (int h : {0, 1, 10}) {
      const LayoutResult r = compute_layout({w, h, 96, 24, false, false});
      EXPECT_GE(r.content_width, 0);
      EXPECT_GE(r.combo.width, 0);
      EXPECT_GE(r.list.height, 0);
      EXPECT_GE(r.status_band.y, 0);
      EXPECT_GE(r.status_band.width, 0);
      EXPECT_GE(r.grip.x, 0);
      EXPECT_GE(r.tabs_per_row, 1);
    }
  }
}

TEST(Zoom, KeysAndLimits) {
  EXPECT_EQ(zoom_step_for_key(0x6B, 0, 0), 10);
  EXPECT_EQ(zoom_step_for_key(0xBB, 0, 0), 10);
  EXPECT_EQ(zoom_step_for_key(0x6D, 0, 0), -10);
  EXPECT_EQ(zoom_step_for_key(0xBD, 0, 0), -10);
  EXPECT_EQ(zoom_step_for_key(0xDD, 0xDD, 0xBF), 10);  // "+" on a layout's own key
  EXPECT_EQ(zoom_step_for_key(0xBF, 0xDD, 0xBF), -10);
  EXPECT_EQ(zoom_step_for_key(0x41, 0, 0), 0);
  EXPECT_EQ(zoom_step_for_key(0, 0, 0), 0);  // no layout key does not match key 0

  EXPECT_EQ(next_zoom(100, 10), 110);
  EXPECT_EQ(next_zoom(180, 10), 180);
  EXPECT_EQ(next_zoom(170, 10), 180);
  EXPECT_EQ(next_zoom(70, -10), 70);
  EXPECT_EQ(next_zoom(80, -10), 70);
  // Two steps up at 96 DPI: effective DPI 115, fonts -17 and -14, margin 14.
  const int dpi = mul_div(96, next_zoom(next_zoom(100, 10), 10), 100);
  EXPECT_EQ(dpi, 115);
  EXPECT_EQ(scale_px(14, dpi), 17);
  EXPECT_EQ(scale_px(12, dpi), 14);
}

TEST(Zoom, MinimumSizeFollowsTheCreationDpi) {
  EXPECT_EQ(minimum_window_size(96), (Size{580, 300}));
  EXPECT_EQ(minimum_window_size(144), (Size{870, 450}));
}

}  // namespace
}  // namespace norvane
