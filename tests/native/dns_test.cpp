#include "decode/dns.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "support/message_bytes.h"
#include "support/pcap_reader.h"
#include "support/summaries.h"

namespace norvane {
namespace {

using namespace std::string_literals;

// Test messages are byte strings here.
std::string hex(std::string_view text) { return test::hex_string(text); }

// ---------------------------------------------------------------------------
// Messages as responders send them.

// mDNS announcement of a camera from 192.168.1.20 (a Linux responder's
// shape): service PTR, SRV, TXT, then A and AAAA for the host, all
// compressed, cache-flush bit on the unique records.
const std::string kCameraAnnouncement =
    hex("0000"                                       // id
        "8400"                                       // flags: QR, AA; rcode 0
        "0000 0005 0000 0000"                        // QD 0, AN 5, NS 0, AR 0
        "055f68747470 045f746370 056c6f63616c 00"    // @12 _http._tcp.local ("local" @23)
        "000c 0001 00001194 000c"                    // PTR, IN, TTL 4500, RDLENGTH 12
        "0943616d657261203031 c00c"                  // @40 Camera 01 -> _http._tcp.local
        "c028"                                       // Camera 01._http._tcp.local
        "0021 8001 00000078 0012"                    // SRV, IN + cache flush, TTL 120, 18
        "0000 0000 0050 0963616d6572612d3031 c017"   // 0 0 80 @70 camera-01 -> local
        "c028"                                       // Camera 01._http._tcp.local
        "0010 8001 00001194 0014"                    // TXT, IN + cache flush, TTL 4500, 20
        "09706174683d2f776562 096d6f64656c3d433031"  // "path=/web" "model=C01"
        "c046"                                       // camera-01.local
        "0001 8001 00000078 0004"                    // A, IN + cache flush, TTL 120, 4
        "c0a80114"                                   // 192.168.1.20
        "c046"                                       // camera-01.local
        "001c 8001 00000078 0010"                    // AAAA, IN + cache flush, TTL 120, 16
        "fe80000000000000021122fffe334455");         // fe80::211:22ff:fe33:4455

// LLMNR answer for nvr-7 with both its unique local and link-local address.
const std::string kLlmnrAnswer =
    hex("1234"                                // id
        "8000"                                // flags: QR; rcode 0
        "0001 0002 0000 0000"                 // QD 1, AN 2, NS 0, AR 0
        "056e76722d37 00"                     // @12 question nvr-7
        "001c 0001"                           // AAAA, IN
        "c00c"                                // nvr-7
        "001c 0001 0000001e 0010"             // AAAA, IN, TTL 30, 16
        "fd00000000000000a8bbccfffedd0011"    // fd00::a8bb:ccff:fedd:11
        "c00c"                                // nvr-7
        "001c 0001 0000001e 0010"             // AAAA, IN, TTL 30, 16
        "fe80000000000000a8bbccfffedd0011");  // fe80::a8bb:ccff:fedd:11

// Legacy unicast mDNS answer (to a one-shot query from a port other than
// 5353): the question is repeated and the TTL is short.
const std::string kLegacyUnicast =
    hex("beef"                             // id of the query
        "8400"                             // flags: QR, AA
        "0001 0001 0000 0000"              // QD 1, AN 1
        "077072696e746572056c6f63616c 00"  // @12 question printer.local
        "0001 0001"                        // A, IN
        "c00c"                             // printer.local
        "0001 0001 0000000a 0004"          // A, IN, TTL 10, 4
        "c0a8011e");                       // 192.168.1.30

// Goodbye of a printer leaving the network: every TTL is 0.
const std::string kGoodbye =
    hex("0000"
        "8400"                                   // id, flags
        "0000 0002 0000 0000"                    // AN 2
        "045f697070 045f746370 056c6f63616c 00"  // @12 _ipp._tcp.local ("local" @22)
        "000c 0001 00000000 0009"                // PTR, IN, TTL 0, 9
        "064f6666696365 c00c"                    // Office._ipp._tcp.local
        "077072696e746572 c016"                  // printer.local
        "0001 8001 00000000 0004"                // A, IN + cache flush, TTL 0, 4
        "c0a8011e");                             // 192.168.1.30

// A printer's answer with only the service pointer.
const std::string kServiceOnly =
    hex("0000"
        "8400"                                   // id, flags
        "0000 0001 0000 0000"                    // AN 1
        "045f697070 045f746370 056c6f63616c 00"  // _ipp._tcp.local
        "000c 0001 00001194 0009"                // PTR, IN, TTL 4500, 9
        "064f6666696365 c00c");                  // Office._ipp._tcp.local

// Answer to a service enumeration query.
const std::string kServiceEnumeration = hex(
    "0000"
    "8400"                                                              // id, flags
    "0000 0001 0000 0000"                                               // AN 1
    "095f7365727669636573 075f646e732d7364 045f756470 056c6f63616c 00"  // _services._dns-sd._udp.local
    "000c 0001 00001194 0012"                                           // PTR, IN, TTL 4500, 18
    "055f72747370 045f746370 056c6f63616c 00");                         // _rtsp._tcp.local

// ---------------------------------------------------------------------------
// Builders for the edge cases.

std::string wire_name(std::string_view dotted) {
  std::string out;
  while (!dotted.empty()) {
    const std::size_t dot = std::min(dotted.find('.'), dotted.size());
    out.push_back(static_cast<char>(dot));
    out.append(dotted.substr(0, dot));
    dotted.remove_prefix(std::min(dot + 1, dotted.size()));
  }
  out.push_back('\0');
  return out;
}

using test::be16;
using test::be32;

std::string header(unsigned flags, unsigned qd, unsigned an, unsigned ns = 0, unsigned ar = 0) {
  return be16(0) + be16(flags) + be16(qd) + be16(an) + be16(ns) + be16(ar);
}

std::string record(std::string_view owner, unsigned type, unsigned rclass, std::uint32_t ttl,
                   const std::string& rdata) {
  return wire_name(owner) + be16(type) + be16(rclass) + be32(ttl) +
         be16(static_cast<unsigned>(rdata.size())) + rdata;
}

std::string a_record(std::string_view owner, std::string_view address, std::uint32_t ttl = 120,
                     unsigned rclass = 1) {
  return record(owner, 1, rclass, ttl, hex(address));
}

std::string ptr_record(std::string_view owner, std::uint32_t ttl = 4500) {
  return record(owner, 12, 1, ttl, wire_name("x.local"));
}

std::string with_byte(std::string message, std::size_t at, char value) {
  message[at] = value;
  return message;
}

// ---------------------------------------------------------------------------
// Summaries.

using test::expect_clean;
using test::expect_unchanged;
using test::kKeptInfo;
using test::kKeptName;

PacketSummary prepared(std::string payload, std::string ip) {
  return test::prepared_summary(std::move(payload), std::move(ip), "00:11:22:33:44:55", 5353);
}

// ---------------------------------------------------------------------------
// read_dns_name.

TEST(ReadDnsName, Table) {
  struct Case {
    const char* label;
    std::string message;
    std::size_t start;
    bool ok;
    std::string name;
    std::size_t end;  // position afterwards (unchanged on failure)
  };
  const std::string local = hex("05 6c6f63616c 00");  // @0 local
  const Case cases[] = {
      {"plain", hex("03 777777 07 6578616d706c65 03 636f6d 00 ff"), 0, true, "www.example.com", 17},
      {"root", hex("00"), 0, true, "", 1},
      {"label then pointer", local + hex("06 63616d657261 c000 ff"), 7, true, "camera.local", 16},
      {"pointer first", local + hex("c000"), 7, true, "local", 9},
      {"pointer to a pointer", local + hex("c000 c007"), 9, true, "local", 11},
      {"dot inside a label is copied as is", hex("03 612e62 00"), 0, true, "a.b", 5},
      {"reads from a later start", hex("ffff 01 61 00"), 2, true, "a", 5},
      {"pointer to itself", hex("c000"), 0, false, "", 0},
      {"pointer forwards", hex("c002 00"), 0, false, "", 0},
      {"pointer without its second byte", local + hex("c0"), 7, false, "", 7},
      {"label type 0x40", hex("41 00"), 0, false, "", 0},
      {"label type 0x80", hex("80 00"), 0, false, "", 0},
      {"label past the end", hex("05 6c6f63"), 0, false, "", 0},
      {"no terminator", hex("05 6c6f63616c"), 0, false, "", 0},
      {"empty message", "", 0, false, "", 0},
      {"start at the end", hex("00"), 1, false, "", 1},
      {"start beyond the end", hex("00"), 5, false, "", 5},
      // Pointers go backwards, but the labels after the target walk forward
      // onto the same pointer again; the step limit ends the walk.
      {"loop through a short label", hex("01 61 c000"), 0, false, "", 0},
      // The same walk with a long label ends at the length limit.
      {"loop through a long label", hex("3e") + std::string(62, 'x') + hex("c000"), 0, false, "",
       0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    std::size_t position = c.start;
    std::string name = "stale";
    EXPECT_EQ(read_dns_name(c.message, position, name), c.ok);
    EXPECT_EQ(name, c.name);
    EXPECT_EQ(position, c.end);
  }
}

// Names are limited to 254 bytes of text before the last separator, and to
// 128 labels and pointers together.
TEST(ReadDnsName, Limits) {
  const std::string l63 = "\x3f" + std::string(63, 'a');
  struct Case {
    const char* label;
    std::string message;
    std::size_t start;
    bool ok;
    std::size_t name_length;
  };
  // 200 bytes of text: 63 + 1 + 63 + 1 + 63 + 1 + 8.
  const std::string n200 = l63 + l63 + l63 + "\x08" + std::string(8, 'b');
  std::string pointers_128 = hex("00");  // @0 root; each pointer names the previous one
  for (int i = 0; i < 129; ++i) pointers_128 += be16(0xC000 + (i == 0 ? 0 : 1 + 2 * (i - 1)));
  std::string labels_128;
  for (int i = 0; i < 128; ++i) labels_128 += hex("01 61");
  const Case cases[] = {
      {"200 bytes plus a 60-byte label", n200 + "\x3c" + std::string(60, 'c') + '\0', 0, false, 0},
      {"200 bytes plus a 54-byte label", n200 + "\x36" + std::string(54, 'c') + '\0', 0, true, 255},
      {"four 63-byte labels", l63 + l63 + l63 + l63 + '\0', 0, true, 255},
      {"five 63-byte labels", l63 + l63 + l63 + l63 + l63 + '\0', 0, false, 0},
      {"128 single-byte labels", labels_128 + '\0', 0, true, 255},
      // 128 pointers in a chain: the last one (@1 + 2 * 127) walks all of them.
      {"chain of 128 pointers", pointers_128, 1 + 2 * 127, true, 0},
      {"chain of 129 pointers", pointers_128, 1 + 2 * 128, false, 0},
      // 128 labels reach the step limit; the pointer to the root is one more.
      {"128 labels and a pointer", hex("00") + labels_128 + hex("c000"), 1, false, 0},
      {"127 labels and a pointer", hex("00") + labels_128.substr(2) + hex("c000"), 1, true, 253},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    std::size_t position = c.start;
    std::string name;
    ASSERT_EQ(read_dns_name(c.message, position, name), c.ok);
    EXPECT_EQ(name.size(), c.name_length);
  }
}

// ---------------------------------------------------------------------------
// decode_dns_response.

TEST(DecodeDnsResponse, Messages) {
  struct Case {
    const char* label;
    std::string protocol;
    std::string ip;
    std::string message;
    bool ok;
    std::string name;
    std::string info;
    bool departure = false;
  };
  const unsigned kResponse = 0x8400;
  const std::string cam = "c0a80114";  // 192.168.1.20
  const Case cases[] = {
      {"announcement, sender's A record", "mDNS", "192.168.1.20", kCameraAnnouncement, true,
       "camera-01.local", "_http._tcp.local"},
      {"announcement, sender's AAAA record", "mDNS", "fe80::211:22ff:fe33:4455",
       kCameraAnnouncement, true, "camera-01.local", "_http._tcp.local"},
      {"announcement from another address", "mDNS", "192.168.1.99", kCameraAnnouncement, true,
       kKeptName, "_http._tcp.local"},
      {"legacy unicast answer", "mDNS", "192.168.1.30", kLegacyUnicast, true, "printer.local",
       kKeptInfo},
      {"LLMNR from the link-local address", "LLMNR", "fe80::a8bb:ccff:fedd:11", kLlmnrAnswer, true,
       "nvr-7", kKeptInfo},
      {"LLMNR from the unique local address", "LLMNR", "fd00::a8bb:ccff:fedd:11", kLlmnrAnswer,
       true, "nvr-7", kKeptInfo},
      {"LLMNR over IPv4 with only AAAA records", "LLMNR", "192.168.1.7", kLlmnrAnswer, false, "",
       ""},
      {"service pointer only", "mDNS", "192.168.1.30", kServiceOnly, true, kKeptName,
       "_ipp._tcp.local"},
      {"service enumeration", "mDNS", "192.168.1.30", kServiceEnumeration, true, kKeptName,
       "_services._dns-sd._udp.local"},
      {"goodbye", "mDNS", "192.168.1.30", kGoodbye, true, kKeptName, kKeptInfo, true},
      {"LLMNR has no goodbyes", "LLMNR", "192.168.1.30", kGoodbye, false, "", ""},
      {"goodbye beside a record of another class", "mDNS", "192.168.1.20",
       header(kResponse, 0, 2) + a_record("cam.local", cam, 0) + a_record("cam.local", cam, 120, 3),
       false, "", ""},
      {"query", "mDNS", "192.168.1.20", with_byte(kCameraAnnouncement, 2, 0x04), false, "", ""},
      {"response code 3", "mDNS", "192.168.1.20", with_byte(kCameraAnnouncement, 3, 0x03), false,
       "", ""},
      {"no records", "mDNS", "192.168.1.20",
       header(kResponse, 1, 0) + wire_name("camera-01.local") + hex("0001 0001"), false, "", ""},
      {"cache-flush class counts as IN", "mDNS", "192.168.1.20",
       header(kResponse, 0, 1) + a_record("cam.local", cam, 120, 0x8001), true, "cam.local",
       kKeptInfo},
      {"class CH is ignored", "mDNS", "192.168.1.20",
       header(kResponse, 0, 1) + a_record("cam.local", cam, 120, 3), false, "", ""},
      {"a later matching record replaces an earlier one", "mDNS", "192.168.1.20",
       header(kResponse, 0, 2) + a_record("cam-a.local", cam) + a_record("cam-b.local", cam), true,
       "cam-b.local", kKeptInfo},
      {"a goodbye does not replace a live record", "mDNS", "192.168.1.20",
       header(kResponse, 0, 2) + a_record("cam-a.local", cam) + a_record("cam-b.local", cam, 0),
       true, "cam-a.local", kKeptInfo},
      {"the first service wins", "mDNS", "192.168.1.20",
       header(kResponse, 0, 2) + ptr_record("_http._tcp.local") + ptr_record("_rtsp._tcp.local"),
       true, kKeptName, "_http._tcp.local"},
      {"records in authority and additional sections", "mDNS", "192.168.1.20",
       header(kResponse, 0, 0, 1, 1) + ptr_record("_rtsp._tcp.local") + a_record("c.local", cam),
       true, "c.local", "_rtsp._tcp.local"},
      {"instance pointer is not a service type", "mDNS", "192.168.1.20",
       header(kResponse, 0, 1) + ptr_record("Cam._http._tcp.local"), false, "", ""},
      {"reverse pointer is not a service type", "mDNS", "192.168.1.20",
       header(kResponse, 0, 1) + ptr_record("20.1.168.192.in-addr.arpa"), false, "", ""},
      {"service type needs a dot after _tcp", "mDNS", "192.168.1.20",
       header(kResponse, 0, 1) + ptr_record("_http._tcp"), false, "", ""},
      {"A record of 5 bytes", "mDNS", "192.168.1.20",
       header(kResponse, 0, 1) + record("cam.local", 1, 1, 120, hex(cam + "00")), false, "", ""},
      {"AAAA record of 4 bytes", "mDNS", "192.168.1.20",
       header(kResponse, 0, 1) + record("cam.local", 28, 1, 120, hex(cam)), false, "", ""},
      {"A record owned by the root", "mDNS", "192.168.1.20",
       header(kResponse, 0, 1) + a_record("", cam), false, "", ""},
      {"control bytes in the owner", "mDNS", "192.168.1.20",
       header(kResponse, 0, 1) + a_record("cam\x01"
                                          "era.local",
                                          cam),
       true, "cam era.local", kKeptInfo},
      {"trailing bytes after the records", "mDNS", "192.168.1.20",
       header(kResponse, 0, 1) + a_record("cam.local", cam) + hex("deadbeef"), true, "cam.local",
       kKeptInfo},
      {"malformed record after the host", "mDNS", "192.168.1.20",
       header(kResponse, 0, 2) + a_record("cam.local", cam) + hex("c0ff 0001 0001"), false, "", ""},
      {"RDATA past the end", "mDNS", "192.168.1.20",
       header(kResponse, 0, 1) + wire_name("cam.local") + hex("0001 0001 00000078 0005 c0a80114"),
       false, "", ""},
      {"question cut short", "mDNS", "192.168.1.20",
       header(kResponse, 1, 1) + wire_name("cam.local") + hex("0001"), false, "", ""},
      // Loopback and unspecified addresses have no address text, so they never
      // name the sender, not even a sender whose address is unknown.
      {"loopback record from a loopback sender", "mDNS", "127.0.0.1",
       header(kResponse, 0, 1) + a_record("cam.local", "7f000001"), false, "", ""},
      {"unknown sender and an unspecified address", "mDNS", "",
       header(kResponse, 0, 1) + a_record("cam.local", "00000000"), false, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    PacketSummary s = prepared(c.message, c.ip);
    const PacketSummary before = s;
    ASSERT_EQ(decode_dns_response(s, c.protocol), c.ok);
    if (!c.ok) {
      expect_unchanged(s, before);
      continue;
    }
    EXPECT_EQ(s.protocol, c.protocol);
    EXPECT_EQ(s.name, c.name);
    EXPECT_EQ(s.info, c.info);
    EXPECT_EQ(s.departure, c.departure);
    EXPECT_EQ(s.model, before.model);
    EXPECT_EQ(s.ip, before.ip);
    EXPECT_EQ(s.mac, before.mac);
  }
}

TEST(DecodeDnsResponse, CountLimits) {
  const std::string body = a_record("cam.local", "c0a80114");
  // A question needs at least 5 bytes and a record at least 11: counts that
  // cannot fit the message fail before any name is read.
  std::string message = header(0x8400, 0, 1) + body;
  const std::size_t size = message.size();
  struct Case {
    const char* label;
    unsigned qd, an, ns, ar;
    bool ok;
  } const cases[] = {
      {"exact", 0, 1, 0, 0, true},
      {"questions beyond size / 5", static_cast<unsigned>(size / 5 + 1), 1, 0, 0, false},
      {"records beyond size / 11", 0, static_cast<unsigned>(size / 11 + 1), 0, 0, false},
      {"all counts at their maximum", 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, false},
      {"sum of sections beyond size / 11", 0, 2, 1, 1, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    PacketSummary s = prepared(header(0x8400, c.qd, c.an, c.ns, c.ar) + body, "192.168.1.20");
    EXPECT_EQ(decode_dns_response(s, "mDNS"), c.ok);
  }
}

TEST(DecodeDnsResponse, LongOwnerIsCut) {
  std::string owner;
  for (int i = 0; i < 3; ++i) owner += std::string(63, 'h') + ".";
  owner += "local";
  PacketSummary s = prepared(header(0x8400, 0, 1) + a_record(owner, "c0a80114"), "192.168.1.20");
  ASSERT_TRUE(decode_dns_response(s, "mDNS"));
  EXPECT_EQ(s.name, owner.substr(0, 192));
}

// ---------------------------------------------------------------------------
// Hostile input.

TEST(Hostile, TruncatedAtEveryByte) {
  struct Message {
    std::string bytes;
    std::string ip;
  } const messages[] = {
      {kCameraAnnouncement, "192.168.1.20"},
      {kLlmnrAnswer, "fe80::a8bb:ccff:fedd:11"},
      {kLegacyUnicast, "192.168.1.30"},
      {kServiceEnumeration, "192.168.1.30"},
  };
  for (const Message& m : messages) {
    // Every record is read, so no proper prefix decodes.
    for (std::size_t n = 0; n < m.bytes.size(); ++n) {
      PacketSummary s = prepared(m.bytes.substr(0, n), m.ip);
      const PacketSummary before = s;
      EXPECT_FALSE(decode_dns_response(s, "mDNS")) << n;
      expect_unchanged(s, before);
    }
    PacketSummary whole = prepared(m.bytes, m.ip);
    EXPECT_TRUE(decode_dns_response(whole, "mDNS"));
  }
}

// Every single-byte change of a real message either still decodes to clean
// texts or leaves the summary alone.
TEST(Hostile, EveryByteFlipped) {
  for (std::size_t at = 0; at < kCameraAnnouncement.size(); ++at) {
    for (int value : {0x00, 0x3F, 0x40, 0xC0, 0xFF}) {
      PacketSummary s =
          prepared(with_byte(kCameraAnnouncement, at, static_cast<char>(value)), "192.168.1.20");
      const PacketSummary before = s;
      if (decode_dns_response(s, "mDNS")) {
        EXPECT_EQ(s.protocol, "mDNS");
        expect_clean(s.name);
        expect_clean(s.info);
      } else {
        expect_unchanged(s, before);
      }
    }
  }
}

// ---------------------------------------------------------------------------
// Real captures of malformed DNS: compression loops, forward pointers, bad
// label types. They are queries to port 53; the decoder must reject them
// quickly, and so must it when they are made to look like responses.

struct Udp {
  std::string source;  // sender address as text
  std::string payload;
};

// UDP payload of an Ethernet/IPv4 frame. Some of these files carry a UDP
// length field that lies (8, an empty payload), so the bytes are taken up to
// the IP total length, bounded by what was captured: the decoder is meant to
// see the hostile names, not to be spared them by the intake.
bool udp_payload(const std::vector<std::uint8_t>& f, Udp& out) {
  if (f.size() < 34 || f[12] != 0x08 || f[13] != 0x00 || (f[14] >> 4) != 4 || f[23] != 17) {
    return false;
  }
  const std::size_t header = std::size_t{4} * (f[14] & 0x0F);
  const std::size_t total = (std::size_t{f[16]} << 8) | f[17];
  const std::size_t udp = 14 + header;
  if (f.size() < udp + 8 || total < header + 8) return false;
  out.source = std::to_string(f[26]) + "." + std::to_string(f[27]) + "." + std::to_string(f[28]) +
               "." + std::to_string(f[29]);
  out.payload.assign(reinterpret_cast<const char*>(f.data() + udp + 8),
                     std::min(total - header - 8, f.size() - udp - 8));
  return true;
}

TEST(Captures, MalformedNamesAreRejected) {
  const char* const files[] = {"dns-badlabel.pcap", "dns-zlip-1.pcap", "dns-zlip-2.pcap",
                               "dns-zlip-3.pcap", "dns_fwdptr.pcap"};
  for (const char* file : files) {
    SCOPED_TRACE(file);
    const auto pcap = test::read_pcap(std::string(NORVANE_CAPTURES_DIR) + "/" + file);
    ASSERT_TRUE(pcap.has_value());
    ASSERT_EQ(pcap->frames.size(), 1u);
    Udp udp;
    ASSERT_TRUE(udp_payload(pcap->frames[0].data, udp));
    ASSERT_GE(udp.payload.size(), 12u);

    // As captured: queries (or a non-zero response code) are not decoded.
    PacketSummary s = prepared(udp.payload, udp.source);
    const PacketSummary before = s;
    EXPECT_FALSE(decode_dns_response(s, "mDNS"));
    expect_unchanged(s, before);

    // Made into a response with one question and one answer, so that the
    // names are read: the first name is malformed in every file.
    std::string response = udp.payload;
    response.replace(2, 10, hex("8400 0001 0001 0000 0000"));
    s = prepared(response, udp.source);
    EXPECT_FALSE(decode_dns_response(s, "mDNS"));
    std::size_t position = 12;
    std::string name;
    EXPECT_FALSE(read_dns_name(udp.payload, position, name));

    // A name read from any offset ends inside the message, within the limits.
    for (std::size_t at = 0; at < udp.payload.size(); ++at) {
      position = at;
      if (read_dns_name(udp.payload, position, name)) {
        EXPECT_GT(position, at);
        EXPECT_LE(position, udp.payload.size());
        EXPECT_LE(name.size(), 255u);
      } else {
        EXPECT_EQ(position, at);
      }
    }
  }
}

}  // namespace
}  // namespace norvane
