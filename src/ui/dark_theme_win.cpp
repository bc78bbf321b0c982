#include "ui/dark_theme_win.h"

#include <dwmapi.h>
#include <uxtheme.h>
#include <windowsx.h>

#include <algorithm>
#include <array>
#include <string>
#include <string_view>

#include "net/dll_win.h"

namespace norvane {

namespace {

// ---------------------------------------------------------------------------
// Optional system libraries, loaded from the system directory only so that
// a file of the same name beside the program is never picked up.

dll::Library system_library(const wchar_t* name) {
  const std::wstring directory = dll::system_directory();
  if (directory.empty()) return dll::Library();
  const std::wstring path = directory + L'\\' + name;
  return dll::Library(LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
}

constexpr DWORD kDarkModeAttribute = 20;     // DWMWA_USE_IMMERSIVE_DARK_MODE
constexpr DWORD kDarkModeAttributeOld = 19;  // the same before Windows 10 20H1

void fill(HDC dc, const RECT& r, Rgb color) {
  if (r.right <= r.left || r.bottom <= r.top) return;
  SetDCBrushColor(dc, to_colorref(color));
  FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
}

void frame(HDC dc, const RECT& r, Rgb color) {
  if (r.right <= r.left || r.bottom <= r.top) return;
  SetDCBrushColor(dc, to_colorref(color));
  FrameRect(dc, &r, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
}

RECT to_rect(const Rect& r) { return {r.x, r.y, r.right(), r.bottom()}; }
Rect from_rect(const RECT& r) { return {r.left, r.top, r.right - r.left, r.bottom - r.top}; }

// Text of every control: nothing for an empty rectangle or text, otherwise
// transparent, one line, vertically centred, ending in an ellipsis.
void draw_text(HDC dc, RECT r, const wchar_t* text, int length, Rgb color, UINT extra = 0) {
  if (r.right <= r.left || r.bottom <= r.top || length <= 0) return;
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, to_colorref(color));
  DrawTextW(dc, text, length, &r,
            DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS | extra);
}

HFONT control_font(HWND hwnd) {
  auto font = reinterpret_cast<HFONT>(SendMessageW(hwnd, WM_GETFONT, 0, 0));
  return font ? font : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

// A control's own text, at most 128 characters.
std::wstring window_text(HWND hwnd) {
  wchar_t text[129] = {};
  const int length = GetWindowTextW(hwnd, text, 129);
  return std::wstring(text, static_cast<std::size_t>(std::max(length, 0)));
}

// A three-point line in the DC pen, recoloured: the arrows and the check
// mark.
void polyline(HDC dc, const std::array<Point, 3>& points, COLORREF color) {
  const std::array<POINT, 3> p = {
      {{points[0].x, points[0].y}, {points[1].x, points[1].y}, {points[2].x, points[2].y}}};
  const HGDIOBJ old = SelectObject(dc, GetStockObject(DC_PEN));
  SetDCPenColor(dc, color);
  Polyline(dc, p.data(), static_cast<int>(p.size()));
  SelectObject(dc, old);
}

// Selects a font for the life of a painting routine.
class SelectedFont {
 public:
  SelectedFont(HDC dc, HFONT font) : dc_(dc), old_(SelectObject(dc, font)) {}
  ~SelectedFont() {
    if (old_) SelectObject(dc_, old_);
  }
  SelectedFont(const SelectedFont&) = delete;
  SelectedFont& operator=(const SelectedFont&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

// The face of a push button, a filter tab or the closed combo box: `r`
// filled and framed one pixel wide in the set's colours, and `text` drawn
// in `text_rect` with the control's font.
void paint_face(HDC dc, const RECT& r, const FaceColors& c, HWND control, const RECT& text_rect,
                std::wstring_view text, UINT align) {
  fill(dc, r, c.face);
  frame(dc, r, c.border);
  const SelectedFont font(dc, control_font(control));
  draw_text(dc, text_rect, text.data(), static_cast<int>(text.size()), c.text, align);
}

void request_leave(HWND hwnd) {
  TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, hwnd, 0};
  TrackMouseEvent(&track);
}

void repaint(HWND hwnd) {
  if (hwnd) InvalidateRect(hwnd, nullptr, FALSE);
}

void repaint_erasing(HWND hwnd) {
  if (hwnd) RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE);
}

bool point_inside(HWND hwnd, LPARAM lparam) {
  RECT rc{};
  if (!GetClientRect(hwnd, &rc)) return false;
  const POINT pt{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
  return PtInRect(&rc, pt) != FALSE;
}

// Shared focus-cue rules of the buttons and the tabs. Returns true when the
// message is one that repaints the control.
bool focus_cue(UINT msg, WPARAM wparam, bool& focus_hidden) {
  switch (msg) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      focus_hidden = true;  // a focus gained by mouse shows no ring
      return true;
    case WM_KILLFOCUS:
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
      focus_hidden = false;
      return true;
    case WM_UPDATEUISTATE:
      if (LOWORD(wparam) == UIS_CLEAR && (HIWORD(wparam) & UISF_HIDEFOCUS) &&
          !(GetKeyState(VK_LBUTTON) & 0x8000)) {
        focus_hidden = false;
      }
      return true;
    case WM_SETFOCUS:
      return true;
    default:
      return false;
  }
}

// Hover tracking; true when the flag changed (the control repaints).
bool hover_cue(HWND hwnd, UINT msg, bool& hover) {
  if (msg == WM_MOUSEMOVE && !hover) {
    hover = true;
    request_leave(hwnd);
    return true;
  }
  if (msg == WM_MOUSELEAVE && hover) {
    hover = false;
    return true;
  }
  return false;
}

// The messages of a control the theme paints whole: no background erase,
// and WM_PAINT (through BeginPaint) or WM_PRINTCLIENT (into the given DC)
// painted by `paint`. True, with the answer in `result`, when handled.
template <typename Paint>
bool paint_whole(HWND hwnd, UINT msg, WPARAM wparam, LRESULT& result, Paint paint) {
  switch (msg) {
    case WM_ERASEBKGND:
      result = 1;
      return true;
    case WM_PRINTCLIENT:
      if (wparam) paint(reinterpret_cast<HDC>(wparam));
      result = 0;
      return true;
    case WM_PAINT: {
      PAINTSTRUCT ps{};
      HDC dc = BeginPaint(hwnd, &ps);
      if (dc) paint(dc);
      EndPaint(hwnd, &ps);
      result = 0;
      return true;
    }
    default:
      return false;
  }
}

int window_dpi_of(HWND hwnd) {
  int dpi = 96;
  if (HDC dc = GetDC(hwnd)) {
    dpi = GetDeviceCaps(dc, LOGPIXELSX);
    ReleaseDC(hwnd, dc);
  }
  return dpi > 0 ? dpi : 96;
}

}  // namespace

// ---------------------------------------------------------------------------
// Life cycle

DarkTheme::DarkTheme()
    : window_brush_(CreateSolidBrush(to_colorref(palette::kWindowBackground))),
      list_brush_(CreateSolidBrush(to_colorref(palette::kSurface))) {}

DarkTheme::~DarkTheme() {
  detach_all();
  if (window_brush_) DeleteObject(window_brush_);
  if (list_brush_) DeleteObject(list_brush_);
}

void DarkTheme::detach_all() {
  if (list_) remove_subclass(list_, &DarkTheme::list_proc, kSubclassList);
  if (header_) remove_subclass(header_, &DarkTheme::header_proc, kSubclassHeader);
  if (combo_) remove_subclass(combo_, &DarkTheme::combo_proc, kSubclassCombo);
  if (search_button_) remove_subclass(search_button_, &DarkTheme::button_proc, kSubclassSearch);
  if (update_button_) remove_subclass(update_button_, &DarkTheme::button_proc, kSubclassUpdate);
  if (progress_bar_) {
    KillTimer(progress_bar_, kProgressTimer);
    remove_subclass(progress_bar_, &DarkTheme::progress_proc, kSubclassProgress);
  }
  for (const auto& tab : filter_tabs_)
    remove_subclass(tab.hwnd, &DarkTheme::tab_proc, kSubclassTab);
  filter_tabs_.clear();
  list_ = header_ = combo_ = search_button_ = update_button_ = progress_bar_ = nullptr;
}

void DarkTheme::attach(HWND main, HWND combo, HWND search, HWND list, HWND update) {
  main_ = main;
  combo_ = combo;
  search_button_ = search;
  list_ = list;
  update_button_ = update;

  {
    const dll::Library dwm = system_library(L"dwmapi.dll");
    decltype(&::DwmSetWindowAttribute) set_attribute = nullptr;
    dll::bind_function(dwm.get(), "DwmSetWindowAttribute", set_attribute);
    if (set_attribute && main) {
      const BOOL on = TRUE;
      if (FAILED(set_attribute(main, kDarkModeAttribute, &on, sizeof(on)))) {
        set_attribute(main, kDarkModeAttributeOld, &on, sizeof(on));
      }
    }
  }
  {
    const dll::Library ux = system_library(L"uxtheme.dll");
    decltype(&::SetWindowTheme) set_theme = nullptr;
    dll::bind_function(ux.get(), "SetWindowTheme", set_theme);
    if (set_theme) {
      if (list) set_theme(list, L"DarkMode_Explorer", nullptr);
      COMBOBOXINFO info{};
      info.cbSize = sizeof(info);
      if (combo && GetComboBoxInfo(combo, &info) && info.hwndList) {
        set_theme(info.hwndList, L"DarkMode_Explorer", nullptr);
      }
    }
  }

  if (list) {
    SendMessageW(list, LVM_SETBKCOLOR, 0, to_colorref(palette::kSurface));
    SendMessageW(list, LVM_SETTEXTBKCOLOR, 0, to_colorref(palette::kSurface));
    SendMessageW(list, LVM_SETTEXTCOLOR, 0, to_colorref(palette::kText));
    const LONG_PTR ex = GetWindowLongPtrW(list, GWL_EXSTYLE);
    if (ex & WS_EX_CLIENTEDGE) {
      SetWindowLongPtrW(list, GWL_EXSTYLE, ex & ~static_cast<LONG_PTR>(WS_EX_CLIENTEDGE));
      SetWindowPos(list, nullptr, 0, 0, 0, 0,
                   SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    header_ = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
  }
  const auto ref = reinterpret_cast<DWORD_PTR>(this);
  // Without its subclass the list keeps its rows painted by custom_draw
  // (a notification to the main window); only the background erase and
  // the repaints after changes are the list view's own then.
  if (list_) set_subclass(list_, &DarkTheme::list_proc, kSubclassList, ref);
  if (header_ && !set_subclass(header_, &DarkTheme::header_proc, kSubclassHeader, ref)) {
    header_ = nullptr;
  }
  if (combo_ && !set_subclass(combo_, &DarkTheme::combo_proc, kSubclassCombo, ref)) {
    combo_ = nullptr;
  }
  if (search_button_ &&
      !set_subclass(search_button_, &DarkTheme::button_proc, kSubclassSearch, ref)) {
    search_button_ = nullptr;
  }
  if (update_button_ &&
      !set_subclass(update_button_, &DarkTheme::button_proc, kSubclassUpdate, ref)) {
    update_button_ = nullptr;
  }
  set_dpi(dpi_ > 0 ? dpi_ : (main ? window_dpi_of(main) : 96));
}

void DarkTheme::set_dpi(int dpi) {
  dpi_ = dpi > 0 ? dpi : 96;
  if (combo_) {
    SendMessageW(combo_, CB_SETITEMHEIGHT, 0, s(24));
    SendMessageW(combo_, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), s(22));
    COMBOBOXINFO info{};
    info.cbSize = sizeof(info);
    if (GetComboBoxInfo(combo_, &info)) repaint(info.hwndList);
  }
  // The header takes its height from the next layout of the list.
  if (list_) {
    RECT rc{};
    if (GetClientRect(list_, &rc)) {
      SendMessageW(list_, WM_SIZE, SIZE_RESTORED, MAKELPARAM(rc.right, rc.bottom));
    }
  }
  for (HWND control : {combo_, search_button_, update_button_, list_, header_, progress_bar_}) {
    repaint(control);
  }
  for (const auto& tab : filter_tabs_) repaint(tab.hwnd);
}

void DarkTheme::add_filter_tab(HWND tab, int accent_index) {
  if (!tab) return;
  if (FilterTabState* known = tab_state(tab)) {
    known->accent_index = accent_index;
    repaint(tab);
    return;
  }
  FilterTabState state;
  state.hwnd = tab;
  state.accent_index = accent_index;
  filter_tabs_.push_back(state);
  if (!set_subclass(tab, &DarkTheme::tab_proc, kSubclassTab, reinterpret_cast<DWORD_PTR>(this))) {
    filter_tabs_.pop_back();
  }
  repaint(tab);
}

void DarkTheme::attach_progress_bar(HWND bar) {
  if (!bar) return;
  if (!set_subclass(bar, &DarkTheme::progress_proc, kSubclassProgress,
                    reinterpret_cast<DWORD_PTR>(this))) {
    return;
  }
  progress_bar_ = bar;
  SendMessageW(bar, PBM_SETRANGE32, 0, 100);
}

void DarkTheme::set_progress(int position, bool visible) {
  const ProgressUpdate u = apply_progress(progress_, position, visible);
  if (!u.changed || !progress_bar_) return;
  if (u.start_timer) SetTimer(progress_bar_, kProgressTimer, kProgressTimerMs, nullptr);
  if (u.stop_timer) KillTimer(progress_bar_, kProgressTimer);
  SendMessageW(progress_bar_, PBM_SETPOS, static_cast<WPARAM>(u.native_position), 0);
  ShowWindow(progress_bar_, visible ? SW_SHOWNA : SW_HIDE);
  if (visible) repaint(progress_bar_);
}

void DarkTheme::set_row_accent_query(void* context, RowAccentQuery query) {
  row_accent_context_ = context;
  row_accent_query_ = query;
  repaint(list_);
}

void DarkTheme::set_row_mark_query(void* context, RowMarkQuery query) {
  row_mark_context_ = context;
  row_mark_query_ = query;
  repaint(list_);
}

FilterTabState* DarkTheme::tab_state(HWND tab) {
  for (auto& state : filter_tabs_) {
    if (state.hwnd == tab) return &state;
  }
  return nullptr;
}

bool DarkTheme::focus_ring_due(HWND control, bool focus_hidden) const {
  if (focus_hidden || GetFocus() != control) return false;
  const auto ui = static_cast<UINT>(SendMessageW(control, WM_QUERYUISTATE, 0, 0));
  return (ui & UISF_HIDEFOCUS) == 0;
}

// ---------------------------------------------------------------------------
// Painting called by the main window

bool DarkTheme::paint_background(HDC dc) {
  if (!dc) return false;
  RECT client{};
  if (!main_ || !GetClientRect(main_, &client)) GetClipBox(dc, &client);
  FillRect(dc, &client, window_brush_);
  return true;
}

void DarkTheme::paint_size_grip(HDC dc, const RECT& grip) {
  if (!dc) return;
  const GripDots dots = grip_dots(from_rect(grip), dpi_);
  for (int i = 0; i < dots.count; ++i) {
    fill(dc, to_rect(dots.dots[static_cast<std::size_t>(i)]), palette::kBorder);
  }
}

HBRUSH DarkTheme::control_colors(UINT message, HDC dc) {
  if (message == WM_CTLCOLORSTATIC) {
    SetTextColor(dc, to_colorref(palette::kTextSecondary));
    SetBkColor(dc, to_colorref(palette::kWindowBackground));
    SetBkMode(dc, OPAQUE);
    return window_brush_;
  }
  if (message == WM_CTLCOLORLISTBOX) {
    SetTextColor(dc, to_colorref(palette::kText));
    SetBkColor(dc, to_colorref(palette::kSurface));
    SetBkMode(dc, OPAQUE);
    return list_brush_;
  }
  return nullptr;
}

bool DarkTheme::measure_item(MEASUREITEMSTRUCT& item, int window_dpi) {
  if (item.CtlType != ODT_COMBOBOX) return false;
  const int d = dpi_ > 0 ? dpi_ : (window_dpi > 0 ? window_dpi : 96);
  item.itemHeight = static_cast<UINT>(MulDiv(24, d, 96));
  return true;
}

bool DarkTheme::draw_item(const DRAWITEMSTRUCT& item) {
  if (item.CtlType == ODT_BUTTON && item.hwndItem) {
    if (item.hwndItem == search_button_) {
      draw_button(item, search_hover_, search_focus_hidden_);
      return true;
    }
    if (item.hwndItem == update_button_) {
      draw_button(item, update_hover_, update_focus_hidden_);
      return true;
    }
    return false;
  }
  if (item.CtlType == ODT_COMBOBOX && item.hwndItem && item.hwndItem == combo_) {
    if (item.itemState & ODS_COMBOBOXEDIT) {
      // The closed box is painted whole by its subclass; a selection field
      // drawn on its own (the combo box does that when the selection
      // changes) is replaced by a full repaint instead.
      RedrawWindow(combo_, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
      return true;
    }
    draw_combo_item(item);
    return true;
  }
  return false;
}

void DarkTheme::draw_button(const DRAWITEMSTRUCT& item, bool hovered, bool focus_hidden) {
  HDC dc = item.hDC;
  const bool enabled = (item.itemState & ODS_DISABLED) == 0;
  const FaceColors c = button_colors(enabled, hovered || (item.itemState & ODS_HOTLIGHT),
                                     (item.itemState & ODS_SELECTED) != 0,
                                     focus_ring_due(item.hwndItem, focus_hidden));
  paint_face(dc, item.rcItem, c, item.hwndItem, item.rcItem, window_text(item.hwndItem), DT_CENTER);
}

void DarkTheme::draw_combo_item(const DRAWITEMSTRUCT& item) {
  HDC dc = item.hDC;
  fill(dc, item.rcItem, (item.itemState & ODS_SELECTED) ? palette::kPressed : palette::kSurface);
  if (item.itemID == static_cast<UINT>(-1)) return;
  const auto length = SendMessageW(item.hwndItem, CB_GETLBTEXTLEN, item.itemID, 0);
  if (length < 1 || length > 1023) return;
  wchar_t text[1024] = {};
  SendMessageW(item.hwndItem, CB_GETLBTEXT, item.itemID, reinterpret_cast<LPARAM>(text));
  RECT r = item.rcItem;
  r.left += s(8);
  r.right -= s(6);
  const SelectedFont font(dc, control_font(item.hwndItem));
  draw_text(dc, r, text, static_cast<int>(length), palette::kText);
}

void DarkTheme::draw_chevron(HDC dc, int x, int y, int size, bool up, COLORREF color) {
  polyline(dc, chevron_points(x, y, size, up), color);
}

// ---------------------------------------------------------------------------
// List rows

bool DarkTheme::custom_draw(const NMHDR& header, LRESULT& result) {
  if (!list_ || header.hwndFrom != list_ || header.code != NM_CUSTOMDRAW) return false;
  const auto& cd = reinterpret_cast<const NMLVCUSTOMDRAW&>(header);
  if (cd.nmcd.dwDrawStage == CDDS_PREPAINT) {
    result = CDRF_NOTIFYITEMDRAW;
    return true;
  }
  if (cd.nmcd.dwDrawStage == CDDS_ITEMPREPAINT) {
    if (!paint_row(cd.nmcd.hdc, static_cast<int>(cd.nmcd.dwItemSpec))) return false;
    result = CDRF_SKIPDEFAULT | CDRF_SKIPPOSTPAINT;
    return true;
  }
  return false;
}

bool DarkTheme::paint_row(HDC dc, int row) {
  if (!dc || row < 0) return false;
  RECT bounds{};
  bounds.left = LVIR_BOUNDS;
  if (!SendMessageW(list_, LVM_GETITEMRECT, static_cast<WPARAM>(row),
                    reinterpret_cast<LPARAM>(&bounds))) {
    return false;
  }
  RECT client{};
  GetClientRect(list_, &client);
  bounds.left = std::max(bounds.left, client.left);
  bounds.right = std::min(bounds.right, client.right);
  if (bounds.right <= bounds.left || bounds.bottom <= bounds.top) return false;
  const int saved = SaveDC(dc);
  if (saved == 0) return false;
  IntersectClipRect(dc, bounds.left, bounds.top, bounds.right, bounds.bottom);
  SelectObject(dc, control_font(list_));

  LVITEMW item{};
  item.mask = LVIF_STATE | LVIF_PARAM;
  item.iItem = row;
  item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  int accent = 0;
  const bool read = SendMessageW(list_, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)) != 0;
  if (!read) item.state = 0;
  if (read && row_accent_query_) accent = row_accent_query_(row_accent_context_, item.lParam);
  RowMark mark = RowMark::kNone;
  if (read && row_mark_query_) mark = row_mark_query_(row_mark_context_, item.lParam);
  const RowColors& set = row_colors(accent);
  const bool list_focused = GetFocus() == list_;
  const bool selected = (item.state & LVIS_SELECTED) != 0;
  fill(dc, bounds, row_background(set, selected, list_focused, row));
  const bool focus_frame = list_focused && (item.state & LVIS_FOCUSED);

  if (header_) {
    POINT origin{0, 0};
    MapWindowPoints(header_, list_, &origin, 1);
    const int columns = static_cast<int>(SendMessageW(header_, HDM_GETITEMCOUNT, 0, 0));
    wchar_t text[1025];
    for (int i = 0; i < columns; ++i) {
      RECT cell{};
      if (!SendMessageW(header_, HDM_GETITEMRECT, static_cast<WPARAM>(i),
                        reinterpret_cast<LPARAM>(&cell))) {
        continue;
      }
      OffsetRect(&cell, origin.x, 0);
      if (cell.right <= bounds.left || cell.left >= bounds.right) continue;
      LVITEMW sub{};
      sub.iSubItem = i;
      sub.pszText = text;
      sub.cchTextMax = 1025;
      text[0] = L'\0';
      const auto length = SendMessageW(list_, LVM_GETITEMTEXTW, static_cast<WPARAM>(row),
                                       reinterpret_cast<LPARAM>(&sub));
      const RECT r{cell.left + s(8), bounds.top, cell.right - s(8), bounds.bottom};
      draw_text(dc, r, text, static_cast<int>(std::min<LRESULT>(length, 1024)),
                row_text(selected, i, mark));
      if (!selected) {
        fill(dc, RECT{cell.right - 1, bounds.top, cell.right, bounds.bottom}, palette::kDivider);
      }
    }
  }
  if (const auto accent_bar = row_accent_bar(set, mark)) {
    RECT bar{bounds.left, bounds.top, bounds.left + s(3), bounds.bottom};
    if (focus_frame)
      bar = {bounds.left + 1, bounds.top + 1, bounds.left + 1 + s(3), bounds.bottom - 1};
    fill(dc, bar, *accent_bar);
  }
  if (focus_frame) frame(dc, bounds, palette::kHighlight);
  RestoreDC(dc, saved);
  return true;
}

// Rows first to last (or through the last row, after an insertion); a
// negative index means the whole list.
void DarkTheme::repaint_rows(HWND list, int first, int last, bool to_end) {
  // Nothing of a hidden list can be seen.
  if (!IsWindowVisible(list)) return;
  RECT client{};
  if (!GetClientRect(list, &client)) return;
  if (first < 0 || (last < 0 && !to_end)) {
    InvalidateRect(list, nullptr, FALSE);
    return;
  }
  RECT item{};
  item.left = LVIR_BOUNDS;
  if (!SendMessageW(list, LVM_GETITEMRECT, static_cast<WPARAM>(first),
                    reinterpret_cast<LPARAM>(&item))) {
    return;
  }
  // A row below the visible area (the usual insertion at the end of a long
  // list) needs nothing, not even the item count.
  if (item.top >= client.bottom) return;
  if (to_end) last = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)) - 1;
  const Rect band =
      row_band(first, last, item.top, item.bottom - item.top, client.right, client.bottom);
  if (band.empty()) return;
  const RECT r = to_rect(band);
  InvalidateRect(list, &r, FALSE);
}

LRESULT CALLBACK DarkTheme::list_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam, UINT_PTR,
                                      DWORD_PTR ref) {
  auto* self = reinterpret_cast<DarkTheme*>(ref);
  if (msg == WM_NCDESTROY) {
    if (self->list_ == hwnd) self->list_ = nullptr;
    return def_subclass_proc(hwnd, msg, wparam, lparam);
  }
  if (msg == WM_ERASEBKGND) {
    RECT rc{};
    GetClientRect(hwnd, &rc);
    fill(reinterpret_cast<HDC>(wparam), rc, palette::kSurface);
    return 1;
  }
  const LRESULT result = def_subclass_proc(hwnd, msg, wparam, lparam);
  switch (msg) {
    case WM_SETREDRAW:
      if (wparam) repaint_erasing(hwnd);
      break;
    case WM_SIZE:
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_HSCROLL:
    case WM_VSCROLL:
    case WM_MOUSEWHEEL:
    case WM_MOUSEHWHEEL:
    case LVM_DELETEITEM:
    case LVM_DELETEALLITEMS:
    case LVM_ENSUREVISIBLE:
    case LVM_SCROLL:
    case LVM_SETCOLUMNWIDTH:
    case LVM_SORTITEMS:
    case LVM_SORTITEMSEX:
      if (IsWindowVisible(hwnd)) repaint_erasing(hwnd);
      break;
    case WM_NOTIFY: {
      const auto* nm = reinterpret_cast<const NMHDR*>(lparam);
      if (nm && (nm->code == HDN_ITEMCHANGEDW || nm->code == HDN_ITEMCHANGEDA ||
                 nm->code == HDN_ENDDRAG)) {
        if (IsWindowVisible(hwnd)) repaint_erasing(hwnd);
      }
      break;
    }
    case LVM_SETITEMW:
    case LVM_SETITEMA:
      if (result && lparam) {
        const int row = reinterpret_cast<const LVITEMW*>(lparam)->iItem;
        self->repaint_rows(hwnd, row, row);
      }
      break;
    case LVM_SETITEMTEXTW:
    case LVM_SETITEMTEXTA:
      if (result) self->repaint_rows(hwnd, static_cast<int>(wparam), static_cast<int>(wparam));
      break;
    case LVM_INSERTITEMW:
    case LVM_INSERTITEMA:
      if (result >= 0) self->repaint_rows(hwnd, static_cast<int>(result), 0, true);
      break;
    case LVM_REDRAWITEMS:
      self->repaint_rows(hwnd, static_cast<int>(wparam), static_cast<int>(lparam));
      break;
    case LVM_SETITEMSTATE:
      if (result) repaint(hwnd);
      break;
    default:
      break;
  }
  return result;
}

// ---------------------------------------------------------------------------
// Header

void DarkTheme::paint_header(HWND header, HDC dc) {
  RECT client{};
  GetClientRect(header, &client);
  fill(dc, client, palette::kControl);
  const SelectedFont font(dc, control_font(list_ ? list_ : header));
  const int count = static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
  wchar_t text[257];
  for (int i = 0; i < count; ++i) {
    RECT r{};
    if (!SendMessageW(header, HDM_GETITEMRECT, static_cast<WPARAM>(i),
                      reinterpret_cast<LPARAM>(&r)) ||
        !RectVisible(dc, &r)) {
      continue;
    }
    HDITEMW item{};
    item.mask = HDI_TEXT | HDI_FORMAT;
    item.pszText = text;
    item.cchTextMax = 257;
    text[0] = L'\0';
    if (!SendMessageW(header, HDM_GETITEMW, static_cast<WPARAM>(i),
                      reinterpret_cast<LPARAM>(&item))) {
      continue;
    }
    if (i == header_hot_item_) fill(dc, r, palette::kControlHover);
    fill(dc, RECT{r.right - 1, r.top, r.right, r.bottom}, palette::kDivider);
    const bool sorted = (item.fmt & (HDF_SORTUP | HDF_SORTDOWN)) != 0;
    const HeaderItemLayout h = header_item_layout(r.left, r.right, sorted, dpi_);
    const int length = static_cast<int>(wcsnlen(text, 256));
    draw_text(dc, RECT{h.text_left, r.top, h.text_right, r.bottom}, text, length,
              sorted ? palette::kText : palette::kTextSecondary);
    if (h.arrow) {
      draw_chevron(dc, h.arrow_x, (r.top + r.bottom) / 2, s(4), (item.fmt & HDF_SORTUP) != 0,
                   to_colorref(palette::kHighlight));
    }
  }
  fill(dc, RECT{client.left, client.bottom - 1, client.right, client.bottom}, palette::kDivider);
}

LRESULT CALLBACK DarkTheme::header_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam, UINT_PTR,
                                        DWORD_PTR ref) {
  auto* self = reinterpret_cast<DarkTheme*>(ref);
  LRESULT painted = 0;
  if (paint_whole(hwnd, msg, wparam, painted, [&](HDC dc) { self->paint_header(hwnd, dc); })) {
    return painted;
  }
  switch (msg) {
    case HDM_LAYOUT: {
      const LRESULT result = def_subclass_proc(hwnd, msg, wparam, lparam);
      auto* layout = reinterpret_cast<HDLAYOUT*>(lparam);
      if (result && layout && layout->pwpos && layout->prc && layout->pwpos->cy > 0) {
        const int height = self->s(24);
        layout->prc->top += height - layout->pwpos->cy;
        layout->pwpos->cy = height;
      }
      return result;
    }
    case WM_MOUSEMOVE: {
      HDHITTESTINFO hit{};
      hit.pt = {GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
      SendMessageW(hwnd, HDM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit));
      const int hot = (hit.flags & (HHT_ONHEADER | HHT_ONDIVIDER | HHT_ONDIVOPEN)) ? hit.iItem : -1;
      if (hot != self->header_hot_item_) {
        self->header_hot_item_ = hot;
        request_leave(hwnd);
        repaint(hwnd);
      }
      break;
    }
    case WM_MOUSELEAVE:
      self->header_hot_item_ = -1;
      repaint(hwnd);
      break;
    case HDM_SETITEMA:
    case HDM_SETITEMW:
    case HDM_SETORDERARRAY: {
      const LRESULT result = def_subclass_proc(hwnd, msg, wparam, lparam);
      repaint(hwnd);
      return result;
    }
    case WM_NCDESTROY:
      if (self->header_ == hwnd) self->header_ = nullptr;
      self->header_hot_item_ = -1;
      break;
    default:
      break;
  }
  return def_subclass_proc(hwnd, msg, wparam, lparam);
}

