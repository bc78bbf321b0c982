// The dark theme on the real main window under Wine: each control is
// rendered with WM_PRINTCLIENT into a memory bitmap at 96 and 144 DPI and
// the pixels that carry the look are checked; the filter tabs' right and
// middle clicks, the progress bar's timer and destroyed controls are
// exercised through the controls themselves.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/layout_logic.h"
#include "app/window_win.h"
#include "support/common_controls_win.h"
#include "support/summaries.h"
#include "ui/dark_theme_win.h"
#include "ui/subclass_win.h"
#include "ui/theme_logic.h"

namespace norvane {
namespace {

using test::pump;
using test::source_path;
using test::to_wide;

const auto* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new test::CommonControlsEnvironment);

constexpr COLORREF c(Rgb rgb) { return to_colorref(rgb); }

std::string name(COLORREF color) {
  return "(" + std::to_string(GetRValue(color)) + "," + std::to_string(GetGValue(color)) + "," +
         std::to_string(GetBValue(color)) + ")";
}

// A 32-bit top-down memory bitmap that a control prints itself into.
class Canvas {
 public:
  Canvas(int width, int height) : width_(width), height_(height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    dc_ = CreateCompatibleDC(nullptr);
    bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits_, nullptr, 0);
    old_ = SelectObject(dc_, bitmap_);
    RECT all{0, 0, width, height};
    FillRect(dc_, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  }
  ~Canvas() {
    SelectObject(dc_, old_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
  }
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  HDC dc() const { return dc_; }
  int width() const { return width_; }
  int height() const { return height_; }
  COLORREF at(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return CLR_INVALID;
    GdiFlush();
    const auto v = static_cast<const std::uint32_t*>(bits_)[y * width_ + x];
    return RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
  }

 private:
  int width_, height_;
  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ old_ = nullptr;
  void* bits_ = nullptr;
};

std::unique_ptr<Canvas> render(HWND control) {
  RECT rc{};
  GetClientRect(control, &rc);
  auto canvas = std::make_unique<Canvas>(std::max<LONG>(rc.right, 1), std::max<LONG>(rc.bottom, 1));
  SendMessageW(control, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(canvas->dc()),
               PRF_CLIENT | PRF_ERASEBKGND);
  return canvas;
}

#define EXPECT_PIXEL(canvas, x, y, want)                                                       \
  do {                                                                                         \
    const COLORREF got_ = (canvas).at((x), (y));                                               \
    EXPECT_EQ(got_, (want)) << "at " << (x) << "," << (y) << " got " << name(got_) << " want " \
                            << name(want);                                                     \
  } while (0)

// Counts the solo commands (WM_COMMAND with notification 0x6101) that reach
// the main window.
LRESULT CALLBACK count_solo(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam, UINT_PTR,
                            DWORD_PTR ref) {
  if (msg == WM_COMMAND && HIWORD(wparam) == kTabSoloCommand) ++*reinterpret_cast<int*>(ref);
  return DefSubclassProc(hwnd, msg, wparam, lparam);
}

class ThemeTest : public ::testing::TestWithParam<int> {
 protected:
  int dpi() const { return GetParam(); }
  int s(int v) const { return scale_px(v, dpi()); }

  void SetUp() override {
    WindowOptions options;
    options.forced_dpi = dpi();
    options.warn = [](std::wstring_view, std::wstring_view) {};
    options.open_address = [](const std::wstring&) { return true; };
    // No adapters: nothing is ever sent.
    options.list_adapters = [] { return std::vector<NetworkAdapter>{}; };
    window = std::make_unique<Window>(options);
    hwnd = window->create(GetModuleHandleW(nullptr));
    ASSERT_NE(hwnd, nullptr);
    ShowWindow(hwnd, SW_SHOWNORMAL);
    SetForegroundWindow(hwnd);
    pump();
    ASSERT_TRUE(
        SetWindowSubclass(hwnd, count_solo, 1, reinterpret_cast<DWORD_PTR>(&solo_commands)));
  }

  void TearDown() override {
    if (window && window->hwnd()) {
      RemoveWindowSubclass(window->hwnd(), count_solo, 1);
      DestroyWindow(window->hwnd());
    }
    pump();
    window.reset();
  }

  DarkTheme& theme() { return window->theme(); }
  HWND tab(std::size_t i) const { return window->tabs()[i]; }

  // Eight devices; the accent of each row comes from the test's own query
  // so that every colour set is seen (row index = accent, 7 = default).
  void feed_rows() {
    std::vector<PacketSummary> summaries;
    for (int i = 0; i < 8; ++i) {
      summaries.push_back(test::device_summary("02:00:00:00:00:0" + std::to_string(i + 1),
                                               "10.0.0." + std::to_string(i + 1), "mDNS",
                                               "dev" + std::to_string(i)));
    }
    const auto generation = window->queue_generation();
    for (auto& summary : summaries) window->queue_summary(std::move(summary), generation);
    window->update();
    theme().set_row_accent_query(nullptr,
                                 [](void*, LPARAM data) { return static_cast<int>(data); });
    pump();
  }

