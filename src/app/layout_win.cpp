// Layout and scaling of the main window: DPI, zoom keys, fonts and the
// placement of the controls.
#include <windows.h>

#include <commctrl.h>

#include <array>

#include "app/window_win.h"

namespace norvane {

namespace {

using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using GetDpiForSystemFn = UINT(WINAPI*)();

struct DpiFunctions {
  GetDpiForWindowFn for_window = nullptr;
  GetDpiForSystemFn for_system = nullptr;
};

template <typename Fn>
Fn bind(HMODULE module, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// Both calls are newer than Windows 7: looked up once per process.
const DpiFunctions& dpi_functions() {
  static const DpiFunctions functions = [] {
    DpiFunctions f;
    if (HMODULE user32 = GetModuleHandleW(L"user32.dll")) {
      f.for_window = bind<GetDpiForWindowFn>(user32, "GetDpiForWindow");
      f.for_system = bind<GetDpiForSystemFn>(user32, "GetDpiForSystem");
    }
    return f;
  }();
  return functions;
}

void move_control(HWND hwnd, const Rect& r, UINT flags) {
  if (hwnd) SetWindowPos(hwnd, nullptr, r.x, r.y, r.width, r.height, flags);
}

}  // namespace

int Window::query_dpi(HWND hwnd) {
  const DpiFunctions& f = dpi_functions();
  UINT dpi = 0;
  if (hwnd && f.for_window) {
    dpi = f.for_window(hwnd);
  } else if (f.for_system) {
    dpi = f.for_system();
  }
  if (dpi != 0) return static_cast<int>(dpi);
  int value = 96;
  if (HDC screen = GetDC(nullptr)) {
    value = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    if (value < 1) value = 96;
  }
  return value;
}

bool Window::zoom_key(const MSG& msg) {
  if (msg.message != WM_KEYDOWN) return false;
  if (!(GetKeyState(VK_CONTROL) & 0x8000) || (GetKeyState(VK_MENU) & 0x8000)) return false;
  const auto key_for = [](wchar_t ch) -> unsigned {
    const SHORT scan = VkKeyScanW(ch);
    return scan == -1 ? 0u : static_cast<unsigned>(scan & 0xFF);
  };
  const int step =
      zoom_step_for_key(static_cast<unsigned>(msg.wParam), key_for(L'+'), key_for(L'-'));
  if (step == 0) return false;
  const int zoom = next_zoom(zoom_, step);
  if (zoom == zoom_) return true;
  zoom_ = zoom;
  effective_dpi_ = mul_div(base_dpi_, zoom_, 100);
  create_fonts();
  list_view_.set_dpi(effective_dpi_);
  theme_.set_dpi(effective_dpi_);
  layout();
  return true;
}

void Window::create_fonts() {
  const auto make = [&](int size) {
    return CreateFontW(-scale_px(size, effective_dpi_), 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE,
                       DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                       DEFAULT_PITCH | FF_DONTCARE, L"Segoe UI");
  };
  HFONT main = make(14);
  if (!main) return;
  HFONT small = make(12);
  HWND header = list_ ? reinterpret_cast<HWND>(SendMessageW(list_, LVM_GETHEADER, 0, 0)) : nullptr;
  const std::array<HWND, 7> main_users = {label_, combo_, search_button_, update_button_,
                                          list_,  header, progress_};
  for (HWND control : main_users) {
    if (control) SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(main), FALSE);
  }
  for (HWND tab : tabs_) {
    if (tab) SendMessageW(tab, WM_SETFONT, reinterpret_cast<WPARAM>(main), FALSE);
  }
  HFONT status = small ? small : main;
  for (HWND control : {status_left_, status_middle_, status_right_}) {
    if (control) SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(status), FALSE);
  }
  if (main_font_) DeleteObject(main_font_);
  if (small_font_) DeleteObject(small_font_);
  main_font_ = main;
  small_font_ = small;
}

void Window::layout() {
  if (!list_ || !hwnd_ || IsIconic(hwnd_)) return;
  RECT client{};
  if (!GetClientRect(hwnd_, &client) || client.right <= 0 || client.bottom <= 0) return;

  LayoutInput in;
  in.client_width = client.right;
  in.client_height = client.bottom;
  in.dpi = effective_dpi_;
  RECT combo_rect{};
  if (combo_ && GetWindowRect(combo_, &combo_rect))
    in.combo_height = combo_rect.bottom - combo_rect.top;
  in.progress_shown = progress_shown_;
  in.maximized = IsZoomed(hwnd_) != FALSE;
  const LayoutResult r = compute_layout(in);

  const std::array<std::pair<HWND, Rect>, 13> placements = {{
      {combo_, r.combo},
      {label_, r.label},
      {search_button_, r.search_button},
      {update_button_, r.update_button},
      {tabs_[0], r.tabs[0]},
      {tabs_[1], r.tabs[1]},
      {tabs_[2], r.tabs[2]},
      {tabs_[3], r.tabs[3]},
      {tabs_[4], r.tabs[4]},
      {tabs_[5], r.tabs[5]},
      {tabs_[6], r.tabs[6]},
      {progress_, r.progress},
      {list_, r.list},
  }};
  constexpr UINT kFlags = SWP_NOZORDER | SWP_NOREDRAW | SWP_NOACTIVATE | SWP_NOCOPYBITS;
  bool batched = false;
  if (HDWP batch = BeginDeferWindowPos(static_cast<int>(placements.size()))) {
    for (const auto& [control, rect] : placements) {
      if (!control) continue;
      batch =
          DeferWindowPos(batch, control, nullptr, rect.x, rect.y, rect.width, rect.height, kFlags);
      if (!batch) break;
    }
    batched = batch && EndDeferWindowPos(batch);
  }
  if (!batched) {
    for (const auto& [control, rect] : placements) move_control(control, rect, kFlags);
  }

  grip_ = r.grip;
  status_band_ = r.status_band;
  const bool reset = r.content_width != last_width_ || effective_dpi_ != last_dpi_;
  list_view_.fit_columns(reset);
  last_width_ = r.content_width;
  last_dpi_ = effective_dpi_;
  layout_status();
  RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void Window::show_progress(int percent, bool shown) {
  const bool changed = shown != progress_shown_;
  progress_shown_ = shown;
  // The theme draws the bar and runs its animation while the amount is
  // unknown (-1).
  const auto apply = [&] { theme_.set_progress(percent, shown); };
  if (shown) {
    if (changed) layout();
    apply();
  } else {
    apply();
    if (changed) layout();
  }
}

}  // namespace norvane