// ---------------------------------------------------------------------------
// Combo box

void DarkTheme::paint_combo(HWND combo, HDC dc) {
  RECT r{};
  GetClientRect(combo, &r);
  const bool enabled = IsWindowEnabled(combo) != FALSE;
  const bool dropped = SendMessageW(combo, CB_GETDROPPEDSTATE, 0, 0) != 0;
  const ComboColors c = combo_colors(enabled, dropped, combo_hover_, GetFocus() == combo);
  const int arrow_room = s(30);
  // The selected item's text, when there is one of 1 to 1023 characters.
  wchar_t text[1024] = {};
  LRESULT length = 0;
  if (const auto selected = SendMessageW(combo, CB_GETCURSEL, 0, 0); selected >= 0) {
    length = SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(selected), 0);
    if (length >= 1 && length <= 1023) {
      SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(selected),
                   reinterpret_cast<LPARAM>(text));
    } else {
      length = 0;
    }
  }
  paint_face(dc, r, c, combo, RECT{r.left + s(8), r.top, r.right - arrow_room, r.bottom},
             std::wstring_view(text, static_cast<std::size_t>(length)), 0);
  draw_chevron(dc, r.right - arrow_room / 2, (r.top + r.bottom) / 2, s(4), dropped,
               to_colorref(c.arrow));
}

