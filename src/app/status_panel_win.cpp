// The status band: device counts on the left, messages in the middle,
// traffic counters on the right.
#include <array>

#include "app/status_text.h"
#include "app/text_win.h"
#include "app/window_win.h"

namespace norvane {

namespace {

// Measured width of a text with the band's font, or the estimate for a
// text that cannot be measured; 0 for an empty text.
int text_width(HDC dc, const std::u16string& text, int dpi) {
  if (text.empty()) return 0;
  SIZE size{};
  if (dc && GetTextExtentPoint32W(dc, wide(text), static_cast<int>(text.size()), &size)) {
    return size.cx + scale_px(2, dpi);
  }
  return unmeasured_text_width(text.size(), dpi);
}

void place(HWND parent, HWND control, const Rect& wanted) {
  if (!control) return;
  RECT now{};
  if (GetWindowRect(control, &now)) {
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&now), 2);
    if (now.left == wanted.x && now.top == wanted.y && now.right == wanted.right() &&
        now.bottom == wanted.bottom()) {
      return;
    }
  }
  // The whole text is drawn again: a text cut by its ellipsis at the old
  // width must not stay beside what the new width shows.
  SetWindowPos(control, nullptr, wanted.x, wanted.y, wanted.width, wanted.height,
               SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOCOPYBITS);
}

}  // namespace

void Window::refresh_status() {
  bool changed = false;

  const ShownCounts shown = count_shown(table_);
  const StatusTexts devices = device_count_texts(shown.makers, shown.to_check);
  if (devices.long_form != devices_long_ || devices.short_form != devices_short_) {
    devices_long_ = devices.long_form;
    devices_short_ = devices.short_form;
    changed = true;
  }

  // Where the laptop is plugged in, once a switch announced itself.
  const SwitchNeighbour* port = switch_port_.current();
  const std::array<std::u16string, 4> parts = {capture_.capture_status(), capture_.search_status(),
                                               notice_, port ? switch_port_text(*port) : u""};
  // Probing alone misses what only capture sees; that is said, with why,
  // while no other message needs the room.
  const bool capture_failed = capture_.pktmon_failed() || capture_.npcap_failed();
  std::u16string message =
      status_message(parts, capture_.probing_alone() ? probing_alone_line(capture_failed) : u"");
  if (message != message_text_) {
    if (status_middle_) SetWindowTextW(status_middle_, wide(message));
    message_text_ = std::move(message);
    changed = true;
  }

  const StatusTexts traffic =
      traffic_texts(capture_.traffic().packet_count.load(), capture_.traffic().byte_count.load());
  if (traffic.long_form != traffic_long_) {
    traffic_long_ = traffic.long_form;
    traffic_short_ = traffic.short_form;
    layout_status();
  } else if (changed) {
    layout_status();
  }
}

void Window::layout_status() {
  if (!hwnd_ || IsIconic(hwnd_) || status_band_.empty()) return;
  const int dpi = effective_dpi_;

  StatusWidths widths;
  HDC dc = GetDC(hwnd_);
  HGDIOBJ previous = nullptr;
  HFONT font = small_font_ ? small_font_ : main_font_;
  if (dc && font) previous = SelectObject(dc, font);
  widths.devices_long = text_width(dc, devices_long_, dpi);
  widths.devices_short = text_width(dc, devices_short_, dpi);
  widths.traffic_long = text_width(dc, traffic_long_, dpi);
  widths.traffic_short = text_width(dc, traffic_short_, dpi);
  widths.message = text_width(dc, message_text_, dpi);
  if (dc) {
    if (previous) SelectObject(dc, previous);
    ReleaseDC(hwnd_, dc);
  }

  const StatusPlan plan = plan_status_band(status_band_, dpi, widths);
  place(hwnd_, status_left_, plan.left);
  place(hwnd_, status_middle_, plan.middle);
  place(hwnd_, status_right_, plan.right);

  const std::u16string& left = plan.devices_long ? devices_long_ : devices_short_;
  if (left != left_text_ && status_left_) {
    SetWindowTextW(status_left_, wide(left));
    left_text_ = left;
  }
  const std::u16string& right = plan.traffic_long ? traffic_long_ : traffic_short_;
  if (right != right_text_ && status_right_) {
    SetWindowTextW(status_right_, wide(right));
    right_text_ = right;
  }
}

}  // namespace norvane
