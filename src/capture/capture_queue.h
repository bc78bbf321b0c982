// The capture queue: summaries from the back-ends' threads wait here for the
// UI thread's tick, which merges them into the device table in arrival
// order. A flood must not crowd out what matters, so the queue
//  - takes in a summary that the table would not notice (equal, in every
//    field the merge reads, to the last one queued for the same device since
//    the last take) without queueing it again, so that a flood from a few
//    sources takes a few places;
//  - gives the discovery protocols (merge priority 2 and above) a room of
//    their own, which evidence (ARP, IPv4, IPv6 and the other frames kept
//    for their addresses) cannot fill.
// Memory stays bounded, a clear is final through the generation, and
// leaving out a twin never changes how the table ends.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string_view>
#include <vector>

#include "model/device_table.h"
#include "model/packet_summary.h"

namespace norvane {

// Places in each room: discovery answers, and evidence.
inline constexpr std::size_t kQueueRoom = 4096;
inline constexpr std::size_t kMaxQueuedSummaries = 2 * kQueueRoom;

enum class QueueOutcome {
  kQueued,     // appended
  kCoalesced,  // its twin waits already: taken in, not queued again
  kNoRoom,     // its room is full: dropped
  kStale,      // the devices were cleared since the frame was read: dropped
};

class CaptureQueue {
 public:
  CaptureQueue();
  CaptureQueue(const CaptureQueue&) = delete;
  CaptureQueue& operator=(const CaptureQueue&) = delete;

  // Any thread. Read before parsing a frame; a clear raises it.
  std::uint32_t generation() const noexcept { return generation_.load(); }
  // Any thread: both rooms are full, so no summary can be queued before
  // the next take and a frame need not be parsed at all.
  bool full() const noexcept { return full_.load(std::memory_order_relaxed); }

  // Any thread. `summary` is moved from only when it is queued; otherwise
  // it keeps its buffers for the caller's next frame.
  QueueOutcome offer(PacketSummary& summary, std::uint32_t generation);

  // UI thread: the waiting summaries, in arrival order, into `batch`, whose
  // storage (emptied by the caller after merging, outside the lock) the
  // queue keeps for the next round. Whatever `batch` held is dropped.
  // `arp_room` is the free room of the device table's ARP cache now, before
  // the batch is merged.
  void take(std::vector<PacketSummary>& batch, std::size_t arp_room = kMaxArpEntries);
  // UI thread: raises the generation and empties the queue; what it held is
  // destroyed after the lock is released.
  void clear();

  std::size_t size();

 private:
  struct Slot {
    std::uint64_t hash = 0;
    std::uint32_t position = 0;  // in pending_
    std::uint32_t epoch = 0;     // valid while equal to epoch_
  };
  static constexpr std::size_t kSlots = 4 * kQueueRoom;  // at most half in use

  std::uint64_t key_hash(std::string_view text, bool by_ip) const noexcept;
  // Position of the last summary queued for the device key, if any.
  std::optional<std::uint32_t> last_for(std::uint64_t hash, std::string_view text,
                                        bool by_ip) const;
  // The index slot of the device key: its own, or the free one where it
  // would go.
  std::size_t find_slot(std::uint64_t hash, std::string_view text, bool by_ip) const;
  bool leaves_no_trace(const PacketSummary& summary, std::uint32_t twin) const;
  void forget_locked() noexcept;  // empties the rooms and the index, under the lock

  std::atomic<std::uint32_t> generation_{0};
  std::atomic<bool> full_{false};
  const std::uint64_t seed_;

  std::mutex mutex_;
  std::vector<PacketSummary> pending_;
  std::size_t discovery_count_ = 0;
  std::size_t evidence_count_ = 0;
  // Bare ARP observations queued since the last take, and the room the
  // table's ARP cache has at least when they are merged (its room at the
  // take, less what the batch taken then may fill): while fewer were queued,
  // the cache cannot become full between two twins.
  std::size_t arp_since_take_ = 0;
  std::size_t arp_room_ = kMaxArpEntries;
  std::vector<Slot> slots_;
  std::uint32_t epoch_ = 1;
};

}  // namespace norvane