  RECT item_rect(int item) {
    RECT r{};
    r.left = LVIR_BOUNDS;
    SendMessageW(window->list_view(), LVM_GETITEMRECT, static_cast<WPARAM>(item),
                 reinterpret_cast<LPARAM>(&r));
    return r;
  }

  RECT header_item(int column) {
    RECT r{};
    SendMessageW(window->device_list().header(), HDM_GETITEMRECT, static_cast<WPARAM>(column),
                 reinterpret_cast<LPARAM>(&r));
    return r;
  }

  std::unique_ptr<Window> window;
  HWND hwnd = nullptr;
  int solo_commands = 0;
};

TEST_P(ThemeTest, RowsByAccentAndParityWithAccentBarsAndDividers) {
  feed_rows();
  HWND list = window->list_view();
  ASSERT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 8);
  SetFocus(window->combo());
  const auto canvas = render(list);
  const RECT col0 = header_item(0);
  for (int n = 0; n < 8; ++n) {
    SCOPED_TRACE("row " + std::to_string(n));
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = n;
    SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
    const int accent = static_cast<int>(item.lParam);
    const RowColors& set = row_colors(accent);
    const RECT r = item_rect(n);
    const COLORREF background = c(n % 2 == 0 ? set.even : set.odd);
    // Background above the text, inside column 0.
    EXPECT_PIXEL(*canvas, col0.right - s(4), r.top + 1, background);
    EXPECT_PIXEL(*canvas, col0.right - 1, r.top + 1, c(palette::kDivider));
    if (set.accent) {
      EXPECT_PIXEL(*canvas, r.left, (r.top + r.bottom) / 2, c(*set.accent));
      EXPECT_PIXEL(*canvas, r.left + s(3) - 1, r.top, c(*set.accent));
      EXPECT_PIXEL(*canvas, r.left + s(3), r.top, background);  // exactly S(3) wide
    } else {
      EXPECT_PIXEL(*canvas, r.left, r.top, background);
    }
  }
}

// True when some pixel of `area` has exactly `color` (the solid stems of
// the text drawn in it).
bool has_pixel(const Canvas& canvas, const RECT& area, COLORREF color) {
  for (int y = area.top; y < area.bottom; ++y) {
    for (int x = area.left; x < area.right; ++x) {
      if (canvas.at(x, y) == color) return true;
    }
  }
  return false;
}

// The window's own mark query: a line whose state asks for a look has warm
// text, a device that left has receding text and accent bar.
TEST_P(ThemeTest, LinesWithAStateStandOutAndGoneOnesRecede) {
  LocalNetwork local;
  local.ipv4 = 0x0100000A;  // 10.0.0.1/24
  local.prefix_length = 24;
  window->device_table().set_local_network(local);
  PacketSummary gone = test::device_summary("02:00:00:00:00:03", "10.0.0.3", "SADP", "gone");
  PacketSummary goodbye = gone;
  goodbye.departure = true;
  const auto generation = window->queue_generation();
  for (auto summary :
       {test::device_summary("02:00:00:00:00:02", "10.0.0.2", "SADP", "clean"), gone, goodbye,
        test::device_summary("02:00:00:00:00:04", "10.1.1.1", "SADP", "x")}) {
    ASSERT_TRUE(window->queue_summary(std::move(summary), generation));
  }
  window->update();
  HWND list = window->list_view();
  ASSERT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 3);
  SetFocus(window->combo());
  const auto canvas = render(list);
  struct Line {
    RowMark mark;
    Rgb first_column, other_columns;
  };
  const Line lines[] = {
      {RowMark::kNone, palette::kText, palette::kTextSecondary},
      {RowMark::kGone, palette::kTextGone, palette::kTextGone},
      {RowMark::kAttention, palette::kWarning, palette::kWarningSecondary},
  };
  const RECT col0 = header_item(kColIp);
  const RECT col3 = header_item(kColName);
  for (int n = 0; n < 3; ++n) {
    SCOPED_TRACE("line " + std::to_string(n));
    const Line& line = lines[n];
    const RECT r = item_rect(n);
    EXPECT_TRUE(has_pixel(*canvas, {col0.left, r.top, col0.right, r.bottom}, c(line.first_column)));
    EXPECT_TRUE(
        has_pixel(*canvas, {col3.left, r.top, col3.right, r.bottom}, c(line.other_columns)));
    const RowColors& set = row_colors(1);  // Hikvision, by SADP
    EXPECT_PIXEL(*canvas, r.left, (r.top + r.bottom) / 2, c(*row_accent_bar(set, line.mark)));
  }
}

