#include "capture/capture_control.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "support/frame_builder.h"

namespace norvane {
namespace {

using test::Bytes;

const MacBytes kOwnMac = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};

class FakeBackend final : public CaptureBackend {
 public:
  FakeBackend(std::vector<std::string>& log, std::string name, std::u16string* error)
      : log_(log), name_(std::move(name)), error_(error) {
    log_.push_back(name_ + " start");
  }
  ~FakeBackend() override { log_.push_back(name_ + " stop"); }
  std::u16string stream_error() const override { return error_ ? *error_ : std::u16string(); }

 private:
  std::vector<std::string>& log_;
  std::string name_;
  std::u16string* error_;
};

class FakeEngine final : public ProbeEngineInterface {
 public:
  explicit FakeEngine(std::vector<std::string>& log) : log_(log) {}
  bool opens = true;
  unsigned search_count = 16;
  bool last_decode = false;
  bool ports = false;
  std::vector<DiscoveryReply> replies;

  bool ports_open() const override { return ports; }

  bool open(const std::string&, std::uint32_t, std::uint32_t, std::uint32_t, const MacBytes&,
            bool decode) override {
    last_decode = decode;
    log_.push_back(decode ? "open decode" : "open capture");
    return opens;
  }
  void close() override { log_.push_back("close"); }
  unsigned search() override {
    log_.push_back("search");
    return search_count;
  }
  void poll(const ReplyHandler& handler) override {
    log_.push_back(handler ? "poll handler" : "poll discard");
    if (handler) {
      for (const auto& r : replies) handler(r);
    }
  }

 private:
  std::vector<std::string>& log_;
};

class FakeHost final : public CaptureSource, public CaptureHost {
 public:
  std::vector<std::string> log;
  std::optional<NetworkAdapter> adapter;
  bool pktmon_starts = false;
  bool npcap_starts = false;
  std::u16string pktmon_error;
  std::uint64_t now = 10000;
  int replies = 0;
  int cleared = 0;
  FrameCallback last_frame_callback;
  FailureCallback last_failure_callback;

  FakeHost() {
    NetworkAdapter a;
    a.adapter_name = "{A}";
    a.mac = kOwnMac;
    a.if_index = 7;
    a.ipv4 = 0x0501A8C0;
    adapter = a;
  }

  std::optional<NetworkAdapter> selected_adapter() override { return adapter; }
  std::unique_ptr<CaptureBackend> start_pktmon(const NetworkAdapter&, FrameCallback f,
                                               std::u16string& failure) override {
    if (!pktmon_starts) {
      failure = u"no";
      log.push_back("pktmon refused");
      return nullptr;
    }
    last_frame_callback = std::move(f);
    return std::make_unique<FakeBackend>(log, "pktmon", &pktmon_error);
  }
  std::unique_ptr<CaptureBackend> start_npcap(const NetworkAdapter&, FrameCallback f,
                                              FailureCallback failed) override {
    if (!npcap_starts) {
      log.push_back("npcap refused");
      return nullptr;
    }
    last_frame_callback = std::move(f);
    last_failure_callback = std::move(failed);
    return std::make_unique<FakeBackend>(log, "npcap", nullptr);
  }
  void on_probe_reply(const DiscoveryReply&) override { ++replies; }
  void clear_device_list() override { ++cleared; }
  void refresh_status() override {}
  std::uint64_t now_ms() override { return now; }
};

class CaptureControlTest : public ::testing::Test {
 protected:
  FakeHost host;
  FakeEngine engine{host.log};
  CaptureControl control{host, host, engine};

