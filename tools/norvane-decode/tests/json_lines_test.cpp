// Output rules of norvane-decode: JSON escaping of device bytes, UTF-16
// conversion of display texts, and the list's default device order.
#include "json_lines.h"

#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

#include "base/address.h"
#include "vendors/vendor_table.h"

namespace norvane::tool {
namespace {

std::string as_json(std::string_view bytes) {
  std::string out;
  append_json_string(out, bytes);
  return out;
}

TEST(JsonString, EscapesWhatJsonForbidsAndKeepsWellFormedUtf8) {
  using namespace std::string_literals;
  struct Case {
    std::string in;
    std::string out;
  };
  const Case cases[] = {
      {"", R"("")"},
      {"Camera 1", R"("Camera 1")"},
      {R"(say "hi" \ bye)", R"("say \"hi\" \\ bye")"},
      {"a\nb\rc\td", R"("a\nb\rc\td")"},
      {"\x01\x1f\x7f"s, R"("\u0001\u001f\u007f")"},
      {"cut\0here"s, R"("cut\u0000here")"},
      {"Kamera \xC3\xA9", "\"Kamera \xC3\xA9\""},             // é, two bytes
      {"\xE2\x82\xAC", "\"\xE2\x82\xAC\""},                   // €, three bytes
      {"\xF0\x9F\x93\xB7", "\"\xF0\x9F\x93\xB7\""},           // camera emoji, four bytes
      {"Caf\xE9", R"("Caf\u00e9")"},                          // Latin-1 byte alone
      {"\xC0\x80", R"("\u00c0\u0080")"},                      // overlong zero
      {"\xE0\x80\xAF", R"("\u00e0\u0080\u00af")"},            // overlong slash
      {"\xED\xA0\x80", R"("\u00ed\u00a0\u0080")"},            // encoded surrogate
      {"\xF4\x90\x80\x80", R"("\u00f4\u0090\u0080\u0080")"},  // above U+10FFFF
      {"\xF5\x80\x80\x80", R"("\u00f5\u0080\u0080\u0080")"},  // lead byte never valid
      {"\xE2\x82", R"("\u00e2\u0082")"},                      // sequence cut by the end
      {"\xE2\x82"
       "A",
       R"("\u00e2\u0082A")"},                   // cut by an ASCII byte
      {"\x80\xBF", R"("\u0080\u00bf")"},        // stray continuations
      {"\xFF\xC3\xA9", "\"\\u00ff\xC3\xA9\""},  // bad byte, then valid
  };
  for (const Case& c : cases) {
    EXPECT_EQ(as_json(c.in), c.out) << "input of " << c.in.size() << " bytes";
  }
}

TEST(JsonString, EveryByteValueGivesPrintableAsciiOrValidUtf8) {
  for (int b = 0; b < 256; ++b) {
    const std::string out = as_json(std::string(1, static_cast<char>(b)));
    ASSERT_GE(out.size(), 3u);
    for (const char c : out) {
      EXPECT_TRUE(c >= 0x20 && c < 0x7F) << "byte " << b << " written raw";
    }
  }
}

TEST(Utf16ToUtf8, PairsSurrogatesAndReplacesLoneOnes) {
  struct Case {
    std::u16string in;
    std::string out;
  };
  const Case cases[] = {
      {u"", ""},
      {u"192.168.1.10", "192.168.1.10"},
      {u"Za\u017C\u00F3\u0142\u0107", "Za\xC5\xBC\xC3\xB3\xC5\x82\xC4\x87"},
      {u"\u20AC", "\xE2\x82\xAC"},
      {std::u16string{0xD83D, 0xDCF7}, "\xF0\x9F\x93\xB7"},
      {std::u16string{u'a', 0xD83D}, "a\xEF\xBF\xBD"},  // high half at the end
      {std::u16string{0xDCF7, u'b'},
       "\xEF\xBF\xBD"
       "b"},  // low half alone
      {std::u16string{0xD83D, 0xD83D, 0xDCF7}, "\xEF\xBF\xBD\xF0\x9F\x93\xB7"},
  };
  for (const Case& c : cases) EXPECT_EQ(utf16_to_utf8(c.in), c.out);
}

TEST(Lines, FrameAndDeviceObjectsHaveFixedKeysInOrder) {
  PacketSummary s;
  s.protocol = "SADP";
  s.ip = "192.168.1.64";
  s.mac = "00:11:22:33:44:55";
  s.source_mac = "00:11:22:33:44:55";
  s.name = "DS-2CD\xFF";
  s.info = "V5.5 \"build\"";
  std::string out;
  append_frame_line(out, 42, s);
  EXPECT_EQ(out, R"({"frame":42,"protocol":"SADP","ip":"192.168.1.64","mac":"00:11:22:33:44:55",)"
                 R"("source_mac":"00:11:22:33:44:55","name":"DS-2CD\u00ff","model":"",)"
                 R"("info":"V5.5 \"build\""})"
                 "\n");

  DeviceRow row;
  row.columns[kColIp] = u"fe80::1";
  row.columns[kColMac] = u"00:11:22:33:44:55";
  row.columns[kColVendor] = u"Hikvision";
  row.columns[kColName] = u"Brama\tp\u00F3\u0142nocna";
  row.columns[kColProtocols] = u"SADP, mDNS";
  row.category = 0;
  row.accent_index = 1;
  out.clear();
  append_device_line(out, row);
  EXPECT_EQ(out, R"({"ip":"fe80::1","mac":"00:11:22:33:44:55","vendor":"Hikvision",)"
                 "\"name\":\"Brama\\tp\xC3\xB3\xC5\x82nocna\",\"model\":\"\","
                 R"("protocols":["SADP","mDNS"],"info":"","category":0,"accent":1,"state":[]})"
                 "\n");
  // The times the merge clock told, and a single protocol.
  row.columns[kColProtocols] = u"LLDP";
  row.first_seen_ms = 1796870511123;
  row.last_seen_ms = 1796870512000;
  out.clear();
  append_device_line(out, row);
  EXPECT_NE(out.find(R"("protocols":["LLDP"],)"), std::string::npos) << out;
  EXPECT_TRUE(out.ends_with(R"("first_seen":"2026-12-10T02:41:51.123Z",)"
                            R"("last_seen":"2026-12-10T02:41:52.000Z"})"
                            "\n"))
      << out;

