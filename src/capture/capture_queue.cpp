#include "capture/capture_queue.h"

#include <utility>

#include "base/keyed_hash.h"
#include "model/device_table.h"

namespace norvane {

namespace {

constexpr int kDiscoveryPriority = 2;

bool is_bare_arp(const PacketSummary& s) noexcept {
  return s.protocol == proto::kArp && s.name.empty() && s.model.empty() && s.info.empty();
}

// Equal in every field the device table's merge reads.
bool same_for_merge(const PacketSummary& a, const PacketSummary& b) noexcept {
  return a.mac == b.mac && a.source_mac == b.source_mac && a.ip == b.ip &&
         a.protocol == b.protocol && a.name == b.name && a.model == b.model && a.info == b.info &&
         a.settings == b.settings && a.departure == b.departure && a.arp_claim == b.arp_claim &&
         a.port == b.port;
}

bool has_key(const PacketSummary& s, std::string_view text, bool by_ip) noexcept {
  return by_ip ? s.mac.empty() && s.ip == text : s.mac == text;
}

}  // namespace

// The device keys come from the wire: the index is hashed with a key of
// this queue's own, so that no one can choose addresses that all land
// together.
CaptureQueue::CaptureQueue() : seed_(fresh_hash_key()), slots_(kSlots) {}

std::uint64_t CaptureQueue::key_hash(std::string_view text, bool by_ip) const noexcept {
  return keyed_hash(text, seed_ ^ (by_ip ? 0x5BD1E9955BD1E995u : 0));
}

std::size_t CaptureQueue::find_slot(std::uint64_t hash, std::string_view text, bool by_ip) const {
  // Linear probing in a table at most half full: ends at the key's slot or
  // at a free one.
  std::size_t i = static_cast<std::size_t>(hash) & (kSlots - 1);
  while (slots_[i].epoch == epoch_) {
    const Slot& s = slots_[i];
    if (s.hash == hash && has_key(pending_[s.position], text, by_ip)) break;
    i = (i + 1) & (kSlots - 1);
  }
  return i;
}

std::optional<std::uint32_t> CaptureQueue::last_for(std::uint64_t hash, std::string_view text,
                                                    bool by_ip) const {
  const Slot& s = slots_[find_slot(hash, text, by_ip)];
  if (s.epoch != epoch_) return std::nullopt;
  return s.position;
}

// Merging a summary right after its twin changes nothing in its own row.
// What lies between the two in the queue can matter only through what the
// merge reads outside the row: the address ARP taught about the frame's
// sender, and whether the ARP cache has room. Where that may have changed,
// the summary is queued after all.
bool CaptureQueue::leaves_no_trace(const PacketSummary& summary, std::uint32_t twin) const {
  if (twin + 1 == pending_.size()) return true;  // nothing came in between
  if (summary.ip.empty() && !summary.source_mac.empty() && summary.source_mac != summary.mac) {
    const auto sender = last_for(key_hash(summary.source_mac, false), summary.source_mac, false);
    if (sender && *sender > twin) return false;
  }
  return !(is_bare_arp(summary) && arp_since_take_ >= arp_room_);
}

QueueOutcome CaptureQueue::offer(PacketSummary& summary, std::uint32_t generation) {
  const bool by_ip = summary.mac.empty();
  const std::string_view key = by_ip ? std::string_view(summary.ip) : summary.mac;
  const bool discovery = protocol_priority(summary.protocol) >= kDiscoveryPriority;
  const std::uint64_t hash = key_hash(key, by_ip);

  std::lock_guard<std::mutex> lock(mutex_);
  if (generation_.load() != generation) return QueueOutcome::kStale;
  // Without a key the table drops the summary at once.
  if (key.empty()) return QueueOutcome::kCoalesced;
  Slot& slot = slots_[find_slot(hash, key, by_ip)];
  const bool known = slot.epoch == epoch_;
  if (known && same_for_merge(pending_[slot.position], summary) &&
      leaves_no_trace(summary, slot.position)) {
    return QueueOutcome::kCoalesced;
  }
  std::size_t& room = discovery ? discovery_count_ : evidence_count_;
  if (room >= kQueueRoom) return QueueOutcome::kNoRoom;
  ++room;
  if (is_bare_arp(summary)) ++arp_since_take_;
  slot.hash = hash;
  slot.position = static_cast<std::uint32_t>(pending_.size());
  slot.epoch = epoch_;
  pending_.push_back(std::move(summary));
  if (discovery_count_ >= kQueueRoom && evidence_count_ >= kQueueRoom) {
    full_.store(true, std::memory_order_relaxed);
  }
  return QueueOutcome::kQueued;
}

void CaptureQueue::forget_locked() noexcept {
  discovery_count_ = 0;
  evidence_count_ = 0;
  if (++epoch_ == 0) {
    // Once in 2^32 rounds every slot would look current again.
    for (Slot& s : slots_) s.epoch = 0;
    epoch_ = 1;
  }
  full_.store(false, std::memory_order_relaxed);
}

void CaptureQueue::take(std::vector<PacketSummary>& batch, std::size_t arp_room) {
  batch.clear();
  std::lock_guard<std::mutex> lock(mutex_);
  pending_.swap(batch);
  // The batch taken now is merged before what comes in next, and each bare
  // ARP observation in it may take a place of the cache.
  arp_room_ = arp_room > arp_since_take_ ? arp_room - arp_since_take_ : 0;
  arp_since_take_ = 0;
  forget_locked();
}

void CaptureQueue::clear() {
  std::vector<PacketSummary> removed;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    generation_.fetch_add(1);
    removed.swap(pending_);
    // The table's cache is emptied with the queue.
    arp_since_take_ = 0;
    arp_room_ = kMaxArpEntries;
    forget_locked();
  }
}

std::size_t CaptureQueue::size() {
  std::lock_guard<std::mutex> lock(mutex_);
  return pending_.size();
}

}  // namespace norvane
