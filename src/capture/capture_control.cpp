#include "capture/capture_control.h"

#include <cstring>
#include <utility>

#include "base/address.h"

namespace norvane {

LocalNetwork local_network_of(const NetworkAdapter& adapter) {
  LocalNetwork local;
  local.ipv4 = adapter.ipv4;
  local.prefix_length = adapter.ipv4 == 0 ? 0 : static_cast<int>(adapter.prefix_length);
  local.mac = mac_text(adapter.mac.data());
  return local;
}

bool keep_reply(const DiscoveryReply& reply, const PacketSummary& decoded,
                const LocalNetwork& local) noexcept {
  if (local.ipv4 == 0 || reply.address != local.ipv4) return true;
  return !decoded.mac.empty() && decoded.mac != local.mac;
}

namespace {

// The frame callback handed to a back-end: copyable, each copy pointing at
// the same control with the adapter's own address.
struct FrameSink {
  CaptureControl* control;
  MacBytes own_mac;
  void operator()(const std::uint8_t* frame, std::uint64_t length) const {
    control->on_frame(own_mac, frame, length);
  }
};

}  // namespace

CaptureControl::CaptureControl(CaptureSource& source, CaptureHost& host,
                               ProbeEngineInterface& probe_engine)
    : source_(source), host_(host), probe_engine_(probe_engine) {}

CaptureControl::~CaptureControl() {
  // The back-ends end their callbacks in their destructors; they go before
  // the queue they write into.
  probe_engine_.close();
  pktmon_.reset();
  npcap_.reset();
}

FrameCallback CaptureControl::frame_callback(const MacBytes& own_mac) {
  return FrameSink{this, own_mac};
}

FailureCallback CaptureControl::failure_callback() {
  return [this]() { on_capture_failed(); };
}

void CaptureControl::start_capture() {
  if (running_) return;
  const std::optional<NetworkAdapter> adapter = source_.selected_adapter();
  if (!adapter) return;
  capture_failed_.store(false);

  pktmon_active_ = false;
  if (!pktmon_failed_) {
    // Why PktMon did not start is not shown: Npcap is simply tried next.
    std::u16string failure;
    pktmon_ = source_.start_pktmon(*adapter, frame_callback(adapter->mac), failure);
    pktmon_active_ = pktmon_ != nullptr;
  }
  bool captured = pktmon_active_;
  if (!captured && !npcap_failed_) {
    npcap_ = source_.start_npcap(*adapter, frame_callback(adapter->mac), failure_callback());
    captured = npcap_ != nullptr;
  }
  udp_only_ = !captured;
  open_probe_engine(*adapter);
  running_ = captured || probe_engine_open_;
  if (running_) {
    retry_at_ = 0;
    capture_status_.clear();
    run_search();
  } else {
    capture_status_ = adapter->ipv4 == 0 ? kNoIpv4Status : kNoSocketStatus;
    retry_at_ = source_.now_ms() + kCaptureRetryMs;
  }
  host_.refresh_status();
}

void CaptureControl::stop_capture() {
  if (!running_) return;
  probe_engine_.close();
  pktmon_.reset();
  npcap_.reset();
  running_ = false;
  pktmon_active_ = false;
  udp_only_ = false;
  probe_engine_open_ = false;
  capture_failed_.store(false);
  search_status_.clear();
}

void CaptureControl::open_probe_engine(const NetworkAdapter& adapter) {
  probe_engine_open_ = probe_engine_.open(adapter.adapter_name, adapter.if_index, adapter.ipv4,
                                          adapter.broadcast, adapter.mac, udp_only_);
}

void CaptureControl::run_search() {
  if (!probe_engine_open_) {
    search_status_ = kNoActiveSearchStatus;
  } else if (probe_engine_.search() > 0) {
    search_status_.clear();
  } else {
    search_status_ = kSendFailedStatus;
  }
  host_.refresh_status();
}

void CaptureControl::on_selection_changed() {
  stop_capture();
  traffic_.packet_count.store(0);
  traffic_.byte_count.store(0);
  clear_devices();
  restart_capture();
}

void CaptureControl::on_search_pressed() {
  clear_devices();
  if (running_ && !udp_only_) {
    if (const auto adapter = source_.selected_adapter()) open_probe_engine(*adapter);
    run_search();
  } else {
    stop_capture();
    pktmon_failed_ = false;
    npcap_failed_ = false;
    start_capture();
  }
}

void CaptureControl::restart_capture() {
  stop_capture();
  pktmon_failed_ = false;
  npcap_failed_ = false;
  retry_at_ = 0;
  start_capture();
}

void CaptureControl::tick() {
  if (running_) {
    bool failed = capture_failed_.load();
    if (!failed && pktmon_active_ && pktmon_) failed = !pktmon_->stream_error().empty();
    if (failed) {
      if (pktmon_active_) {
        pktmon_failed_ = true;
      } else {
        npcap_failed_ = true;
      }
      stop_capture();
      start_capture();
    }
  }
  if (!running_ && retry_at_ != 0 && source_.now_ms() >= retry_at_) start_capture();
  if (running_ && udp_only_) {
    poll_answers();
  } else if (running_) {
    probe_engine_.poll(ReplyHandler{});
  }
}

void CaptureControl::poll_answers() {
  if (!running_ || !udp_only_) return;
  probe_engine_.poll([this](const DiscoveryReply& reply) { host_.on_probe_reply(reply); });
}

void CaptureControl::clear_devices() {
  queue_.clear();
  host_.clear_device_list();
}

void CaptureControl::on_frame(const MacBytes& own_mac, const std::uint8_t* frame,
                              std::uint64_t length) {
  if (!frame || length < 14) return;
  // The adapter's own transmissions, the probes among them, are not traffic
  // of the segment.
  if (std::memcmp(frame + 6, own_mac.data(), 6) == 0) return;
  traffic_.byte_count.fetch_add(length);
  traffic_.packet_count.fetch_add(1);
  // With both rooms full nothing can be queued before the next tick: a
  // flood then costs the counting alone.
  if (queue_.full()) return;
  const std::uint32_t generation = queue_.generation();
  try {
    // One summary per back-end thread, parsed into again and again: a flood
    // frame that is left out (its twin waits already) then costs no
    // allocation, as its texts fit the buffers of the one before.
    thread_local PacketSummary summary;
    if (!summarize_frame(frame, length, summary)) return;
    queue_.offer(summary, generation);
  } catch (...) {
    // Nothing may reach the back-end's thread; the next tick restarts.
    capture_failed_.store(true);
  }
}

}  // namespace norvane