LRESULT CALLBACK DarkTheme::combo_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam, UINT_PTR,
                                       DWORD_PTR ref) {
  auto* self = reinterpret_cast<DarkTheme*>(ref);
  LRESULT painted = 0;
  if (paint_whole(hwnd, msg, wparam, painted, [&](HDC dc) { self->paint_combo(hwnd, dc); })) {
    return painted;
  }
  switch (msg) {
    case WM_CTLCOLORLISTBOX:
      return reinterpret_cast<LRESULT>(
          self->control_colors(WM_CTLCOLORLISTBOX, reinterpret_cast<HDC>(wparam)));
    case WM_MOUSEMOVE:
    case WM_MOUSELEAVE:
      if (hover_cue(hwnd, msg, self->combo_hover_)) repaint(hwnd);
      break;
    case WM_NCDESTROY:
      if (self->combo_ == hwnd) self->combo_ = nullptr;
      self->combo_hover_ = false;
      return def_subclass_proc(hwnd, msg, wparam, lparam);
    default:
      break;
  }
  const LRESULT result = def_subclass_proc(hwnd, msg, wparam, lparam);
  switch (msg) {
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_ENABLE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED:
    case CB_SETCURSEL:
    case CB_SHOWDROPDOWN:
    case WM_KEYDOWN:
      repaint(hwnd);
      break;
    default:
      break;
  }
  return result;
}

