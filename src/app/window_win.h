// The main window: owns every piece of the program's state, runs the 200 ms
// tick and routes the window messages.
#pragma once

#include <windows.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/device_list_win.h"
#include "app/discovery_session.h"
#include "app/layout_logic.h"
#include "app/switch_port.h"
#include "capture/capture_control.h"
#include "decode/frame.h"
#include "model/device_table.h"
#include "model/packet_summary.h"
#include "net/adapter.h"
#include "net/probe_engine.h"
#include "ui/dark_theme_win.h"
#include "vendors/vendor_table.h"
#include "vendors/vendor_update.h"

namespace norvane {

inline constexpr wchar_t kWindowClass[] = L"NorvaneWindow";
inline constexpr wchar_t kAppTitle[] = L"Norvane - Quilbo 2026";
inline constexpr UINT kMsgStartCapture = WM_APP + 1;
inline constexpr UINT kMsgVendorUpdateDone = WM_APP + 2;
inline constexpr UINT_PTR kTickTimer = 1;
inline constexpr UINT kTickMilliseconds = 200;
// Probing alone, the probe engine's port sockets are read this often while
// they are open after a search.
inline constexpr UINT_PTR kAnswerTimer = 2;
inline constexpr UINT kAnswerMilliseconds = 20;
inline constexpr int kIconGroup = 101;

enum ControlId : int {
  kIdCombo = 101,
  kIdList = 103,
  kIdSearch = 104,
  kIdUpdate = 105,
  kIdFirstTab = 110,  // 110..116, in tab order
};

struct WindowOptions {
  // DPI to use instead of asking the system (0: ask). Lets tests lay the
  // window out at another DPI than the session's.
  int forced_dpi = 0;
  // Warning message boxes (text, caption) and opening an address in the
  // browser; empty means the system's. Tests record them instead.
  std::function<void(std::wstring_view text, std::wstring_view caption)> warn;
  std::function<bool(const std::wstring& address)> open_address;
  // The adapter inventory; empty means the system's. Tests that are not
  // about discovery list none, so nothing is sent.
  std::function<std::vector<NetworkAdapter>()> list_adapters;
  // The CSV save dialog (proposed file name in, chosen path or nothing out);
  // empty means the system's dialog.
  std::function<std::optional<std::wstring>(std::wstring_view default_name)> choose_save_path;
  // The vendor database loaded at start; empty means mac-vendors.tsv
  // beside the program.
  std::filesystem::path vendor_db_file;
  // The update worker's clock, files and transfer; empty means the
  // system's (WinHTTP and the file beside the program).
  std::function<std::unique_ptr<UpdateSystem>()> vendor_update_system;
  // Discovery's way onto the wire: the probe engine (not owned) and the two
  // capture back-ends; empty means the real ones. Tests give stand-ins
  // that send and capture nothing.
  ProbeEngineInterface* probe_engine = nullptr;
  std::function<std::unique_ptr<CaptureBackend>(const NetworkAdapter&, FrameCallback,
                                                std::u16string& failure)>
      start_pktmon;
  std::function<std::unique_ptr<CaptureBackend>(const NetworkAdapter&, FrameCallback,
                                                FailureCallback)>
      start_npcap;
};

class Window final : private SessionHost {
 public:
  explicit Window(WindowOptions options = {});
  ~Window() override;
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  // Registers "NorvaneWindow" (an already registered class counts as done).
  static bool register_class(HINSTANCE instance, HICON large_icon, HICON small_icon);
  // Creates the main window at the system DPI; null on failure.
  HWND create(HINSTANCE instance);
  // The message loop with the zoom keys and dialog navigation; returns the
  // quit message's code.
  int run_message_loop();

  // The timer tick.
  void update();

  // The capture side's way in: true when the summary is taken in (queued,
  // or its twin waits already), false when the device list was cleared
  // since `generation` was read or its room of the queue is full.
  // Callable from any thread.
  bool queue_summary(PacketSummary summary, std::uint32_t generation) {
    const QueueOutcome outcome = capture_.queue_summary(std::move(summary), generation);
    return outcome == QueueOutcome::kQueued || outcome == QueueOutcome::kCoalesced;
  }
  std::uint32_t queue_generation() const noexcept { return capture_.queue_generation(); }
  std::size_t queued_summaries() { return capture_.queued_summaries(); }

