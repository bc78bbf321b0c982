// One discovery session: the device table, the capture control with its
// probe engine, and the switch-port tracker of the selected adapter, with
// the loop that drives them (the 200 ms tick, the 20 ms answer polls while a
// search's answers are due, the failure flags and retries). The window and
// norvane-scan are views over it: they choose the adapter, supply the
// capture back-ends and present the table.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/switch_port.h"
#include "capture/capture_control.h"
#include "model/device_table.h"
#include "net/adapter.h"
#include "net/probe_engine.h"
#include "vendors/vendor_table.h"

namespace norvane {

inline constexpr std::uint64_t kSessionTickMs = 200;
inline constexpr std::uint64_t kSessionAnswerMs = 20;

// What differs between the views: where capture comes from, and what they
// are told.
class SessionHost : public CaptureSource {
 public:
  // The device list is about to be emptied (before the table is), and has
  // been.
  virtual void list_clearing() {}
  virtual void list_cleared() {}
  virtual void status_changed() {}
  // A probe answer is about to be merged (the window holds painting).
  virtual void reply_arriving() {}
  // Capture ended by itself while running (the link went down, the adapter
  // was unplugged), and came back on the same adapter.
  virtual void capture_lost(const NetworkAdapter&) {}
  virtual void capture_resumed(const NetworkAdapter&) {}
};

struct SessionOptions {
  // Starts capture again by itself once the adapter is up after a back-end
  // ended, every kCaptureRetryMs. Off in the window, where "Szukaj teraz"
  // is what tries capture again.
  bool resume_lost_capture = false;
};

class DiscoverySession final : private CaptureHost {
 public:
  DiscoverySession(SessionHost& host, const VendorTable& vendors, ProbeEngineInterface& probes,
                   SessionOptions options = {});
  ~DiscoverySession() override;
  DiscoverySession(const DiscoverySession&) = delete;
  DiscoverySession& operator=(const DiscoverySession&) = delete;

  DeviceTable& table() noexcept { return table_; }
  CaptureControl& capture() noexcept { return capture_; }
  const CaptureControl& capture() const noexcept { return capture_; }
  SwitchPortTracker& switch_port() noexcept { return switch_port_; }

  void start() { capture_.start_capture(); }
  void stop() { capture_.stop_capture(); }
  // A search, as "Szukaj teraz": the list starts over.
  void search_pressed() { capture_.on_search_pressed(); }
  void selection_changed() { capture_.on_selection_changed(); }
  // Probes again without emptying the list (norvane-scan --interval).
  void search_again();

  // The capture steps of the tick: health, failover, retries, polling.
  void tick();
  // Takes the capture queue of the tick; its count. merge_taken() then
  // merges what was taken into the table (the window holds painting over
  // it).
  std::size_t take_queue();
  void merge_taken();
  // Probing alone, a search's answers are read every kSessionAnswerMs.
  bool answers_due() const { return capture_.answers_due(); }
  void poll_answers() { capture_.poll_answers(); }
  // Capture ended by itself and has not come back.
  bool capture_lost() const noexcept { return lost_.has_value(); }
  // The probe-reply path: an answer received while no back-end captures is
  // counted, decoded and merged at once.
  void on_probe_reply(const DiscoveryReply& reply) override;

 private:
  // CaptureHost; the capture itself comes from the session's host.
  void clear_device_list() override;
  void refresh_status() override { host_.status_changed(); }

  bool capturing() const noexcept { return capture_.running() && !capture_.udp_only(); }
  void follow_capture(bool was_capturing);

  SessionHost& host_;
  SessionOptions options_;
  DeviceTable table_;
  SwitchPortTracker switch_port_;
  // The capture control goes first at destruction, ending the back-ends'
  // callbacks while the table they feed still exists.
  CaptureControl capture_;
  std::vector<PacketSummary> batch_;
  // The adapter whose capture was lost, and when to try it again.
  std::optional<NetworkAdapter> lost_;
  std::uint64_t resume_at_ = 0;
};

}  // namespace norvane