// ---------------------------------------------------------------------------
// Push buttons (their faces are drawn through WM_DRAWITEM)

LRESULT CALLBACK DarkTheme::button_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam,
                                        UINT_PTR id, DWORD_PTR ref) {
  auto* self = reinterpret_cast<DarkTheme*>(ref);
  const bool search = id == kSubclassSearch;
  bool& hover = search ? self->search_hover_ : self->update_hover_;
  bool& focus_hidden = search ? self->search_focus_hidden_ : self->update_focus_hidden_;
  switch (msg) {
    case WM_ERASEBKGND:
      return 1;
    case WM_NCDESTROY:
      hover = false;
      focus_hidden = false;
      if (search && self->search_button_ == hwnd) self->search_button_ = nullptr;
      if (!search && self->update_button_ == hwnd) self->update_button_ = nullptr;
      return def_subclass_proc(hwnd, msg, wparam, lparam);
    default:
      break;
  }
  const bool cue = focus_cue(msg, wparam, focus_hidden);
  const bool hovered = hover_cue(hwnd, msg, hover);
  const LRESULT result = def_subclass_proc(hwnd, msg, wparam, lparam);
  if (cue || hovered) repaint(hwnd);
  if (msg == WM_WINDOWPOSCHANGED && lparam &&
      !(reinterpret_cast<const WINDOWPOS*>(lparam)->flags & SWP_NOREDRAW)) {
    repaint(hwnd);
  }
  return result;
}