  void clear_devices();
  void refresh_status();
  void layout_status();

  // Layout and scaling.
  static int query_dpi(HWND hwnd);
  bool zoom_key(const MSG& msg);
  void create_fonts();
  void layout();
  void show_progress(int percent, bool shown);

  // The probe engine's answer handler: counts the datagram, decodes it and
  // merges a discovery answer at once (used while running without capture).
  void on_probe_reply(const DiscoveryReply& reply) { session_.on_probe_reply(reply); }
  // Ends the hold on painting that answers began since the last tick.
  void release_replies();

  // Vendor update steps that are independent of the worker.
  void apply_update_progress(const UpdateProgress& progress);
  void finish_vendor_update(const UpdateResult& result);

  // Read access for the status band and the tests.
  HWND hwnd() const noexcept { return hwnd_; }
  HWND combo() const noexcept { return combo_; }
  HWND label() const noexcept { return label_; }
  HWND search_button() const noexcept { return search_button_; }
  HWND update_button() const noexcept { return update_button_; }
  HWND list_view() const noexcept { return list_; }
  HWND progress_bar() const noexcept { return progress_; }
  HWND status_left() const noexcept { return status_left_; }
  HWND status_middle() const noexcept { return status_middle_; }
  HWND status_right() const noexcept { return status_right_; }
  const std::array<HWND, kFilterTabCount>& tabs() const noexcept { return tabs_; }
  DarkTheme& theme() noexcept { return theme_; }
  DeviceTable& device_table() noexcept { return table_; }
  DeviceList& device_list() noexcept { return list_view_; }
  const VendorTable& vendor_table() const noexcept { return vendors_; }
  TrafficCounters& traffic() noexcept { return capture_.traffic(); }
  const CaptureControl& capture() const noexcept { return capture_; }
  const std::vector<NetworkAdapter>& adapters() const noexcept { return adapters_; }
  // The current selector entry's record, refreshed from a new enumeration.
  std::optional<NetworkAdapter> selected_adapter() override;
  int base_dpi() const noexcept { return base_dpi_; }
  int effective_dpi() const noexcept { return effective_dpi_; }
  int zoom() const noexcept { return zoom_; }
  HFONT main_font() const noexcept { return main_font_; }
  HFONT small_font() const noexcept { return small_font_; }
  const Rect& grip() const noexcept { return grip_; }
  const Rect& status_band() const noexcept { return status_band_; }
  bool progress_shown() const noexcept { return progress_shown_; }
  const std::u16string& notice() const noexcept { return notice_; }
  std::uint64_t notice_expiry() const noexcept { return notice_expiry_; }
  const std::u16string& capture_status() const noexcept { return capture_.capture_status(); }
  const std::u16string& search_status() const noexcept { return capture_.search_status(); }
  const std::u16string& devices_long() const noexcept { return devices_long_; }
  const std::u16string& devices_short() const noexcept { return devices_short_; }
  const std::u16string& traffic_long() const noexcept { return traffic_long_; }
  const std::u16string& traffic_short() const noexcept { return traffic_short_; }
  const std::filesystem::path& vendor_db_file() const noexcept { return vendor_db_file_; }
  void set_vendor_db_file(std::filesystem::path path) { vendor_db_file_ = std::move(path); }

 private:
  static LRESULT CALLBACK window_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
  LRESULT handle_message(UINT msg, WPARAM wparam, LPARAM lparam);
  LRESULT on_create();
  void on_command(WORD id, WORD code, HWND control);
  void on_destroy();
  void on_vendor_update_clicked();
  void on_vendor_update_done();
  void on_adapter_changed();
  void on_search_clicked();
  LRESULT on_nc_hit_test(WPARAM wparam, LPARAM lparam);
  bool paint_background(HDC dc);
  void warn(std::wstring_view text, std::wstring_view caption);
  void attach_theme();
  std::optional<std::size_t> tab_index(HWND control, WORD id) const;

