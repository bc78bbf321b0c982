#include "app/window_win.h"

#include <windows.h>

#include <commctrl.h>
#include <windowsx.h>

#include <utility>

#include "app/status_text.h"
#include "app/text_win.h"
#include "capture/backends.h"
#include "net/socket_api.h"
#include "vendors/vendor_db.h"

namespace norvane {

namespace {

constexpr wchar_t kUpdateCaption[] = L"Baza VENDOR";
constexpr wchar_t kUpdateButtonText[] = L"Aktualizuj baz\u0119";
constexpr std::uint64_t kNoticeLifetimeMs = 5000;
// Why a device's page may not load: long enough to be read after the
// browser came up in front.
constexpr std::uint64_t kBrowserNoticeLifetimeMs = 10000;
constexpr std::uint32_t kVendorColumnMask = 1u << kColVendor;

constexpr std::array<const wchar_t*, kFilterTabCount> kTabTexts = {
    L"Hikvision", L"Dahua", L"Ubiquiti", L"MikroTik", L"Espressif", L"IPv6", L"Pozosta\u0142e"};

// Control styles. The selector and the two buttons are owner-drawn: the
// dark theme paints their faces and the selector's items.
constexpr DWORD kChild = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
constexpr DWORD kComboStyle =
    CBS_DROPDOWNLIST | CBS_OWNERDRAWFIXED | CBS_HASSTRINGS | WS_TABSTOP | WS_VSCROLL;
constexpr DWORD kButtonStyle = BS_OWNERDRAW | WS_TABSTOP;

// Accent index of each filter tab, in tab order.
constexpr std::array<int, kFilterTabCount> kTabAccents = {1, 2, 4, 3, 5, 6, 0};
constexpr DWORD kTabStyle = BS_AUTOCHECKBOX | BS_PUSHLIKE | WS_TABSTOP;
constexpr DWORD kListStyle = LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | WS_TABSTOP;
constexpr DWORD kStatusStyle = SS_NOPREFIX | SS_CENTERIMAGE | SS_ENDELLIPSIS;

HWND make_control(HWND parent, HINSTANCE instance, const wchar_t* cls, const wchar_t* text,
                  DWORD style, int id, bool visible = true) {
  DWORD base = kChild;
  if (!visible) base &= ~static_cast<DWORD>(WS_VISIBLE);
  return CreateWindowExW(0, cls, text, base | style, 0, 0, 0, 0, parent,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
}

std::uint64_t tick_ms() { return GetTickCount64(); }

}  // namespace

Window::Window(WindowOptions options)
    : options_(std::move(options)),
      probe_engine_(system_sockets()),
      session_(*this, vendors_, options_.probe_engine ? *options_.probe_engine : probe_engine_),
      table_(session_.table()),
      switch_port_(session_.switch_port()),
      capture_(session_.capture()),
      list_view_(table_, [this](std::wstring_view text) { warn(text, kAppTitle); }) {
  table_.set_presenter(&list_view_);
  list_view_.commands().set_hooks({options_.open_address, options_.choose_save_path});
  list_view_.commands().set_notice([this](std::u16string text) {
    notice_ = std::move(text);
    notice_expiry_ = tick_ms() + kBrowserNoticeLifetimeMs;
    refresh_status();
  });
}

Window::~Window() {
  if (hwnd_) DestroyWindow(hwnd_);
  table_.set_presenter(nullptr);
}

bool Window::register_class(HINSTANCE instance, HICON large_icon, HICON small_icon) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.style = 0;
  wc.lpfnWndProc = &Window::window_proc;
  wc.hInstance = instance;
  wc.hIcon = large_icon;
  wc.hIconSm = small_icon;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = nullptr;
  wc.lpszMenuName = nullptr;
  wc.lpszClassName = kWindowClass;
  if (RegisterClassExW(&wc)) return true;
  return GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

HWND Window::create(HINSTANCE instance) {
  const int dpi = options_.forced_dpi > 0 ? options_.forced_dpi : query_dpi(nullptr);
  return CreateWindowExW(WS_EX_CONTROLPARENT, kWindowClass, kAppTitle,
                         WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT, CW_USEDEFAULT,
                         mul_div(990, dpi, 96), mul_div(560, dpi, 96), nullptr, nullptr, instance,
                         this);
}

int Window::run_message_loop() {
  MSG msg{};
  BOOL got = 0;
  while ((got = GetMessageW(&msg, nullptr, 0, 0)) > 0) {
    if (zoom_key(msg)) continue;
    if (hwnd_ && IsDialogMessageW(hwnd_, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return got == 0 ? static_cast<int>(msg.wParam) : 1;
}

LRESULT CALLBACK Window::window_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  if (msg == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    auto* self = static_cast<Window*>(create->lpCreateParams);
    if (self) {
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
      self->hwnd_ = hwnd;
    }
    return DefWindowProcW(hwnd, msg, wparam, lparam);
  }
  auto* self = reinterpret_cast<Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!self) return DefWindowProcW(hwnd, msg, wparam, lparam);
  if (msg == WM_NCDESTROY) {
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    if (self->main_font_) DeleteObject(self->main_font_);
    if (self->small_font_) DeleteObject(self->small_font_);
    self->main_font_ = nullptr;
    self->small_font_ = nullptr;
    // The children are gone with the window.
    self->hwnd_ = nullptr;
    self->label_ = self->combo_ = self->search_button_ = self->update_button_ = nullptr;
    self->list_ = self->progress_ = nullptr;
    self->status_left_ = self->status_middle_ = self->status_right_ = nullptr;
    self->tabs_.fill(nullptr);
    self->focus_before_ = nullptr;
    self->list_view_.attach(nullptr, nullptr, self->tabs_);
    return DefWindowProcW(hwnd, msg, wparam, lparam);
  }
  return self->handle_message(msg, wparam, lparam);
}

LRESULT Window::handle_message(UINT msg, WPARAM wparam, LPARAM lparam) {
  switch (msg) {
    case WM_CREATE:
      return on_create();
    case WM_SIZE:
      if (wparam != SIZE_MINIMIZED) layout();
      return 0;
    case WM_GETMINMAXINFO: {
      auto* info = reinterpret_cast<MINMAXINFO*>(lparam);
      const Size min = minimum_window_size(base_dpi_);
      info->ptMinTrackSize.x = min.width;
      info->ptMinTrackSize.y = min.height;
      return 0;
    }
    case WM_NCHITTEST:
      return on_nc_hit_test(wparam, lparam);
    case WM_ERASEBKGND:
      return paint_background(reinterpret_cast<HDC>(wparam)) ? 1 : 0;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORLISTBOX:
      return reinterpret_cast<LRESULT>(theme_.control_colors(msg, reinterpret_cast<HDC>(wparam)));
    case WM_DRAWITEM:
      if (lparam && theme_.draw_item(*reinterpret_cast<const DRAWITEMSTRUCT*>(lparam))) {
        return TRUE;
      }
      break;
    case WM_MEASUREITEM:
      if (lparam &&
          theme_.measure_item(*reinterpret_cast<MEASUREITEMSTRUCT*>(lparam), effective_dpi_)) {
        return TRUE;
      }
      break;
    case WM_ACTIVATE:
      // The default would focus the main window, whose WM_SETFOCUS then
      // hands the focus to the selector: an arrow key after coming back
      // from another window would switch the adapter.
      if (LOWORD(wparam) == WA_INACTIVE) {
        remember_focus();
      } else if (HIWORD(wparam) == 0) {  // not minimized
        restore_focus();
        return 0;
      }
      break;
    case WM_SETFOCUS:
      restore_focus();
      return 0;
    case WM_DEVICECHANGE:
      // Devices come in bursts of these; one enumeration at the next tick
      // answers them all.
      relist_pending_ = true;
      break;
    case WM_NOTIFY: {
      const auto* nm = reinterpret_cast<const NMHDR*>(lparam);
      LRESULT result = 0;
      if (nm && theme_.custom_draw(*nm, result)) return result;
      if (nm && list_view_.on_notify(*nm, result)) return result;
      break;
    }
    case WM_COMMAND:
      on_command(LOWORD(wparam), HIWORD(wparam), reinterpret_cast<HWND>(lparam));
      return 0;
    case WM_TIMER:
      if (wparam == kTickTimer) {
        update();
        return 0;
      }
      if (wparam == kAnswerTimer) {
        on_answer_timer();
        return 0;
      }
      break;
    case kMsgStartCapture:
      start_capture();
      return 0;
    case kMsgVendorUpdateDone:
      on_vendor_update_done();
      return 0;
    case kMsgFitColumns:
      list_view_.on_fit_message();
      return 0;
    case WM_DESTROY:
      on_destroy();
      return 0;
    default:
      break;
  }
  return DefWindowProcW(hwnd_, msg, wparam, lparam);
}

LRESULT Window::on_create() {
  instance_ = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(hwnd_, GWLP_HINSTANCE));
  base_dpi_ = options_.forced_dpi > 0 ? options_.forced_dpi : query_dpi(hwnd_);
  effective_dpi_ = base_dpi_;
  list_view_.set_dpi(effective_dpi_);
  theme_.set_dpi(effective_dpi_);

  label_ = make_control(hwnd_, instance_, L"STATIC", L"Karta sieciowa", SS_CENTERIMAGE, 0);
  combo_ = make_control(hwnd_, instance_, L"ComboBox", L"", kComboStyle, kIdCombo);
  search_button_ =
      make_control(hwnd_, instance_, L"BUTTON", L"Szukaj teraz", kButtonStyle, kIdSearch);
  update_button_ =
      make_control(hwnd_, instance_, L"BUTTON", kUpdateButtonText, kButtonStyle, kIdUpdate);
  for (int i = 0; i < kFilterTabCount; ++i) {
    HWND tab = make_control(hwnd_, instance_, L"BUTTON", kTabTexts[static_cast<std::size_t>(i)],
                            kTabStyle, kIdFirstTab + i);
    if (!tab) return -1;
    SendMessageW(tab, BM_SETCHECK, BST_CHECKED, 0);
    tabs_[static_cast<std::size_t>(i)] = tab;
  }
  list_ = make_control(hwnd_, instance_, WC_LISTVIEWW, L"", kListStyle, kIdList);
  progress_ = make_control(hwnd_, instance_, PROGRESS_CLASSW, L"Pobieranie bazy producent\u00F3w",
                           PBS_SMOOTH, 0, false);
  status_left_ = make_control(hwnd_, instance_, L"STATIC", L"", kStatusStyle, 0);
  status_middle_ = make_control(hwnd_, instance_, L"STATIC", L"", kStatusStyle, 0);
  status_right_ = make_control(hwnd_, instance_, L"STATIC", L"", kStatusStyle | SS_RIGHT, 0);
  if (!label_ || !combo_ || !search_button_ || !update_button_ || !list_ || !progress_ ||
      !status_left_ || !status_middle_ || !status_right_) {
    return -1;
  }
  list_view_.attach(hwnd_, list_, tabs_);

  create_fonts();
  SendMessageW(list_, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
               LVS_EX_FULLROWSELECT | LVS_EX_LABELTIP | LVS_EX_DOUBLEBUFFER);
  if (!list_view_.insert_columns()) return -1;

  attach_theme();
  list_view_.sort_by(kColIp);

  vendor_db_file_ = options_.vendor_db_file.empty() ? vendor_db_path() : options_.vendor_db_file;
  VendorTable loaded;
  if (!vendor_db_file_.empty() && load_vendor_db(loaded, vendor_db_file_)) {
    vendors_.swap(loaded);
  } else {
    notice_ = u"Baza VENDOR do pobrania";
    notice_expiry_ = 0;
  }

  const std::size_t adapters = fill_adapter_selector(enumerate_adapters());
  if (adapters == 0) {
    capture_.set_capture_status(u"Brak kart Ethernet i Wi-Fi.");
  } else {
    SendMessageW(combo_, CB_SETCURSEL, 0, 0);
    PostMessageW(hwnd_, kMsgStartCapture, 0, 0);
  }

  refresh_status();
  SetTimer(hwnd_, kTickTimer, kTickMilliseconds, nullptr);
  return 0;
}

void Window::attach_theme() {
  theme_.attach(hwnd_, combo_, search_button_, list_, update_button_);
  theme_.attach_progress_bar(progress_);
  for (std::size_t i = 0; i < tabs_.size(); ++i) theme_.add_filter_tab(tabs_[i], kTabAccents[i]);
  theme_.set_row_accent_query(&list_view_, [](void* context, LPARAM item_data) {
    return static_cast<const DeviceList*>(context)->row_accent(item_data);
  });
  theme_.set_row_mark_query(&list_view_, [](void* context, LPARAM item_data) {
    return static_cast<const DeviceList*>(context)->row_mark(item_data);
  });
}

std::optional<std::size_t> Window::tab_index(HWND control, WORD id) const {
  if (id < kIdFirstTab || id >= kIdFirstTab + kFilterTabCount) return std::nullopt;
  const auto index = static_cast<std::size_t>(id - kIdFirstTab);
  if (control != tabs_[index]) return std::nullopt;
  return index;
}

void Window::on_command(WORD id, WORD code, HWND control) {
  if (id == kIdCombo && control == combo_) {
    if (code == CBN_SELCHANGE) {
      on_adapter_changed();
    } else if (code == CBN_DROPDOWN) {
      refresh_adapter_selector();
    }
    return;
  }
  if (const auto tab = tab_index(control, id)) {
    bool changed = false;
    if (code == kTabSoloCommand) {
      changed = list_view_.on_tab_solo(*tab);
    } else if (code == BN_CLICKED) {
      changed = list_view_.on_tab_clicked(*tab);
    }
    if (changed) refresh_status();
    return;
  }
  if (code != BN_CLICKED) return;
  if (id == kIdSearch && control == search_button_) {
    on_search_clicked();
  } else if (id == kIdUpdate && control == update_button_) {
    on_vendor_update_clicked();
  }
}

void Window::on_adapter_changed() {
  session_.selection_changed();
  follow_answers();
}

void Window::on_search_clicked() {
  session_.search_pressed();
  follow_answers();
}

void Window::follow_answers() {
  const bool due = session_.answers_due();
  if (due == answer_timer_on_ || !hwnd_) return;
  if (due) {
    answer_timer_on_ = SetTimer(hwnd_, kAnswerTimer, kAnswerMilliseconds, nullptr) != 0;
  } else {
    KillTimer(hwnd_, kAnswerTimer);
    answer_timer_on_ = false;
  }
}

void Window::on_answer_timer() {
  // Painting stays held until the tick: a repaint of the list between two
  // polls would cost more than the polls themselves.
  session_.poll_answers();
  follow_answers();
}

void Window::on_destroy() {
  KillTimer(hwnd_, kTickTimer);
  KillTimer(hwnd_, kAnswerTimer);
  answer_timer_on_ = false;
  cancel_vendor_update_worker();
  stop_capture();
  PostQuitMessage(0);
}

// ---------------------------------------------------------------------------
// The tick

void Window::update() {
  // An adapter plugged in or removed; not while the user picks from the
  // open selector (opening it listed them anyway).
  if (relist_pending_ && combo_ && !SendMessageW(combo_, CB_GETDROPPEDSTATE, 0, 0)) {
    refresh_adapter_selector();
  }
  // 1.-3. Capture health and failover, the retry after a failed start, and
  // the probe engine's sockets (which a restart may have opened anew).
  session_.tick();
  follow_answers();
  // 4. Vendor update progress.
  if (progress_shown_) {
    if (const auto snapshot = read_vendor_update_progress()) apply_update_progress(*snapshot);
  }
  // 5. Notice expiry.
  if (notice_expiry_ != 0 && tick_ms() >= notice_expiry_) {
    notice_expiry_ = 0;
    notice_.clear();
  }
  // 6. Capture queue: one swap under the lock, merging outside it. The
  // batch's storage goes back to the queue at the next take; the summaries
  // are destroyed here, on this thread.
  const std::size_t taken = session_.take_queue();
  {
    // Painting is held while the batch changes the list: every insertion
    // would otherwise update and repaint the scroll bar and scroll the rows
    // on its own (under Wine that costs milliseconds per item). Afterwards
    // only the rows that changed are repainted, or the whole list when the
    // sort moved its items.
    const DeviceList::PaintHold hold =
        taken == 0 ? DeviceList::PaintHold() : list_view_.hold_painting();
    session_.merge_taken();
    // 7. At most one sort per tick.
    if (list_view_.resort_pending()) list_view_.sort();
  }
  release_replies();
  // 8.-9. The column fit and the status band.
  list_view_.fit_columns(false);
  refresh_status();
}

void Window::reply_arriving() {
  // Answers come in bursts (hundreds after a search on a large site):
  // painting is held from the first one until the next tick, as for a
  // batch from the capture queue.
  if (!replies_hold_.holds()) replies_hold_ = list_view_.hold_painting();
}

void Window::release_replies() { replies_hold_ = DeviceList::PaintHold(); }

void Window::clear_devices() { capture_.clear_devices(); }

void Window::list_clearing() { list_view_.delete_all_items(); }

void Window::list_cleared() {
  list_view_.clear_resort_pending();
  list_view_.fit_columns(false);
}

// ---------------------------------------------------------------------------
// Vendor database update

void Window::on_vendor_update_clicked() {
  if (vendor_update_running()) return;
  notice_expiry_ = 0;
  if (start_vendor_update_worker()) {
    EnableWindow(update_button_, FALSE);
    SetWindowTextW(update_button_, L"Pobieranie\u2026");
    notice_ = u"Pobieranie bazy VENDOR";
    show_progress(-1, true);
  } else {
    notice_ = u"Nie uda\u0142o si\u0119 uruchomi\u0107 aktualizacji VENDOR";
  }
  refresh_status();
}

void Window::on_vendor_update_done() {
  if (const auto outcome = take_vendor_update_result()) finish_vendor_update(*outcome);
}

void Window::apply_update_progress(const UpdateProgress& progress) {
  show_progress(progress.indeterminate ? -1 : static_cast<int>(progress.percent), true);
  notice_ = download_notice(progress.text, progress.received, progress.total);
}

void Window::finish_vendor_update(const UpdateResult& outcome) {
  show_progress(100, false);
  if (update_button_) {
    SetWindowTextW(update_button_, kUpdateButtonText);
    EnableWindow(update_button_, TRUE);
  }
  if (outcome.success) {
    // Loaded aside and swapped in whole, so a failed read keeps the table
    // the devices were classified with.
    VendorTable loaded;
    if (!vendor_db_file_.empty() && load_vendor_db(loaded, vendor_db_file_)) {
      vendors_.swap(loaded);
      table_.reclassify_all();
      list_view_.rebuild(kVendorColumnMask);
      notice_ = outcome.message.empty() ? u"Baza VENDOR gotowa" : outcome.message;
      notice_expiry_ = tick_ms() + kNoticeLifetimeMs;
      refresh_status();
      return;
    }
  }
  notice_ = u"B\u0142\u0105d aktualizacji VENDOR";
  notice_expiry_ = 0;
  refresh_status();
  if (outcome.success) {
    warn(L"Nie mo\u017Cna odczyta\u0107 zapisanej bazy producent\u00F3w.", kUpdateCaption);
  } else {
    // A failure without a message still says what failed rather than
    // showing an empty box.
    const std::u16string& text = outcome.message.empty() ? notice_ : outcome.message;
    warn(wide(std::u16string_view(text)), kUpdateCaption);
  }
}

void Window::warn(std::wstring_view text, std::wstring_view caption) {
  if (options_.warn) {
    options_.warn(text, caption);
    return;
  }
  const std::wstring t(text);
  const std::wstring c(caption);
  MessageBoxW(hwnd_, t.c_str(), c.c_str(), MB_OK | MB_ICONWARNING);
}

// ---------------------------------------------------------------------------
// Painting and hit testing

bool Window::paint_background(HDC dc) {
  if (!theme_.paint_background(dc)) return false;
  if (!grip_.empty()) {
    const RECT grip{grip_.x, grip_.y, grip_.right(), grip_.bottom()};
    theme_.paint_size_grip(dc, grip);
  }
  return true;
}

LRESULT Window::on_nc_hit_test(WPARAM wparam, LPARAM lparam) {
  const LRESULT hit = DefWindowProcW(hwnd_, WM_NCHITTEST, wparam, lparam);
  if (hit != HTCLIENT || IsZoomed(hwnd_) || IsIconic(hwnd_) || grip_.empty()) return hit;
  POINT pt{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
  if (!ScreenToClient(hwnd_, &pt)) return hit;
  return grip_.contains(pt.x, pt.y) ? HTBOTTOMRIGHT : hit;
}

// ---------------------------------------------------------------------------
// Focus

void Window::remember_focus() {
  HWND focus = GetFocus();
  if (focus && IsChild(hwnd_, focus)) focus_before_ = focus;
}

void Window::restore_focus() {
  HWND target = focus_before_;
  // A child that is gone, hidden or disabled meanwhile (the update button
  // during a download) cannot take it; the selector then does.
  if (!target || !IsWindow(target) || !IsChild(hwnd_, target) || !IsWindowVisible(target) ||
      !IsWindowEnabled(target)) {
    target = combo_;
  }
  if (target) SetFocus(target);
}

// ---------------------------------------------------------------------------
// Adapters and capture

std::vector<NetworkAdapter> Window::enumerate_adapters() const {
  return options_.list_adapters ? options_.list_adapters() : list_adapters();
}

std::size_t Window::fill_adapter_selector(std::vector<NetworkAdapter> adapters) {
  adapters_ = std::move(adapters);
  SendMessageW(combo_, CB_RESETCONTENT, 0, 0);
  for (const auto& adapter : adapters_) {
    const std::u16string label = adapter_label(adapter);
    SendMessageW(combo_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide(label)));
  }
  EnableWindow(search_button_, adapters_.empty() ? FALSE : TRUE);
  return adapters_.size();
}

void Window::refresh_adapter_selector() {
  relist_pending_ = false;
  if (!combo_) return;
  const LRESULT index = SendMessageW(combo_, CB_GETCURSEL, 0, 0);
  const bool had_selection = index >= 0 && static_cast<std::size_t>(index) < adapters_.size();
  AdapterRelist next = relist_adapters(
      enumerate_adapters(), had_selection ? &adapters_[static_cast<std::size_t>(index)] : nullptr);
  fill_adapter_selector(std::move(next.adapters));
  // Setting the selection by message sends no CBN_SELCHANGE: discovery on
  // the selected adapter goes on undisturbed, told against its addresses as
  // they are now.
  if (next.selected) {
    SendMessageW(combo_, CB_SETCURSEL, static_cast<WPARAM>(*next.selected), 0);
    if (*next.selected < adapters_.size()) {
      table_.set_local_network(local_network_of(adapters_[*next.selected]));
    }
  }
  // The first adapter after none: discovery starts on it, as at start-up.
  if (!had_selection && next.selected) on_adapter_changed();
}

std::optional<NetworkAdapter> Window::selected_adapter() {
  if (!combo_) return std::nullopt;
  const LRESULT index = SendMessageW(combo_, CB_GETCURSEL, 0, 0);
  if (index < 0 || static_cast<std::size_t>(index) >= adapters_.size()) return std::nullopt;
  // Addresses may have changed since the list was made; the label stays.
  NetworkAdapter& stored = adapters_[static_cast<std::size_t>(index)];
  refresh_adapter(stored, enumerate_adapters());
  // Discovery starts or searches on this record: the devices' states are
  // told against its network.
  table_.set_local_network(local_network_of(stored));
  return stored;
}

std::unique_ptr<CaptureBackend> Window::start_pktmon(const NetworkAdapter& adapter,
                                                     FrameCallback on_frame,
                                                     std::u16string& failure) {
  if (options_.start_pktmon) return options_.start_pktmon(adapter, std::move(on_frame), failure);
  return start_pktmon_backend(adapter, std::move(on_frame), failure);
}

std::unique_ptr<CaptureBackend> Window::start_npcap(const NetworkAdapter& adapter,
                                                    FrameCallback on_frame,
                                                    FailureCallback on_failed) {
  if (options_.start_npcap) {
    return options_.start_npcap(adapter, std::move(on_frame), std::move(on_failed));
  }
  return start_npcap_backend(adapter, std::move(on_frame), std::move(on_failed));
}

std::uint64_t Window::now_ms() { return tick_ms(); }

// ---------------------------------------------------------------------------
// Vendor update worker (vendor_update.h): the system's clock, files and
// WinHTTP, or what the options give instead.

bool Window::start_vendor_update_worker() {
  if (options_.vendor_update_system) {
    return start_vendor_update(vendor_update_, hwnd_, kMsgVendorUpdateDone,
                               options_.vendor_update_system());
  }
  return start_vendor_update(vendor_update_, hwnd_, kMsgVendorUpdateDone);
}

bool Window::vendor_update_running() const {
  return norvane::vendor_update_running(vendor_update_);
}

std::optional<UpdateProgress> Window::read_vendor_update_progress() {
  return read_update_progress(vendor_update_);
}

std::optional<UpdateResult> Window::take_vendor_update_result() {
  return take_update_result(vendor_update_);
}

void Window::cancel_vendor_update_worker() { cancel_vendor_update(vendor_update_); }

}  // namespace norvane