// ---------------------------------------------------------------------------
// Filter tabs

void DarkTheme::paint_tab(FilterTabState& tab, HDC dc) {
  HWND hwnd = tab.hwnd;
  RECT client{};
  GetClientRect(hwnd, &client);
  const bool enabled = IsWindowEnabled(hwnd) != FALSE;
  const bool checked = SendMessageW(hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED;
  const bool pushed = (SendMessageW(hwnd, BM_GETSTATE, 0, 0) & BST_PUSHED) != 0;
  const TabColors c = tab_colors(tab.accent_index, enabled, checked, tab.hover || pushed,
                                 enabled && focus_ring_due(hwnd, tab.focus_hidden));
  const TabGeometry g = tab_geometry(from_rect(client), dpi_);
  paint_face(dc, client, c, hwnd, RECT{g.text_left, client.top, g.text_right, client.bottom},
             window_text(hwnd), DT_CENTER);
  fill(dc, to_rect(g.mark_bar), c.mark);
  frame(dc, to_rect(g.check_box), c.mark);
  if (c.draw_check) polyline(dc, g.check_mark, to_colorref(c.mark));
}

LRESULT CALLBACK DarkTheme::tab_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam, UINT_PTR id,
                                     DWORD_PTR ref) {
  auto* self = reinterpret_cast<DarkTheme*>(ref);
  FilterTabState* tab = self->tab_state(hwnd);
  if (!tab || msg == WM_NCDESTROY) {
    remove_subclass(hwnd, &DarkTheme::tab_proc, id);
    auto& tabs = self->filter_tabs_;
    tabs.erase(std::remove_if(tabs.begin(), tabs.end(),
                              [&](const FilterTabState& t) { return t.hwnd == hwnd; }),
               tabs.end());
    return def_subclass_proc(hwnd, msg, wparam, lparam);
  }
  LRESULT painted = 0;
  if (paint_whole(hwnd, msg, wparam, painted, [&](HDC dc) { self->paint_tab(*tab, dc); })) {
    return painted;
  }
  switch (msg) {
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONDBLCLK: {
      const bool right = msg == WM_RBUTTONDOWN || msg == WM_RBUTTONDBLCLK;
      if (tab->click.press(right ? TabClick::Button::kRight : TabClick::Button::kMiddle,
                           (wparam & MK_LBUTTON) != 0, GetCapture() != nullptr,
                           point_inside(hwnd, lparam))) {
        SetCapture(hwnd);
        if (GetCapture() != hwnd) request_leave(hwnd);
      }
      return 0;  // the button itself never sees right or middle clicks
    }
    case WM_RBUTTONUP:
    case WM_MBUTTONUP: {
      bool ended = false;
      const bool solo = tab->click.release(msg, point_inside(hwnd, lparam), ended);
      if (ended && GetCapture() == hwnd) ReleaseCapture();
      if (solo) {
        const int control = GetDlgCtrlID(hwnd);
        SendMessageW(GetParent(hwnd), WM_COMMAND,
                     MAKEWPARAM(static_cast<WORD>(control), kTabSoloCommand),
                     reinterpret_cast<LPARAM>(hwnd));
      }
      return 0;
    }
    case WM_CANCELMODE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      if (tab->click.pending_release() != 0) {
        tab->click.cancel();
        if (GetCapture() == hwnd) ReleaseCapture();
      }
      break;
    case WM_CAPTURECHANGED:
      tab->click.cancel();
      break;
    case WM_MOUSELEAVE:
      if (GetCapture() != hwnd) tab->click.cancel();
      break;
    default:
      break;
  }
  // The entry may move while the button runs (a tab added meanwhile), so
  // the flags are updated through a fresh lookup afterwards.
  bool focus_hidden = tab->focus_hidden;
  bool hover = tab->hover;
  const bool cue = focus_cue(msg, wparam, focus_hidden);
  const bool hovered = hover_cue(hwnd, msg, hover);
  tab->focus_hidden = focus_hidden;
  tab->hover = hover;
  const LRESULT result = def_subclass_proc(hwnd, msg, wparam, lparam);
  bool again = cue || hovered;
  switch (msg) {
    case BM_SETCHECK:
    case BM_SETSTATE:
    case BM_CLICK:
    case WM_KEYUP:
    case WM_ENABLE:
    case WM_SETTEXT:
    case WM_SETFONT:
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED:
      again = true;
      break;
    default:
      break;
  }
  // The button draws its own face straight away on some of these (a check
  // or state change): painted over at once, so that face never stays.
  if (again && IsWindow(hwnd)) RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  return result;
}

