// The dark look of the main window's controls: owner-drawn buttons and
// combo box, custom-drawn list rows and header, painted filter tabs and
// progress bar, hover and keyboard-focus cues, and the system's dark title
// bar and dark scroll bars where the system offers them.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <cstdint>
#include <vector>

#include "ui/subclass_win.h"
#include "ui/theme_logic.h"

namespace norvane {

inline constexpr UINT_PTR kProgressTimer = 19506;
inline constexpr UINT kProgressTimerMs = 40;
inline constexpr WORD kTabSoloCommand = 0x6101;

// One subclass id per kind of control (subclass_win.h).
enum ThemeSubclass : UINT_PTR {
  kSubclassHeader = 1,
  kSubclassCombo = 2,
  kSubclassSearch = 3,
  kSubclassUpdate = 4,
  kSubclassList = 5,
  kSubclassTab = 6,
  kSubclassProgress = 7,
};

struct FilterTabState {
  HWND hwnd = nullptr;
  int accent_index = 0;
  bool hover = false;
  bool focus_hidden = false;
  TabClick click;  // the pending right or middle click (its release message)
};

constexpr COLORREF to_colorref(Rgb c) noexcept { return RGB(c.r, c.g, c.b); }

class DarkTheme {
 public:
  // Accent index of a list item from its item data.
  using RowAccentQuery = int (*)(void* context, LPARAM item_data);
  // How a list item stands out, from its item data.
  using RowMarkQuery = RowMark (*)(void* context, LPARAM item_data);

  DarkTheme();
  ~DarkTheme();
  DarkTheme(const DarkTheme&) = delete;
  DarkTheme& operator=(const DarkTheme&) = delete;

  void attach(HWND main, HWND combo, HWND search, HWND list, HWND update);
  void set_dpi(int dpi);
  void add_filter_tab(HWND tab, int accent_index);
  void attach_progress_bar(HWND bar);
  void set_progress(int position, bool visible);
  void set_row_accent_query(void* context, RowAccentQuery query);
  void set_row_mark_query(void* context, RowMarkQuery query);

  bool paint_background(HDC dc);
  void paint_size_grip(HDC dc, const RECT& grip);
  HBRUSH control_colors(UINT message, HDC dc);
  bool measure_item(MEASUREITEMSTRUCT& item, int window_dpi);
  bool draw_item(const DRAWITEMSTRUCT& item);
  bool custom_draw(const NMHDR& header, LRESULT& result);

  static void draw_chevron(HDC dc, int x, int y, int size, bool up, COLORREF color);

  // State, for the window and the tests.
  int dpi() const noexcept { return dpi_; }
  int progress_position() const noexcept { return progress_.position; }
  bool progress_visible() const noexcept { return progress_.visible; }
  int header_hot_item() const noexcept { return header_hot_item_; }
  bool combo_hover() const noexcept { return combo_hover_; }
  bool search_hover() const noexcept { return search_hover_; }
  bool update_hover() const noexcept { return update_hover_; }
  const std::vector<FilterTabState>& filter_tabs() const noexcept { return filter_tabs_; }
  HWND combo() const noexcept { return combo_; }
  HWND search_button() const noexcept { return search_button_; }
  HWND update_button() const noexcept { return update_button_; }
  HWND list() const noexcept { return list_; }
  HWND header() const noexcept { return header_; }
  HWND progress_bar() const noexcept { return progress_bar_; }

 private:
  static LRESULT CALLBACK header_proc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
  static LRESULT CALLBACK combo_proc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
  static LRESULT CALLBACK button_proc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
  static LRESULT CALLBACK list_proc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
  static LRESULT CALLBACK tab_proc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
  static LRESULT CALLBACK progress_proc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);

  int s(int value) const noexcept { return scale_px(value, dpi_); }
  bool focus_ring_due(HWND control, bool focus_hidden) const;
  FilterTabState* tab_state(HWND tab);
  void detach_all();

  void paint_header(HWND header, HDC dc);
  void paint_combo(HWND combo, HDC dc);
  void paint_tab(FilterTabState& tab, HDC dc);
  void paint_progress(HWND bar, HDC dc);
  bool paint_row(HDC dc, int row);
  void draw_button(const DRAWITEMSTRUCT& item, bool hovered, bool focus_hidden);
  void draw_combo_item(const DRAWITEMSTRUCT& item);
  void repaint_rows(HWND list, int first, int last, bool to_end = false);

  HBRUSH window_brush_ = nullptr;
  HBRUSH list_brush_ = nullptr;
  HWND main_ = nullptr;
  HWND combo_ = nullptr;
  HWND search_button_ = nullptr;
  HWND update_button_ = nullptr;
  HWND list_ = nullptr;
  HWND header_ = nullptr;
  HWND progress_bar_ = nullptr;
  std::vector<FilterTabState> filter_tabs_;
  void* row_accent_context_ = nullptr;
  RowAccentQuery row_accent_query_ = nullptr;
  void* row_mark_context_ = nullptr;
  RowMarkQuery row_mark_query_ = nullptr;
  int dpi_ = 0;
  bool combo_hover_ = false;
  bool search_hover_ = false;
  bool search_focus_hidden_ = false;
  bool update_hover_ = false;
  bool update_focus_hidden_ = false;
  int header_hot_item_ = -1;
  ProgressState progress_;
};

}  // namespace norvane
