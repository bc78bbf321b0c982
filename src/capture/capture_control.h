// The capture control: brings capture and the probe engine up and down on the
// selected adapter, restarts after failures, and carries captured frames from
// the back-ends' threads to the UI thread through one bounded queue.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "capture/capture_backend.h"
#include "capture/capture_queue.h"
#include "decode/frame.h"
#include "model/device_table.h"
#include "model/packet_summary.h"
#include "net/adapter.h"
#include "net/probe_engine.h"

namespace norvane {

inline constexpr std::uint64_t kCaptureRetryMs = 3000;

inline constexpr char16_t kNoIpv4Status[] =
    u"Wykrywanie UDP wymaga adresu IPv4 na wybranej karcie.";
inline constexpr char16_t kNoSocketStatus[] =
    u"Nie uda\u0142o si\u0119 otworzy\u0107 gniazda sieciowego na tej karcie.";
inline constexpr char16_t kNoActiveSearchStatus[] =
    u"Aktywne wyszukiwanie niedost\u0119pne na tej karcie";
inline constexpr char16_t kSendFailedStatus[] = u"B\u0142\u0105d wysy\u0142ania zapyta\u0144";
// Shown while discovery runs by probing alone and nothing else is to be said:
// neither capture back-end started (Packet Monitor wants administrator
// rights, Npcap is not there), so switches, devices that only announce
// themselves and the MACs that answers do not carry are missed. Short
// enough to be read whole in the status band at the default window width.
inline constexpr char16_t kProbingAloneStatus[] =
    u"Tylko aktywne wyszukiwanie: bez praw administratora i Npcap";
// The same after a capture back-end failed while running (Packet Monitor
// stopped its stream, Npcap could not read): the rights were there, so
// "Szukaj teraz" is what tries capture again.
inline constexpr char16_t kCaptureStoppedStatus[] =
    u"Tylko aktywne wyszukiwanie: nas\u0142uch przerwany";

// The adapter's network, against which device states are told.
LocalNetwork local_network_of(const NetworkAdapter& adapter);

// Whether a decoded probe answer goes to the device table. Answers from the
// adapter's own address are this machine's own services answering its
// probes, unless the answer names a MAC that is not the adapter's: then a
// device squats on the address, and the conflict must show.
bool keep_reply(const DiscoveryReply& reply, const PacketSummary& decoded,
                const LocalNetwork& local) noexcept;

// Where capture comes from: the selected adapter, the platform's two
// back-ends and the clock. The window and norvane-scan supply it.
class CaptureSource {
 public:
  virtual ~CaptureSource() = default;
  // The selected adapter, refreshed; nothing when none is selected.
  virtual std::optional<NetworkAdapter> selected_adapter() = 0;
  virtual std::unique_ptr<CaptureBackend> start_pktmon(const NetworkAdapter& adapter,
                                                       FrameCallback on_frame,
                                                       std::u16string& failure) = 0;
  virtual std::unique_ptr<CaptureBackend> start_npcap(const NetworkAdapter& adapter,
                                                      FrameCallback on_frame,
                                                      FailureCallback on_failed) = 0;
  virtual std::uint64_t now_ms() = 0;
};

// What the capture control tells whoever owns the device list.
class CaptureHost {
 public:
  virtual ~CaptureHost() = default;
  // A probe answer received while no back-end captures.
  virtual void on_probe_reply(const DiscoveryReply& reply) = 0;
  // Empties the device list and table; the control has already made the
  // clear final for the queue.
  virtual void clear_device_list() = 0;
  virtual void refresh_status() = 0;
};

class CaptureControl {
 public:
  CaptureControl(CaptureSource& source, CaptureHost& host, ProbeEngineInterface& probe_engine);
  ~CaptureControl();
  CaptureControl(const CaptureControl&) = delete;
  CaptureControl& operator=(const CaptureControl&) = delete;

