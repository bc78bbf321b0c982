#include "app/discovery_session.h"

#include <chrono>
#include <utility>

namespace norvane {

namespace {

// The devices' first and last times are wall-clock times: they are shown
// and exported as dates.
std::int64_t unix_ms() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

}  // namespace

DiscoverySession::DiscoverySession(SessionHost& host, const VendorTable& vendors,
                                   ProbeEngineInterface& probes, SessionOptions options)
    : host_(host), options_(options), table_(vendors), capture_(host, *this, probes) {}

DiscoverySession::~DiscoverySession() = default;

void DiscoverySession::search_again() {
  if (!capture_.running()) return;
  // Capturing, the engine only sends: it is opened again on the adapter's
  // addresses as they are now, as a search from the window does.
  if (capturing()) {
    if (const auto adapter = host_.selected_adapter()) capture_.open_probe_engine(*adapter);
  }
  capture_.run_search();
}

void DiscoverySession::tick() {
  const bool was_capturing = capturing();
  capture_.tick();
  if (options_.resume_lost_capture) follow_capture(was_capturing);
}

void DiscoverySession::follow_capture(bool was_capturing) {
  const bool failed = capture_.pktmon_failed() || capture_.npcap_failed();
  if (was_capturing && !capturing() && failed && !lost_) {
    lost_ = host_.selected_adapter();
    if (!lost_) return;
    host_.capture_lost(*lost_);
    resume_at_ = host_.now_ms() + kCaptureRetryMs;
    return;
  }
  if (!lost_ || host_.now_ms() < resume_at_) return;
  resume_at_ = host_.now_ms() + kCaptureRetryMs;
  // While the link is down a back-end could not open, or would end at once.
  const std::optional<NetworkAdapter> adapter = host_.selected_adapter();
  if (!adapter || !adapter->connected) return;
  capture_.restart_capture();
  if (!capturing()) return;
  host_.capture_resumed(*lost_);
  lost_.reset();
}

std::size_t DiscoverySession::take_queue() {
  capture_.take_queue(batch_, table_.arp_room());
  return batch_.size();
}

void DiscoverySession::merge_taken() {
  // The batch's storage goes back to the queue at the next take; the
  // summaries are destroyed here, on the thread that merges.
  const std::uint64_t now = host_.now_ms();
  table_.set_merge_time(unix_ms());
  for (const PacketSummary& summary : batch_) {
    switch_port_.observe(summary, now);
    table_.merge(summary);
  }
  batch_.clear();
}

void DiscoverySession::on_probe_reply(const DiscoveryReply& reply) {
  PacketSummary summary;
  if (!summary_from_reply(reply, capture_.traffic(), summary)) return;
  if (!decode_datagram(summary) || !keep_reply(reply, summary, table_.local_network())) return;
  host_.reply_arriving();
  table_.set_merge_time(unix_ms());
  table_.merge(summary);
}

void DiscoverySession::clear_device_list() {
  host_.list_clearing();
  table_.clear();
  switch_port_.clear();
  host_.list_cleared();
}

}  // namespace norvane