TEST_P(ThemeTest, SelectedRowFocusedAndUnfocused) {
  feed_rows();
  HWND list = window->list_view();
  // Row 2 (accent 2) selected and focused.
  LVITEMW state{};
  state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  state.state = LVIS_SELECTED | LVIS_FOCUSED;
  SendMessageW(list, LVM_SETITEMSTATE, 2, reinterpret_cast<LPARAM>(&state));
  SetFocus(list);
  ASSERT_EQ(GetFocus(), list);
  const RowColors& set = row_colors(2);
  const RECT col0 = header_item(0);
  const RECT r = item_rect(2);
  const int mid = (r.top + r.bottom) / 2;
  {
    const auto canvas = render(list);
    EXPECT_PIXEL(*canvas, col0.right - s(4), r.top + 2, c(set.selected_focused));
    EXPECT_PIXEL(*canvas, col0.right - 1, r.top + 2, c(set.selected_focused));  // no divider
    EXPECT_PIXEL(*canvas, r.left, mid, c(palette::kHighlight));                 // focus frame
    EXPECT_PIXEL(*canvas, col0.right - s(4), r.top, c(palette::kHighlight));
    EXPECT_PIXEL(*canvas, r.left + 1, mid, c(*set.accent));  // bar inset by one pixel
    EXPECT_PIXEL(*canvas, r.left + s(3), mid, c(*set.accent));
    EXPECT_PIXEL(*canvas, r.left + s(3) + 1, r.top + 2, c(set.selected_focused));
    // Its neighbours keep their parity colours.
    EXPECT_PIXEL(*canvas, col0.right - s(4), item_rect(3).top + 1, c(row_colors(3).odd));
  }
  SetFocus(window->combo());
  {
    const auto canvas = render(list);
    EXPECT_PIXEL(*canvas, col0.right - s(4), r.top + 1, c(set.selected_unfocused));
    EXPECT_PIXEL(*canvas, r.left, mid, c(*set.accent));  // no frame: the bar starts at the edge
    EXPECT_PIXEL(*canvas, col0.right - s(4), r.top, c(set.selected_unfocused));
  }
}

TEST_P(ThemeTest, TickRepaintsOnlyTheRowsThatChanged) {
  feed_rows();
  HWND list = window->list_view();
  UpdateWindow(list);
  pump();
  ASSERT_FALSE(GetUpdateRect(list, nullptr, FALSE));
  const auto tick_with = [&](std::vector<PacketSummary> summaries) {
    const auto generation = window->queue_generation();
    for (auto& summary : summaries) window->queue_summary(std::move(summary), generation);
    window->update();
    RECT dirty{};
    GetUpdateRect(list, &dirty, FALSE);
    return dirty;
  };
  RECT client{};
  GetClientRect(list, &client);
  // A renamed device (the list is sorted by address, so nothing moves):
  // only its row.
  RECT dirty = tick_with({test::device_summary("02:00:00:00:00:03", "10.0.0.3", "mDNS", "new")});
  RECT row = item_rect(2);
  EXPECT_EQ(dirty.top, row.top);
  EXPECT_EQ(dirty.bottom, row.bottom);
  EXPECT_EQ(dirty.left, 0);
  EXPECT_EQ(dirty.right, client.right);
  ValidateRect(list, nullptr);
  // A tick without news repaints nothing.
  window->update();
  EXPECT_FALSE(GetUpdateRect(list, nullptr, FALSE));
  // A new device at the end: its row only.
  dirty = tick_with({test::device_summary("02:00:00:00:00:09", "10.0.0.9", "mDNS", "ninth")});
  row = item_rect(8);
  EXPECT_EQ(dirty.top, row.top);
  EXPECT_EQ(dirty.bottom, row.bottom);
  ValidateRect(list, nullptr);
  // A device that sorts into the middle moves the items: the whole list.
  dirty = tick_with({test::device_summary("02:00:00:00:00:0A", "10.0.0.0", "mDNS", "zero")});
  EXPECT_EQ(dirty.top, client.top);
  EXPECT_EQ(dirty.bottom, client.bottom);
  pump();
}