  void start_capture();
  void stop_capture();
  void open_probe_engine(const NetworkAdapter& adapter);
  void run_search();

  // Window events.
  void on_selection_changed();
  void on_search_pressed();
  // Capture again on the selected adapter after a back-end ended, keeping
  // the devices found (the link came back up).
  void restart_capture();
  // The capture steps that open the timer tick: health and failover, the
  // retry, and polling the probe engine.
  void tick();
  // Probing alone, answers to a search come in on the probe engine's own
  // sockets, hundreds of them at once on a large site: while its port
  // sockets are open, the window polls it more often than the tick.
  bool answers_due() const { return running_ && udp_only_ && probe_engine_.ports_open(); }
  void poll_answers();

  // Clearing the devices: raises the generation and empties the queue under
  // the lock, then the host clears the list and the table.
  void clear_devices();
  // The drain of the tick: the whole queue, in order, into `batch`, whose
  // storage the queue reuses (see CaptureQueue::take).
  // `arp_room`: the free room of the device table's ARP cache.
  void take_queue(std::vector<PacketSummary>& batch, std::size_t arp_room = kMaxArpEntries) {
    queue_.take(batch, arp_room);
  }
  std::vector<PacketSummary> take_queue() {
    std::vector<PacketSummary> batch;
    queue_.take(batch);
    return batch;
  }

  // The frame callback's work, on a back-end's thread. `own_mac` is the
  // adapter's address captured when capture started.
  void on_frame(const MacBytes& own_mac, const std::uint8_t* frame, std::uint64_t length);
  void on_capture_failed() noexcept { capture_failed_.store(true); }
  // A callable for a back-end: copies of it share this control.
  FrameCallback frame_callback(const MacBytes& own_mac);
  FailureCallback failure_callback();

  // Offers a summary read while the generation was `generation` to the
  // queue (CaptureQueue::offer). Any thread.
  QueueOutcome queue_summary(PacketSummary summary, std::uint32_t generation) {
    return queue_.offer(summary, generation);
  }
  std::uint32_t queue_generation() const noexcept { return queue_.generation(); }
  std::size_t queued_summaries() { return queue_.size(); }

  TrafficCounters& traffic() noexcept { return traffic_; }
  const std::u16string& capture_status() const noexcept { return capture_status_; }
  const std::u16string& search_status() const noexcept { return search_status_; }
  void set_capture_status(std::u16string text) { capture_status_ = std::move(text); }
  std::uint64_t retry_at() const noexcept { return retry_at_; }
  bool running() const noexcept { return running_; }
  bool pktmon_active() const noexcept { return pktmon_active_; }
  bool udp_only() const noexcept { return udp_only_; }
  // Discovery runs, but without any capture back-end.
  bool probing_alone() const noexcept { return running_ && udp_only_; }
  bool pktmon_failed() const noexcept { return pktmon_failed_; }
  bool npcap_failed() const noexcept { return npcap_failed_; }
  bool probe_engine_open() const noexcept { return probe_engine_open_; }
  bool capture_failed() const noexcept { return capture_failed_.load(); }
  bool has_pktmon() const noexcept { return pktmon_ != nullptr; }
  bool has_npcap() const noexcept { return npcap_ != nullptr; }

 private:
  CaptureSource& source_;
  CaptureHost& host_;
  ProbeEngineInterface& probe_engine_;

  std::unique_ptr<CaptureBackend> pktmon_;
  std::unique_ptr<CaptureBackend> npcap_;

  CaptureQueue queue_;
  std::atomic<bool> capture_failed_{false};
  TrafficCounters traffic_;

  std::u16string capture_status_;
  std::u16string search_status_;
  std::uint64_t retry_at_ = 0;
  bool running_ = false;
  bool pktmon_active_ = false;
  bool udp_only_ = false;
  bool pktmon_failed_ = false;
  bool npcap_failed_ = false;
  bool probe_engine_open_ = false;
};

}  // namespace norvane