  // Focus: the child that had it when the window was deactivated gets it
  // back on activation, as in a dialog.
  void remember_focus();
  void restore_focus();

  // Adapter inventory and capture control.
  // The selector lists `adapters` (the search button works only with one);
  // their count.
  std::size_t fill_adapter_selector(std::vector<NetworkAdapter> adapters);
  // Lists the adapters again (the selector is opened, or devices changed),
  // keeping the selection; discovery starts only when the first adapter
  // appears.
  void refresh_adapter_selector();
  void start_capture() {
    session_.start();
    follow_answers();
  }
  void stop_capture() { session_.stop(); }
  // Starts the answer timer while a search's answers are due, stops it
  // once they are not.
  void follow_answers();
  void on_answer_timer();
  std::vector<NetworkAdapter> enumerate_adapters() const;

  // SessionHost
  std::unique_ptr<CaptureBackend> start_pktmon(const NetworkAdapter& adapter,
                                               FrameCallback on_frame,
                                               std::u16string& failure) override;
  std::unique_ptr<CaptureBackend> start_npcap(const NetworkAdapter& adapter, FrameCallback on_frame,
                                              FailureCallback on_failed) override;
  void list_clearing() override;
  void list_cleared() override;
  void status_changed() override { refresh_status(); }
  void reply_arriving() override;
  std::uint64_t now_ms() override;

  // Vendor update worker.
  bool start_vendor_update_worker();
  bool vendor_update_running() const;
  std::optional<UpdateProgress> read_vendor_update_progress();
  std::optional<UpdateResult> take_vendor_update_result();
  void cancel_vendor_update_worker();

  WindowOptions options_;

  // Window handles.
  HWND hwnd_ = nullptr;
  HINSTANCE instance_ = nullptr;

  // Child controls.
  HWND label_ = nullptr;
  HWND combo_ = nullptr;
  HWND search_button_ = nullptr;
  HWND update_button_ = nullptr;
  HWND list_ = nullptr;
  HWND progress_ = nullptr;
  HWND status_left_ = nullptr;
  HWND status_middle_ = nullptr;
  HWND status_right_ = nullptr;
  std::array<HWND, kFilterTabCount> tabs_{};

  // Layout and scaling.
  int base_dpi_ = 96;
  int effective_dpi_ = 96;
  int zoom_ = 100;
  HFONT main_font_ = nullptr;
  HFONT small_font_ = nullptr;
  Rect grip_;
  Rect status_band_;
  int last_width_ = -1;
  int last_dpi_ = 0;
  bool progress_shown_ = false;
  bool answer_timer_on_ = false;

  // The dark theme: owns its brushes and the controls' subclasses.
  DarkTheme theme_;

  // Vendor database.
  VendorTable vendors_;
  UpdateSlot vendor_update_;
  std::filesystem::path vendor_db_file_;

  // Notice: a transient text with its expiry in tick-count milliseconds.
  std::u16string notice_;
  std::uint64_t notice_expiry_ = 0;

  // Adapters shown in the selector, in combo order; listed again at the
  // next tick after the system reported a device change.
  std::vector<NetworkAdapter> adapters_;
  bool relist_pending_ = false;

  // The child that had the focus when the window was last deactivated.
  HWND focus_before_ = nullptr;

  // Discovery: the session owns the device table, the switch at the other
  // end of the adapter's cable, and the capture control with its queue,
  // counters and back-ends; the probe engine it drives outlives it.
  ProbeEngine probe_engine_;
  DiscoverySession session_;
  DeviceTable& table_;
  SwitchPortTracker& switch_port_;
  CaptureControl& capture_;
  // The list that presents the table (filter, sort and column-fit state
  // live with the list).
  DeviceList list_view_;
  // The list's painting, held from the first probe answer of a burst until
  // the next tick.
  DeviceList::PaintHold replies_hold_;

  // Status panel.
  std::u16string devices_long_;
  std::u16string devices_short_;
  std::u16string traffic_long_;
  std::u16string traffic_short_;
  std::u16string message_text_;
  std::u16string left_text_;
  std::u16string right_text_;
};

}  // namespace norvane
