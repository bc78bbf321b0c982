// LLDP and CDP decoders: hand-made frames with every field commented, the
// address helpers, and real switch captures.
#include "decode/lldp_cdp.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "decode/frame.h"
#include "support/message_bytes.h"
#include "support/pcap_reader.h"

namespace norvane {
namespace {

using test::Bytes;
using test::hex;
using test::operator+;

// LLDP TLV: 7-bit type, 9-bit length, value.
Bytes lldp_tlv(unsigned type, const Bytes& value) {
  const unsigned header = type << 9 | static_cast<unsigned>(value.size());
  Bytes out = {static_cast<std::uint8_t>(header >> 8), static_cast<std::uint8_t>(header)};
  return out + value;
}

// CDP TLV: type 2 bytes, length 2 bytes (header included), value.
Bytes cdp_tlv(unsigned type, const Bytes& value) {
  const std::size_t length = value.size() + 4;
  Bytes out = {static_cast<std::uint8_t>(type >> 8), static_cast<std::uint8_t>(type),
               static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length)};
  return out + value;
}

struct Decoded {
  bool ok = false;
  PacketSummary summary;
};

// Decoders get a buffer of exactly the given size, so that the sanitizer
// sees any read past it.
Decoded run_lldp(const Bytes& tlvs) {
  Decoded d;
  const Bytes copy(tlvs);
  d.ok = decode_lldp(copy.data(), copy.size(), d.summary);
  return d;
}

Decoded run_cdp(const Bytes& payload) {
  Decoded d;
  const Bytes copy(payload);
  d.ok = decode_cdp(copy.data(), copy.size(), d.summary);
  return d;
}

// ------------------------------------------------------------ lldp_text ----

TEST(LldpText, CleansBlanksAndControlBytes) {
  struct Case {
    const char* what;
    Bytes input;
    std::string expected;
  };
  const Case cases[] = {
      {"plain", hex("'sw-core'"), "sw-core"},
      {"line breaks become one space", hex("'Switch OS' 0D 0A 'build 7'"), "Switch OS build 7"},
      {"blanks at both ends dropped", hex("20 09 'a' 20 20 'b' 0A 20"), "a b"},
      {"DEL counts as a blank", hex("'a' 7F 'b'"), "a b"},
      {"high bytes are kept", hex("'Kamera ' C5 82 'azienka'"),
       "Kamera \xC5\x82"
       "azienka"},
      {"zero byte ends the text", hex("'front' 00 'back'"), "front"},
      {"leading zero byte gives nothing", hex("00 'x'"), ""},
      {"only blanks", hex("20 0D 0A 09 7F"), ""},
      {"empty", Bytes{}, ""},
      {"0x21 is printable", hex("21 20 21"), "! !"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(lldp_text(c.input.data(), c.input.size()), c.expected) << c.what;
  }
}

TEST(LldpText, LooksAtNoMoreThan255Bytes) {
  const Bytes long_value(300, 'x');
  EXPECT_EQ(lldp_text(long_value.data(), long_value.size()), std::string(255, 'x'));
  // A word starting at byte 255 is never reached, so no space is added.
  Bytes spaced(254, 'a');
  spaced.push_back(' ');
  spaced.push_back('b');
  EXPECT_EQ(lldp_text(spaced.data(), spaced.size()), std::string(254, 'a'));
  EXPECT_EQ(lldp_text(nullptr, 5), "");
}

// ------------------------------------------------------- prefer_address ----

TEST(PreferAddress, FirstUsableWinsButIpv4BeatsIpv6) {
  const Bytes v4 = hex("0A 00 00 02");                                      // 10.0.0.2
  const Bytes v4b = hex("C0 A8 01 01");                                     // 192.168.1.1
  const Bytes v6 = hex("20 01 0d b8 00 00 00 00 00 00 00 00 00 00 00 01");  // 2001:db8::1
  const Bytes loopback = hex("7F 00 00 01");
  const Bytes zero = hex("00 00 00 00");
  const Bytes five = hex("0A 00 00 02 01");
  struct Case {
    const char* what;
    std::string slot;
    Bytes address;
    std::string expected;
  };
  const Case cases[] = {
      {"empty slot takes IPv4", "", v4, "10.0.0.2"},
      {"empty slot takes IPv6", "", v6, "2001:db8::1"},
      {"IPv4 replaces IPv6", "2001:db8::1", v4, "10.0.0.2"},
      {"IPv6 does not replace IPv4", "10.0.0.2", v6, "10.0.0.2"},
      {"second IPv4 does not replace the first", "10.0.0.2", v4b, "10.0.0.2"},
      {"second IPv6 does not replace the first", "2001:db8::1",
       hex("fd 00 00 77 00 00 00 00 00 00 00 00 00 00 00 02"), "2001:db8::1"},
      {"loopback is not usable", "", loopback, ""},
      {"unspecified does not replace IPv6", "2001:db8::1", zero, "2001:db8::1"},
      {"odd length is not an address", "", five, ""},
  };
  for (const Case& c : cases) {
    std::string slot = c.slot;
    prefer_address(slot, c.address.data(), c.address.size());
    EXPECT_EQ(slot, c.expected) << c.what;
  }
}

// -------------------------------------------------------- cdp_addresses ----

// One address entry of each kind that is used.
const Bytes kNlpidIpv4 = hex("01 01 CC 0004 C0A80001");                // NLPID, IP, 192.168.0.1
const Bytes kSnapIpv4 = hex("02 08 AAAA03000000 0800 0004 0A000005");  // 802.2, IPv4, 10.0.0.5
const Bytes kSnapIpv6 = hex(
    "02 08 AAAA03000000 86DD 0010 fe800000000000000211 22fffe334455");  // fe80::211:22ff:fe33:4455

Bytes address_list(std::uint32_t count, const Bytes& entries) {
  Bytes out = {static_cast<std::uint8_t>(count >> 24), static_cast<std::uint8_t>(count >> 16),
               static_cast<std::uint8_t>(count >> 8), static_cast<std::uint8_t>(count)};
  return out + entries;
}

TEST(CdpAddresses, PicksTheBestEntryOfAWellFormedList) {
  struct Case {
    const char* what;
    Bytes list;
    std::string expected;
  };
  const Case cases[] = {
      {"NLPID IPv4", address_list(1, kNlpidIpv4), "192.168.0.1"},
      {"802.2 IPv4", address_list(1, kSnapIpv4), "10.0.0.5"},
      {"802.2 IPv6", address_list(1, kSnapIpv6), "fe80::211:22ff:fe33:4455"},
      {"IPv4 after IPv6 wins", address_list(2, kSnapIpv6 + kNlpidIpv4), "192.168.0.1"},
      {"first IPv4 stays", address_list(2, kNlpidIpv4 + kSnapIpv4), "192.168.0.1"},
      {"unused protocol skipped",
       address_list(2, hex("01 01 81 0001 AA") /* NLPID 0x81 (CLNP) */ + kSnapIpv4), "10.0.0.5"},
      {"NLPID with a 16-byte address skipped",
       address_list(1, hex("01 01 CC 0010 20010db8000000000000000000000001")), ""},
      {"802.2 with another EtherType skipped",
       address_list(1, hex("02 08 AAAA03000000 0806 0004 0A000005")), ""},
      {"802.2 with another SNAP prefix skipped",
       address_list(1, hex("02 08 AAAA03000001 0800 0004 0A000005")), ""},
      {"0.0.0.0 is not usable", address_list(1, hex("01 01 CC 0004 00000000")), ""},
      {"unusable entry then a good one", address_list(2, hex("01 01 CC 0004 00000000") + kSnapIpv4),
       "10.0.0.5"},
      {"count zero", address_list(0, Bytes{}), ""},
      {"shorter than the count", hex("00 00 01"), ""},
      {"count claims more entries than fit", address_list(5, kNlpidIpv4), ""},
      {"truncated entry spoils an earlier address",
       address_list(2, kNlpidIpv4 + hex("01 01 CC 0004 C0A8")), ""},
      {"entry cut inside the protocol", address_list(1, hex("02 08 AAAA03")), ""},
      {"trailing bytes after the counted entries are ignored",
       address_list(1, kNlpidIpv4 + hex("FFFF")), "192.168.0.1"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(cdp_addresses(c.list.data(), c.list.size()), c.expected) << c.what;
  }
  EXPECT_EQ(cdp_addresses(nullptr, 8), "");
}

// ----------------------------------------------------------------- LLDP ----

const Bytes kChassisMac =
    hex("0207 04 001122334455");                   // Chassis ID, subtype MAC, 00:11:22:33:44:55
const Bytes kPortName = hex("0408 05 'gi1/0/5'");  // Port ID, subtype interface name
const Bytes kTtl120 = hex("0602 0078");            // TTL 120 s
const Bytes kEnd = hex("0000");                    // End of LLDPDU
const Bytes kMandatory = kChassisMac + kPortName + kTtl120;

// Management address 10.0.0.2: string length 5, subtype IPv4, address,
// ifIndex subtype 2, interface 3, no OID.
const Bytes kMgmtIpv4 = hex("100C 05 01 0A000002 02 00000003 00");
// Management address 2001:db8::2: string length 17, subtype IPv6.
const Bytes kMgmtIpv6 = hex("1018 11 02 20010db8000000000000000000000002 02 00000003 00");

TEST(Lldp, DecodesASwitchPort) {
  const Bytes frame = kMandatory + hex("0A07 'sw-core'") +              // System Name
                      hex("0C1A 'Switch OS 1.2' 0D0A 'built 2024' 0A")  // System Description
                      + kEnd + hex("0000 0000");  // padding after End is ignored
  const Decoded d = run_lldp(frame);
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(d.summary.protocol, "LLDP");
  EXPECT_EQ(d.summary.mac, "00:11:22:33:44:55");
  EXPECT_EQ(d.summary.name, "sw-core");
  EXPECT_EQ(d.summary.info, "Port gi1/0/5 | Switch OS 1.2 built 2024");
  EXPECT_EQ(d.summary.ip, "");
  EXPECT_EQ(d.summary.model, "");
}

TEST(Lldp, FieldRules) {
  struct Case {
    const char* what;
    Bytes frame;
    std::string ip, mac, name, model, info;
  };
  const Case cases[] = {
      {"IPv4 management address before IPv6", kMandatory + kMgmtIpv4 + kMgmtIpv6 + kEnd, "10.0.0.2",
       "00:11:22:33:44:55", "", "", "Port gi1/0/5"},
      {"IPv4 management address after IPv6", kMandatory + kMgmtIpv6 + kMgmtIpv4 + kEnd, "10.0.0.2",
       "00:11:22:33:44:55", "", "", "Port gi1/0/5"},
      {"IPv6 management address alone", kMandatory + kMgmtIpv6 + kEnd, "2001:db8::2",
       "00:11:22:33:44:55", "", "", "Port gi1/0/5"},
      {"management address with an OID",
       kMandatory + hex("1010 05 01 0A000007 02 00000003 04 2B060102") + kEnd, "10.0.0.7",
       "00:11:22:33:44:55", "", "", "Port gi1/0/5"},
      {"management OID longer than the TLV is ignored",
       kMandatory + hex("100E 05 01 0A000007 02 00000003 04 2B06") + kEnd, "", "00:11:22:33:44:55",
       "", "", "Port gi1/0/5"},
      {"management address string length 1 is ignored",
       kMandatory + hex("100A 01 01 02 00000003 00 0000") + kEnd, "", "00:11:22:33:44:55", "", "",
       "Port gi1/0/5"},
      {"IPv4 subtype with an IPv6-sized string is ignored",
       kMandatory + hex("1018 11 01 20010db8000000000000000000000002 02 00000003 00") + kEnd, "",
       "00:11:22:33:44:55", "", "", "Port gi1/0/5"},
      {"chassis network address is the fallback",
       hex("0206 05 01 C0A80A01") /* Chassis ID, network address, IPv4 192.168.10.1 */ + kPortName +
           kTtl120 + kEnd,
       "192.168.10.1", "", "", "", "Port gi1/0/5"},
      {"management address beats the chassis address",
       hex("0206 05 01 C0A80A01") + kPortName + kTtl120 + kMgmtIpv6 + kEnd, "2001:db8::2", "", "",
       "", "Port gi1/0/5"},
      {"chassis IPv6 network address",
       hex("0212 05 02 fd000077000000000000000000000001") + kPortName + kTtl120 + kEnd,
       "fd00:77::1", "", "", "", "Port gi1/0/5"},
      {"chassis group MAC is not used", hex("0207 04 0180C200000E") + kPortName + kTtl120 + kEnd,
       "", "", "", "", "Port gi1/0/5"},
      {"chassis MAC of the wrong size is not used",
       hex("0208 04 00112233445566") + kPortName + kTtl120 + kEnd, "", "", "", "", "Port gi1/0/5"},
      {"port description when there is no port id",
       kChassisMac + hex("0406 04 01 0A000001") /* Port ID, network address: skipped */ + kTtl120 +
           hex("0806 'uplink'") /* Port Description */ + kEnd,
       "", "00:11:22:33:44:55", "", "", "Port uplink"},
      {"port id wins over the port description", kMandatory + hex("0806 'uplink'") + kEnd, "",
       "00:11:22:33:44:55", "", "", "Port gi1/0/5"},
      {"port id as MAC address", kChassisMac + hex("0407 03 00AABBCCDDEE") + kTtl120 + kEnd, "",
       "00:11:22:33:44:55", "", "", "Port 00:AA:BB:CC:DD:EE"},
      {"later port id of another kind wins",
       kChassisMac + hex("0407 03 00AABBCCDDEE") + kTtl120 + hex("0404 05 'gi2'") + kEnd, "",
       "00:11:22:33:44:55", "", "", "Port gi2"},
      {"later MAC port id wins", kMandatory + hex("0407 03 00AABBCCDDEE") + kEnd, "",
       "00:11:22:33:44:55", "", "", "Port 00:AA:BB:CC:DD:EE"},
      {"blank port id falls back to the description",
       kChassisMac + hex("0403 05 2020") + kTtl120 + hex("0806 'uplink'") + kEnd, "",
       "00:11:22:33:44:55", "", "", "Port uplink"},
      {"blank system description adds nothing", kMandatory + hex("0C02 0D0A") + kEnd, "",
       "00:11:22:33:44:55", "", "", "Port gi1/0/5"},
      {"port id as group MAC is skipped",
       kChassisMac + hex("0407 03 01AABBCCDDEE") + kTtl120 + kEnd, "", "00:11:22:33:44:55", "", "",
       ""},
      {"port id interface alias", kChassisMac + hex("040D 01 'Uplink to S1'") + kTtl120 + kEnd, "",
       "00:11:22:33:44:55", "", "", "Port Uplink to S1"},
      {"port id port component", kChassisMac + hex("0404 02 'p1 '") + kTtl120 + kEnd, "",
       "00:11:22:33:44:55", "", "", "Port p1"},
      {"port id locally assigned", kChassisMac + hex("0403 07 '42'") + kTtl120 + kEnd, "",
       "00:11:22:33:44:55", "", "", "Port 42"},
      {"system description alone",
       kChassisMac + hex("0406 04 01 0A000001") + kTtl120 + hex("0C05 'RTOS '") + kEnd, "",
       "00:11:22:33:44:55", "", "", "RTOS"},
      {"LLDP-MED model name",
       kMandatory + hex("FE0D 0012BB 0A 'IP-Cam 4K'") /* TIA, inventory model name */ + kEnd, "",
       "00:11:22:33:44:55", "", "IP-Cam 4K", "Port gi1/0/5"},
      {"LLDP-MED model name that is empty", kMandatory + hex("FE05 0012BB 0A 20") + kEnd, "",
       "00:11:22:33:44:55", "", "", "Port gi1/0/5"},
      {"LLDP-MED software revision is not a model", kMandatory + hex("FE07 0012BB 07 '1.0'") + kEnd,
       "", "00:11:22:33:44:55", "", "", "Port gi1/0/5"},
      {"another organisation is skipped", kMandatory + hex("FE08 0080C2 0A 'abcd'") + kEnd, "",
       "00:11:22:33:44:55", "", "", "Port gi1/0/5"},
      {"organisation TLV of 4 bytes is skipped", kMandatory + hex("FE04 0012BB0A") + kEnd, "",
       "00:11:22:33:44:55", "", "", "Port gi1/0/5"},
      {"last system name wins", kMandatory + hex("0A03 'one' 0A03 'two'") + kEnd, "",
       "00:11:22:33:44:55", "two", "", "Port gi1/0/5"},
      {"last system name wins even when empty", kMandatory + hex("0A03 'one' 0A00") + kEnd, "",
       "00:11:22:33:44:55", "", "", "Port gi1/0/5"},
      {"unknown TLV types are skipped",
       kMandatory + hex("0E04 00140004") /* capabilities */ + hex("2001 FF") /* type 16 */ +
           hex("0A02 'ok'") + kEnd,
       "", "00:11:22:33:44:55", "ok", "", "Port gi1/0/5"},
  };
  for (const Case& c : cases) {
    const Decoded d = run_lldp(c.frame);
    ASSERT_TRUE(d.ok) << c.what;
    EXPECT_EQ(d.summary.protocol, "LLDP") << c.what;
    EXPECT_EQ(d.summary.ip, c.ip) << c.what;
    EXPECT_EQ(d.summary.mac, c.mac) << c.what;
    EXPECT_EQ(d.summary.name, c.name) << c.what;
    EXPECT_EQ(d.summary.model, c.model) << c.what;
    EXPECT_EQ(d.summary.info, c.info) << c.what;
  }
}

TEST(Lldp, LongTextsAreCutAt255Bytes) {
  const Decoded d =
      run_lldp(kMandatory + lldp_tlv(5, Bytes(300, 'n')) + lldp_tlv(6, Bytes(511, 'd')) + kEnd);
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(d.summary.name, std::string(255, 'n'));
  EXPECT_EQ(d.summary.info, "Port gi1/0/5 | " + std::string(255, 'd'));
}

TEST(Lldp, RejectsMalformedLldpdus) {
  struct Case {
    const char* what;
    Bytes frame;
  };
  const Case cases[] = {
      {"empty", Bytes{}},
      {"only End", kEnd},
      {"TTL zero (shutdown)", kChassisMac + kPortName + hex("0602 0000") + kEnd},
      {"starts with Port ID", kPortName + kChassisMac + kTtl120 + kEnd},
      {"TTL before Port ID", kChassisMac + kTtl120 + kPortName + kEnd},
      {"TTL missing", kChassisMac + kPortName + hex("0A02 'sw'") + kEnd},
      {"no End", kMandatory + hex("0A07 'sw-core'")},
      {"no End, one stray byte", kMandatory + hex("00")},
      {"End with a length", kMandatory + hex("0001 00")},
      {"chassis id of one byte", hex("0201 04") + kPortName + kTtl120 + kEnd},
      {"port id of one byte", kChassisMac + hex("0401 05") + kTtl120 + kEnd},
      {"TTL of three bytes", kChassisMac + kPortName + hex("0603 000078") + kEnd},
      {"TTL of one byte", kChassisMac + kPortName + hex("0601 78") + kEnd},
      {"repeated TTL of zero", kMandatory + hex("0602 0000") + kEnd},
      {"TLV longer than the data", kMandatory + hex("0A10 'short'")},
      {"mandatory TLV longer than the data", hex("0220 04 001122334455")},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(run_lldp(c.frame).ok) << c.what;
  }
  PacketSummary summary;
  EXPECT_FALSE(decode_lldp(nullptr, 10, summary));
}

TEST(Lldp, FailureLeavesTheSummaryAlone) {
  PacketSummary summary;
  summary.name = "before";
  const Bytes frame = kMandatory + hex("0A07 'sw-core'");  // no End
  EXPECT_FALSE(decode_lldp(frame.data(), frame.size(), summary));
  EXPECT_EQ(summary.name, "before");
  EXPECT_EQ(summary.protocol, "");
  EXPECT_EQ(summary.mac, "");
}

TEST(Lldp, EveryTruncationFails) {
  const Bytes frame =
      kMandatory + kMgmtIpv4 + hex("0A07 'sw-core' FE0D 0012BB 0A 'IP-Cam 4K'") + kEnd;
  ASSERT_TRUE(run_lldp(frame).ok);
  for (std::size_t n = 0; n < frame.size(); ++n) {
    const Bytes prefix(frame.begin(), frame.begin() + static_cast<std::ptrdiff_t>(n));
    EXPECT_FALSE(run_lldp(prefix).ok) << "prefix of " << n << " bytes";
  }
}

// ------------------------------------------------------------------ CDP ----

const Bytes kCdpHead =
    hex("AAAA03 00000C 2000"  // LLC/SNAP: Cisco OUI, protocol 0x2000
        "02 B4 0000");        // version 2, TTL 180 s, checksum
const Bytes kDeviceSep = cdp_tlv(1, hex("'SEP001122334455'"));
const Bytes kPlatformPhone = cdp_tlv(6, hex("'VoIP-Phone'"));
const Bytes kPortId = cdp_tlv(3, hex("'Port 1'"));

TEST(Cdp, DecodesAnIpPhone) {
  const Bytes frame = kCdpHead + kDeviceSep +
                      cdp_tlv(5, hex("'SCCP 8.5'")) /* software version: skipped */ +
                      kPlatformPhone + kPortId + cdp_tlv(4, hex("00000490")) /* capabilities */;
  const Decoded d = run_cdp(frame);
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(d.summary.protocol, "CDP");
  EXPECT_EQ(d.summary.name, "SEP001122334455");
  EXPECT_EQ(d.summary.model, "VoIP-Phone");
  EXPECT_EQ(d.summary.info, "Port Port 1");
  EXPECT_EQ(d.summary.ip, "");
  EXPECT_EQ(d.summary.mac, "");
}

TEST(Cdp, FieldRules) {
  const Bytes mgmt_v6 = cdp_tlv(22, address_list(1, kSnapIpv6));
  const Bytes mgmt_v4 = cdp_tlv(22, address_list(1, kSnapIpv4));
  const Bytes addresses_v4 = cdp_tlv(2, address_list(1, kNlpidIpv4));
  const Bytes addresses_v6 = cdp_tlv(2, address_list(1, kSnapIpv6));
  struct Case {
    const char* what;
    Bytes frame;
    std::string ip, name, model, info;
  };
  const Case cases[] = {
      {"IPv6 management, IPv4 addresses", kCdpHead + kDeviceSep + mgmt_v6 + addresses_v4,
       "192.168.0.1", "SEP001122334455", "", ""},
      {"IPv4 management beats IPv4 addresses", kCdpHead + kDeviceSep + addresses_v4 + mgmt_v4,
       "10.0.0.5", "SEP001122334455", "", ""},
      {"IPv4 management, IPv6 addresses", kCdpHead + kDeviceSep + addresses_v6 + mgmt_v4,
       "10.0.0.5", "SEP001122334455", "", ""},
      {"IPv6 management and IPv6 addresses", kCdpHead + kDeviceSep + mgmt_v6 + addresses_v6,
       "fe80::211:22ff:fe33:4455", "SEP001122334455", "", ""},
      {"addresses only", kCdpHead + addresses_v6 + kDeviceSep, "fe80::211:22ff:fe33:4455",
       "SEP001122334455", "", ""},
      {"malformed address list gives no address",
       kCdpHead + kDeviceSep + cdp_tlv(2, address_list(9, kNlpidIpv4)), "", "SEP001122334455", "",
       ""},
      {"last management list wins even when empty",
       kCdpHead + kDeviceSep + mgmt_v4 + cdp_tlv(22, hex("00")), "", "SEP001122334455", "", ""},
      {"blank port id leaves info empty", kCdpHead + kDeviceSep + cdp_tlv(3, hex("20 20")), "",
       "SEP001122334455", "", ""},
      {"later blank port id keeps the earlier port",
       kCdpHead + kDeviceSep + kPortId + cdp_tlv(3, Bytes{}), "", "SEP001122334455", "",
       "Port Port 1"},
      {"last platform wins", kCdpHead + kDeviceSep + kPlatformPhone + cdp_tlv(6, hex("'X2'")), "",
       "SEP001122334455", "X2", ""},
      {"version 1", hex("AAAA0300000C2000 01 3C 0000") + kDeviceSep, "", "SEP001122334455", "", ""},
      {"empty TLV of an unused type", kCdpHead + cdp_tlv(9, Bytes{}) + kDeviceSep, "",
       "SEP001122334455", "", ""},
  };
  for (const Case& c : cases) {
    const Decoded d = run_cdp(c.frame);
    ASSERT_TRUE(d.ok) << c.what;
    EXPECT_EQ(d.summary.protocol, "CDP") << c.what;
    EXPECT_EQ(d.summary.ip, c.ip) << c.what;
    EXPECT_EQ(d.summary.name, c.name) << c.what;
    EXPECT_EQ(d.summary.model, c.model) << c.what;
    EXPECT_EQ(d.summary.info, c.info) << c.what;
    EXPECT_EQ(d.summary.mac, "") << c.what;
  }
}

TEST(Cdp, RejectsMalformedFrames) {
  struct Case {
    const char* what;
    Bytes frame;
  };
  const Case cases[] = {
      {"shorter than the CDP header", hex("AAAA0300000C2000 02 B4 00")},
      {"header only: no Device ID", kCdpHead},
      {"no Device ID", kCdpHead + kPlatformPhone + kPortId},
      {"blank Device ID", kCdpHead + cdp_tlv(1, hex("20 00 'x'"))},
      {"later empty Device ID", kCdpHead + kDeviceSep + cdp_tlv(1, Bytes{})},
      {"two stray bytes", kCdpHead + kDeviceSep + hex("0001")},
      {"one stray byte", kCdpHead + kDeviceSep + hex("00")},
      {"three stray bytes", kCdpHead + kDeviceSep + hex("000100")},
      {"version 3", hex("AAAA0300000C2000 03 B4 0000") + kDeviceSep},
      {"version 0", hex("AAAA0300000C2000 00 B4 0000") + kDeviceSep},
      {"TTL zero", hex("AAAA0300000C2000 02 00 0000") + kDeviceSep},
      {"TLV length below 4", kCdpHead + kDeviceSep + hex("0006 0003")},
      {"TLV longer than the frame", kCdpHead + kDeviceSep + hex("0006 0020 'abc'")},
      {"not the CDP SNAP header", hex("AAAA0300000C2004 02 B4 0000") + kDeviceSep},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(run_cdp(c.frame).ok) << c.what;
  }
  PacketSummary summary;
  EXPECT_FALSE(decode_cdp(nullptr, 40, summary));
}

// A shorter 802.3 length may end on a TLV boundary and still be a valid
// frame; anything else must fail, and nothing may be read past the length.
TEST(Cdp, EveryTruncationIsSafe) {
  const Bytes frame = kCdpHead + kDeviceSep + kPlatformPhone +
                      cdp_tlv(2, address_list(2, kSnapIpv6 + kNlpidIpv4)) + kPortId;
  ASSERT_TRUE(run_cdp(frame).ok);
  std::vector<std::size_t> boundaries;
  for (std::size_t at = 12; at + 4 <= frame.size();) {
    at += static_cast<std::size_t>(frame[at + 2] << 8 | frame[at + 3]);
    boundaries.push_back(at);
  }
  for (std::size_t n = 0; n < frame.size(); ++n) {
    const Bytes prefix(frame.begin(), frame.begin() + static_cast<std::ptrdiff_t>(n));
    const bool boundary = std::find(boundaries.begin(), boundaries.end(), n) != boundaries.end();
    const Decoded d = run_cdp(prefix);
    EXPECT_EQ(d.ok, boundary) << "prefix of " << n << " bytes";
    if (d.ok) {
      EXPECT_EQ(d.summary.name, "SEP001122334455");
    }
  }
}

// ------------------------------------------------------- real captures ----

std::string capture_path(const char* name) {
  return std::string(NORVANE_CAPTURES_DIR) + "/" + name;
}

// Payload of an Ethernet frame after its VLAN tags: EtherType (0 for an
// 802.3 length, which then bounds the payload) and bytes.
struct L2 {
  std::uint16_t ether_type = 0;
  Bytes payload;
  bool ok = false;
};

L2 layer2(const Bytes& frame) {
  L2 out;
  if (frame.size() < 14) return out;
  std::size_t at = 12;
  unsigned type = static_cast<unsigned>(frame[at] << 8 | frame[at + 1]);
  while (type == 0x8100 || type == 0x88A8 || type == 0x9100) {
    if (frame.size() - at < 6) return out;
    at += 4;
    type = static_cast<unsigned>(frame[at] << 8 | frame[at + 1]);
  }
  at += 2;
  std::size_t end = frame.size();
  if (type <= 1500) {
    if (frame.size() - at < type) return out;
    end = at + type;
    type = 0;
  }
  out.ether_type = static_cast<std::uint16_t>(type);
  out.payload.assign(frame.begin() + static_cast<std::ptrdiff_t>(at),
                     frame.begin() + static_cast<std::ptrdiff_t>(end));
  out.ok = true;
  return out;
}

Decoded decode_l2(const Bytes& frame) {
  const L2 l2 = layer2(frame);
  if (!l2.ok) return {};
  return l2.ether_type == 0x88CC ? run_lldp(l2.payload) : run_cdp(l2.payload);
}

std::vector<Bytes> frames_of(const char* name) {
  const auto file = test::read_pcap(capture_path(name));
  EXPECT_TRUE(file.has_value()) << name;
  std::vector<Bytes> frames;
  if (file) {
    for (const auto& frame : file->frames) frames.push_back(frame.data);
  }
  return frames;
}

const std::string kS1Description =
    "Cisco IOS Software, C3560 Software (C3560-ADVIPSERVICESK9-M), Version 12.2(44)SE, RELEASE "
    "SOFTWARE (fc1) Copyright (c) 1986-2008 by Cisco Systems, Inc. Compiled Sat 05-Jan-08 00:15 by "
    "weiliu";

TEST(Captures, CatalystSwitchesSpeakingLldpAndCdp) {
  struct Expected {
    std::string protocol, ip, mac, name, model, info;
  };
  const Expected s1_cdp = {"CDP", "", "", "S1", "cisco WS-C3560-24TS", "Port FastEthernet0/13"};
  const Expected s2_cdp = {"CDP", "", "", "S2", "cisco WS-C3560G-24PS", "Port GigabitEthernet0/13"};
  const Expected s2_lldp = {"LLDP",         "", "00:19:2F:A7:B2:8D",
                            "S2.cisco.com", "", "Port Uplink to S1 | " + kS1Description};
  const Expected s1_lldp = {"LLDP",         "", "00:18:BA:98:68:8F",
                            "S1.cisco.com", "", "Port Fa0/13 | " + kS1Description};
  // Frames 1 to 12: CDP S1, CDP S2, LLDP S2, LLDP S1, LLDP S2, LLDP S1, then again.
  const Expected* order[] = {&s1_cdp, &s2_cdp, &s2_lldp, &s1_lldp, &s2_lldp, &s1_lldp,
                             &s1_cdp, &s2_cdp, &s2_lldp, &s1_lldp, &s2_lldp, &s1_lldp};
  const std::vector<Bytes> frames = frames_of("LLDP_and_CDP.pcap");
  ASSERT_EQ(frames.size(), std::size(order));
  for (std::size_t i = 0; i < frames.size(); ++i) {
    const Decoded d = decode_l2(frames[i]);
    ASSERT_TRUE(d.ok) << "frame " << i + 1;
    const Expected& e = *order[i];
    EXPECT_EQ(d.summary.protocol, e.protocol) << "frame " << i + 1;
    // The CDP address lists hold only 0.0.0.0, which is not an address.
    EXPECT_EQ(d.summary.ip, e.ip) << "frame " << i + 1;
    EXPECT_EQ(d.summary.mac, e.mac) << "frame " << i + 1;
    EXPECT_EQ(d.summary.name, e.name) << "frame " << i + 1;
    EXPECT_EQ(d.summary.model, e.model) << "frame " << i + 1;
    EXPECT_EQ(d.summary.info, e.info) << "frame " << i + 1;
  }
}

// The capture callback's path: the frame parser hands over the bytes after
// the Ethernet header (or the 802.3 payload) and fills in the frame facts.
TEST(Captures, ThroughTheCapturePath) {
  struct Expected {
    const char* protocol;
    const char* mac;
    const char* source_mac;
    const char* name;
  };
  const Expected s1_cdp = {"CDP", "00:18:BA:98:68:8F", "00:18:BA:98:68:8F", "S1"};
  const Expected s2_cdp = {"CDP", "00:19:2F:A7:B2:8D", "00:19:2F:A7:B2:8D", "S2"};
  const Expected s2_lldp = {"LLDP", "00:19:2F:A7:B2:8D", "00:19:2F:A7:B2:8D", "S2.cisco.com"};
  const Expected s1_lldp = {"LLDP", "00:18:BA:98:68:8F", "00:18:BA:98:68:8F", "S1.cisco.com"};
  const Expected* order[] = {&s1_cdp, &s2_cdp, &s2_lldp, &s1_lldp, &s2_lldp, &s1_lldp,
                             &s1_cdp, &s2_cdp, &s2_lldp, &s1_lldp, &s2_lldp, &s1_lldp};
  const std::vector<Bytes> frames = frames_of("LLDP_and_CDP.pcap");
  ASSERT_EQ(frames.size(), std::size(order));
  for (std::size_t i = 0; i < frames.size(); ++i) {
    PacketSummary s;
    ASSERT_TRUE(summarize_frame(frames[i].data(), frames[i].size(), s)) << "frame " << i + 1;
    EXPECT_EQ(s.protocol, order[i]->protocol) << "frame " << i + 1;
    EXPECT_EQ(s.mac, order[i]->mac) << "frame " << i + 1;
    EXPECT_EQ(s.source_mac, order[i]->source_mac) << "frame " << i + 1;
    EXPECT_EQ(s.name, order[i]->name) << "frame " << i + 1;
    EXPECT_TRUE(s.multicast) << "frame " << i + 1;
  }

  // A shutdown LLDPDU (TTL 0) from the same switch is not kept at all.
  Bytes shutdown = frames[2];
  const L2 l2 = layer2(shutdown);
  ASSERT_TRUE(l2.ok);
  // Chassis ID and Port ID precede the TTL: find its header 06 02.
  std::size_t ttl_at = 14;
  for (int tlv = 0; tlv < 2; ++tlv) {
    ttl_at += 2 + static_cast<std::size_t>((shutdown[ttl_at] & 1) << 8 | shutdown[ttl_at + 1]);
  }
  ASSERT_EQ(shutdown[ttl_at], 0x06);
  shutdown[ttl_at + 2] = 0;
  shutdown[ttl_at + 3] = 0;
  PacketSummary s;
  EXPECT_FALSE(summarize_frame(shutdown.data(), shutdown.size(), s));
}

TEST(Captures, Catalyst3560Cdp) {
  const std::vector<Bytes> frames = frames_of("3560_CDP.pcap");
  ASSERT_EQ(frames.size(), 3u);
  for (const Bytes& frame : frames) {
    const Decoded d = decode_l2(frame);
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.summary.protocol, "CDP");
    EXPECT_EQ(d.summary.name, "Switch");
    EXPECT_EQ(d.summary.model, "cisco WS-C3560G-24PS");
    EXPECT_EQ(d.summary.info, "Port GigabitEthernet0/5");
    EXPECT_EQ(d.summary.ip, "192.168.0.1");
  }
}

TEST(Captures, LinuxHostWithManagementAddresses) {
  const std::vector<Bytes> frames = frames_of("lldp_mudurl.pcap");
  ASSERT_EQ(frames.size(), 2u);
  for (const Bytes& frame : frames) {
    const Decoded d = decode_l2(frame);
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.summary.ip, "62.12.173.114");  // the IPv6 management address comes second
    EXPECT_EQ(d.summary.mac, "00:23:54:C2:57:02");
    EXPECT_EQ(d.summary.name, "upstairs.ofcourseimright.com");
    EXPECT_EQ(d.summary.info,
              "Port 00:23:54:C2:57:02 | Ubuntu 14.04.5 LTS Linux 3.13.0-106-generic #153-Ubuntu "
              "SMP Tue Dec 6 15:45:13 UTC 2016 i686");
  }
}

TEST(Captures, FabricLeafWithOrganisationTlvs) {
  const std::vector<Bytes> frames = frames_of("lldp-app-priority.pcap");
  ASSERT_EQ(frames.size(), 1u);
  const Decoded d = decode_l2(frames[0]);
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(d.summary.mac, "00:00:00:02:00:02");
  EXPECT_EQ(d.summary.name, "leaf0b");
  EXPECT_EQ(d.summary.info, "Port leaf0b-eth10 | 5c:16:c7:00:00:01");
}

TEST(Captures, MalformedLldpIsRejected) {
  // Their first TLV is not a Chassis ID, or the Port ID is not second.
  for (const char* name : {"lldp_8021_linkagg.pcap", "lldp_asan.pcap"}) {
    for (const Bytes& frame : frames_of(name)) EXPECT_FALSE(decode_l2(frame).ok) << name;
  }
}

// Every frame of every LLDP or CDP capture, cut at every length: decoding
// must stay inside the bytes and end (the sanitizers watch the first part).
TEST(Captures, EveryCaptureAtEveryLengthIsSafe) {
  const char* names[] = {"3560_CDP.pcap",
                         "LLDP_and_CDP.pcap",
                         "lldp-app-priority.pcap",
                         "lldp-infinite-loop-1.pcap",
                         "lldp-infinite-loop-2.pcap",
                         "lldp_8021_linkagg.pcap",
                         "lldp_8023_mtu-oobr.pcap",
                         "lldp_asan.pcap",
                         "lldp_mgmt_addr_tlv_asan.pcap",
                         "lldp_mudurl.pcap"};
  std::size_t decoded = 0;
  for (const char* name : names) {
    for (const Bytes& frame : frames_of(name)) {
      const L2 l2 = layer2(frame);
      if (!l2.ok) continue;
      for (std::size_t n = 0; n <= l2.payload.size(); ++n) {
        const Bytes prefix(l2.payload.begin(), l2.payload.begin() + static_cast<std::ptrdiff_t>(n));
        Decoded lldp = run_lldp(prefix);
        Decoded cdp = run_cdp(prefix);
        decoded += (lldp.ok ? 1 : 0) + (cdp.ok ? 1 : 0);
        for (const Decoded* d : {&lldp, &cdp}) {
          if (!d->ok) continue;
          for (const std::string* text : {&d->summary.name, &d->summary.model, &d->summary.info}) {
            for (char c : *text) {
              EXPECT_FALSE(static_cast<unsigned char>(c) < 0x20 || c == 0x7F) << name;
            }
          }
        }
      }
    }
  }
  EXPECT_GT(decoded, 0u);
}

// The port a neighbour announces, which names the laptop's own switch port:
// Port ID, Port Description and the port VLAN (LLDP IEEE 802.1, CDP native).
TEST(Neighbours, PortAndVlan) {
  const Bytes vlan20 = lldp_tlv(127, hex("0080C2 01 0014"));
  struct Case {
    const char* what;
    bool lldp;
    Bytes payload;
    std::string id, description;
    std::uint16_t vlan;
  };
  const Case cases[] = {
      {"LLDP name, description and VLAN 20", true,
       kMandatory + lldp_tlv(4, hex("'to laptop'")) + vlan20 + kEnd, "gi1/0/5", "to laptop", 20},
      {"no VLAN TLV", true, kMandatory + kEnd, "gi1/0/5", "", 0},
      {"VLAN 0 is none", true, kMandatory + lldp_tlv(127, hex("0080C2 01 0000")) + kEnd, "gi1/0/5",
       "", 0},
      {"reserved VLAN 4095", true, kMandatory + lldp_tlv(127, hex("0080C2 01 0FFF")) + kEnd,
       "gi1/0/5", "", 0},
      {"VLAN TLV one byte short is skipped", true,
       kMandatory + vlan20 + lldp_tlv(127, hex("0080C2 01 00")) + kEnd, "gi1/0/5", "", 20},
      {"another 802.1 subtype", true, kMandatory + lldp_tlv(127, hex("0080C2 02 000014")) + kEnd,
       "gi1/0/5", "", 0},
      {"MAC port id", true, kChassisMac + hex("0407 03 00AABBCCDDEE") + kTtl120 + kEnd,
       "00:AA:BB:CC:DD:EE", "", 0},
      {"CDP port and native VLAN 30", false,
       kCdpHead + kDeviceSep + kPortId + cdp_tlv(10, hex("001E")), "Port 1", "", 30},
      {"CDP native VLAN of three bytes", false, kCdpHead + kDeviceSep + cdp_tlv(10, hex("00001E")),
       "", "", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Decoded d = c.lldp ? run_lldp(c.payload) : run_cdp(c.payload);
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.summary.port.id, c.id);
    EXPECT_EQ(d.summary.port.description, c.description);
    EXPECT_EQ(d.summary.port.vlan, c.vlan);
  }
  // Two Catalyst switches: CDP S1, CDP S2, LLDP S2, LLDP S1, all on VLAN 1.
  const std::vector<Bytes> frames = frames_of("LLDP_and_CDP.pcap");
  ASSERT_GE(frames.size(), 4u);
  const char* ports[] = {"FastEthernet0/13", "GigabitEthernet0/13", "Uplink to S1", "Fa0/13"};
  for (std::size_t i = 0; i < 4; ++i) {
    const Decoded d = decode_l2(frames[i]);
    ASSERT_TRUE(d.ok) << i;
    EXPECT_EQ(d.summary.port.id, ports[i]) << i;
    EXPECT_EQ(d.summary.port.vlan, 1) << i;
  }
}

}  // namespace
}  // namespace norvane