TEST_P(ThemeTest, PaintHoldsNestAndEndOnce) {
  feed_rows();
  HWND list = window->list_view();
  DeviceList& devices = window->device_list();
  UpdateWindow(list);
  pump();
  ASSERT_FALSE(GetUpdateRect(list, nullptr, FALSE));
  {
    DeviceList::PaintHold outer = devices.hold_painting();
    {
      DeviceList::PaintHold inner = devices.hold_painting();
      // A renamed device and a new one at the end, with the sort that
      // moves nothing: neither the list nor the theme's repaint rules
      // touch the screen meanwhile.
      window->device_table().merge(
          test::device_summary("02:00:00:00:00:03", "10.0.0.3", "mDNS", "renamed"));
      window->device_table().merge(
          test::device_summary("02:00:00:00:00:09", "10.0.0.9", "mDNS", "ninth"));
      devices.sort();
      const DeviceList::PaintHold moved = std::move(inner);
      EXPECT_TRUE(devices.painting_held());
    }  // the moved hold ends the inner one, once
    EXPECT_TRUE(devices.painting_held());
    EXPECT_FALSE(GetUpdateRect(list, nullptr, FALSE));
    EXPECT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 9);
  }
  EXPECT_FALSE(devices.painting_held());
  // Only the two changed rows wait for painting (the band from the one to
  // the other), without erasing.
  RECT dirty{};
  ASSERT_TRUE(GetUpdateRect(list, &dirty, FALSE));
  EXPECT_EQ(dirty.top, item_rect(2).top);
  EXPECT_EQ(dirty.bottom, item_rect(8).bottom);
  // An empty hold holds nothing.
  const DeviceList::PaintHold none;
  EXPECT_FALSE(devices.painting_held());
}

TEST_P(ThemeTest, RowsStillPaintWhenTheListCannotBeSubclassed) {
  // The real list has the theme's subclass and the device list's, its
  // header the theme's.
  EXPECT_EQ(subclass_count(window->list_view()), 2);
  EXPECT_EQ(subclass_count(window->device_list().header()), 1);

  // A list whose user data is someone else's cannot be subclassed: the
  // theme still paints its rows through the custom draw notification.
  HWND other = CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | WS_VISIBLE | LVS_REPORT, 0, 0,
                               s(400), s(200), hwnd, nullptr, GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(other, nullptr);
  SetWindowLongPtrW(other, GWLP_USERDATA, 0x5150);
  LVCOLUMNW column{};
  column.mask = LVCF_TEXT | LVCF_WIDTH;
  column.cx = s(150);
  column.pszText = const_cast<wchar_t*>(L"Adres IP");
  ASSERT_EQ(SendMessageW(other, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column)), 0);
  for (int i = 0; i < 3; ++i) {
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = i;
    item.pszText = const_cast<wchar_t*>(L"10.0.0.1");
    ASSERT_EQ(SendMessageW(other, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)), i);
  }
  {
    DarkTheme theme;
    theme.set_dpi(dpi());
    theme.attach(nullptr, nullptr, nullptr, other, nullptr);
    EXPECT_EQ(subclass_count(other), 0);
    EXPECT_EQ(GetWindowLongPtrW(other, GWLP_USERDATA), 0x5150);
    EXPECT_EQ(theme.list(), other);

    RECT client{};
    GetClientRect(other, &client);
    Canvas canvas(client.right, client.bottom);
    NMLVCUSTOMDRAW cd{};
    cd.nmcd.hdr.hwndFrom = other;
    cd.nmcd.hdr.code = NM_CUSTOMDRAW;
    cd.nmcd.hdc = canvas.dc();
    cd.nmcd.dwDrawStage = CDDS_PREPAINT;
    LRESULT result = 0;
    ASSERT_TRUE(theme.custom_draw(cd.nmcd.hdr, result));
    EXPECT_EQ(result, CDRF_NOTIFYITEMDRAW);
    for (int n = 0; n < 3; ++n) {
      SCOPED_TRACE("row " + std::to_string(n));
      cd.nmcd.dwDrawStage = CDDS_ITEMPREPAINT;
      cd.nmcd.dwItemSpec = static_cast<DWORD_PTR>(n);
      ASSERT_TRUE(theme.custom_draw(cd.nmcd.hdr, result));
      EXPECT_EQ(result, CDRF_SKIPDEFAULT | CDRF_SKIPPOSTPAINT);
      RECT r{};
      r.left = LVIR_BOUNDS;
      SendMessageW(other, LVM_GETITEMRECT, static_cast<WPARAM>(n), reinterpret_cast<LPARAM>(&r));
      const RowColors& set = row_colors(0);
      EXPECT_PIXEL(canvas, r.left + s(4), r.top + 1, c(n % 2 == 0 ? set.even : set.odd));
      EXPECT_PIXEL(canvas, s(150) - 1, r.top + 1, c(palette::kDivider));
    }
  }
  DestroyWindow(other);
}