// ---------------------------------------------------------------------------
// Progress bar

void DarkTheme::paint_progress(HWND bar, HDC dc) {
  RECT client{};
  GetClientRect(bar, &client);
  fill(dc, client, palette::kSurface);
  frame(dc, client, palette::kBorder);
  const Rect inner = progress_inner(from_rect(client), dpi_);
  if (inner.empty()) return;
  const Span span = progress_fill(inner.width, progress_.position, GetTickCount64());
  fill(dc, RECT{inner.x + span.begin, inner.y, inner.x + span.end, inner.bottom()},
       palette::kHighlight);
}

LRESULT CALLBACK DarkTheme::progress_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam,
                                          UINT_PTR, DWORD_PTR ref) {
  auto* self = reinterpret_cast<DarkTheme*>(ref);
  LRESULT painted = 0;
  if (paint_whole(hwnd, msg, wparam, painted, [&](HDC dc) { self->paint_progress(hwnd, dc); })) {
    return painted;
  }
  switch (msg) {
    case WM_TIMER:
      if (wparam == kProgressTimer) {
        repaint(hwnd);
        return 0;
      }
      break;
    case WM_NCDESTROY:
      KillTimer(hwnd, kProgressTimer);
      if (self->progress_bar_ == hwnd) self->progress_bar_ = nullptr;
      break;
    default:
      break;
  }
  return def_subclass_proc(hwnd, msg, wparam, lparam);
}

}  // namespace norvane
