// MikroTik MNDP and Ubiquiti discovery answers.
#include "decode/tlv_discovery.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "base/address.h"
#include "model/packet_summary.h"
#include "support/discovery_tlv.h"
#include "support/message_bytes.h"
#include "support/pcap_reader.h"
#include "support/summaries.h"

namespace norvane {
namespace {

// Test messages are byte strings here.
std::string hex(std::string_view text) { return test::hex_string(text); }

using test::all_fields;
using test::be16;
using test::Device;
using test::expect_device;
using test::mndp_tlv;
using test::ubnt;
using test::ubnt_tlv;

// A captured broadcast from a device: the frame parser has set the source
// MAC, mac and the source IP.
PacketSummary captured(std::string payload, std::string source_mac, std::string ip,
                       std::uint16_t port) {
  PacketSummary s;
  s.source_mac = source_mac;
  s.mac = std::move(source_mac);
  s.ip = std::move(ip);
  s.protocol = "IPv4";
  s.multicast = true;
  s.ether_type = 0x0800;
  s.source_port = port;
  s.dest_port = port;
  s.payload = std::move(payload);
  return s;
}

// ---------------------------------------------------------------------------
// MNDP

// A RouterOS announcement from interface ether2.
const std::string kMndp =
    hex("00 00 00 01"                    // header: not examined
        "00 01 00 06 4c 5e 0c 11 22 33"  // MAC-Address 4C:5E:0C:11:22:33
        "00 05 00 07") +
    "router1" +
    hex(  // Identity
        "00 07 00 0f") +
    "6.49.7 (stable)" +
    hex(  // Version
        "00 08 00 08") +
    "MikroTik" +
    hex(                           // Platform
        "00 0a 00 04 00 01 51 80"  // Uptime (not read)
        "00 0b 00 09") +
    "ABCD-1234" +
    hex(  // Software-ID (not read)
        "00 0c 00 08") +
    "RB750Gr3" +
    hex(                                                               // Board
        "00 0e 00 01 01"                                               // Unpack (not read)
        "00 0f 00 10 fe 80 00 00 00 00 00 00 4e 5e 0c ff fe 11 22 33"  // IPv6-Address
        "00 10 00 06") +
    "ether2" +
    hex(                             // Interface name (not read)
        "00 11 00 04 c0 a8 58 01");  // IPv4-Address 192.168.88.1

// Where each record of kMndp ends.
const std::vector<std::size_t> kMndpBoundaries = {4, 14, 25, 44, 56, 64, 77, 89, 94, 114, 124, 132};

TEST(Mndp, RouterAnnouncement) {
  ASSERT_EQ(kMndp.size(), kMndpBoundaries.back());
  // Sent from another interface's address: the announced IPv4 replaces it.
  PacketSummary s = captured(kMndp, "4C:5E:0C:11:22:34", "10.0.0.5", 5678);
  ASSERT_TRUE(decode_tlv_discovery(s, false));
  expect_device(
      s, {"MNDP", "192.168.88.1", "4C:5E:0C:11:22:33", "router1", "RB750Gr3", "6.49.7 (stable)"});
}

TEST(Mndp, Messages) {
  struct Case {
    const char* what;
    std::string tlvs;  // after the 4-byte header
    bool ok;
    Device want;  // starting from 10.0.0.5 and 4C:5E:0C:11:22:34
  };
  const std::string mac = mndp_tlv(1, hex("4c 5e 0c 11 22 33"));
  const std::string v4 = mndp_tlv(17, hex("c0 a8 58 01"));
  const std::string v6 = mndp_tlv(15, hex("fe80 0000 0000 0000 4e5e 0cff fe11 2233"));
  const Case cases[] = {
      {"platform stands in for a missing board",
       mndp_tlv(8, "MikroTik") + mndp_tlv(5, "sw1"),
       true,
       {"MNDP", "10.0.0.5", "4C:5E:0C:11:22:34", "sw1", "MikroTik", ""}},
      {"a board of control bytes is missing too",
       mndp_tlv(12, "\x01\x7F \x02") + mndp_tlv(8, "MikroTik") + mndp_tlv(5, "\x1Bsw1\x1B"),
       true,
       {"MNDP", "10.0.0.5", "4C:5E:0C:11:22:34", "sw1", "MikroTik", ""}},
      {"IPv6 when there is no IPv4",
       mac + v6 + mndp_tlv(5, "r"),
       true,
       {"MNDP", "fe80::4e5e:cff:fe11:2233", "4C:5E:0C:11:22:33", "r", "", ""}},
      {"IPv4 wins over IPv6 in any order",
       v4 + mac + v6,
       true,
       {"MNDP", "192.168.88.1", "4C:5E:0C:11:22:33", "", "", ""}},
      {"identity twice, the second empty",
       mndp_tlv(5, "router1") + mndp_tlv(12, "hAP") + mndp_tlv(5, ""),
       true,
       {"MNDP", "10.0.0.5", "4C:5E:0C:11:22:34", "", "hAP", ""}},
      {"later version replaces",
       mac + mndp_tlv(7, "6.48") + mndp_tlv(7, "7.1"),
       true,
       {"MNDP", "10.0.0.5", "4C:5E:0C:11:22:33", "", "", "7.1"}},
      {"an IPv4 value of the wrong size clears the earlier one",
       mac + v4 + mndp_tlv(17, hex("c0 a8 58")),
       true,
       {"MNDP", "10.0.0.5", "4C:5E:0C:11:22:33", "", "", ""}},
      {"loopback IPv4 is no address",
       mac + mndp_tlv(17, hex("7f 00 00 01")),
       true,
       {"MNDP", "10.0.0.5", "4C:5E:0C:11:22:33", "", "", ""}},
      {"texts are cleaned",
       mndp_tlv(5, std::string("\tcore\x01router \0junk", 18)),
       true,
       {"MNDP", "10.0.0.5", "4C:5E:0C:11:22:34", "core router", "", ""}},
      {"unknown records are skipped",
       mndp_tlv(99, "x") + mndp_tlv(5, "r") + mndp_tlv(0, ""),
       true,
       {"MNDP", "10.0.0.5", "4C:5E:0C:11:22:34", "r", "", ""}},
      {"header only", "", false, {}},
      {"only a version", mndp_tlv(7, "6.49"), false, {}},
      {"only addresses", v4 + v6, false, {}},
      {"MAC of five bytes", mndp_tlv(1, hex("4c 5e 0c 11 22")), false, {}},
      {"MAC of seven bytes", mndp_tlv(1, hex("4c 5e 0c 11 22 33 44")), false, {}},
      {"group MAC", mndp_tlv(1, hex("01 00 5e 00 00 01")), false, {}},
      {"two stray bytes at the end", mndp_tlv(5, "r") + hex("00 05"), false, {}},
      {"three stray bytes at the end", mndp_tlv(5, "r") + hex("00 05 00"), false, {}},
      {"a length running past the end", mndp_tlv(5, "r") + hex("00 05 00 08") + "abc", false, {}},
      {"length 65535", hex("00 05 ff ff") + "router", false, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    PacketSummary s = captured(hex("00 00 00 07") + c.tlvs, "4C:5E:0C:11:22:34", "10.0.0.5", 5678);
    const PacketSummary before = s;
    ASSERT_EQ(decode_tlv_discovery(s, false), c.ok);
    if (c.ok) {
      expect_device(s, c.want);
    } else {
      EXPECT_EQ(all_fields(s), all_fields(before));
    }
  }
}

TEST(Mndp, EveryTruncation) {
  for (std::size_t n = 0; n <= kMndp.size(); ++n) {
    SCOPED_TRACE(n);
    PacketSummary s = captured(kMndp.substr(0, n), "4C:5E:0C:11:22:34", "10.0.0.5", 5678);
    const PacketSummary before = s;
    const bool ok = decode_tlv_discovery(s, false);
    // Without a length in the header, a cut at a record boundary is a
    // shorter message; it is an answer once the MAC record is in.
    bool boundary = false;
    for (std::size_t b : kMndpBoundaries) boundary = boundary || b == n;
    EXPECT_EQ(ok, boundary && n >= 14);
    if (!ok) {
      EXPECT_EQ(all_fields(s), all_fields(before));
    }
  }
}

TEST(Mndp, ManyRecords) {
  // The largest stored payload, 16384 bytes, in 3276 records.
  std::string m = hex("00 00 00 00");
  while (m.size() + 5 <= 16384) m += mndp_tlv(5, "r");
  ASSERT_EQ(m.size(), 16384u);
  PacketSummary s = captured(m, "4C:5E:0C:11:22:34", "10.0.0.5", 5678);
  ASSERT_TRUE(decode_tlv_discovery(s, false));
  EXPECT_EQ(s.name, "r");
  // Cut inside the last record: the whole message is dropped.
  PacketSummary cut = captured(m.substr(0, m.size() - 2), "4C:5E:0C:11:22:34", "10.0.0.5", 5678);
  EXPECT_FALSE(decode_tlv_discovery(cut, false));
}

// ---------------------------------------------------------------------------
// Ubiquiti

// The first announcement of the shared capture ubntac2.pcap: a UniFi
// Security Gateway whose frame comes from 80:2A:A8:8D:69:2C, 192.168.1.1.
const std::string kUgw =
    hex("02 06 00 ab"                             // version 2, command 6, length 171
        "02 00 0a 80 2a a8 8d 69 2b c0 a8 02 15"  // pair 80:2A:A8:8D:69:2B 192.168.2.21
        "02 00 0a 80 2a a8 8d 69 2c c0 a8 01 01"  // pair 80:2A:A8:8D:69:2C 192.168.1.1
        "01 00 06 80 2a a8 8d 69 2b"              // hardware address 80:2A:A8:8D:69:2B
        "0a 00 04 00 00 de 60"                    // uptime (not read)
        "0b 00 04") +
    "ubnt" +
    hex(  // host name
        "0c 00 04") +
    "UGW3" +
    hex(  // platform
        "03 00 38") +
    "UniFiSecurityGateway.ER-e120.v4.3.33.4936086.161203.2031" +
    hex(  // firmware
        "16 00 0e") +
    "4.3.33.4936086" +
    hex(  // version
        "15 00 04") +
    "UGW3" +
    hex(                              // model
        "17 00 01 00"                 // not read
        "18 00 01 00"                 // not read
        "13 00 06 80 2a a8 8d 69 2b"  // not read (another MAC)
        "12 00 04 00 00 15 cf"        // not read (sequence)
        "1b 00 05") +
    "4.0.0";  // not read

constexpr std::string_view kUgwMac = "80:2A:A8:8D:69:2C";

TEST(Ubiquiti, GatewayAnnouncement) {
  ASSERT_EQ(kUgw.size(), 175u);
  struct Case {
    const char* what;
    std::string source_mac;
    std::string ip;
    Device want;
  };
  const Case cases[] = {
      {"captured frame",
       std::string(kUgwMac),
       "192.168.1.1",
       {"Ubiquiti", "192.168.1.1", std::string(kUgwMac), "ubnt", "UGW3", "4.3.33.4936086"}},
      {"frame from 0.0.0.0 takes the sender's pair",
       std::string(kUgwMac),
       "",
       {"Ubiquiti", "192.168.1.1", std::string(kUgwMac), "ubnt", "UGW3", "4.3.33.4936086"}},
      {"datagram matched by its address",
       "",
       "192.168.1.1",
       {"Ubiquiti", "192.168.1.1", std::string(kUgwMac), "ubnt", "UGW3", "4.3.33.4936086"}},
      {"datagram from an unlisted address keeps it",
       "",
       "192.168.3.3",
       {"Ubiquiti", "192.168.3.3", "80:2A:A8:8D:69:2B", "ubnt", "UGW3", "4.3.33.4936086"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    PacketSummary s = captured(kUgw, c.source_mac, c.ip, 10001);
    if (c.source_mac.empty()) s.mac.clear();
    ASSERT_TRUE(decode_tlv_discovery(s, true));
    expect_device(s, c.want);
  }
}

TEST(Ubiquiti, Headers) {
  const std::string tlvs = ubnt_tlv(11, "ubnt");
  struct Case {
    std::string header;
    bool ok;
  };
  const Case cases[] = {
      {hex("01 00 00 07"), true},   // version 1 answer
      {hex("01 00 00 06"), false},  // length one short
      {hex("01 00 00 08"), false},  // length one long
      {hex("01 00 ff ff"), false},  // length that lies
      {hex("01 06 00 07"), false},  // version 1, command 6
      {hex("02 06 00 07"), true},  {hex("02 08 00 07"), true},  {hex("02 09 00 07"), true},
      {hex("02 0b 00 07"), true},  {hex("02 00 00 07"), false}, {hex("02 07 00 07"), false},
      {hex("02 0a 00 07"), false}, {hex("03 06 00 07"), false}, {hex("00 00 00 07"), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.header));
    PacketSummary s = captured(c.header + tlvs, std::string(kUgwMac), "192.168.1.20", 10001);
    const PacketSummary before = s;
    ASSERT_EQ(decode_tlv_discovery(s, true), c.ok);
    if (c.ok) {
      EXPECT_EQ(s.protocol, "Ubiquiti");
      EXPECT_EQ(s.name, "ubnt");
    } else {
      EXPECT_EQ(all_fields(s), all_fields(before));
    }
  }
  // The discovery request itself: header only.
  PacketSummary request = captured(hex("01 00 00 00"), std::string(kUgwMac), "", 10001);
  EXPECT_FALSE(decode_tlv_discovery(request, true));
}

std::string pair(std::string_view mac_hex, std::string_view ip_hex) {
  return ubnt_tlv(2, hex(mac_hex) + hex(ip_hex));
}

TEST(Ubiquiti, AddressPairsAndFields) {
  const std::string sender = "24:A4:3C:00:00:02";
  const std::string pair1 = pair("24 a4 3c 00 00 01", "0a 00 00 01");  // another interface
  const std::string pair2 = pair("24 a4 3c 00 00 02", "c0 a8 01 14");  // the sender
  const std::string hw = ubnt_tlv(1, hex("24 a4 3c 00 00 09"));
  const std::string name = ubnt_tlv(11, "ap-hall");
  struct Case {
    const char* what;
    std::string tlvs;
    std::string ip;  // source address before decoding
    Device want;
  };
  const Case cases[] = {
      {"second pair matches the sender",
       pair1 + pair2 + name,
       "",
       {"Ubiquiti", "192.168.1.20", sender, "ap-hall", "", ""}},
      {"matching pair beats the hardware address",
       hw + pair1 + pair2 + name,
       "192.168.1.20",
       {"Ubiquiti", "192.168.1.20", sender, "ap-hall", "", ""}},
      {"source address is kept",
       pair2 + name,
       "192.168.7.7",
       {"Ubiquiti", "192.168.7.7", sender, "ap-hall", "", ""}},
      {"hardware address without a matching pair",
       hw + pair1 + name,
       "",
       {"Ubiquiti", "10.0.0.1", "24:A4:3C:00:00:09", "ap-hall", "", ""}},
      {"first pair stands in when nothing matches",
       pair1 + pair("24 a4 3c 00 00 03", "0a 00 00 03"),
       "",
       {"Ubiquiti", "10.0.0.1", "24:A4:3C:00:00:01", "", "", ""}},
      {"first pair only fills an empty address",
       pair1 + name,
       "192.168.1.20",
       {"Ubiquiti", "192.168.1.20", sender, "ap-hall", "", ""}},
      {"pair with an IPv6 address",
       pair("24 a4 3c 00 00 02", "fe80 0000 0000 0000 26a4 3cff fe00 0002") + name,
       "",
       {"Ubiquiti", "fe80::26a4:3cff:fe00:2", sender, "ap-hall", "", ""}},
      {"pair with a short address gives only its MAC",
       pair("24 a4 3c 00 00 02", "c0 a8") + pair1,
       "",
       {"Ubiquiti", "10.0.0.1", sender, "", "", ""}},
      {"pair shorter than a MAC is skipped",
       ubnt_tlv(2, hex("24 a4 3c 00 00")) + name,
       "",
       {"Ubiquiti", "", sender, "ap-hall", "", ""}},
      {"firmware then version",
       ubnt_tlv(3, "XW.ar934x.v6.3.6") + ubnt_tlv(22, "6.3.6") + name,
       "",
       {"Ubiquiti", "", sender, "ap-hall", "", "6.3.6"}},
      {"version then firmware",
       ubnt_tlv(22, "6.3.6") + ubnt_tlv(3, "XW.ar934x.v6.3.6") + name,
       "",
       {"Ubiquiti", "", sender, "ap-hall", "", "6.3.6"}},
      {"first firmware text only",
       ubnt_tlv(3, "XW.v6.3.6") + ubnt_tlv(3, "XW.v6.0") + name,
       "",
       {"Ubiquiti", "", sender, "ap-hall", "", "XW.v6.3.6"}},
      {"empty version keeps the firmware",
       ubnt_tlv(22, " ") + ubnt_tlv(3, "XW.v6.3.6") + name,
       "",
       {"Ubiquiti", "", sender, "ap-hall", "", "XW.v6.3.6"}},
      {"model beats platform",
       ubnt_tlv(12, "U6LR") + ubnt_tlv(20, "UAP-LR") + name,
       "",
       {"Ubiquiti", "", sender, "ap-hall", "UAP-LR", ""}},
      {"model of type 21",
       ubnt_tlv(21, "U7PG2") + ubnt_tlv(12, "U7PG2-pl"),
       "",
       {"Ubiquiti", "", sender, "", "U7PG2", ""}},
      {"platform without a model",
       ubnt_tlv(12, "U6LR"),
       "",
       {"Ubiquiti", "", sender, "", "U6LR", ""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    PacketSummary s = captured(ubnt(c.tlvs), sender, c.ip, 10001);
    ASSERT_TRUE(decode_tlv_discovery(s, true));
    expect_device(s, c.want);
  }
}

TEST(Ubiquiti, NotAnswers) {
  struct Case {
    const char* what;
    std::string message;
  };
  const Case cases[] = {
      {"only versions and uptime",
       ubnt(ubnt_tlv(3, "XW.v6.3.6") + ubnt_tlv(22, "6.3.6") + ubnt_tlv(10, hex("00 00 00 01")))},
      {"only a pair with an unusable MAC", ubnt(pair("00 00 00 00 00 00", "0a 00 00 05"))},
      {"hardware address of five bytes", ubnt(ubnt_tlv(1, hex("24 a4 3c 00 00")))},
      {"group hardware address", ubnt(ubnt_tlv(1, hex("ff ff ff ff ff ff")))},
      {"two stray bytes after the last record", ubnt(ubnt_tlv(11, "ap") + hex("0b 00"))},
      {"record running past the end", ubnt(ubnt_tlv(11, "ap") + hex("0b 00 05") + "ap")},
      {"record length 65535", ubnt(hex("0b ff ff") + "ap")},
      {"first byte only", hex("02")},
      {"empty", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    PacketSummary s = captured(c.message, "24:A4:3C:00:00:02", "", 10001);
    const PacketSummary before = s;
    EXPECT_FALSE(decode_tlv_discovery(s, true));
    EXPECT_EQ(all_fields(s), all_fields(before));
  }
}

// Regression: with no source MAC (a datagram, or a summary built by hand), a
// pair whose MAC is unusable must not count as the sender's own; otherwise
// its address was paired with another interface's MAC.
TEST(Ubiquiti, UnusablePairMacNeverMatchesMissingSourceMac) {
  PacketSummary s;
  s.source_port = 10001;
  s.payload = ubnt(pair("00 00 00 00 00 00", "0a 00 00 05") +
                   pair("24 a4 3c 00 00 06", "0a 00 00 06") + ubnt_tlv(11, "ap"));
  ASSERT_TRUE(decode_tlv_discovery(s, true));
  EXPECT_EQ(s.mac, "24:A4:3C:00:00:06");
  EXPECT_EQ(s.ip, "10.0.0.6");
}

// A pair matched by its address alone does not erase the MAC of a pair that
// matched by MAC before it.
TEST(Ubiquiti, PairMatchedByAddressKeepsEarlierMac) {
  PacketSummary s = captured(ubnt(pair("24 a4 3c 00 00 02", "0a 00 00 07") +
                                  pair("00 00 00 00 00 00", "c0 a8 01 14") + ubnt_tlv(11, "ap")),
                             "24:A4:3C:00:00:02", "192.168.1.20", 10001);
  s.mac.clear();
  ASSERT_TRUE(decode_tlv_discovery(s, true));
  EXPECT_EQ(s.mac, "24:A4:3C:00:00:02");
  EXPECT_EQ(s.ip, "192.168.1.20");
}

TEST(Ubiquiti, EveryTruncation) {
  const std::vector<std::size_t> boundaries = {4,   17,  30,  39,  46,  53,  60, 119,
                                               136, 143, 147, 151, 160, 167, 175};
  for (std::size_t n = 0; n < kUgw.size(); ++n) {
    SCOPED_TRACE(n);
    // As captured: the header's length no longer fits.
    PacketSummary cut = captured(kUgw.substr(0, n), std::string(kUgwMac), "192.168.1.1", 10001);
    const PacketSummary before = cut;
    EXPECT_FALSE(decode_tlv_discovery(cut, true));
    EXPECT_EQ(all_fields(cut), all_fields(before));
    if (n < 4) continue;
    // With the header rewritten to fit, only cuts at record boundaries walk.
    std::string fitted = kUgw.substr(0, n);
    fitted.replace(2, 2, be16(n - 4));
    PacketSummary s = captured(fitted, std::string(kUgwMac), "192.168.1.1", 10001);
    const PacketSummary fitted_before = s;
    bool boundary = false;
    for (std::size_t b : boundaries) boundary = boundary || b == n;
    const bool ok = decode_tlv_discovery(s, true);
    EXPECT_EQ(ok, boundary && n >= 17);
    if (!ok) {
      EXPECT_EQ(all_fields(s), all_fields(fitted_before));
    }
  }
}

TEST(Ubiquiti, ManyRecords) {
  // The largest stored payload, 16384 bytes, in 5459 records.
  std::string tlvs = ubnt_tlv(11, "xyz");
  while (tlvs.size() < 16380) tlvs += ubnt_tlv(0x7F, "");
  ASSERT_EQ(tlvs.size(), 16380u);
  PacketSummary s = captured(ubnt(tlvs), std::string(kUgwMac), "192.168.1.1", 10001);
  ASSERT_TRUE(decode_tlv_discovery(s, true));
  EXPECT_EQ(s.name, "xyz");
}

// ---------------------------------------------------------------------------
// Real announcements from the shared capture.

struct UdpPacket {
  std::string source_mac;
  std::string source_ip;
  std::uint16_t source_port = 0;
  std::uint16_t dest_port = 0;
  std::string payload;
};

// Untagged IPv4 UDP frames of a capture, cut to their UDP length.
std::vector<UdpPacket> udp_packets(const test::PcapFile& file) {
  std::vector<UdpPacket> out;
  for (const test::PcapFrame& frame : file.frames) {
    const std::uint8_t* fr = frame.data.data();
    const std::size_t len = frame.data.size();
    if (len < 14 + 20 + 8 || fr[12] != 0x08 || fr[13] != 0x00 || fr[23] != 17) continue;
    const std::size_t ihl = (fr[14] & 0x0F) * 4u;
    if (ihl < 20 || len < 14 + ihl + 8) continue;
    const std::uint8_t* udp = fr + 14 + ihl;
    const std::size_t udp_length = std::size_t{udp[4]} << 8 | udp[5];
    if (udp_length < 8 || udp_length > len - 14 - ihl) continue;
    UdpPacket p;
    p.source_mac = mac_text(fr + 6);
    p.source_ip = ip_text(fr + 26, 4);
    p.source_port = static_cast<std::uint16_t>(udp[0] << 8 | udp[1]);
    p.dest_port = static_cast<std::uint16_t>(udp[2] << 8 | udp[3]);
    p.payload.assign(reinterpret_cast<const char*>(udp + 8), udp_length - 8);
    out.push_back(std::move(p));
  }
  return out;
}

TEST(Ubiquiti, CapturedGatewayAnnouncements) {
  const auto file = test::read_pcap(std::string(NORVANE_CAPTURES_DIR) + "/ubntac2.pcap");
  ASSERT_TRUE(file.has_value());
  ASSERT_EQ(file->link_type, 1u);
  const auto packets = udp_packets(*file);
  ASSERT_EQ(packets.size(), 8u);
  for (const UdpPacket& p : packets) {
    SCOPED_TRACE(p.source_port);
    ASSERT_EQ(p.dest_port, 10001);
    PacketSummary s = captured(p.payload, p.source_mac, p.source_ip, p.dest_port);
    ASSERT_TRUE(decode_tlv_discovery(s, true));
    expect_device(
        s, {"Ubiquiti", "192.168.1.1", std::string(kUgwMac), "ubnt", "UGW3", "4.3.33.4936086"});
    // The same bytes read as MNDP do not walk (the record headers differ).
    PacketSummary m = captured(p.payload, p.source_mac, p.source_ip, p.dest_port);
    EXPECT_FALSE(decode_tlv_discovery(m, false));
  }
  EXPECT_EQ(packets[0].payload, kUgw);
}

}  // namespace
}  // namespace norvane