TEST_P(ThemeTest, HeaderHeightSortArrowAndHotItem) {
  HWND header = window->device_list().header();
  RECT wr{};
  GetWindowRect(header, &wr);
  EXPECT_EQ(wr.bottom - wr.top, s(24));
  const RECT col0 = header_item(0);  // sorted ascending from the start
  const RECT col1 = header_item(1);
  const int h = col0.bottom;
  {
    const auto canvas = render(header);
    EXPECT_PIXEL(*canvas, col1.left + 2, 2, c(palette::kControl));
    EXPECT_PIXEL(*canvas, col0.right - 1, 2, c(palette::kDivider));
    EXPECT_PIXEL(*canvas, col1.left + 2, h - 1, c(palette::kDivider));
    // Up arrow centred at right - S(25)/2 and the middle, size S(4).
    const int x = col0.right - s(25) / 2;
    const int y = (col0.top + col0.bottom) / 2;
    const int a = s(4);
    EXPECT_PIXEL(*canvas, x, y - a / 2, c(palette::kHighlight));
    EXPECT_PIXEL(*canvas, x - a, y + a / 2, c(palette::kHighlight));
    EXPECT_PIXEL(*canvas, x, y + a / 2, c(palette::kControl));
    // Column 1 is not sorted: no arrow where it would be.
    EXPECT_PIXEL(*canvas, col1.right - s(25) / 2, y - a / 2, c(palette::kControl));
  }
  // Hot tracking.
  SendMessageW(header, WM_MOUSEMOVE, 0, MAKELPARAM((col1.left + col1.right) / 2, h / 2));
  EXPECT_EQ(theme().header_hot_item(), 1);
  {
    const auto canvas = render(header);
    EXPECT_PIXEL(*canvas, col1.left + 2, 2, c(palette::kControlHover));
    EXPECT_PIXEL(*canvas, col0.left + 2, 2, c(palette::kControl));
  }
  SendMessageW(header, WM_MOUSELEAVE, 0, 0);
  EXPECT_EQ(theme().header_hot_item(), -1);
  // Descending: the arrow points down.
  window->device_list().sort_by(0);
  {
    const auto canvas = render(header);
    const int x = col0.right - s(25) / 2;
    const int y = (col0.top + col0.bottom) / 2;
    EXPECT_PIXEL(*canvas, x, y + s(4) / 2, c(palette::kHighlight));
    EXPECT_PIXEL(*canvas, x, y - s(4) / 2, c(palette::kControl));
  }
}