  std::vector<std::string> take_log() {
    auto out = std::move(host.log);
    host.log.clear();
    return out;
  }
};

TEST_F(CaptureControlTest, StartOutcomes) {
  struct Case {
    const char* what;
    bool pktmon, npcap, engine_opens;
    std::uint32_t ipv4;
    unsigned search;
    bool running, udp_only, pktmon_active;
    std::u16string capture_status, search_status;
    bool retry;
  } const cases[] = {
      {"PktMon", true, true, true, 1, 17, true, false, true, u"", u"", false},
      {"Npcap when PktMon cannot", false, true, true, 1, 17, true, false, false, u"", u"", false},
      {"probing alone", false, false, true, 1, 16, true, true, false, u"", u"", false},
      {"nothing sent", false, false, true, 1, 0, true, true, false, u"", kSendFailedStatus, false},
      {"capture without probe engine", false, true, false, 1, 0, true, false, false, u"",
       kNoActiveSearchStatus, false},
      {"nothing opens, IPv4", false, false, false, 1, 0, false, true, false, kNoSocketStatus, u"",
       true},
      {"nothing opens, no IPv4", false, false, false, 0, 0, false, true, false, kNoIpv4Status, u"",
       true},
  };
  for (const auto& c : cases) {
    FakeHost h;
    h.pktmon_starts = c.pktmon;
    h.npcap_starts = c.npcap;
    h.adapter->ipv4 = c.ipv4;
    FakeEngine e(h.log);
    e.opens = c.engine_opens;
    e.search_count = c.search;
    CaptureControl cc(h, h, e);
    cc.start_capture();
    EXPECT_EQ(cc.running(), c.running) << c.what;
    EXPECT_EQ(cc.udp_only(), c.udp_only) << c.what;
    EXPECT_EQ(cc.pktmon_active(), c.pktmon_active) << c.what;
    EXPECT_EQ(cc.capture_status(), c.capture_status) << c.what;
    EXPECT_EQ(cc.search_status(), c.search_status) << c.what;
    EXPECT_EQ(cc.retry_at(), c.retry ? 13000u : 0u) << c.what;
    EXPECT_EQ(e.last_decode, c.udp_only) << c.what;
    // The first search goes out at once, and only when something runs.
    EXPECT_EQ(std::count(h.log.begin(), h.log.end(), "search"), c.running && c.engine_opens ? 1 : 0)
        << c.what;
  }
}

TEST_F(CaptureControlTest, NoAdapterChangesNothing) {
  host.adapter.reset();
  control.start_capture();
  EXPECT_FALSE(control.running());
  EXPECT_EQ(control.retry_at(), 0u);
  EXPECT_TRUE(host.log.empty());
}

TEST_F(CaptureControlTest, FailoverMovesFromPktMonToNpcapToProbingAlone) {
  host.pktmon_starts = true;
  host.npcap_starts = true;
  control.start_capture();
  ASSERT_TRUE(control.pktmon_active());
  take_log();

  control.tick();  // healthy: polls and discards
  EXPECT_EQ(take_log(), (std::vector<std::string>{"poll discard"}));

  host.pktmon_error = u"stream broke";
  control.tick();
  EXPECT_TRUE(control.pktmon_failed());
  EXPECT_FALSE(control.pktmon_active());
  EXPECT_EQ(take_log(), (std::vector<std::string>{"close", "pktmon stop", "npcap start",
                                                  "open capture", "search", "poll discard"}));

  host.last_failure_callback();  // the Npcap thread reports its end
  control.tick();
  EXPECT_TRUE(control.npcap_failed());
  EXPECT_TRUE(control.udp_only());
  EXPECT_EQ(take_log(), (std::vector<std::string>{"close", "npcap stop", "open decode", "search",
                                                  "poll handler"}));

  // "Szukaj teraz" while probing alone gives both back-ends another chance.
  host.pktmon_error.clear();
  control.on_search_pressed();
  EXPECT_EQ(host.cleared, 1);
  EXPECT_FALSE(control.pktmon_failed());
  EXPECT_FALSE(control.npcap_failed());
  EXPECT_TRUE(control.pktmon_active());
  EXPECT_EQ(take_log(),
            (std::vector<std::string>{"close", "pktmon start", "open capture", "search"}));
}

TEST_F(CaptureControlTest, SearchWhileCapturingReopensTheEngineOnly) {
  host.npcap_starts = true;
  control.start_capture();
  take_log();
  control.on_search_pressed();
  EXPECT_EQ(take_log(), (std::vector<std::string>{"open capture", "search"}));
  EXPECT_TRUE(control.has_npcap());
  EXPECT_EQ(host.cleared, 1);
}

TEST_F(CaptureControlTest, FailedStartRetriesEveryThreeSeconds) {
  engine.opens = false;
  control.start_capture();
  EXPECT_EQ(control.retry_at(), 13000u);
  host.now = 12999;
  take_log();
  control.tick();
  EXPECT_TRUE(take_log().empty());
  host.now = 13000;
  engine.opens = true;
  control.tick();
  EXPECT_TRUE(control.running());
  EXPECT_EQ(control.retry_at(), 0u);
  EXPECT_TRUE(control.capture_status().empty());
  EXPECT_EQ(take_log(), (std::vector<std::string>{"pktmon refused", "npcap refused", "open decode",
                                                  "search", "poll handler"}));
}

TEST_F(CaptureControlTest, SelectionChangeStartsAfresh) {
  host.npcap_starts = true;
  control.start_capture();
  control.on_capture_failed();
  control.tick();
  ASSERT_TRUE(control.npcap_failed());
  control.traffic().packet_count = 5;
  control.traffic().byte_count = 500;
  const auto generation = control.queue_generation();
  take_log();
  control.on_selection_changed();
  EXPECT_FALSE(control.npcap_failed());
  EXPECT_EQ(control.traffic().packet_count.load(), 0u);
  EXPECT_EQ(control.traffic().byte_count.load(), 0u);
  EXPECT_EQ(control.queue_generation(), generation + 1);
  EXPECT_TRUE(control.has_npcap());
  EXPECT_EQ(take_log(), (std::vector<std::string>{"close", "pktmon refused", "npcap start",
                                                  "open capture", "search"}));
}

TEST_F(CaptureControlTest, RepliesReachTheHostOnlyWhileProbingAlone) {
  engine.replies.resize(3);
  control.start_capture();
  control.tick();
  EXPECT_EQ(host.replies, 3);
  control.stop_capture();
  EXPECT_TRUE(control.search_status().empty());
  control.tick();  // stopped: no poll
  EXPECT_EQ(host.replies, 3);
}

TEST_F(CaptureControlTest, AnswersAreDueWhileProbingAloneWithPortsOpen) {
  const struct {
    const char* what;
    bool npcap, ports, due;
  } cases[] = {
      {"probing alone after a search", false, true, true},
      {"probing alone, the ports closed again", false, false, false},
      {"capturing: answers come as frames", true, true, false},
  };
  for (const auto& c : cases) {
    FakeHost h;
    h.npcap_starts = c.npcap;
    FakeEngine e(h.log);
    e.ports = c.ports;
    e.replies.resize(2);
    CaptureControl cc(h, h, e);
    cc.start_capture();
    EXPECT_EQ(cc.answers_due(), c.due) << c.what;
    h.log.clear();
    cc.poll_answers();
    EXPECT_EQ(h.replies, c.npcap ? 0 : 2) << c.what;
    EXPECT_EQ(h.log,
              c.npcap ? std::vector<std::string>{} : std::vector<std::string>{"poll handler"})
        << c.what;
    cc.stop_capture();
    EXPECT_FALSE(cc.answers_due()) << c.what;
    cc.poll_answers();
    EXPECT_EQ(h.replies, c.npcap ? 0 : 2) << c.what;
  }
}

Bytes frame_from(const test::Mac& source, const test::Mac& dest, std::uint16_t type,
                 const Bytes& payload) {
  return test::padded(test::ethernet(dest, source, type, payload));
}

TEST_F(CaptureControlTest, FrameCallbackCountsAndKeeps) {
  const test::Mac own = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
  const Bytes arp = frame_from(test::kCameraMac, test::kBroadcast, 0x0806, test::arp({}));
  test::Ipv4 tcp;
  tcp.dest = {192, 168, 1, 2};
  tcp.protocol = 6;
  const Bytes unicast_ip =
      frame_from(test::kCameraMac, test::kPcMac, 0x0800, test::ipv4(tcp, Bytes(20)));
  const Bytes broadcast_other = frame_from(test::kCameraMac, test::kBroadcast, 0x88B5, Bytes(10));
  const Bytes sadp_broadcast = frame_from(test::kCameraMac, test::kBroadcast, 0x8033, Bytes(10));
  const Bytes sadp_unicast = frame_from(test::kCameraMac, test::kPcMac, 0x8033, Bytes(10));
  const Bytes own_arp = frame_from(own, test::kBroadcast, 0x0806, test::arp({}));
  struct Case {
    const char* what;
    Bytes frame;
    std::uint64_t length;
    std::uint64_t counted;
    const char* queued_protocol;  // null: not queued
  } const cases[] = {
      {"13 bytes", arp, 13, 0, nullptr},
      {"14 bytes of another station", arp, 14, 1, nullptr},
      {"own transmission", own_arp, own_arp.size(), 0, nullptr},
      {"ARP", arp, arp.size(), 1, "ARP"},
      {"unicast IPv4 between others", unicast_ip, unicast_ip.size(), 1, nullptr},
      {"broadcast of an unknown type", broadcast_other, broadcast_other.size(), 1,
       "EtherType 0x88B5"},
      {"undecoded broadcast 0x8033", sadp_broadcast, sadp_broadcast.size(), 1, "EtherType 0x8033"},
      {"undecoded unicast 0x8033", sadp_unicast, sadp_unicast.size(), 1, nullptr},
  };
  for (const auto& c : cases) {
    FakeHost h;
    FakeEngine e(h.log);
    CaptureControl cc(h, h, e);
    const FrameCallback callback = cc.frame_callback(kOwnMac);
    callback(c.frame.data(), c.length);
    EXPECT_EQ(cc.traffic().packet_count.load(), c.counted) << c.what;
    EXPECT_EQ(cc.traffic().byte_count.load(), c.counted ? c.length : 0) << c.what;
    const auto queued = cc.take_queue();
    ASSERT_EQ(queued.size(), c.queued_protocol ? 1u : 0u) << c.what;
    if (c.queued_protocol) {
      EXPECT_EQ(queued[0].protocol, c.queued_protocol) << c.what;
      EXPECT_TRUE(queued[0].payload.empty() && queued[0].l2_payload.empty()) << c.what;
    }
  }
  FakeHost h;
  FakeEngine e(h.log);
  CaptureControl cc(h, h, e);
  cc.frame_callback(kOwnMac)(nullptr, 60);
  EXPECT_EQ(cc.traffic().packet_count.load(), 0u);
}

Bytes arp_from(std::uint8_t n) {
  test::Arp a;
  a.sender_mac = {0x02, 0x00, 0x00, 0x00, 0x01, n};
  a.operation = 1;
  return frame_from(a.sender_mac, test::kBroadcast, 0x0806, test::arp(a));
}

TEST_F(CaptureControlTest, AFloodTakesFewPlacesAndAClearIsFinal) {
  // A storm of one frame: every frame counted, one summary queued.
  const Bytes arp = arp_from(1);
  for (int i = 0; i < 5000; ++i) control.on_frame(kOwnMac, arp.data(), arp.size());
  EXPECT_EQ(control.traffic().packet_count.load(), 5000u);
  EXPECT_EQ(control.queued_summaries(), 1u);
  // Many sources fill the evidence room, not the answers'.
  for (int i = 0; i < 5000; ++i) {
    const Bytes other = arp_from(static_cast<std::uint8_t>(i));
    PacketSummary s;
    ASSERT_TRUE(summarize_frame(other.data(), other.size(), s));
    s.mac = "02:00:00:01:" + std::to_string(i);  // a device key of its own
    control.queue_summary(std::move(s), control.queue_generation());
  }
  EXPECT_EQ(control.queued_summaries(), kQueueRoom);
  PacketSummary answer;
  answer.mac = "44:19:B6:01:02:03";
  answer.protocol = "SADP";
  EXPECT_EQ(control.queue_summary(answer, control.queue_generation()), QueueOutcome::kQueued);
  EXPECT_EQ(control.take_queue().size(), kQueueRoom + 1);
  EXPECT_EQ(control.queued_summaries(), 0u);

  const auto before = control.queue_generation();
  control.clear_devices();
  EXPECT_EQ(host.cleared, 1);
  // A frame parsed before the clear carries the old generation.
  EXPECT_EQ(control.queue_summary(answer, before), QueueOutcome::kStale);
  EXPECT_EQ(control.queue_summary(answer, before + 1), QueueOutcome::kQueued);
}

TEST_F(CaptureControlTest, WithBothRoomsFullFramesAreCountedOnly) {
  const auto generation = control.queue_generation();
  for (int i = 0; i < 2 * static_cast<int>(kQueueRoom); ++i) {
    PacketSummary s;
    s.mac = "02:00:00:02:" + std::to_string(i);
    s.protocol = i < static_cast<int>(kQueueRoom) ? "IPv4" : "mDNS";
    ASSERT_EQ(control.queue_summary(std::move(s), generation), QueueOutcome::kQueued);
  }
  const Bytes arp = arp_from(7);
  control.on_frame(kOwnMac, arp.data(), arp.size());
  EXPECT_EQ(control.traffic().packet_count.load(), 1u);
  EXPECT_EQ(control.traffic().byte_count.load(), arp.size());
  EXPECT_EQ(control.queued_summaries(), kMaxQueuedSummaries);
  control.take_queue();
  control.on_frame(kOwnMac, arp.data(), arp.size());
  EXPECT_EQ(control.queued_summaries(), 1u);
}

// A back-end thread hammers the callback while the UI side drains and clears:
// the queue never exceeds its bound and, once the producer has stopped, a
// clear leaves nothing behind. Run under ThreadSanitizer by the test script.
TEST_F(CaptureControlTest, ProducerAgainstDrainAndClear) {
  // Two sources in turn with a third now and then: frames are queued and
  // coalesced both.
  const Bytes frames[] = {arp_from(1), arp_from(2), arp_from(1), arp_from(2), arp_from(3)};
  const FrameCallback callback = control.frame_callback(kOwnMac);
  std::atomic<bool> stop{false};
  std::atomic<std::uint64_t> sent{0};
  std::thread producer([&] {
    for (std::size_t i = 0; !stop.load(); ++i) {
      const Bytes& arp = frames[i % 5];
      callback(arp.data(), arp.size());
      sent.fetch_add(1);
    }
  });
  // Let the producer get going before the drain starts racing it.
  while (control.queued_summaries() == 0) std::this_thread::yield();
  std::size_t taken = 0;
  std::vector<PacketSummary> batch;
  for (int round = 0; round < 2000; ++round) {
    control.take_queue(batch);
    EXPECT_LE(batch.size(), kMaxQueuedSummaries);
    for (const auto& s : batch) ASSERT_EQ(s.protocol, "ARP");
    taken += batch.size();
    batch.clear();
    if (round % 7 == 0) control.clear_devices();
    if (round % 5 == 0) std::this_thread::yield();
  }
  stop = true;
  producer.join();
  EXPECT_EQ(control.traffic().packet_count.load(), sent.load());
  control.clear_devices();
  EXPECT_TRUE(control.take_queue().empty());
  EXPECT_GT(taken, 0u);
}

}  // namespace
}  // namespace norvane
