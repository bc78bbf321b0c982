// Hikvision SADP (0x8033 frames and XML on UDP 37020) and Dahua DHIP.
#include "decode/sadp.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "model/packet_summary.h"
#include "support/message_bytes.h"
#include "support/summaries.h"

namespace norvane {
namespace {

// Test messages are byte strings here.
std::string hex(std::string_view text) { return test::hex_string(text); }

using test::all_fields;
using test::Device;
using test::expect_device;
using test::le32;
using test::zero_padded;

// ---------------------------------------------------------------------------
// SADP reply frames (EtherType 0x8033)

constexpr std::string_view kCameraMac = "44:19:B6:12:34:56";

// The payload of a SADP reply frame as a camera sends it: fixed header,
// addresses, zero-padded name, then the zero-padded firmware text.
std::string sadp_frame(std::string_view name, std::string_view info, std::size_t size = 150) {
  std::string p =
      hex("21 01"              // 0: SADP reply magic
          "02 42"              // 2: not read (version, packet type)
          "00 00 01 2c"        // 4: not read (sequence number)
          "06 04"              // 8: hardware address size 6, protocol address size 4
          "00 03 e1 5a"        // 10: not read (parameter type, checksum)
          "44 19 b6 12 34 56"  // 14: device MAC 44:19:B6:12:34:56
          "c0 a8 01 40"        // 20: device IPv4 192.168.1.64
          "ff ff ff 00"        // 24: not read (subnet mask)
          "c0 a8 01 01"        // 28: not read (gateway)
          "00 00 1f 40");      // 32: not read (command port 8000)
  p += zero_padded(name, 52);  // 36: device name
  p += hex("00 00 00 00 00 00 00 00 00 00 00 00 00 00");  // 88: not read
  p += zero_padded(info, 48);                             // 102: firmware text
  p.resize(size, '\0');
  return p;
}

PacketSummary frame_summary(std::string l2_payload) {
  PacketSummary s;
  s.source_mac = std::string(kCameraMac);
  s.mac = s.source_mac;
  s.protocol = "SADP";
  s.multicast = true;
  s.ether_type = 0x8033;
  s.l2_payload = std::move(l2_payload);
  return s;
}

TEST(SadpFrame, CameraReply) {
  PacketSummary s =
      frame_summary(sadp_frame("DS-2CD2143G0-I20190101AAWR123456789", "V5.5.82build 190909"));
  ASSERT_TRUE(decode_sadp_frame(s));
  expect_device(
      s, {"SADP L2", "192.168.1.64", std::string(kCameraMac), "DS-2CD2143G0-I20190101AAWR123456789",
          "DS-2CD2143G0-I", "V5.5.82build 190909"});
}

TEST(SadpFrame, PayloadLengthDecidesInfo) {
  const std::string info = "V5.5.82build 190909 extended";
  struct Case {
    std::size_t size;
    std::string want_info;
  };
  const Case cases[] = {
      {88, ""},                     // name complete, nothing after it
      {102, ""},                    // tail ends right before the text
      {103, "V"},                   // one byte of it
      {120, "V5.5.82build 19090"},  // bytes 102 to 119
      {150, info},                  // the whole 48-byte field
      {400, info},                  // bytes beyond the field are ignored
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    PacketSummary s = frame_summary(sadp_frame("DS-2CD2143G0-I20190101AAWR1", info, c.size));
    s.info = "before";
    ASSERT_TRUE(decode_sadp_frame(s));
    EXPECT_EQ(s.info, c.want_info.empty() ? "before" : c.want_info);
    EXPECT_EQ(s.name, "DS-2CD2143G0-I20190101AAWR1");
  }
}

TEST(SadpFrame, RejectsAndWritesNothing) {
  struct Case {
    const char* what;
    std::size_t offset;  // byte to change, or npos
    char value;
    std::size_t size;
    std::string source_mac;
  };
  const std::size_t npos = std::string::npos;
  const std::string mac(kCameraMac);
  const Case cases[] = {
      {"wrong magic byte 0", 0, 0x22, 150, mac},
      {"wrong magic byte 1", 1, 0x02, 150, mac},
      {"wrong hardware address size", 8, 0x08, 150, mac},
      {"wrong protocol address size", 9, 0x10, 150, mac},
      {"group MAC in the message", 14, 0x45, 150, "45:19:B6:12:34:56"},
      {"87 bytes", npos, 0, 87, mac},
      {"empty payload", npos, 0, 0, mac},
      {"frame from another station", npos, 0, 150, "44:19:B6:12:34:57"},
      {"no source MAC (not a frame)", npos, 0, 150, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string payload = sadp_frame("DS-2CD2143G0-I20190101AAWR1", "V5.5.82", c.size);
    if (c.offset != npos) payload[c.offset] = c.value;
    PacketSummary s = frame_summary(payload);
    s.source_mac = c.source_mac;
    const PacketSummary before = s;
    EXPECT_FALSE(decode_sadp_frame(s));
    EXPECT_EQ(all_fields(s), all_fields(before));
  }
}

TEST(SadpFrame, AllZeroMacIsRejected) {
  std::string payload = sadp_frame("DS-X", "", 150);
  for (int i = 14; i < 20; ++i) payload[i] = 0;
  PacketSummary s = frame_summary(payload);
  s.source_mac = "00:00:00:00:00:00";
  EXPECT_FALSE(decode_sadp_frame(s));
}

TEST(SadpFrame, EmptyValuesLeaveFieldsAlone) {
  std::string payload = sadp_frame("", "", 150);
  for (int i = 20; i < 24; ++i) payload[i] = 0;  // address 0.0.0.0
  PacketSummary s = frame_summary(payload);
  s.ip = "10.0.0.1";
  s.name = "old name";
  s.model = "old model";
  s.info = "old info";
  ASSERT_TRUE(decode_sadp_frame(s));
  expect_device(
      s, {"SADP L2", "10.0.0.1", std::string(kCameraMac), "old name", "old model", "old info"});
}

TEST(SadpFrame, NameIsCleaned) {
  PacketSummary s = frame_summary(sadp_frame("  Brama\x7fWjazd\r\n",
                                             "V1.0\x01"
                                             "build",
                                             150));
  ASSERT_TRUE(decode_sadp_frame(s));
  EXPECT_EQ(s.name, "Brama Wjazd");
  EXPECT_EQ(s.info, "V1.0 build");
  EXPECT_EQ(s.model, "");
}

TEST(SadpFrame, ModelEndsAtDateStamp) {
  struct Case {
    const char* name;
    const char* model;
  };
  const Case cases[] = {
      {"DS-2CD2143G0-I20190101AAWR123", "DS-2CD2143G0-I"},
      {"iDS-2CD7146G0-IZS20200315AB", "iDS-2CD7146G0-IZS"},
      {"DS-7A20190101X", "DS-7A"},             // the earliest place a stamp may start
      {"DS-720190101XY", ""},                  // stamp at index 4 is too early
      {"DS-ABCDE20190101", ""},                // stamp is the very last thing
      {"DS-ABCDE20191301X", ""},               // month 13
      {"DS-ABCDE20190001X", ""},               // month 00
      {"DS-ABCDE20190100X", ""},               // day 00
      {"DS-ABCDE20190132X", ""},               // day 32
      {"DS-ABCDE20191231X", "DS-ABCDE"},       // last month, last day
      {"DS-ABCDE2019O101X", ""},               // letter O among the digits
      {"DS-ABCDE19190101X", ""},               // must start with 20
      {"DS-AB20200101CD20210101X", "DS-AB"},   // the first stamp wins
      {"DS-ABCDE 20190101X", "DS-ABCDE"},      // the model is cleaned
      {"ids-2CD2143G0-I20190101AAWR123", ""},  // prefix is case-sensitive
      {"IPC-2CD2143G0-I20190101AAWR123", ""},  // other makers' names
      {"DS-", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PacketSummary s = frame_summary(sadp_frame(c.name, ""));
    ASSERT_TRUE(decode_sadp_frame(s));
    EXPECT_EQ(s.name, c.name);
    EXPECT_EQ(s.model, c.model);
  }
}

TEST(SadpFrame, EveryTruncationIsSafe) {
  const std::string full = sadp_frame("DS-2CD2143G0-I20190101AAWR1", "V5.5.82build 190909");
  for (std::size_t n = 0; n <= full.size(); ++n) {
    SCOPED_TRACE(n);
    PacketSummary s = frame_summary(full.substr(0, n));
    const PacketSummary before = s;
    const bool ok = decode_sadp_frame(s);
    EXPECT_EQ(ok, n >= 88);
    if (!ok) {
      EXPECT_EQ(all_fields(s), all_fields(before));
    }
  }
}

// ---------------------------------------------------------------------------
// SADP XML replies (UDP 37020)

// A camera's answer to the SADP inquiry, shortened to the elements around the
// ones that are read.
constexpr std::string_view kProbeMatch = R"(<?xml version="1.0" encoding="UTF-8"?>)"
                                         "<ProbeMatch>"
                                         "<Uuid>5B2B8C4D-1A2B-4C3D-9E8F-0123456789AB</Uuid>"
                                         "<Types>inquiry</Types>"
                                         "<DeviceType>139267</DeviceType>"
                                         "<DeviceDescription>DS-2CD2143G0-I</DeviceDescription>"
                                         "<DeviceSN>DS-2CD2143G0-I20190101AAWRC12345678</DeviceSN>"
                                         "<CommandPort>8000</CommandPort>"
                                         "<HttpPort>80</HttpPort>"
                                         "<MAC>44-19-b6-12-34-56</MAC>"
                                         "<IPv4Address>192.168.1.64</IPv4Address>"
                                         "<IPv4SubnetMask>255.255.255.0</IPv4SubnetMask>"
                                         "<IPv4Gateway>192.168.1.1</IPv4Gateway>"
                                         "<IPv6Address>::</IPv6Address>"
                                         "<DHCP>false</DHCP>"
                                         "<SoftwareVersion>V5.5.82build 190909</SoftwareVersion>"
                                         "<DSPVersion>V7.3 build 190905</DSPVersion>"
                                         "<Activated>true</Activated>"
                                         "</ProbeMatch>";

PacketSummary datagram(std::string payload, std::uint16_t port = 37020) {
  PacketSummary s;
  s.ip = "192.168.1.200";
  s.source_port = port;
  s.dest_port = port;
  s.payload = std::move(payload);
  return s;
}

TEST(SadpXml, CameraReply) {
  PacketSummary s = datagram(std::string(kProbeMatch));
  ASSERT_TRUE(decode_sadp_xml(s));
  expect_device(
      s, {"SADP", "192.168.1.64", std::string(kCameraMac), "DS-2CD2143G0-I20190101AAWRC12345678",
          "DS-2CD2143G0-I", "V5.5.82build 190909"});
}

TEST(SadpXml, Replies) {
  struct Case {
    const char* what;
    std::string xml;
    bool ok;
    Device want;  // starting from ip 192.168.1.200, everything else empty
  };
  const Case cases[] = {
      {"only a description",
       "<ProbeMatch><DeviceDescription>DS-7608NI-K2</DeviceDescription></ProbeMatch>",
       true,
       {"SADP", "192.168.1.200", "", "", "DS-7608NI-K2", ""}},
      {"no description",
       "<ProbeMatch><MAC>44:19:B6:12:34:56</MAC><IPv4Address> 10.1.2.3 </IPv4Address>"
       "<DeviceSN>SN1</DeviceSN><SoftwareVersion>V4.0</SoftwareVersion></ProbeMatch>",
       true,
       {"SADP", "10.1.2.3", "44:19:B6:12:34:56", "SN1", "", "V4.0"}},
      {"unusable IPv4 falls back to IPv6",
       "<ProbeMatch><IPv4Address>0.0.0.0</IPv4Address>"
       "<IPv6Address>fe80::4619:b6ff:fe12:3456</IPv6Address></ProbeMatch>",
       true,
       {"SADP", "fe80::4619:b6ff:fe12:3456", "", "", "", ""}},
      {"namespace prefixes and surrounding envelope",
       "<Envelope><s:ProbeMatch><s:MAC>\r\n44-19-B6-12-34-56\t</s:MAC></s:ProbeMatch></Envelope>",
       true,
       {"SADP", "192.168.1.200", "44:19:B6:12:34:56", "", "", ""}},
      {"entities decoded once",
       "<ProbeMatch><DeviceDescription>NVR &amp; &amp;amp; &#65;</DeviceDescription>"
       "</ProbeMatch>",
       true,
       {"SADP", "192.168.1.200", "", "", "NVR & &amp; &#65;", ""}},
      {"the inquiry itself has no ProbeMatch",
       "<Probe><Uuid>1</Uuid><MAC>44-19-b6-12-34-56</MAC><Types>inquiry</Types></Probe>",
       false,
       {}},
      {"nothing usable",
       "<ProbeMatch><MAC>01-00-5e-00-00-01</MAC><IPv4Address>127.0.0.1</IPv4Address>"
       "<DeviceSN>SN1</DeviceSN></ProbeMatch>",
       false,
       {}},
      {"empty-element ProbeMatch", "<ProbeMatch/>", false, {}},
      {"complete datagram without its end",
       "<ProbeMatch><DeviceDescription>X</DeviceDescription>",
       false,
       {}},
      {"empty payload", "", false, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    PacketSummary s = datagram(c.xml);
    const PacketSummary before = s;
    ASSERT_EQ(decode_sadp_xml(s), c.ok);
    if (c.ok) {
      expect_device(s, c.want);
    } else {
      EXPECT_EQ(all_fields(s), all_fields(before));
    }
  }
}

TEST(SadpXml, EmptyValuesLeaveFieldsAlone) {
  PacketSummary s = datagram(
      "<ProbeMatch><MAC>44-19-b6-12-34-56</MAC><DeviceSN> </DeviceSN>"
      "<DeviceDescription></DeviceDescription></ProbeMatch>");
  s.mac = "00:11:22:33:44:55";
  s.name = "kept";
  s.model = "kept model";
  s.info = "kept info";
  ASSERT_TRUE(decode_sadp_xml(s));
  expect_device(
      s, {"SADP", "192.168.1.200", std::string(kCameraMac), "kept", "kept model", "kept info"});
}

// Only the first fragment of a long reply was captured.
TEST(SadpXml, FirstFragment) {
  const std::string cut(kProbeMatch.substr(0, kProbeMatch.find("<IPv4Gateway>") + 5));
  struct Case {
    const char* what;
    std::string xml;
    std::string source_mac;
    bool ok;
  };
  auto without = [&](std::string_view element) {
    std::string x = cut;
    const auto at = x.find(element);
    x.replace(at, 1, "<X");  // renames the element
    return x;
  };
  const Case cases[] = {
      {"cut reply from the device itself", cut, std::string(kCameraMac), true},
      {"complete reply also accepted", std::string(kProbeMatch), std::string(kCameraMac), true},
      {"sent by another station", cut, "44:19:B6:12:34:57", false},
      {"no source MAC", cut, "", false},
      {"no description", without("<DeviceDescription>"), std::string(kCameraMac), false},
      {"no address", without("<IPv4Address>"), std::string(kCameraMac), false},
      {"no MAC", without("<MAC>"), std::string(kCameraMac), false},
      {"no Types", without("<Types>"), std::string(kCameraMac), false},
      {"other Types",
       [&] {
         std::string x = cut;
         x.replace(x.find("inquiry"), 7, "update");
         return x;
       }(),
       std::string(kCameraMac), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    PacketSummary s = datagram(c.xml);
    s.partial = true;
    s.source_mac = c.source_mac;
    const PacketSummary before = s;
    ASSERT_EQ(decode_sadp_xml(s), c.ok);
    if (c.ok) {
      EXPECT_EQ(s.mac, kCameraMac);
      EXPECT_EQ(s.ip, "192.168.1.64");
      EXPECT_EQ(s.model, "DS-2CD2143G0-I");
      EXPECT_EQ(s.name, "DS-2CD2143G0-I20190101AAWRC12345678");
      // The fragment holds the mask; the gateway and what follows it are cut.
      EXPECT_EQ(s.settings.mask, "255.255.255.0");
      EXPECT_EQ(s.settings.gateway, c.xml == cut ? "" : "192.168.1.1");
      EXPECT_EQ(s.settings.activated.has_value(), c.xml != cut);
    } else {
      EXPECT_EQ(all_fields(s), all_fields(before));
    }
  }
}

TEST(SadpXml, EveryTruncationIsSafe) {
  const std::string full(kProbeMatch);
  for (bool partial : {false, true}) {
    for (std::size_t n = 0; n <= full.size(); ++n) {
      SCOPED_TRACE(testing::Message() << "partial " << partial << " size " << n);
      PacketSummary s = datagram(full.substr(0, n));
      s.partial = partial;
      s.source_mac = std::string(kCameraMac);
      const PacketSummary before = s;
      const bool ok = decode_sadp_xml(s);
      if (!partial) {
        EXPECT_EQ(ok, n == full.size());
      }
      if (!ok) {
        EXPECT_EQ(all_fields(s), all_fields(before));
      }
    }
  }
}

// ---------------------------------------------------------------------------
// DHIP (Dahua)

// A camera's device announcement body, as one line of JSON.
constexpr std::string_view kDahuaBody =
    R"({"mac":"3c:ef:8c:11:22:33","method":"client.notifyDevInfo","params":{"deviceInfo":{)"
    R"("AlarmInputChannels":2,"DeviceClass":"IPC","DeviceType":"IPC-HFW2431S-S-S2",)"
    R"("HttpPort":80,"IPv4Address":{"DefaultGateway":"192.168.1.1","DhcpEnable":false,)"
    R"("IPAddress":"192.168.1.108","SubnetMask":"255.255.255.0"},)"
    R"("IPv6Address":{"IPAddress":"fe80::3eef:8cff:fe11:2233/64"},"MachineName":"Brama",)"
    R"("Manufacturer":"Private","Port":37777,"SerialNo":"5J0ABCDEFG12345",)"
    R"("Version":"2.800.0000000.25.R","VideoInputChannels":1}}})";

// DHIP header in front of a body; the body length is given twice.
std::string dhip(std::string_view body, std::uint32_t header_size = 32) {
  std::string m = le32(header_size);                   // 0: header length
  m += "DHIP";                                         // 4: magic
  m += hex("00 00 00 00 01 00 00 00");                 // 8: not read (session, request id)
  m += le32(static_cast<std::uint32_t>(body.size()));  // 16: body length
  m += hex("00 00 00 00");                             // 20: not read
  m += le32(static_cast<std::uint32_t>(body.size()));  // 24: body length again
  m += hex("00 00 00 00");                             // 28: not read
  m.resize(header_size < 32 ? 32 : header_size, '\0');
  m += body;
  return m;
}

TEST(Dhip, CameraAnnouncement) {
  PacketSummary s = datagram(dhip(kDahuaBody), 37810);
  ASSERT_TRUE(decode_dhip(s));
  expect_device(s, {"Dahua", "192.168.1.108", "3C:EF:8C:11:22:33", "Brama", "IPC-HFW2431S-S-S2",
                    "2.800.0000000.25.R"});
}

std::string replaced(std::string text, std::string_view from, std::string_view to) {
  const auto at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

std::string body_with(std::string_view from, std::string_view to) {
  return replaced(std::string(kDahuaBody), from, to);
}

TEST(Dhip, Bodies) {
  struct Case {
    const char* what;
    std::string message;
    bool ok;
    Device want;  // starting from ip 192.168.1.200
  };
  const std::string body(kDahuaBody);
  const Device camera{"Dahua", "192.168.1.108",     "3C:EF:8C:11:22:33",
                      "Brama", "IPC-HFW2431S-S-S2", "2.800.0000000.25.R"};
  const Case cases[] = {
      {"trailing zero bytes covered by the body length", dhip(body + std::string(4, '\0')), true,
       camera},
      {"whitespace and zeros around the body", dhip(" \r\n" + body + "\n" + std::string(3, '\0')),
       true, camera},
      {"longer header", dhip(body, 40), true, camera},
      {"other method name", dhip(body_with("notifyDevInfo", "notifyDeviceInfo")), true, camera},
      {"whitespace after the colon", dhip(body_with(R"("method":)", "\"method\" : \t")), true,
       camera},
      {"empty machine name shows the serial",
       dhip(body_with(R"("MachineName":"Brama")", R"("MachineName":"")")),
       true,
       {"Dahua", "192.168.1.108", "3C:EF:8C:11:22:33", "5J0ABCDEFG12345", "IPC-HFW2431S-S-S2",
        "2.800.0000000.25.R"}},
      {"a machine name of control bytes shows the serial",
       dhip(body_with(R"("MachineName":"Brama")", R"("MachineName":"\u0001 \u007f")")),
       true,
       {"Dahua", "192.168.1.108", "3C:EF:8C:11:22:33", "5J0ABCDEFG12345", "IPC-HFW2431S-S-S2",
        "2.800.0000000.25.R"}},
      {"serial only",
       dhip(R"({"method":"client.notifyDevInfo","params":{"deviceInfo":{"SerialNo":"7K0"}}})"),
       true,
       {"Dahua", "192.168.1.200", "", "7K0", "", ""}},
      {"unusable mac and address leave the fields",
       dhip(replaced(body_with("3c:ef:8c:11:22:33", "ff:ff:ff:ff:ff:ff"), "192.168.1.108",
                     "127.0.0.1")),
       true,
       {"Dahua", "192.168.1.200", "", "Brama", "IPC-HFW2431S-S-S2", "2.800.0000000.25.R"}},
      {"escaped text in values",
       dhip(body_with(R"("Brama")", R"("Wjazd\tp\u00f3\u0142nocny")")),
       true,
       {"Dahua", "192.168.1.108", "3C:EF:8C:11:22:33", "Wjazd p\xc3\xb3\xc5\x82nocny",
        "IPC-HFW2431S-S-S2", "2.800.0000000.25.R"}},
      {"bare method word",
       dhip(body_with(R"("client.notifyDevInfo")", "client.notifyDevInfo")),
       false,
       {}},
      {"space inside the method",
       dhip(body_with("client.notifyDevInfo", "client.notifyDevInfo ")),
       false,
       {}},
      {"escaped method",
       dhip(body_with("client.notifyDevInfo", "client\\u002enotifyDevInfo")),
       false,
       {}},
      {"search request",
       dhip(R"({"method":"DHDiscover.search","params":{"mac":"","uni":1}})"),
       false,
       {}},
      {"neither type nor serial",
       dhip(R"({"method":"client.notifyDevInfo","params":{"deviceInfo":{"MachineName":"x"}}})"),
       false,
       {}},
      {"type only at the top level",
       dhip(R"({"method":"client.notifyDevInfo","DeviceType":"IPC","params":{}})"),
       false,
       {}},
      {"a second object after the body", dhip(body + "{}"), false, {}},
      {"unterminated body", dhip(body.substr(0, body.size() - 1)), false, {}},
      {"body is not an object", dhip(R"("client.notifyDevInfo")"), false, {}},
      {"empty body", dhip(""), false, {}},
      {"only zeros", dhip(std::string(16, '\0')), false, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    PacketSummary s = datagram(c.message, 37810);
    const PacketSummary before = s;
    ASSERT_EQ(decode_dhip(s), c.ok);
    if (c.ok) {
      expect_device(s, c.want);
    } else {
      EXPECT_EQ(all_fields(s), all_fields(before));
    }
  }
}

// Each settings field is taken only when well formed; a malformed one is
// absent and the answer is decoded all the same. DHIP keeps the serial also
// when the machine name gives the name.
TEST(DeviceSettings, TakenWhenWellFormed) {
  struct Case {
    const char* what;
    bool dhip;  // else SADP XML
    std::string_view from, to;
    void (*change)(DeviceSettings&);  // from what the camera says as sent
  };
  using D = DeviceSettings;
  const D sadp{true, false, "255.255.255.0", "192.168.1.1", "DS-2CD2143G0-I20190101AAWRC12345678",
               80};
  const D dahua{std::nullopt, false, "255.255.255.0", "192.168.1.1", "5J0ABCDEFG12345", 0};
  const Case cases[] = {
      {"SADP: as sent", false, "", "", [](D&) {}},
      {"SADP: flag in capitals, trimmed", false, ">true<", "> FALSE\n<",
       [](D& d) { d.activated = false; }},
      {"SADP: flag spelled otherwise", false, "<DHCP>false", "<DHCP>0", [](D& d) { d.dhcp = {}; }},
      {"SADP: mask with holes is kept", false, ">255.255.255.0<", ">255.0.255.0<",
       [](D& d) { d.mask = "255.0.255.0"; }},
      {"SADP: no gateway", false, ">192.168.1.1<", ">0.0.0.0<",
       [](D& d) { d.gateway = "0.0.0.0"; }},
      {"SADP: gateway of three parts", false, ">192.168.1.1<", ">192.168.1<",
       [](D& d) { d.gateway = ""; }},
      {"SADP: port with leading zeros", false, ">80<", "> 00080 <", [](D&) {}},
      {"SADP: port beyond 65535", false, ">80<", ">65536<", [](D& d) { d.http_port = 0; }},
      {"SADP: port of too many digits", false, ">80<", ">000000080<",
       [](D& d) { d.http_port = 0; }},
      {"DHIP: as sent", true, "", "", [](D&) {}},
      {"DHIP: flag as a string", true, ":false", R"(:"TRUE")", [](D& d) { d.dhcp = true; }},
      {"DHIP: gateway of 256 and flag 1", true, R"(1.1","DhcpEnable":false)",
       R"(1.256","DhcpEnable":1)",
       [](D& d) {
         d.gateway = "";
         d.dhcp = {};
       }},
      {"DHIP: mask as a number", true, R"("255.255.255.0")", "24", [](D& d) { d.mask = ""; }},
  };
  auto fields = [](const D& d) {
    return std::tie(d.activated, d.dhcp, d.mask, d.gateway, d.serial, d.http_port);
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string message(c.dhip ? kDahuaBody : kProbeMatch);
    if (!c.from.empty()) message = replaced(message, c.from, c.to);
    PacketSummary s = c.dhip ? datagram(dhip(message), 37810) : datagram(message);
    ASSERT_TRUE(c.dhip ? decode_dhip(s) : decode_sadp_xml(s));
    D want = c.dhip ? dahua : sadp;
    c.change(want);
    EXPECT_EQ(fields(s.settings), fields(want));
  }
}

TEST(Dhip, HeadersThatLie) {
  const std::string good = dhip(kDahuaBody);
  const auto body_size = static_cast<std::uint32_t>(kDahuaBody.size());
  struct Case {
    const char* what;
    std::size_t offset;
    std::string bytes;
  };
  const Case cases[] = {
      {"header length 31", 0, le32(31)},
      {"header length 0", 0, le32(0)},
      {"header length beyond the payload", 0, le32(static_cast<std::uint32_t>(good.size() + 1))},
      {"header length 4 GiB", 0, le32(0xFFFFFFFF)},
      {"magic", 4, "DHIQ"},
      {"body length one too long", 16, le32(body_size + 1)},
      {"body length 4 GiB", 16, le32(0xFFFFFFFF)},
      {"second body length differs", 24, le32(body_size - 1)},
      {"both body lengths 4 GiB", 16, le32(0xFFFFFFFF) + std::string(4, '\0') + le32(0xFFFFFFFF)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string m = good;
    m.replace(c.offset, c.bytes.size(), c.bytes);
    PacketSummary s = datagram(m, 37810);
    const PacketSummary before = s;
    EXPECT_FALSE(decode_dhip(s));
    EXPECT_EQ(all_fields(s), all_fields(before));
  }
  // The header alone may be longer than what is stored: exactly at the end
  // is an empty body, which is not an announcement.
  PacketSummary s = datagram(dhip("", 64), 37810);
  EXPECT_FALSE(decode_dhip(s));
}

TEST(Dhip, EveryTruncationIsSafe) {
  const std::string full = dhip(kDahuaBody);
  for (std::size_t n = 0; n < full.size(); ++n) {
    SCOPED_TRACE(n);
    PacketSummary s = datagram(full.substr(0, n), 37810);
    const PacketSummary before = s;
    EXPECT_FALSE(decode_dhip(s));
    EXPECT_EQ(all_fields(s), all_fields(before));
  }
}

TEST(Dhip, DeepNestingIsRejectedWhole) {
  std::string deep = R"({"method":"client.notifyDevInfo","params":{"deviceInfo":{"SerialNo":"1"}},)"
                     R"("x":)";
  deep += std::string(16, '[') + std::string(16, ']') + "}";
  PacketSummary ok = datagram(dhip(deep), 37810);
  EXPECT_FALSE(decode_dhip(ok));  // 17 levels with the outer object
  std::string shallow =
      R"({"method":"client.notifyDevInfo","params":{"deviceInfo":{"SerialNo":"1"}},)"
      R"("x":)";
  shallow += std::string(15, '[') + std::string(15, ']') + "}";
  PacketSummary s = datagram(dhip(shallow), 37810);
  EXPECT_TRUE(decode_dhip(s));
  EXPECT_EQ(s.name, "1");
}

}  // namespace
}  // namespace norvane
