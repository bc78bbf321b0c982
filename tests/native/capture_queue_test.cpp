#include "capture/capture_queue.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "model/device_table.h"
#include "vendors/vendor_table.h"

namespace norvane {
namespace {

using Q = QueueOutcome;

PacketSummary summary(std::string mac, std::string ip, std::string protocol, std::string name = "",
                      std::string source_mac = "") {
  PacketSummary s;
  s.mac = std::move(mac);
  s.ip = std::move(ip);
  s.protocol = std::move(protocol);
  s.name = std::move(name);
  s.source_mac = source_mac.empty() ? s.mac : std::move(source_mac);
  return s;
}

std::string mac_of(int n) {
  char text[18];
  std::snprintf(text, sizeof text, "02:00:00:00:%02X:%02X", (n >> 8) & 0xFF, n & 0xFF);
  return text;
}

constexpr char kCam[] = "44:19:B6:01:02:03";
constexpr char kPc[] = "00:0C:29:AA:BB:CC";

// Each step offers one summary (or, with `take`, drains the queue first) and
// names the outcome; the queue then holds exactly the summaries queued, in
// order.
TEST(CaptureQueue, WhatIsQueuedAndWhatIsCoalesced) {
  const PacketSummary sadp = summary(kCam, "192.168.1.64", "SADP", "DS-2CD");
  const PacketSummary arp = summary(kCam, "192.168.1.64", "ARP");
  const auto with = [](PacketSummary s, auto change) {
    change(s);
    return s;
  };
  // An LLDP frame without an address whose sender is another station: its
  // merge may take the address ARP taught about that sender.
  const PacketSummary lldp = summary(kCam, "", "LLDP", "switch", kPc);
  struct Step {
    PacketSummary offered;
    Q outcome;
    bool take_first = false;
  };
  struct Case {
    const char* what;
    std::vector<Step> steps;
  } const cases[] = {
      {"a twin right after its first", {{sadp, Q::kQueued}, {sadp, Q::kCoalesced}}},
      {"a twin after other devices' summaries",
       {{sadp, Q::kQueued},
        {summary(kPc, "192.168.1.2", "IPv4"), Q::kQueued},
        {sadp, Q::kCoalesced}}},
      {"the same device changed in between",
       {{sadp, Q::kQueued}, {arp, Q::kQueued}, {sadp, Q::kQueued}, {arp, Q::kQueued}}},
      {"every field the merge reads tells summaries apart",
       {{sadp, Q::kQueued},
        {with(sadp, [](auto& s) { s.ip = "192.168.1.65"; }), Q::kQueued},
        {with(sadp, [](auto& s) { s.source_mac = kPc; }), Q::kQueued},
        {with(sadp, [](auto& s) { s.protocol = "SADP L2"; }), Q::kQueued},
        {with(sadp, [](auto& s) { s.name = "other"; }), Q::kQueued},
        {with(sadp, [](auto& s) { s.model = "model"; }), Q::kQueued},
        {with(sadp, [](auto& s) { s.info = "info"; }), Q::kQueued}}},
      {"fields the merge does not read do not",
       {{sadp, Q::kQueued},
        {with(sadp,
              [](auto& s) {
                s.multicast = true;
                s.source_port = 37020;
                s.dest_port = 37020;
                s.ether_type = 0x0800;
                s.payload = "<xml/>";
              }),
         Q::kCoalesced}}},
      {"keyed by address without a MAC",
       {{summary("", "10.0.0.1", "ONVIF"), Q::kQueued},
        {summary("", "10.0.0.1", "ONVIF"), Q::kCoalesced},
        {summary("", "10.0.0.2", "ONVIF"), Q::kQueued}}},
      {"a MAC key never meets an address key",
       {{summary("", "10.0.0.1", "SSDP"), Q::kQueued},
        {with(summary("", "10.0.0.1", "SSDP"), [](auto& s) { s.mac = "10.0.0.1"; }), Q::kQueued}}},
      {"no key at all is left out", {{summary("", "", "SSDP"), Q::kCoalesced}}},
      {"a take starts afresh",
       {{sadp, Q::kQueued}, {sadp, Q::kQueued, true}, {sadp, Q::kCoalesced}}},
      {"what ARP taught about the sender may have changed",
       {{lldp, Q::kQueued}, {summary(kPc, "192.168.1.2", "ARP"), Q::kQueued}, {lldp, Q::kQueued}}},
      {"nothing about the sender came in between",
       {{lldp, Q::kQueued},
        {summary("00:00:5E:00:01:01", "192.168.1.1", "ARP"), Q::kQueued},
        {lldp, Q::kCoalesced}}},
      {"the sender before the twin does not count",
       {{summary(kPc, "192.168.1.2", "ARP"), Q::kQueued},
        {lldp, Q::kQueued},
        {summary("00:00:5E:00:01:01", "", "IPv6"), Q::kQueued},
        {lldp, Q::kCoalesced}}},
  };
  for (const auto& c : cases) {
    CaptureQueue queue;
    std::vector<PacketSummary> expected;
    std::vector<PacketSummary> batch;
    for (std::size_t i = 0; i < c.steps.size(); ++i) {
      const Step& step = c.steps[i];
      if (step.take_first) {
        queue.take(batch);
        expected.clear();
      }
      PacketSummary offered = step.offered;
      EXPECT_EQ(queue.offer(offered, queue.generation()), step.outcome) << c.what << ", step " << i;
      if (step.outcome == Q::kQueued) expected.push_back(step.offered);
    }
    queue.take(batch);
    ASSERT_EQ(batch.size(), expected.size()) << c.what;
    for (std::size_t i = 0; i < batch.size(); ++i) {
      EXPECT_EQ(batch[i].protocol, expected[i].protocol) << c.what << ", entry " << i;
      EXPECT_EQ(batch[i].ip, expected[i].ip) << c.what << ", entry " << i;
      EXPECT_EQ(batch[i].mac, expected[i].mac) << c.what << ", entry " << i;
    }
  }
}

// The two rooms: 4096 places for discovery answers, 4096 for evidence.
TEST(CaptureQueue, DiscoveryHasARoomEvidenceCannotFill) {
  struct Case {
    const char* what;
    int evidence, discovery;       // distinct devices offered, in this order
    std::size_t queued;            // then waiting
    Q next_evidence, next_answer;  // a further device of each kind
    bool full;
  } const cases[] = {
      {"evidence fills its own room only", 5000, 0, 4096, Q::kNoRoom, Q::kQueued, false},
      {"answers fill theirs", 0, 5000, 4096, Q::kQueued, Q::kNoRoom, false},
      {"both full", 4096, 4096, 8192, Q::kNoRoom, Q::kNoRoom, true},
      {"room left in both", 4095, 4095, 8190, Q::kQueued, Q::kQueued, false},
  };
  for (const auto& c : cases) {
    CaptureQueue queue;
    const std::uint32_t generation = queue.generation();
    for (int i = 0; i < c.evidence; ++i) {
      PacketSummary s = summary(mac_of(i), "10.1.0.1", "IPv4");
      queue.offer(s, generation);
    }
    for (int i = 0; i < c.discovery; ++i) {
      PacketSummary s = summary(mac_of(i), "10.1.0.1", i % 2 ? "mDNS" : "SADP");
      queue.offer(s, generation);
    }
    EXPECT_EQ(queue.size(), c.queued) << c.what;
    EXPECT_EQ(queue.full(), c.full) << c.what;
    PacketSummary evidence = summary(mac_of(9000), "10.1.0.9", "EtherType 0x88B5");
    PacketSummary answer = summary(mac_of(9001), "10.1.0.9", "SSDP");
    EXPECT_EQ(queue.offer(evidence, generation), c.next_evidence) << c.what;
    EXPECT_EQ(queue.offer(answer, generation), c.next_answer) << c.what;
    // A summary is moved from only when it is queued.
    EXPECT_EQ(evidence.mac.empty(), c.next_evidence == Q::kQueued) << c.what;

    std::vector<PacketSummary> batch;
    queue.take(batch);
    EXPECT_FALSE(queue.full()) << c.what;
    EXPECT_EQ(queue.size(), 0u) << c.what;
    PacketSummary again = summary(mac_of(9002), "10.1.0.9", "ARP");
    EXPECT_EQ(queue.offer(again, generation), Q::kQueued) << c.what;
  }
}

// A clear is final for what was read before it, and forgets every twin;
// a take hands over in arrival order and gives its storage back next time.
TEST(CaptureQueue, GenerationClearAndTake) {
  CaptureQueue queue;
  const std::uint32_t before = queue.generation();
  PacketSummary a = summary(kCam, "192.168.1.64", "SADP");
  PacketSummary b = summary(kPc, "192.168.1.2", "ARP");
  ASSERT_EQ(queue.offer(a, before), Q::kQueued);
  ASSERT_EQ(queue.offer(b, before), Q::kQueued);
  queue.clear();
  EXPECT_EQ(queue.generation(), before + 1);
  EXPECT_EQ(queue.size(), 0u);
  PacketSummary late = summary(kCam, "192.168.1.64", "SADP");
  EXPECT_EQ(queue.offer(late, before), Q::kStale);
  EXPECT_FALSE(late.mac.empty());
  // The twin of a summary the clear removed is news again.
  EXPECT_EQ(queue.offer(late, before + 1), Q::kQueued);
  PacketSummary c = summary(kPc, "192.168.1.2", "ARP");
  ASSERT_EQ(queue.offer(c, before + 1), Q::kQueued);

  std::vector<PacketSummary> batch(3);  // whatever it held is dropped
  queue.take(batch);
  ASSERT_EQ(batch.size(), 2u);
  EXPECT_EQ(batch[0].protocol, "SADP");
  EXPECT_EQ(batch[1].protocol, "ARP");
  const std::size_t capacity = batch.capacity();
  batch.clear();
  queue.take(batch);  // the first round's storage comes back with the next
  std::vector<PacketSummary> spare;
  queue.take(spare);
  EXPECT_EQ(spare.capacity(), capacity);
}

// Once the device table's ARP cache may be full, whether a bare ARP
// observation is stored depends on what else was merged: its twin is then
// left out only when nothing came in between. The queue learns the cache's
// room at each take, so twins are left out again once the cache has room,
// however many ARP observations a busy segment has sent since the clear.
TEST(CaptureQueue, BareArpOnceTheCacheMayBeFull) {
  CaptureQueue queue;
  const std::uint32_t generation = queue.generation();
  std::vector<PacketSummary> batch;
  for (int i = 0; i < static_cast<int>(kMaxArpEntries); ++i) {
    PacketSummary s = summary(mac_of(i), "10.2.0.1", "ARP");
    ASSERT_EQ(queue.offer(s, generation), Q::kQueued) << i;
    if (queue.size() == kQueueRoom) queue.take(batch);
  }
  // A table with plenty of room (its rows took the entries): twins stay out.
  queue.take(batch, kMaxArpEntries);
  queue.take(batch, kMaxArpEntries);
  {
    PacketSummary a = summary(kCam, "192.168.1.64", "ARP"),
                  b = summary(kPc, "192.168.1.2", "ARP", "router"),
                  c = summary(kCam, "192.168.1.64", "ARP");
    queue.offer(a, generation);
    queue.offer(b, generation);
    EXPECT_EQ(queue.offer(c, generation), Q::kCoalesced);
  }
  // A full cache.
  queue.take(batch, 0);
  const PacketSummary arp = summary(kCam, "192.168.1.64", "ARP");
  const PacketSummary named = summary(kPc, "192.168.1.2", "ARP", "router");
  const struct {
    PacketSummary offered;
    Q outcome;
  } steps[] = {
      {arp, Q::kQueued},       // new since the take
      {arp, Q::kCoalesced},    // nothing in between
      {named, Q::kQueued},     // another device
      {arp, Q::kQueued},       // its merge might now find room in the cache
      {named, Q::kCoalesced},  // not a bare observation: never stored there
      {arp, Q::kCoalesced},    // the last one queued
  };
  for (const auto& step : steps) {
    PacketSummary s = step.offered;
    EXPECT_EQ(queue.offer(s, generation), step.outcome);
  }
  // A clear empties the table's cache as well.
  queue.clear();
  PacketSummary first = arp, between = named, twin = arp;
  queue.offer(first, queue.generation());
  queue.offer(between, queue.generation());
  EXPECT_EQ(queue.offer(twin, queue.generation()), Q::kCoalesced);
}

// The promise behind leaving twins out: merging what the queue hands over
// ends with the same table as merging every summary offered. Random
// streams from a few devices, mixing the protocols, addresses learned from
// ARP, LLDP frames whose sender is another station and summaries without a
// MAC.
TEST(CaptureQueue, LeavingOutTwinsNeverChangesTheTable) {
  const std::vector<std::string> macs = {kCam, kPc, "00:00:5E:00:01:01", "24:0A:C4:88:A0:14"};
  const std::vector<std::string> addresses = {"192.168.1.10", "192.168.1.11", "fe80::1"};
  std::vector<std::string> ips = addresses;
  ips.push_back("");
  const std::vector<std::string> protocols = {"ARP", "IPv4", "SADP", "mDNS", "LLDP", "SSDP"};
  const std::vector<std::string> names = {"", "", "cam", "nvr"};
  std::mt19937 random(1234);
  const auto pick = [&](const std::vector<std::string>& from) {
    return from[random() % from.size()];
  };
  VendorTable vendors;
  std::size_t left_out = 0;
  for (int round = 0; round < 200; ++round) {
    DeviceTable direct(vendors);
    DeviceTable through(vendors);
    CaptureQueue queue;
    std::vector<PacketSummary> batch;
    // A few summaries that recur, as the frames of a segment do.
    std::vector<PacketSummary> pool;
    for (int i = 0; i < 10; ++i) {
      pool.push_back(random() % 8 == 0 ? summary("", pick(addresses), pick(protocols))
                                       : summary(pick(macs), pick(ips), pick(protocols),
                                                 pick(names), random() % 3 == 0 ? pick(macs) : ""));
    }
    for (int i = 0; i < 300; ++i) {
      PacketSummary s = pool[random() % pool.size()];
      direct.merge(s);
      if (queue.offer(s, queue.generation()) == Q::kCoalesced) ++left_out;
      if (random() % 50 == 0) {
        queue.take(batch, through.arp_room());
        for (const auto& q : batch) through.merge(q);
      }
    }
    queue.take(batch, through.arp_room());
    for (const auto& q : batch) through.merge(q);
    ASSERT_EQ(through.size(), direct.size()) << "round " << round;
    for (std::size_t r = 0; r < direct.size(); ++r) {
      EXPECT_EQ(through.row(r).columns, direct.row(r).columns) << "round " << round;
      EXPECT_EQ(through.row(r).protocol_names, direct.row(r).protocol_names) << "round " << round;
    }
    EXPECT_EQ(through.index(), direct.index()) << "round " << round;
    EXPECT_EQ(through.arp_cache(), direct.arp_cache()) << "round " << round;
  }
  EXPECT_GT(left_out, 200u * 100u);  // the promise is tested where it is used
}

}  // namespace
}  // namespace norvane
