#include "decode/frame.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "decode/lldp_cdp.h"
#include "support/frame_builder.h"
#include "support/pcap_reader.h"

// The frame tables name only the header fields they change and rely on the
// builders' default member initializers for the rest; GCC 12 still reports
// every omitted member of a designated initializer.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#endif

namespace norvane {
namespace {

using test::Bytes;
using test::hex;
using test::operator+;

// Parses from a heap copy of exactly `length` bytes, so that the sanitizer
// sees any read past the captured length.
bool parse(const Bytes& frame, PacketSummary& s, std::size_t length) {
  auto copy = std::make_unique<std::uint8_t[]>(length == 0 ? 1 : length);
  std::copy(frame.begin(), frame.begin() + static_cast<std::ptrdiff_t>(length), copy.get());
  return parse_frame(copy.get(), length, s);
}
bool parse(const Bytes& frame, PacketSummary& s) { return parse(frame, s, frame.size()); }

std::string str(const Bytes& b) { return {b.begin(), b.end()}; }

// --- Hand-written frames, one comment per field ---------------------------

// ARP reply from a camera; the ARP sender differs from the Ethernet source
// (a proxy), so the test can tell the two apart.
const Bytes kArpReply =
    hex("00 0c 29 aa bb cc"  // destination: the PC (unicast)
        "00 1a 2b 3c 4d 5e"  // source
        "08 06"              // EtherType ARP
        "00 01"              // hardware type Ethernet
        "08 00"              // protocol type IPv4
        "06 04"              // hardware length 6, protocol length 4
        "00 02"              // operation: reply
        "44 19 b6 01 02 03"  // sender hardware address
        "c0 a8 01 0a"        // sender protocol address 192.168.1.10
        "00 0c 29 aa bb cc"  // target hardware address
        "c0 a8 01 02"        // target protocol address 192.168.1.2
        "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00");  // padding to 60

// SSDP-port datagram in two stacked VLAN tags.
const Bytes kQinQUdp =
    hex("01 00 5e 7f ff fa"  // destination 239.255.255.250 group
        "44 19 b6 01 02 03"  // source
        "88 a8 00 c8"        // 802.1ad service tag, VLAN 200
        "81 00 07 d1"        // 802.1Q customer tag, VLAN 2001
        "08 00"              // EtherType IPv4
        "45 00 00 21"        // version 4, IHL 5, total length 33
        "12 34 00 00"        // identification, flags/offset 0
        "40 11 00 00"        // TTL 64, protocol UDP, checksum
        "c0 a8 01 40"        // source 192.168.1.64
        "ef ff ff fa"        // destination 239.255.255.250
        "07 6c 07 6c"        // UDP ports 1900 -> 1900
        "00 0d 00 00"        // UDP length 13, checksum
        "48 54 54 50 2f");   // "HTTP/"

// Spanning tree configuration BPDU to the bridge group address.
const Bytes kStp = hex(
    "01 80 c2 00 00 00"  // destination: bridge group
    "00 1a 2b 3c 4d 5e"  // source
    "00 26"              // 802.3 length 38
    "42 42 03"           // LLC: DSAP/SSAP 0x42, UI
    "00 00"              // protocol id 0
    "00 00"              // version 0, BPDU type configuration
    "00 80 00 00 1a 2b 3c 4d 5e 00 00 00 00 80 00 00 1a 2b 3c 4d 5e 80 01 00 00 14 00 02 00 0f 00"
    "00 00 00 00 00 00 00");  // rest of the BPDU and padding

// --- Rejections from the Ethernet header ---------------------------------

TEST(ParseFrame, RejectsShortOrBadSource) {
  PacketSummary s;
  EXPECT_FALSE(parse_frame(nullptr, 60, s));
  EXPECT_FALSE(parse(kArpReply, s, 13));
  EXPECT_FALSE(parse(kArpReply, s, 0));
  for (const test::Mac& bad : {test::Mac{0x01, 0x00, 0x5E, 0x00, 0x00, 0x01},
                               test::Mac{0, 0, 0, 0, 0, 0}, test::kBroadcast}) {
    Bytes f = kArpReply;
    std::copy(bad.begin(), bad.end(), f.begin() + 6);
    EXPECT_FALSE(parse(f, s));
  }
}

TEST(ParseFrame, ResetsTheSummaryFirst) {
  PacketSummary s;
  s.name = "old";
  s.info = "old";
  s.payload = "old";
  s.l2_payload = "old";
  s.partial = true;
  s.source_port = 5;
  ASSERT_TRUE(parse(kArpReply, s));
  EXPECT_EQ(s.name, "");
  EXPECT_EQ(s.info, "");
  EXPECT_EQ(s.payload, "");
  EXPECT_EQ(s.l2_payload, "");
  EXPECT_FALSE(s.partial);
  EXPECT_EQ(s.source_port, 0);
  s.model = "old";
  EXPECT_FALSE(parse(kArpReply, s, 13));
  EXPECT_EQ(s.model, "");  // reset even when rejected
}

// --- ARP ------------------------------------------------------------------

TEST(ParseFrame, ArpReply) {
  PacketSummary s;
  ASSERT_TRUE(parse(kArpReply, s));
  EXPECT_EQ(s.protocol, "ARP");
  EXPECT_EQ(s.ip, "192.168.1.10");
  EXPECT_EQ(s.mac, "44:19:B6:01:02:03");
  EXPECT_EQ(s.source_mac, "00:1A:2B:3C:4D:5E");
  EXPECT_EQ(s.ether_type, 0x0806);
  EXPECT_FALSE(s.multicast);
  EXPECT_TRUE(s.payload.empty());
}

TEST(ParseFrame, ArpFieldRules) {
  using test::Arp;
  struct Case {
    const char* what;
    Arp arp;
    test::Mac dst;
    bool accepted;
    const char* ip;
    bool claim = false;  // the sender claims the address
  };
  auto with = [](auto change) {
    Arp a;
    change(a);
    return a;
  };
  const Case cases[] = {
      {"reply", {}, test::kPcMac, true, "192.168.1.10", true},
      {"request", with([](Arp& a) { a.operation = 1; }), test::kBroadcast, true, "192.168.1.10"},
      {"announcement: a request for its own address", with([](Arp& a) {
         a.operation = 1;
         a.target_ip = a.sender_ip;
       }),
       test::kBroadcast, true, "192.168.1.10", true},
      {"probe broadcast", with([](Arp& a) {
         a.operation = 1;
         a.sender_ip = {0, 0, 0, 0};
       }),
       test::kBroadcast, true, ""},
      {"probe unicast", with([](Arp& a) {
         a.operation = 1;
         a.sender_ip = {0, 0, 0, 0};
       }),
       test::kPcMac, false, ""},
      {"reply from 0.0.0.0", with([](Arp& a) {
         a.sender_ip = {0, 0, 0, 0};
       }),
       test::kBroadcast, false, ""},
      {"loopback sender", with([](Arp& a) {
         a.sender_ip = {127, 0, 0, 1};
       }),
       test::kPcMac, false, ""},
      {"probe from 0.0.0.1", with([](Arp& a) {
         a.operation = 1;
         a.sender_ip = {0, 0, 0, 1};
       }),
       test::kBroadcast, false, ""},
      {"link-local", with([](Arp& a) {
         a.sender_ip = {169, 254, 1, 1};
       }),
       test::kPcMac, true, "169.254.1.1", true},
      {"operation 3", with([](Arp& a) { a.operation = 3; }), test::kBroadcast, false, ""},
      {"operation 0", with([](Arp& a) { a.operation = 0; }), test::kBroadcast, false, ""},
      {"hardware 6", with([](Arp& a) { a.hardware = 6; }), test::kBroadcast, false, ""},
      {"protocol IPv6", with([](Arp& a) { a.protocol = 0x86DD; }), test::kBroadcast, false, ""},
      {"hardware length 8", with([](Arp& a) { a.hardware_length = 8; }), test::kBroadcast, false,
       ""},
      {"protocol length 16", with([](Arp& a) { a.protocol_length = 16; }), test::kBroadcast, false,
       ""},
      {"group sender", with([](Arp& a) { a.sender_mac = test::kMdnsGroup; }), test::kBroadcast,
       false, ""},
      {"zero sender", with([](Arp& a) { a.sender_mac = {}; }), test::kBroadcast, false, ""},
  };
  for (const Case& c : cases) {
    PacketSummary s;
    const Bytes f = test::ethernet(c.dst, test::kHostMac, 0x0806, test::arp(c.arp));
    ASSERT_EQ(parse(f, s), c.accepted) << c.what;
    if (!c.accepted) continue;
    EXPECT_EQ(s.ip, c.ip) << c.what;
    EXPECT_EQ(s.protocol, "ARP") << c.what;
    EXPECT_EQ(s.mac, "44:19:B6:01:02:03") << c.what;
    EXPECT_EQ(s.arp_claim, c.claim) << c.what;
  }
  // The fixed 28 bytes must all be present.
  PacketSummary s;
  const Bytes f = test::ethernet(test::kBroadcast, test::kHostMac, 0x0806, test::arp({}));
  EXPECT_TRUE(parse(f, s, f.size()));
  EXPECT_FALSE(parse(f, s, f.size() - 1));
}

// --- VLAN tags ---------------------------------------------------------------

TEST(ParseFrame, StackedTagsParseLikeUntagged) {
  PacketSummary tagged;
  ASSERT_TRUE(parse(kQinQUdp, tagged));
  Bytes untagged(kQinQUdp.begin(), kQinQUdp.begin() + 12);
  untagged.insert(untagged.end(), kQinQUdp.begin() + 20, kQinQUdp.end());
  PacketSummary plain;
  ASSERT_TRUE(parse(untagged, plain));
  for (const PacketSummary* s : {&tagged, &plain}) {
    EXPECT_EQ(s->protocol, "IPv4");
    EXPECT_EQ(s->ether_type, 0x0800);
    EXPECT_EQ(s->ip, "192.168.1.64");
    EXPECT_EQ(s->source_port, 1900);
    EXPECT_EQ(s->dest_port, 1900);
    EXPECT_EQ(s->payload, "HTTP/");
    EXPECT_TRUE(s->multicast);
    EXPECT_EQ(s->mac, "44:19:B6:01:02:03");
  }
}

TEST(ParseFrame, TagVariants) {
  const Bytes body = test::ipv4({}, test::udp({.source = 50000, .dest = 1900}, hex("41")));
  for (std::uint16_t tpid : {0x8100, 0x9100, 0x88A8}) {
    PacketSummary s;
    const Bytes f =
        test::ethernet(test::kBroadcast, test::kCameraMac, 0x0800, body, {{tpid, 0x0064}});
    ASSERT_TRUE(parse(f, s)) << tpid;
    EXPECT_EQ(s.payload, "A");
    EXPECT_EQ(s.ether_type, 0x0800);
  }
  // Any depth of stacking is accepted.
  Bytes deep(test::kBroadcast.begin(), test::kBroadcast.end());
  deep.insert(deep.end(), test::kCameraMac.begin(), test::kCameraMac.end());
  for (int i = 0; i < 200; ++i) deep = deep + hex("8100 0001");
  deep = deep + hex("0800") + body;
  PacketSummary s;
  ASSERT_TRUE(parse(deep, s));
  EXPECT_EQ(s.payload, "A");
  // A tag that does not fit, and tags that end the frame.
  EXPECT_FALSE(parse(hex("ffffffffffff 4419b6010203 8100 00"), s));
  EXPECT_FALSE(parse(hex("ffffffffffff 4419b6010203 8100 0064"), s));
  ASSERT_TRUE(parse(hex("ffffffffffff 4419b6010203 8100 0064 88b5"), s));
  EXPECT_EQ(s.protocol, "EtherType 0x88B5");
}

// --- IEEE 802.3 / LLC -------------------------------------------------------

TEST(ParseFrame, Ieee8023) {
  PacketSummary s;
  ASSERT_TRUE(parse(kStp, s));
  EXPECT_EQ(s.protocol, "STP");
  EXPECT_EQ(s.ether_type, 0);
  EXPECT_EQ(s.mac, "00:1A:2B:3C:4D:5E");
  EXPECT_TRUE(s.multicast);

  struct Case {
    const char* what;
    Bytes frame;
    bool accepted;
    const char* protocol;
  } const cases[] = {
      {"LLC multicast", hex("0180c2000014 001a2b3c4d5e 0003 fefe03"), true, "Ethernet LLC"},
      {"LLC unicast", hex("000c29aabbcc 001a2b3c4d5e 0003 fefe03"), false, ""},
      {"length 2", hex("0180c2000014 001a2b3c4d5e 0002 fefe 00"), false, ""},
      {"length 0", hex("0180c2000014 001a2b3c4d5e 0000"), false, ""},
      {"length beyond capture", hex("0180c2000014 001a2b3c4d5e 0010 424203000000"), false, ""},
      {"STP needs 7 bytes", hex("0180c2000000 001a2b3c4d5e 0006 424203000000 00"), true,
       "Ethernet LLC"},
      {"STP protocol id 1", hex("0180c2000000 001a2b3c4d5e 0007 42420300010000"), true,
       "Ethernet LLC"},
      {"STP minimal", hex("0180c2000000 001a2b3c4d5e 0007 42420300000000"), true, "STP"},
      {"SNAP other than CDP", hex("0180c2000000 001a2b3c4d5e 0008 aaaa03000000 0800"), true,
       "Ethernet LLC"},
      {"1500 exactly", hex("ffffffffffff 001a2b3c4d5e 05dc") + Bytes(1500, 0xFE), true,
       "Ethernet LLC"},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(parse(c.frame, s), c.accepted) << c.what;
    if (c.accepted) {
      EXPECT_EQ(s.protocol, c.protocol) << c.what;
      EXPECT_EQ(s.ether_type, 0) << c.what;
    }
  }
}

// --- Other EtherTypes and SADP frames --------------------------------------------

TEST(ParseFrame, OtherEtherTypes) {
  struct Case {
    std::uint16_t type;
    test::Mac dst;
    bool accepted;
    const char* protocol;
  } const cases[] = {
      {0x88E1, test::kBroadcast, true, "EtherType 0x88E1"},
      {0x88ab, test::kMdnsGroup, true, "EtherType 0x88AB"},
      {0x0600, test::kBroadcast, true, "EtherType 0x0600"},
      {0xFFFF, test::kBroadcast, true, "EtherType 0xFFFF"},
      {0x88E1, test::kPcMac, false, ""},
      {0x05FF, test::kBroadcast, false, ""},
      {0x05DD, test::kBroadcast, false, ""},  // 1501: neither a length nor a type
  };
  for (const Case& c : cases) {
    PacketSummary s;
    const Bytes f = test::padded(test::ethernet(c.dst, test::kHostMac, c.type, {}));
    ASSERT_EQ(parse(f, s), c.accepted) << std::hex << c.type;
    if (!c.accepted) continue;
    EXPECT_EQ(s.protocol, c.protocol);
    EXPECT_EQ(s.ether_type, c.type);
    EXPECT_EQ(s.mac, "00:1A:2B:3C:4D:5E");
  }
  // Header only: the type alone is enough.
  PacketSummary s;
  EXPECT_TRUE(parse(hex("ffffffffffff 001a2b3c4d5e 88e1"), s));
}

TEST(ParseFrame, SadpFrameSizes) {
  struct Case {
    std::size_t size;
    test::Mac dst;
    bool accepted;
  } const cases[] = {
      {0, test::kBroadcast, false}, {1, test::kBroadcast, false},   {2, test::kBroadcast, true},
      {46, test::kBroadcast, true}, {4096, test::kBroadcast, true}, {4097, test::kBroadcast, false},
      {60, test::kPcMac, true},  // SADP answers may be unicast
  };
  for (const Case& c : cases) {
    Bytes body(c.size);
    for (std::size_t i = 0; i < body.size(); ++i) body[i] = static_cast<std::uint8_t>(i * 7);
    PacketSummary s;
    const Bytes f = test::ethernet(c.dst, test::kCameraMac, 0x8033, body);
    ASSERT_EQ(parse(f, s), c.accepted) << c.size;
    if (!c.accepted) continue;
    EXPECT_EQ(s.protocol, "SADP");
    EXPECT_EQ(s.ether_type, 0x8033);
    EXPECT_EQ(s.l2_payload, str(body));
    EXPECT_TRUE(s.payload.empty());
  }
  // After a VLAN tag the payload starts after the tag.
  PacketSummary s;
  ASSERT_TRUE(parse(
      test::ethernet(test::kBroadcast, test::kCameraMac, 0x8033, hex("2102"), {{0x8100, 5}}), s));
  EXPECT_EQ(s.l2_payload, "\x21\x02");
}

// --- IPv4 -------------------------------------------------------------------------

struct IpCase {
  const char* what;
  Bytes frame;
  bool accepted;
  std::string payload;  // expected stored payload
  std::uint16_t source_port;
  std::uint16_t dest_port;
  bool partial;
  std::string ip;
};

IpCase rejected(const char* what, Bytes frame) {
  return {what, std::move(frame), false, "", 0, 0, false, ""};
}

IpCase kept(const char* what, Bytes frame, std::string payload = "", std::uint16_t source_port = 0,
            std::uint16_t dest_port = 0, bool partial = false, std::string ip = "192.168.1.64") {
  return {what,        std::move(frame), true,    std::move(payload),
          source_port, dest_port,        partial, std::move(ip)};
}

void run(const std::vector<IpCase>& cases) {
  for (const IpCase& c : cases) {
    PacketSummary s;
    ASSERT_EQ(parse(c.frame, s), c.accepted) << c.what;
    if (!c.accepted) continue;
    EXPECT_EQ(s.payload, c.payload) << c.what;
    EXPECT_EQ(s.source_port, c.source_port) << c.what;
    EXPECT_EQ(s.dest_port, c.dest_port) << c.what;
    EXPECT_EQ(s.partial, c.partial) << c.what;
    EXPECT_EQ(s.ip, c.ip) << c.what;
  }
}

Bytes eth4(const test::Mac& dst, const test::Ipv4& ip, const Bytes& l4) {
  return test::ethernet(dst, test::kCameraMac, 0x0800, test::ipv4(ip, l4));
}

Bytes first(const Bytes& b, std::size_t n) {
  return Bytes(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(n));
}

Bytes dhip_payload(std::size_t size, const char* magic = "DHIP") {
  Bytes p(size, 0x20);
  p[0] = 0x20;
  for (int i = 0; i < 4; ++i)
    p[4 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(magic[i]);
  return p;
}

TEST(ParseFrame, Ipv4Headers) {
  const test::Mac uni = test::kPcMac;
  const test::Mac multi = test::kBroadcast;
  const Bytes tcp = hex("c350 0050 00000000 00000000 5002 ffff 0000 0000");
  const Bytes ssdp = test::udp({.source = 1900, .dest = 50000}, test::text_bytes("NOTIFY"));
  run({
      rejected("unicast TCP", eth4(uni, {.protocol = 6}, tcp)),
      kept("multicast TCP", eth4(multi, {.protocol = 6}, tcp)),
      rejected("DHCP discover from 0.0.0.0",
               eth4(multi, {.source = {0, 0, 0, 0}, .dest = {255, 255, 255, 255}},
                    test::udp({.source = 68, .dest = 67}, Bytes(300)))),
      kept("multicast from 0.0.0.0 with stored payload",
           eth4(multi, {.source = {0, 0, 0, 0}}, ssdp), "NOTIFY", 1900, 50000, false, ""),
      kept("unicast stored payload", eth4(uni, {}, ssdp), "NOTIFY", 1900, 50000),
      rejected("version 6 in IPv4", eth4(multi, {.version = 6}, ssdp)),
      rejected("IHL 4", eth4(multi, {.ihl = 4}, ssdp)),
      rejected("IHL 15 beyond capture",
               first(eth4(multi, {.protocol = 6, .ihl = 15}, {}), 14 + 59)),
      kept("IHL 15 complete", eth4(multi, {.protocol = 6, .ihl = 15}, {})),
      kept("IHL 6 with options", eth4(uni, {.ihl = 6}, ssdp), "NOTIFY", 1900, 50000),
      rejected("total below header", eth4(multi, {.total_length = 19}, ssdp)),
      rejected("total beyond capture, unicast", eth4(uni, {.total_length = 200}, ssdp)),
      kept("total beyond capture, multicast", eth4(multi, {.total_length = 200}, ssdp)),
      kept("IP padding after UDP", eth4(uni, {}, ssdp + Bytes(10, 0xEE)), "NOTIFY", 1900, 50000),
      rejected("loopback source multicast",
               eth4(multi, {.source = {127, 0, 0, 1}, .protocol = 6}, tcp)),
      kept("Ethernet padding after a short datagram",
           test::padded(eth4(uni, {}, test::udp({.source = 1900, .dest = 1}, hex("41")))), "A",
           1900, 1),
  });
  PacketSummary s;
  EXPECT_FALSE(parse(hex("ffffffffffff 4419b6010203 0800 4500001c 0000"), s));  // P < 20
}

TEST(ParseFrame, UdpRule) {
  using test::Udp;
  const test::Mac uni = test::kPcMac;
  const test::Mac multi = test::kBroadcast;
  const Bytes one = hex("41");
  run({
      rejected("empty payload to 3702, unicast", eth4(uni, {}, test::udp({.dest = 3702}, {}))),
      kept("empty payload to 3702, multicast", eth4(multi, {}, test::udp({.dest = 3702}, {}))),
      rejected("UDP length 7", eth4(uni, {}, test::udp({.dest = 3702, .length = 7}, one))),
      rejected("UDP length beyond IP", eth4(uni, {}, test::udp({.dest = 3702, .length = 10}, one))),
      kept("UDP length below IP",
           eth4(uni, {}, test::udp({.dest = 3702, .length = 9}, hex("4142"))), "A", 37020, 3702),
      rejected("IP length below UDP header",
               eth4(uni, {.total_length = 27}, test::udp({.dest = 3702}, one))),
      rejected("port outside the set", eth4(uni, {}, test::udp({.source = 5354, .dest = 80}, one))),
      kept("largest payload",
           eth4(uni, {}, test::udp({.source = 10001, .dest = 50000}, Bytes(16384, 0x61))),
           std::string(16384, 'a'), 10001, 50000),
      rejected("payload above the cap",
               eth4(uni, {}, test::udp({.source = 10001, .dest = 50000}, Bytes(16385, 0x61)))),
  });
  for (std::uint16_t port : {137, 1900, 3702, 5353, 5355, 5678, 10001, 37020, 37810}) {
    for (bool as_source : {true, false}) {
      const Udp u =
          as_source ? Udp{.source = port, .dest = 40000} : Udp{.source = 40000, .dest = port};
      PacketSummary s;
      ASSERT_TRUE(parse(eth4(uni, {}, test::udp(u, one)), s)) << port;
      EXPECT_EQ(s.payload, "A") << port;
      EXPECT_EQ(s.source_port, u.source);
      EXPECT_EQ(s.dest_port, u.dest);
    }
  }
}

TEST(ParseFrame, FirstFragments) {
  // A UDP datagram of 3008 bytes whose first fragment holds `ip_payload`.
  auto fragment = [](std::uint16_t port, std::uint16_t flags_offset, std::size_t ip_payload,
                     std::uint16_t udp_length = 3008) {
    return eth4(test::kPcMac, {.flags_offset = flags_offset},
                test::udp({.source = port, .dest = 50000, .length = udp_length},
                          Bytes(ip_payload - 8, 0x3C)));
  };
  run({
      kept("first fragment to 37020", fragment(37020, 0x2000, 1480), std::string(1472, '<'), 37020,
           50000, true),
      kept("DF set is no fragment", fragment(37020, 0x4000, 1480, 1480), std::string(1472, '<'),
           37020, 50000, false),
      rejected("first fragment to 1900", fragment(1900, 0x2000, 1480)),
      rejected("later fragment", fragment(37020, 0x2000 | 185, 1480)),
      rejected("last fragment", fragment(37020, 185, 1480)),
      rejected("not a multiple of 8", fragment(37020, 0x2000, 1484)),
      rejected("fragment holding the whole datagram", fragment(37020, 0x2000, 1480, 1480)),
      rejected("unfragmented but UDP says more", fragment(37020, 0, 1480)),
      rejected("DHIP in a fragment",
               eth4(test::kPcMac, {.flags_offset = 0x2000},
                    test::udp({.source = 40000, .dest = 40001, .length = 200}, dhip_payload(40)))),
  });
}

TEST(ParseFrame, DhipByContent) {
  const test::Mac uni = test::kPcMac;
  const test::Udp ports{.source = 40000, .dest = 40001};
  run({
      kept("DHIP at 4..7, length 40", eth4(uni, {}, test::udp(ports, dhip_payload(32))),
           str(dhip_payload(32)), 40000, 40001),
      rejected("DHIP, UDP length 39", eth4(uni, {}, test::udp(ports, dhip_payload(31)))),
      rejected("other magic", eth4(uni, {}, test::udp(ports, dhip_payload(32, "DHIQ")))),
      rejected("lower case magic", eth4(uni, {}, test::udp(ports, dhip_payload(32, "dhip")))),
      rejected("magic at 0..3",
               eth4(uni, {}, test::udp(ports, test::text_bytes("DHIP") + Bytes(36, 0)))),
      rejected("UDP length says 39 of 40",
               eth4(uni, {},
                    test::udp({.source = 40000, .dest = 40001, .length = 39}, dhip_payload(32)))),
  });
}

// --- IPv6 ---------------------------------------------------------------------

Bytes eth6(const test::Mac& dst, const test::Ipv6& ip, const Bytes& l4) {
  return test::ethernet(dst, test::kCameraMac, 0x86DD, test::ipv6(ip, l4));
}

TEST(ParseFrame, Ipv6) {
  const test::Mac uni = test::kPcMac;
  const test::Mac multi = {0x33, 0x33, 0x00, 0x00, 0x00, 0xFB};
  const std::string ll = "fe80::4619:b6ff:fe01:203";
  const test::Ip6 unspecified{};
  const test::Ip6 multicast_source = {0xFF, 0x02, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
  const Bytes mdns = test::udp({.source = 5353, .dest = 5353}, hex("0000 8400"));
  const Bytes tcp = hex("c350 0050 00000000 00000000 5002 ffff 0000 0000");
  const std::string mdns_payload("\x00\x00\x84\x00", 4);
  run({
      kept("mDNS", eth6(multi, {}, mdns), mdns_payload, 5353, 5353, false, ll),
      kept("unicast WS-Discovery", eth6(uni, {}, test::udp({.source = 3702, .dest = 1}, hex("3c"))),
           "<", 3702, 1, false, ll),
      rejected("unicast TCP", eth6(uni, {.next_header = 6}, tcp)),
      kept("multicast TCP", eth6(multi, {.next_header = 6}, tcp), "", 0, 0, false, ll),
      rejected("multicast TCP from ::",
               eth6(multi, {.source = unspecified, .next_header = 6}, tcp)),
      kept("mDNS from ::", eth6(multi, {.source = unspecified}, mdns), mdns_payload, 5353, 5353,
           false, ""),
      rejected("multicast source without payload",
               eth6(multi, {.source = multicast_source, .next_header = 6}, tcp)),
      // Extension headers are not followed: the UDP inside is not seen.
      kept("hop-by-hop before UDP",
           eth6(multi, {.next_header = 0}, hex("1100 0000 0000 0000") + mdns), "", 0, 0, false, ll),
      rejected("hop-by-hop before UDP, unicast",
               eth6(uni, {.next_header = 0}, hex("1100 0000 0000 0000") + mdns)),
      rejected("payload length beyond capture", eth6(uni, {.payload_length = 13}, mdns)),
      kept("payload length beyond capture, multicast", eth6(multi, {.payload_length = 13}, mdns),
           "", 0, 0, false, ll),
      kept("payload length below UDP length", eth6(multi, {.payload_length = 11}, mdns), "", 0, 0,
           false, ll),
      rejected("version 4 in IPv6", eth6(multi, {.version = 4}, mdns)),
      rejected("jumbo payload length 0", eth6(uni, {.payload_length = 0}, mdns)),
  });
  PacketSummary s;
  const Bytes f = eth6(multi, {}, mdns);
  EXPECT_FALSE(parse(f, s, 14 + 39));
  EXPECT_TRUE(parse(f, s, 14 + 40));  // multicast header only
  EXPECT_EQ(s.protocol, "IPv6");
  EXPECT_EQ(s.payload, "");
}

// --- LLDP and CDP are handed over with the right bounds ---------------------------

TEST(ParseFrame, LldpGetsEverythingAfterTheTags) {
  // Chassis MAC, port "gi1/0/5", TTL 120, system name "sw-core", End.
  const Bytes lldpdu =
      hex("0207 04 00 11 22 33 44 55"     // Chassis ID, subtype MAC
          "0408 05 67 69 31 2f 30 2f 35"  // Port ID, interface name "gi1/0/5"
          "0602 0078"                     // TTL 120
          "0a07 73 77 2d 63 6f 72 65"     // System Name "sw-core"
          "0000");                        // End
  for (bool tagged : {false, true}) {
    const Bytes f =
        tagged ? test::ethernet({0x01, 0x80, 0xC2, 0, 0, 0x0E}, test::kHostMac, 0x88CC, lldpdu,
                                {{0x8100, 7}})
               : test::ethernet({0x01, 0x80, 0xC2, 0, 0, 0x0E}, test::kHostMac, 0x88CC, lldpdu);
    PacketSummary direct;
    const bool decoded = decode_lldp(lldpdu.data(), lldpdu.size(), direct);
    PacketSummary s;
    ASSERT_EQ(parse(f, s), decoded);
    if (!decoded) continue;
    EXPECT_EQ(s.protocol, "LLDP");
    EXPECT_EQ(s.name, direct.name);
    EXPECT_EQ(s.info, direct.info);
    EXPECT_EQ(s.ether_type, 0x88CC);
    EXPECT_TRUE(s.multicast);
    EXPECT_EQ(s.source_mac, "00:1A:2B:3C:4D:5E");
    EXPECT_EQ(s.mac, direct.mac.empty() ? s.source_mac : direct.mac);
  }
}

TEST(ParseFrame, CdpGetsTheDeclaredLength) {
  // Device ID "SEP001122334455", Platform "VoIP-Phone", Port ID "Port 1".
  const Bytes cdp =
      hex("aa aa 03 00 00 0c 20 00"                                 // SNAP, Cisco, CDP
          "02 b4 0000"                                              // version 2, TTL 180, checksum
          "0001 0013 53 45 50 30 30 31 31 32 32 33 33 34 34 35 35"  // Device ID
          "0006 000e 56 6f 49 50 2d 50 68 6f 6e 65"                 // Platform
          "0003 000a 50 6f 72 74 20 31");                           // Port ID
  Bytes f = test::ethernet({0x01, 0x00, 0x0C, 0xCC, 0xCC, 0xCC}, test::kCameraMac,
                           static_cast<std::uint16_t>(cdp.size()), cdp);
  f.resize(f.size() + 7, 0);  // trailing bytes beyond the 802.3 length
  PacketSummary direct;
  const bool decoded = decode_cdp(cdp.data(), cdp.size(), direct);
  PacketSummary s;
  ASSERT_EQ(parse(f, s), decoded);
  if (decoded) {
    EXPECT_EQ(s.protocol, "CDP");
    EXPECT_EQ(s.name, direct.name);
    EXPECT_EQ(s.model, direct.model);
    EXPECT_EQ(s.ether_type, 0);
    EXPECT_EQ(s.mac, "44:19:B6:01:02:03");
  }
  // A CDP header that claims more than the capture holds is rejected.
  Bytes short_frame(f.begin(), f.begin() + 14 + static_cast<std::ptrdiff_t>(cdp.size()) - 1);
  EXPECT_FALSE(parse(short_frame, s));
  // A failing decode rejects the frame, even when sent to a multicast address
  // (it is not reported as a plain LLC frame).
  Bytes broken = f;
  broken[14 + 8] = 9;  // CDP version 9
  EXPECT_FALSE(parse(broken, s));
}

// --- Dispatch and the keep rule -----------------------------------------------

TEST(DecodeDiscovery, LeavesUnknownTrafficAlone) {
  PacketSummary s;
  s.ip = "192.168.1.5";
  s.source_port = 40000;
  s.dest_port = 40001;
  s.payload = "hello, nobody here";
  const PacketSummary before = s;
  EXPECT_FALSE(decode_discovery(s));
  EXPECT_EQ(s.protocol, before.protocol);
  EXPECT_EQ(s.name, before.name);
  EXPECT_EQ(s.ip, before.ip);

  PacketSummary l2;
  l2.ether_type = 0x8033;
  l2.protocol = "SADP";
  l2.l2_payload = std::string(60, '\0');
  l2.source_port = 37020;  // ports play no role for SADP frames
  l2.payload = "<Probe><Types>inquiry</Types></Probe>";
  EXPECT_FALSE(decode_discovery(l2));
  EXPECT_EQ(l2.protocol, "SADP");

  PacketSummary empty;
  empty.source_port = 37020;
  EXPECT_FALSE(decode_discovery(empty));
  EXPECT_FALSE(decode_datagram(empty));
}

// Real discovery messages, small but complete, to see which decoder a
// summary reaches.
const std::string kProbeMatch =
    R"(<?xml version="1.0" encoding="UTF-8"?>)"
    R"(<e:Envelope xmlns:e="http://www.w3.org/2003/05/soap-envelope" )"
    R"(xmlns:d="http://schemas.xmlsoap.org/ws/2005/04/discovery" )"
    R"(xmlns:dn="http://www.onvif.org/ver10/network/wsdl"><e:Header></e:Header>)"
    R"(<e:Body><d:ProbeMatches><d:ProbeMatch><d:Types>dn:NetworkVideoTransmitter</d:Types>)"
    R"(<d:Scopes>onvif://www.onvif.org/name/Brama onvif://www.onvif.org/hardware/X1</d:Scopes>)"
    R"(<d:XAddrs>http://192.168.1.64/onvif/device_service</d:XAddrs>)"
    R"(</d:ProbeMatch></d:ProbeMatches></e:Body></e:Envelope>)";

const std::string kSsdpResponse =
    "HTTP/1.1 200 OK\r\nCACHE-CONTROL: max-age=1800\r\nST: upnp:rootdevice\r\n"
    "USN: uuid:1::upnp:rootdevice\r\nSERVER: Linux UPnP/1.0 Box/2\r\n\r\n";

std::string dhip_message(std::string_view body) {
  using test::le32;
  const auto n = static_cast<std::uint32_t>(body.size());
  return le32(32) + "DHIP" + std::string(8, '\0') + le32(n) + std::string(4, '\0') + le32(n) +
         std::string(4, '\0') + std::string(body);
}

const std::string kDhipBody =
    R"({"mac":"3c:ef:8c:11:22:33","method":"client.notifyDevInfo","params":{"deviceInfo":{)"
    R"("DeviceType":"IPC-HFW2431S","IPv4Address":{"IPAddress":"192.168.1.108"},)"
    R"("MachineName":"Brama","Version":"2.800"}}})";

// An mDNS answer: camera-01.local A 192.168.1.20.
const std::string kMdnsAnswer =
    str(hex("0000 8400 0000 0001 0000 0000"           // id, flags QR+AA, one answer
            "09 63616d6572612d3031 05 6c6f63616c 00"  // camera-01.local
            "0001 8001 00000078 0004 c0a80114"));     // A, IN, TTL 120, 192.168.1.20

PacketSummary datagram(std::string payload, std::uint16_t source, std::uint16_t dest,
                       std::string ip = "192.168.1.20") {
  PacketSummary s;
  s.ip = std::move(ip);
  s.source_port = source;
  s.dest_port = dest;
  s.payload = std::move(payload);
  return s;
}

TEST(DecodeDiscovery, DispatchOrder) {
  struct Case {
    const char* what;
    PacketSummary summary;
    bool discovery;        // decode_discovery
    bool datagram;         // decode_datagram
    const char* protocol;  // after decode_datagram
  };
  Case cases[] = {
      {"SADP port wins over WS-Discovery", datagram(kProbeMatch, 37020, 3702), false, true,
       "ONVIF"},
      {"WS-Discovery port", datagram(kProbeMatch, 3702, 50000), true, true, "ONVIF"},
      {"WS-Discovery from any port", datagram(kProbeMatch, 40000, 40001), false, true, "ONVIF"},
      {"SSDP port", datagram(kSsdpResponse, 50000, 1900), true, true, "SSDP"},
      {"SSDP from any port", datagram(kSsdpResponse, 40000, 40001), false, true, "SSDP"},
      {"Ubiquiti port before SSDP", datagram(kSsdpResponse, 10001, 1900), false, true, "SSDP"},
      {"DHIP before the ports", datagram(dhip_message(kDhipBody), 1900, 3702), true, true, "Dahua"},
      {"mDNS by source port", datagram(kMdnsAnswer, 5353, 5353), true, true, "mDNS"},
      {"mDNS by destination only", datagram(kMdnsAnswer, 40000, 5353), false, false, ""},
      {"LLMNR by source port", datagram(kMdnsAnswer, 5355, 40000), true, true, "LLMNR"},
      {"no port, no content", datagram("hello", 40000, 40001), false, false, ""},
  };
  for (Case& c : cases) {
    PacketSummary first = c.summary;
    EXPECT_EQ(decode_discovery(first), c.discovery) << c.what;
    PacketSummary second = c.summary;
    ASSERT_EQ(decode_datagram(second), c.datagram) << c.what;
    if (c.datagram) {
      EXPECT_EQ(second.protocol, c.protocol) << c.what;
    } else {
      EXPECT_EQ(second.protocol, "") << c.what;
      EXPECT_EQ(second.name, "") << c.what;
    }
  }
  // A 0x8033 frame goes to the SADP frame decoder only, whatever else it
  // carries.
  PacketSummary l2 = datagram(kSsdpResponse, 1900, 1900);
  l2.ether_type = 0x8033;
  l2.l2_payload = std::string(40, '\x01');
  EXPECT_FALSE(decode_discovery(l2));
  EXPECT_EQ(l2.protocol, "");
}

TEST(DecodeDiscovery, DecodersKeepTheFrameAddress) {
  // An SSDP answer names no address: the frame's source stays.
  const Bytes f = eth4(test::kBroadcast, {},
                       test::udp({.source = 1900, .dest = 50000}, test::text_bytes(kSsdpResponse)));
  PacketSummary s;
  ASSERT_TRUE(summarize_frame(f.data(), f.size(), s));
  EXPECT_EQ(s.protocol, "SSDP");
  EXPECT_EQ(s.ip, "192.168.1.64");
  EXPECT_EQ(s.mac, "44:19:B6:01:02:03");
  EXPECT_EQ(s.info, "Linux UPnP/1.0 Box/2");
  // The same answer sent unicast is kept because it was recognised.
  const Bytes u = eth4(test::kPcMac, {},
                       test::udp({.source = 1900, .dest = 50000}, test::text_bytes(kSsdpResponse)));
  ASSERT_TRUE(summarize_frame(u.data(), u.size(), s));
  EXPECT_EQ(s.protocol, "SSDP");
  EXPECT_FALSE(s.multicast);
}

TEST(SummarizeFrame, KeepRule) {
  PacketSummary s;
  // Unicast datagram on a discovery port that no decoder recognises: dropped.
  EXPECT_FALSE(summarize_frame(
      eth4(test::kPcMac, {}, test::udp({.source = 1900, .dest = 40000}, hex("00"))).data(),
      eth4(test::kPcMac, {}, test::udp({.source = 1900, .dest = 40000}, hex("00"))).size(), s));
  // Unicast ARP is kept.
  ASSERT_TRUE(summarize_frame(kArpReply.data(), kArpReply.size(), s));
  EXPECT_EQ(s.protocol, "ARP");
  // Multicast frames are kept with their payloads dropped.
  ASSERT_TRUE(summarize_frame(kQinQUdp.data(), kQinQUdp.size(), s));
  EXPECT_EQ(s.protocol, "IPv4");
  EXPECT_TRUE(s.payload.empty());
  EXPECT_EQ(s.payload.capacity(), std::string().capacity());
  // An undecodable 0x8033 frame is renamed and its payload released.
  const Bytes sadp = test::ethernet(test::kBroadcast, test::kCameraMac, 0x8033, Bytes(3000, 0x55));
  ASSERT_TRUE(summarize_frame(sadp.data(), sadp.size(), s));
  EXPECT_EQ(s.protocol, "EtherType 0x8033");
  EXPECT_TRUE(s.l2_payload.empty());
  EXPECT_EQ(s.l2_payload.capacity(), std::string().capacity());
  EXPECT_EQ(s.mac, "44:19:B6:01:02:03");
  // Unicast 0x8033 that is no SADP answer is dropped.
  const Bytes sadp_uni = test::ethernet(test::kPcMac, test::kCameraMac, 0x8033, Bytes(60, 0x55));
  EXPECT_FALSE(summarize_frame(sadp_uni.data(), sadp_uni.size(), s));
  // Rejected frames stay rejected.
  EXPECT_FALSE(summarize_frame(kArpReply.data(), 13, s));
  EXPECT_FALSE(summarize_frame(nullptr, 100, s));
}

// The capture thread parses every frame into one summary: what a camera
// says of its settings, its goodbye and its ARP claim reach the queue with
// their frames, and none of them lingers into the next frame.
TEST(SummarizeFrame, SettingsGoodbyeAndClaimOfOneCamera) {
  const Bytes frames[] = {
      eth4(test::kBroadcast, {},
           test::udp({}, test::text_bytes("<ProbeMatch><HttpPort>8080</HttpPort>"
                                          "<MAC>44-19-b6-01-02-03</MAC></ProbeMatch>"))),
      eth4(test::kBroadcast, {},
           test::udp({.source = 1900, .dest = 1900},
                     test::text_bytes("NOTIFY * HTTP/1.1\r\nNT: upnp:rootdevice\r\n"
                                      "NTS: ssdp:byebye\r\nUSN: uuid:1\r\n\r\n"))),
      test::ethernet(test::kBroadcast, test::kCameraMac, 0x0806,
                     test::arp({.operation = 1, .target_ip = {192, 168, 1, 10}})),
  };
  const char* const protocols[] = {"SADP", "SSDP", "ARP"};
  PacketSummary s;
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(summarize_frame(frames[i].data(), frames[i].size(), s));
    EXPECT_EQ(s.protocol, protocols[i]);
    EXPECT_EQ(s.settings.http_port, i == 0 ? 8080 : 0);
    EXPECT_EQ(s.departure, i == 1);
    EXPECT_EQ(s.arp_claim, i == 2);
  }
}

TEST(SummaryFromReply, BuildsAndCounts) {
  TrafficCounters counters;
  const std::uint8_t payload[] = {'M', '-', 'S', 'E', 'A', 'R', 'C', 'H'};
  DiscoveryReply reply;
  const std::uint8_t octets[4] = {192, 168, 1, 10};
  std::memcpy(&reply.address, octets, 4);  // network byte order in memory
  reply.source_port = 1900;
  reply.local_port = 50123;
  reply.data = payload;
  reply.size = sizeof payload;
  PacketSummary s;
  s.name = "stale";
  s.mac = "00:11:22:33:44:55";
  ASSERT_TRUE(summary_from_reply(reply, counters, s));
  EXPECT_EQ(s.ip, "192.168.1.10");
  EXPECT_EQ(s.source_port, 1900);
  EXPECT_EQ(s.dest_port, 50123);
  EXPECT_EQ(s.payload, "M-SEARCH");
  EXPECT_EQ(s.name, "");
  EXPECT_EQ(s.mac, "");
  EXPECT_EQ(s.source_mac, "");
  EXPECT_FALSE(s.multicast);
  EXPECT_EQ(s.ether_type, 0);
  EXPECT_EQ(counters.packet_count.load(), 1u);
  EXPECT_EQ(counters.byte_count.load(), 8u);

  // No filtering on this path.
  reply.address = 0;
  ASSERT_TRUE(summary_from_reply(reply, counters, s));
  EXPECT_EQ(s.ip, "0.0.0.0");
  reply.size = 0;
  reply.data = nullptr;
  ASSERT_TRUE(summary_from_reply(reply, counters, s));
  EXPECT_EQ(s.payload, "");
  EXPECT_EQ(counters.packet_count.load(), 3u);
  EXPECT_EQ(counters.byte_count.load(), 16u);

  // A reply without bytes behind its size is refused and not counted.
  reply.size = 10;
  EXPECT_FALSE(summary_from_reply(reply, counters, s));
  EXPECT_EQ(counters.packet_count.load(), 3u);
}

// --- Truncation: every prefix of every valid frame ------------------------------

std::vector<Bytes> sample_frames() {
  std::vector<Bytes> frames = {kArpReply, kQinQUdp, kStp};
  frames.push_back(
      eth4(test::kBroadcast, {},
           test::udp({.source = 3702, .dest = 3702}, test::text_bytes("<Envelope/>"))));
  frames.push_back(eth4(test::kPcMac, {.ihl = 7},
                        test::udp({.source = 40000, .dest = 40001}, dhip_payload(64))));
  frames.push_back(eth4(test::kPcMac, {.flags_offset = 0x2000},
                        test::udp({.source = 37020, .dest = 1, .length = 600}, Bytes(64, 0x3C))));
  frames.push_back(
      eth6(test::kBroadcast, {}, test::udp({.source = 5353, .dest = 5353}, Bytes(30, 0))));
  frames.push_back(test::ethernet(test::kBroadcast, test::kCameraMac, 0x8033, Bytes(80, 0x21),
                                  {{0x88A8, 1}, {0x8100, 2}}));
  frames.push_back(test::padded(test::ethernet(test::kBroadcast, test::kHostMac, 0x88E1, {})));
  return frames;
}

// The checks that hold for every accepted frame, whatever its length.
void expect_consistent(const PacketSummary& s, std::size_t length) {
  EXPECT_EQ(s.source_mac.size(), 17u);
  EXPECT_EQ(s.mac.size(), 17u);
  EXPECT_FALSE(s.protocol.empty());
  EXPECT_LE(s.payload.size(), length);
  EXPECT_LE(s.payload.size(), 16384u);
  EXPECT_LE(s.l2_payload.size(), 4096u);
  if (s.payload.empty()) {
    EXPECT_EQ(s.source_port, 0);
    EXPECT_FALSE(s.partial);
  }
  if (s.ether_type != 0x8033) {
    EXPECT_TRUE(s.l2_payload.empty());
  }
}

TEST(ParseFrame, EveryTruncationIsSafe) {
  for (const Bytes& frame : sample_frames()) {
    PacketSummary whole;
    ASSERT_TRUE(parse(frame, whole));
    for (std::size_t n = 0; n <= frame.size(); ++n) {
      PacketSummary s;
      const bool ok = parse(frame, s, n);
      if (n < 14) {
        EXPECT_FALSE(ok);
      }
      if (!ok) continue;
      expect_consistent(s, n);
      EXPECT_EQ(s.source_mac, whole.source_mac);
      EXPECT_EQ(s.multicast, whole.multicast);
      // A stored payload is never a guess: only complete datagrams (or first
      // fragments as the IP header describes them) are stored.
      if (!s.payload.empty()) {
        EXPECT_EQ(s.payload, whole.payload) << n;
      }
    }
  }
}

// --- Real captures -------------------------------------------------------------

std::string capture(const char* name) { return std::string(NORVANE_CAPTURES_DIR) + "/" + name; }

test::PcapFile load(const char* name) {
  auto file = test::read_pcap(capture(name));
  if (!file) {
    ADD_FAILURE() << "cannot read " << name;
    return {};
  }
  EXPECT_EQ(file->link_type, 1u) << name;
  return *file;
}

TEST(Captures, EveryFrameAndEveryPrefixIsSafe) {
  for (const char* name : {"3560_CDP.pcap",
                           "802.1ad_QinQ.pcap",
                           "LLDP_and_CDP.pcap",
                           "arp-oobr.pcap",
                           "arp-too-long-tha.pcap",
                           "dns-badlabel.pcap",
                           "dns-zlip-1.pcap",
                           "dns-zlip-2.pcap",
                           "dns-zlip-3.pcap",
                           "dns_fwdptr.pcap",
                           "lldp-app-priority.pcap",
                           "lldp-infinite-loop-1.pcap",
                           "lldp-infinite-loop-2.pcap",
                           "lldp_8021_linkagg.pcap",
                           "lldp_8023_mtu-oobr.pcap",
                           "lldp_asan.pcap",
                           "lldp_mgmt_addr_tlv_asan.pcap",
                           "lldp_mudurl.pcap",
                           "ubntac2.pcap",
                           "udp-length-heapoverflow.pcap"}) {
    const test::PcapFile file = load(name);
    EXPECT_FALSE(file.frames.empty()) << name;
    std::size_t prefixes = 0;
    for (const test::PcapFrame& frame : file.frames) {
      PacketSummary s;
      if (parse(frame.data, s)) expect_consistent(s, frame.data.size());
      if (summarize_frame(frame.data.data(), frame.data.size(), s)) {
        EXPECT_FALSE(s.mac.empty());
        EXPECT_TRUE(s.payload.empty());
      }
      // Prefixes of the first few frames of each file.
      if (prefixes++ < 4) {
        for (std::size_t n = 0; n < frame.data.size(); ++n) {
          if (parse(frame.data, s, n)) expect_consistent(s, n);
        }
      }
    }
  }
}

TEST(Captures, UdpLengthHeapOverflowIsRejected) {
  // 38 bytes captured of an IPv4 frame claiming 12336 bytes, sent unicast.
  const test::PcapFile file = load("udp-length-heapoverflow.pcap");
  ASSERT_EQ(file.frames.size(), 1u);
  ASSERT_EQ(file.frames[0].data.size(), 38u);
  PacketSummary s;
  EXPECT_FALSE(parse(file.frames[0].data, s));
  EXPECT_FALSE(summarize_frame(file.frames[0].data.data(), file.frames[0].data.size(), s));
}

TEST(Captures, ArpWithOversizedAddressesIsRejected) {
  // Hardware length 14 behind an 802.1ad tag.
  const test::PcapFile file = load("arp-too-long-tha.pcap");
  ASSERT_EQ(file.frames.size(), 1u);
  PacketSummary s;
  EXPECT_FALSE(parse(file.frames[0].data, s));
}

TEST(Captures, QinQArp) {
  const test::PcapFile file = load("802.1ad_QinQ.pcap");
  ASSERT_EQ(file.frames.size(), 2u);
  PacketSummary s;
  ASSERT_TRUE(summarize_frame(file.frames[0].data.data(), file.frames[0].data.size(), s));
  EXPECT_EQ(s.protocol, "ARP");
  EXPECT_EQ(s.ip, "172.21.79.97");
  EXPECT_EQ(s.mac, "00:20:D2:5A:FB:3F");
  EXPECT_TRUE(s.multicast);
  ASSERT_TRUE(summarize_frame(file.frames[1].data.data(), file.frames[1].data.size(), s));
  EXPECT_EQ(s.protocol, "ARP");
  EXPECT_EQ(s.ip, "172.21.79.100");
  EXPECT_EQ(s.mac, "00:80:EA:81:88:63");
  EXPECT_FALSE(s.multicast);
}

TEST(Captures, UbiquitiAnnouncementsAreStored) {
  const test::PcapFile file = load("ubntac2.pcap");
  ASSERT_EQ(file.frames.size(), 8u);
  for (const test::PcapFrame& frame : file.frames) {
    PacketSummary s;
    ASSERT_TRUE(parse(frame.data, s));
    EXPECT_EQ(s.ip, "192.168.1.1");
    EXPECT_EQ(s.mac, "80:2A:A8:8D:69:2C");
    EXPECT_EQ(s.dest_port, 10001);
    EXPECT_EQ(s.payload.size(), 175u);
    EXPECT_TRUE(s.multicast);
  }
}

TEST(Captures, ArpTraffic) {
  // A busy segment, including frames that once read beyond their buffer.
  const test::PcapFile file = load("arp-oobr.pcap");
  ASSERT_EQ(file.frames.size(), 2282u);
  std::size_t accepted = 0;
  for (const test::PcapFrame& frame : file.frames) {
    PacketSummary s;
    if (!parse(frame.data, s)) continue;
    ++accepted;
    EXPECT_EQ(s.protocol, "ARP");
    EXPECT_FALSE(s.ip.empty());
  }
  EXPECT_EQ(accepted, 1912u);
}

TEST(Captures, CdpFromASwitch) {
  const test::PcapFile file = load("3560_CDP.pcap");
  ASSERT_FALSE(file.frames.empty());
  PacketSummary s;
  ASSERT_TRUE(summarize_frame(file.frames[0].data.data(), file.frames[0].data.size(), s));
  EXPECT_EQ(s.protocol, "CDP");
  EXPECT_EQ(s.name, "Switch");
  EXPECT_EQ(s.model, "cisco WS-C3560G-24PS");
  EXPECT_EQ(s.ip, "192.168.0.1");
  EXPECT_EQ(s.info, "Port GigabitEthernet0/5");
  EXPECT_EQ(s.mac, "00:19:06:EA:B8:85");
  EXPECT_EQ(s.ether_type, 0);
}

TEST(Captures, LldpAndCdpFromTwoSwitches) {
  const test::PcapFile file = load("LLDP_and_CDP.pcap");
  ASSERT_EQ(file.frames.size(), 12u);
  std::size_t lldp = 0;
  std::size_t cdp = 0;
  for (const test::PcapFrame& frame : file.frames) {
    PacketSummary s;
    ASSERT_TRUE(summarize_frame(frame.data.data(), frame.data.size(), s));
    if (s.protocol == "LLDP") {
      ++lldp;
      EXPECT_EQ(s.ether_type, 0x88CC);
      EXPECT_TRUE(s.name == "S1.cisco.com" || s.name == "S2.cisco.com") << s.name;
      EXPECT_TRUE(s.info.starts_with("Port ")) << s.info;
      EXPECT_NE(s.info.find(" | Cisco IOS Software"), std::string::npos) << s.info;
    } else {
      ++cdp;
      EXPECT_EQ(s.protocol, "CDP");
      EXPECT_TRUE(s.name == "S1" || s.name == "S2") << s.name;
    }
  }
  EXPECT_EQ(lldp, 8u);
  EXPECT_EQ(cdp, 4u);
}

TEST(Captures, UnicastDnsQueriesAreRejected) {
  for (const char* name : {"dns-zlip-1.pcap", "dns-zlip-2.pcap", "dns-zlip-3.pcap"}) {
    const test::PcapFile file = load(name);
    for (const test::PcapFrame& frame : file.frames) {
      PacketSummary s;
      EXPECT_FALSE(parse(frame.data, s)) << name;
    }
  }
}

TEST(PcapReader, RejectsOtherFormats) {
  EXPECT_FALSE(test::read_pcap(capture("upnp.pcap")));  // pcapng
  EXPECT_FALSE(test::read_pcap(capture("no-such-file.pcap")));
  // Big-endian classic header with one 3-byte record, then a cut record.
  const Bytes be =
      hex("a1b2c3d4 0002 0004 00000000 00000000 0000ffff 00000001"
          "00000000 00000000 00000003 0000003c aabbcc"
          "00000000 00000000 00000010 00000010 aa");
  const auto file = test::parse_pcap(be);
  ASSERT_TRUE(file);
  EXPECT_EQ(file->link_type, 1u);
  ASSERT_EQ(file->frames.size(), 1u);
  EXPECT_EQ(file->frames[0].data, hex("aabbcc"));
  EXPECT_EQ(file->frames[0].original_length, 60u);
}

}  // namespace
}  // namespace norvane