  // What a device says of itself, and a goodbye, reach the frame's line.
  s.settings.activated = false;
  s.settings.http_port = 80;
  s.departure = true;
  out.clear();
  append_frame_line(out, 7, s);
  EXPECT_TRUE(out.ends_with(R"("info":"V5.5 \"build\"","activated":false,"http_port":80,)"
                            R"("departure":true})"
                            "\n"))
      << out;
}

// The members after "accent": the state tokens, then the known settings.
std::string state_members(const std::string& line) {
  const std::size_t at = line.find(",\"state\":");
  return at == std::string::npos ? line : line.substr(at);
}

TEST(Lines, DeviceStateAndSettingsAsTheTableTellsThem) {
  // As norvane-scan runs it: the adapter at 192.168.1.2/24.
  VendorTable vendors;
  DeviceTable table(vendors);
  LocalNetwork local;
  parse_ipv4("192.168.1.2", reinterpret_cast<std::uint8_t*>(&local.ipv4));
  local.prefix_length = 24;
  local.mac = "02:00:00:00:00:02";
  table.set_local_network(local);
  const auto summary = [](std::string_view protocol, std::string ip, std::string mac) {
    PacketSummary s;
    s.protocol = protocol;
    s.ip = std::move(ip);
    s.mac = std::move(mac);
    s.source_mac = s.mac;
    return s;
  };
  // Not activated, a /16 mask and a gateway outside it; its address claimed
  // by another MAC in ARP.
  PacketSummary camera = summary("SADP", "192.168.1.64", "44:19:B6:00:00:64");
  camera.settings = {false, true, "255.255.0.0", "10.0.0.1", "DS\"1\xFF", 8000};
  table.merge(camera);
  PacketSummary claim = summary("ARP", "192.168.1.64", "02:00:00:00:00:99");
  claim.arp_claim = true;
  table.merge(claim);
  // Elsewhere, well set up.
  PacketSummary far = summary("SADP", "10.1.1.5", "44:19:B6:00:00:05");
  far.settings = {true, false, "255.255.255.0", "10.1.1.1", "", 0};
  table.merge(far);
  // Said goodbye; a goodbye of a device never seen makes no row.
  table.merge(summary("SSDP", "192.168.1.70", "00:11:32:00:00:70"));
  PacketSummary bye = summary("SSDP", "192.168.1.70", "00:11:32:00:00:70");
  bye.departure = true;
  table.merge(bye);
  bye.mac = bye.source_mac = "00:11:32:00:00:71";
  table.merge(bye);
  // The switch at the other end of the cable names its port.
  PacketSummary lldp = summary("LLDP", "192.168.1.250", "00:1B:54:00:00:01");
  lldp.port = {"Gi1/0/7", "to laptop", 20};
  table.merge(lldp);

  const std::string expected[] = {
      R"(,"state":["outside-subnet"],"activated":true,"mask":"255.255.255.0",)"
      R"("gateway":"10.1.1.1","dhcp":false})",
      R"(,"state":["not-activated","ip-conflict","mask-differs","gateway-outside"],)"
      R"("activated":false,"mask":"255.255.0.0","gateway":"10.0.0.1","dhcp":true,)"
      R"("http_port":8000,"serial":"DS\"1\u00ff"})",
      R"(,"state":["gone"]})",
      R"(,"state":[],"port_id":"Gi1/0/7","port_description":"to laptop","port_vlan":20})",
  };
  const std::vector<std::size_t> order = device_order(table);
  ASSERT_EQ(order.size(), std::size(expected));
  for (std::size_t i = 0; i < order.size(); ++i) {
    std::string line;
    append_device_line(line, table.row(order[i]));
    EXPECT_EQ(state_members(line), expected[i] + "\n");
  }
}

TEST(DeviceOrder, AddressColumnAscendingAsTheListSortsIt) {
  // Devices in discovery order, each with its own MAC; the IP texts reach
  // the address column through the merge.
  const char* const ips[] = {
      "",             // 0: no address
      "10.0.0.10",    // 1
      "fe80::1",      // 2
      "not-an-ip",    // 3: shown, but no parsable address
      "10.0.0.2",     // 4: before 10.0.0.10 by address, not by text
      "192.168.1.1",  // 5
      "10.0.0.2",     // 6: same address as 4, later
      "ABC",          // 7: before "not-an-ip" ignoring case
      "",             // 8: no address
      "2001:db8::1",  // 9
  };
  VendorTable vendors;
  DeviceTable table(vendors);
  for (std::size_t i = 0; i < std::size(ips); ++i) {
    PacketSummary s;
    s.mac = "00:1B:21:00:00:0" + std::to_string(i);
    s.source_mac = s.mac;
    s.ip = ips[i];
    s.protocol = "LLDP";
    table.merge(s);
  }
  ASSERT_EQ(table.size(), std::size(ips));
  const std::vector<std::size_t> expected = {4, 6, 1, 5, 9, 2, 7, 3, 0, 8};
  EXPECT_EQ(device_order(table), expected);
}

}  // namespace
}  // namespace norvane::tool