TEST_P(ThemeTest, FilterTabFaceMarkAndCheck) {
  RECT rc{};
  GetClientRect(tab(0), &rc);
  const TabGeometry g = tab_geometry({0, 0, rc.right, rc.bottom}, dpi());
  const Rgb hik = *row_colors(1).accent;
  const auto face_at = [&](const Canvas& canvas) { return canvas.at(rc.right - 3, 2); };
  {
    const auto canvas = render(tab(0));  // checked Hikvision
    EXPECT_EQ(face_at(*canvas), c(row_colors(1).selected_focused));
    EXPECT_PIXEL(*canvas, rc.right - 1, rc.bottom / 2, c(palette::kBorder));
    EXPECT_PIXEL(*canvas, 0, rc.bottom / 2, c(palette::kBorder));
    EXPECT_PIXEL(*canvas, 1, rc.bottom / 2, c(hik));
    EXPECT_PIXEL(*canvas, s(3), rc.bottom / 2, c(hik));
    EXPECT_PIXEL(*canvas, s(3) + 1, 2, c(row_colors(1).selected_focused));
    EXPECT_PIXEL(*canvas, g.check_box.x, g.check_box.y + 1, c(hik));
    EXPECT_PIXEL(*canvas, g.check_mark[0].x, g.check_mark[0].y, c(hik));
    EXPECT_PIXEL(*canvas, g.check_mark[1].x, g.check_mark[1].y, c(hik));
  }
  const Rgb faded = blend(blend(hik, palette::kSurface), palette::kSurface);
  SendMessageW(tab(0), BM_SETCHECK, BST_UNCHECKED, 0);
  {
    const auto canvas = render(tab(0));
    EXPECT_EQ(face_at(*canvas), c(palette::kSurface));
    EXPECT_PIXEL(*canvas, 1, rc.bottom / 2, c(faded));
    EXPECT_PIXEL(*canvas, g.check_box.x, g.check_box.y + 1, c(faded));
    EXPECT_PIXEL(*canvas, g.check_mark[1].x, g.check_mark[1].y, c(palette::kSurface));
  }
  // Hovered while unchecked: the control face.
  SendMessageW(tab(0), WM_MOUSEMOVE, 0, MAKELPARAM(3, 3));
  EXPECT_EQ(face_at(*render(tab(0))), c(palette::kControl));
  // Hovered and checked: the face blended towards the accent.
  SendMessageW(tab(0), BM_SETCHECK, BST_CHECKED, 0);
  const Rgb base = row_colors(1).selected_focused;
  EXPECT_EQ(face_at(*render(tab(0))), c(blend(base, blend(base, hik))));
  SendMessageW(tab(0), WM_MOUSELEAVE, 0, 0);
  // Checked but disabled: painted unchecked, the check mark still drawn.
  EnableWindow(tab(0), FALSE);
  {
    const auto canvas = render(tab(0));
    EXPECT_EQ(face_at(*canvas), c(palette::kSurface));
    EXPECT_PIXEL(*canvas, g.check_mark[1].x, g.check_mark[1].y, c(faded));
  }
  EnableWindow(tab(0), TRUE);
  // "Pozostałe" has no accent: neutral mark on the inactive selection face.
  {
    const auto canvas = render(tab(6));
    EXPECT_EQ(canvas->at(rc.right - 3, 2), c(palette::kSelectedInactive));
    EXPECT_PIXEL(*canvas, 1, rc.bottom / 2, c(palette::kAccentNeutral));
  }
  // Keyboard focus with focus cues shown: highlight border.
  SendMessageW(hwnd, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
  SetFocus(tab(1));
  SendMessageW(tab(1), WM_KEYDOWN, VK_RIGHT, 0);
  {
    const auto canvas = render(tab(1));
    EXPECT_PIXEL(*canvas, rc.right - 1, rc.bottom / 2, c(palette::kHighlight));
  }
  // A mouse click hides the ring again.
  SendMessageW(tab(1), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
  SendMessageW(tab(1), WM_LBUTTONUP, 0, MAKELPARAM(300, 300));
  pump();
  EXPECT_PIXEL(*render(tab(1)), rc.right - 1, rc.bottom / 2, c(palette::kBorder));
}

TEST_P(ThemeTest, ProgressFillAndMovingSegment) {
  HWND bar = window->progress_bar();
  window->show_progress(0, true);
  ASSERT_TRUE(IsWindowVisible(bar));
  RECT rc{};
  GetClientRect(bar, &rc);
  const Rect inner = progress_inner({0, 0, rc.right, rc.bottom}, dpi());
  ASSERT_FALSE(inner.empty());
  const int y = inner.y + inner.height / 2;
  {
    const auto canvas = render(bar);
    EXPECT_PIXEL(*canvas, 0, 0, c(palette::kBorder));
    EXPECT_PIXEL(*canvas, inner.x, y, c(palette::kSurface));
  }
  window->show_progress(50, true);
  EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 50);
  {
    const auto canvas = render(bar);
    const int edge = inner.x + mul_div(inner.width, 50, 100);
    EXPECT_PIXEL(*canvas, inner.x, y, c(palette::kHighlight));
    EXPECT_PIXEL(*canvas, edge - 1, y, c(palette::kHighlight));
    EXPECT_PIXEL(*canvas, edge, y, c(palette::kSurface));
  }
  window->show_progress(100, true);
  EXPECT_PIXEL(*render(bar), inner.right() - 1, y, c(palette::kHighlight));

  // The moving segment: the painted span is the one of the paint's moment.
  window->show_progress(-1, true);
  EXPECT_EQ(theme().progress_position(), -1);
  EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 0);
  for (int attempt = 0; attempt < 3; ++attempt) {
    const std::uint64_t before = GetTickCount64();
    const auto canvas = render(bar);
    const std::uint64_t after = GetTickCount64();
    int begin = -1, end = -1;
    for (int x = inner.x; x < inner.right(); ++x) {
      if (canvas->at(x, y) == c(palette::kHighlight)) {
        if (begin < 0) begin = x - inner.x;
        end = x - inner.x + 1;
      }
    }
    if (begin < 0) begin = end = 0;
    bool matched = false;
    for (std::uint64_t t = before; t <= after && !matched; ++t) {
      const Span want = progress_fill(inner.width, -1, t);
      matched = want.begin == want.end ? begin == end : (want.begin == begin && want.end == end);
    }
    EXPECT_TRUE(matched) << "span " << begin << ".." << end << " at " << before;
    Sleep(97);
  }
}

TEST_P(ThemeTest, ProgressTimerRunsOnlyWhileMovingAndVisible) {
  HWND bar = window->progress_bar();
  const auto timer_fired = [&] {
    MSG msg;
    while (PeekMessageW(&msg, bar, WM_TIMER, WM_TIMER, PM_REMOVE)) {
    }
    Sleep(120);
    bool fired = false;
    while (PeekMessageW(&msg, bar, WM_TIMER, WM_TIMER, PM_REMOVE)) {
      fired = fired || msg.wParam == kProgressTimer;
    }
    return fired;
  };
  EXPECT_FALSE(timer_fired());
  theme().set_progress(-5, true);
  EXPECT_EQ(theme().progress_position(), -1);
  EXPECT_TRUE(timer_fired());
  theme().set_progress(-1, false);  // hiding a moving bar stops its timer
  EXPECT_FALSE(IsWindowVisible(bar));
  EXPECT_FALSE(timer_fired());
  theme().set_progress(-1, true);
  EXPECT_TRUE(timer_fired());
  theme().set_progress(150, true);
  EXPECT_EQ(theme().progress_position(), 100);
  EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 100);
  EXPECT_FALSE(timer_fired());
}

TEST_P(ThemeTest, ButtonFacesIdleHoveredPressedAndFocused) {
  HWND update = window->update_button();
  HWND search = window->search_button();
  RECT rc{};
  GetClientRect(update, &rc);
  const auto face = [&](HWND b) { return render(b)->at(3, 3); };
  const auto border = [&](HWND b) { return render(b)->at(0, rc.bottom / 2); };
  // No adapters: the search button is disabled.
  ASSERT_FALSE(IsWindowEnabled(search));
  EXPECT_EQ(face(search), c(palette::kControl));
  EXPECT_EQ(border(search), c(palette::kBorder));
  EXPECT_EQ(face(update), c(palette::kControl));
  EXPECT_EQ(border(update), c(palette::kBorder));
  SendMessageW(update, WM_MOUSEMOVE, 0, MAKELPARAM(3, 3));
  EXPECT_TRUE(theme().update_hover());
  EXPECT_EQ(face(update), c(palette::kControlHover));
  SendMessageW(update, BM_SETSTATE, TRUE, 0);
  EXPECT_EQ(face(update), c(palette::kPressed));
  SendMessageW(update, BM_SETSTATE, FALSE, 0);
  SendMessageW(update, WM_MOUSELEAVE, 0, 0);
  EXPECT_FALSE(theme().update_hover());
  EXPECT_EQ(face(update), c(palette::kControl));
  SendMessageW(hwnd, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
  SetFocus(update);
  SendMessageW(update, WM_KEYDOWN, VK_TAB, 0);
  EXPECT_EQ(border(update), c(palette::kHighlight));
}

TEST_P(ThemeTest, ComboBoxFaceArrowAndItemHeight) {
  HWND combo = window->combo();
  EXPECT_EQ(SendMessageW(combo, CB_GETITEMHEIGHT, 0, 0), s(24));
  MEASUREITEMSTRUCT measure{};
  measure.CtlType = ODT_COMBOBOX;
  EXPECT_TRUE(theme().measure_item(measure, 96));
  EXPECT_EQ(measure.itemHeight, static_cast<UINT>(s(24)));
  measure.CtlType = ODT_LISTBOX;
  EXPECT_FALSE(theme().measure_item(measure, 96));
  SetFocus(window->list_view());
  RECT rc{};
  GetClientRect(combo, &rc);
  const int x = rc.right - s(30) / 2;
  const int y = rc.bottom / 2;
  {
    const auto canvas = render(combo);
    EXPECT_PIXEL(*canvas, 3, 3, c(palette::kControl));
    EXPECT_PIXEL(*canvas, 0, y, c(palette::kBorder));
    EXPECT_PIXEL(*canvas, x, y + s(4) / 2, c(palette::kTextSecondary));  // pointing down
    EXPECT_PIXEL(*canvas, x, y - s(4) / 2, c(palette::kControl));
  }
  SendMessageW(combo, WM_MOUSEMOVE, 0, MAKELPARAM(3, 3));
  EXPECT_PIXEL(*render(combo), 3, 3, c(palette::kControlHover));
  SendMessageW(combo, WM_MOUSELEAVE, 0, 0);
  SetFocus(combo);
  EXPECT_PIXEL(*render(combo), 0, y, c(palette::kHighlight));
}

TEST_P(ThemeTest, BackgroundAndSizeGripDots) {
  RECT client{};
  GetClientRect(hwnd, &client);
  Canvas canvas(client.right, client.bottom);
  EXPECT_EQ(SendMessageW(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(canvas.dc()), 0), 1);
  const Rect grip = window->grip();
  ASSERT_FALSE(grip.empty());
  EXPECT_PIXEL(canvas, 5, 5, c(palette::kWindowBackground));
  const GripDots dots = grip_dots(grip, dpi());
  ASSERT_EQ(dots.count, 6);
  for (int i = 0; i < dots.count; ++i) {
    const Rect& d = dots.dots[static_cast<std::size_t>(i)];
    EXPECT_PIXEL(canvas, d.x, d.y, c(palette::kBorder));
    EXPECT_PIXEL(canvas, d.right() - 1, d.bottom() - 1, c(palette::kBorder));
  }
  // Between the dots of the bottom row, and above the triangle: background.
  const Rect& last = dots.dots[5];
  EXPECT_PIXEL(canvas, last.right(), last.y, c(palette::kWindowBackground));
  EXPECT_PIXEL(canvas, last.x, dots.dots[0].y, c(palette::kWindowBackground));
}

TEST_P(ThemeTest, RightAndMiddleClicksOnATab) {
  HWND t = tab(1);
  const LPARAM inside = MAKELPARAM(5, 5);
  const LPARAM outside = MAKELPARAM(static_cast<WORD>(-40), 5);
  // Pressed and released inside: one solo command, capture released.
  SendMessageW(t, WM_RBUTTONDOWN, MK_RBUTTON, inside);
  EXPECT_EQ(GetCapture(), t);
  SendMessageW(t, WM_RBUTTONUP, 0, inside);
  EXPECT_EQ(solo_commands, 1);
  EXPECT_NE(GetCapture(), t);
  for (std::size_t i = 0; i < 7; ++i) {
    // A maker shown alone keeps the "IPv6" check (tab 5) as it was.
    EXPECT_EQ(SendMessageW(tab(i), BM_GETCHECK, 0, 0) == BST_CHECKED, i == 1 || i == 5) << i;
  }
  // Released outside: nothing.
  SendMessageW(t, WM_RBUTTONDOWN, MK_RBUTTON, inside);
  SendMessageW(t, WM_RBUTTONUP, 0, outside);
  EXPECT_EQ(solo_commands, 1);
  // With the left button held: nothing.
  SendMessageW(t, WM_RBUTTONDOWN, MK_RBUTTON | MK_LBUTTON, inside);
  EXPECT_NE(GetCapture(), t);
  SendMessageW(t, WM_RBUTTONUP, MK_LBUTTON, inside);
  EXPECT_EQ(solo_commands, 1);
  // A release without a press: nothing.
  SendMessageW(t, WM_MBUTTONUP, 0, inside);
  EXPECT_EQ(solo_commands, 1);
  // A middle click works like a right click (and restores the checks).
  SendMessageW(t, WM_MBUTTONDOWN, MK_MBUTTON, inside);
  SendMessageW(t, WM_RBUTTONUP, 0, inside);  // not its release
  EXPECT_EQ(solo_commands, 1);
  SendMessageW(t, WM_MBUTTONUP, 0, inside);
  EXPECT_EQ(solo_commands, 2);
  for (std::size_t i = 0; i < 7; ++i) {
    EXPECT_EQ(SendMessageW(tab(i), BM_GETCHECK, 0, 0), BST_CHECKED) << i;
  }
  // A left click cancels a pending right click.
  SendMessageW(t, WM_RBUTTONDOWN, MK_RBUTTON, inside);
  SendMessageW(t, WM_LBUTTONDOWN, MK_LBUTTON | MK_RBUTTON, inside);
  SendMessageW(t, WM_LBUTTONUP, MK_RBUTTON, outside);
  SendMessageW(t, WM_RBUTTONUP, 0, inside);
  pump();
  EXPECT_EQ(solo_commands, 2);
  EXPECT_EQ(theme().filter_tabs()[1].click.pending_release(), 0u);
}

TEST_P(ThemeTest, DestroyedControlsAreForgotten) {
  ASSERT_EQ(theme().filter_tabs().size(), 7u);
  HWND t = tab(3);
  DestroyWindow(t);
  EXPECT_EQ(theme().filter_tabs().size(), 6u);
  for (const auto& state : theme().filter_tabs()) EXPECT_NE(state.hwnd, t);
  // Late messages to the gone tab reach nothing.
  EXPECT_EQ(SendMessageW(t, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(5, 5)), 0);
  EXPECT_EQ(SendMessageW(t, WM_RBUTTONUP, 0, MAKELPARAM(5, 5)), 0);
  EXPECT_EQ(solo_commands, 0);

  HWND bar = window->progress_bar();
  theme().set_progress(-1, true);
  DestroyWindow(bar);
  EXPECT_EQ(theme().progress_bar(), nullptr);
  theme().set_progress(40, true);  // nothing left to drive
  theme().set_progress(-1, true);
  EXPECT_EQ(theme().progress_position(), -1);

  HWND combo = window->combo();
  DestroyWindow(combo);
  EXPECT_EQ(theme().combo(), nullptr);
  theme().set_dpi(120);  // touches only what is still there
  EXPECT_EQ(theme().dpi(), 120);

  HWND list = window->list_view();
  HWND header = window->device_list().header();
  DestroyWindow(list);
  EXPECT_EQ(theme().list(), nullptr);
  EXPECT_EQ(theme().header(), nullptr);
  NMLVCUSTOMDRAW cd{};
  cd.nmcd.hdr.hwndFrom = list;
  cd.nmcd.hdr.code = NM_CUSTOMDRAW;
  cd.nmcd.dwDrawStage = CDDS_PREPAINT;
  LRESULT result = 0;
  EXPECT_FALSE(theme().custom_draw(cd.nmcd.hdr, result));
  EXPECT_FALSE(IsWindow(header));
}

INSTANTIATE_TEST_SUITE_P(Dpi, ThemeTest, ::testing::Values(96, 144));

}  // namespace
}  // namespace norvane
