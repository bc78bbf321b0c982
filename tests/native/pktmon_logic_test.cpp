// Packet Monitor back-end rules: data source scoring and selection, failure
// texts, the stream descriptor checks and the 802.11 to Ethernet II
// conversion.
#include "capture/pktmon_logic.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "support/message_bytes.h"

namespace norvane::pktmon {
namespace {

using test::Bytes;
using test::hex;

const std::array<std::uint8_t, 16> kGuid = {0x78, 0x56, 0x34, 0x12, 0xBC, 0x9A, 0xF0, 0xDE,
                                            0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
const std::u16string kGuidText = u"{12345678-9ABC-DEF0-0123-456789ABCDEF}";
const MacBytes kMac = {0x00, 0x1B, 0x21, 0xAA, 0xBB, 0xCC};
const MacBytes kPermanentMac = {0x00, 0x1B, 0x21, 0x11, 0x22, 0x33};

AdapterIdentity adapter() {
  AdapterIdentity a;
  a.guid = kGuid;
  a.guid_text = guid_text(kGuid);
  a.interface_name = u"ethernet_32769";
  a.description = u"Intel(R) Ethernet Connection I219-V";
  a.row_known = true;
  a.physical_length = 6;
  a.current_address = kMac;
  a.permanent_address = kPermanentMac;
  return a;
}

struct Source {
  std::u16string name;
  std::u16string description;
  std::uint32_t flags = 0;
  Bytes id;  // up to 16 bytes at offset 408
};

void put_text(Bytes& record, std::size_t offset, std::size_t units, const std::u16string& text) {
  for (std::size_t i = 0; i < text.size() && i < units; ++i) {
    record[offset + 2 * i] = static_cast<std::uint8_t>(text[i]);
    record[offset + 2 * i + 1] = static_cast<std::uint8_t>(text[i] >> 8);
  }
}

Bytes record(const Source& s) {
  Bytes r(kSourceSize, 0);
  put_text(r, kSourceNameOffset, kSourceNameUnits, s.name);
  put_text(r, kSourceDescriptionOffset, kSourceDescriptionUnits, s.description);
  for (int i = 0; i < 4; ++i)
    r[kSourceFlagsOffset + i] = static_cast<std::uint8_t>(s.flags >> 8 * i);
  std::copy(s.id.begin(), s.id.end(), r.begin() + kSourceIdOffset);
  return r;
}

Bytes guid_id() { return Bytes(kGuid.begin(), kGuid.end()); }
Bytes mac_id(const MacBytes& mac) { return Bytes(mac.begin(), mac.end()); }

TEST(PktMonText, GuidAndFailureTexts) {
  EXPECT_EQ(guid_text(kGuid), kGuidText);
  EXPECT_EQ(guid_text({}), u"{00000000-0000-0000-0000-000000000000}");

  const struct {
    std::u16string step;
    std::uint32_t code;
    std::u16string text;
  } cases[] = {
      {u"Nie można uruchomić PktMon", 0x80004005, u"Nie można uruchomić PktMon (0x80004005)."},
      {u"Nie można odczytać interfejsów PktMon", 0x8007007A,
       u"Nie można odczytać interfejsów PktMon (0x8007007A)."},
      {u"Nieprawidłowa lista interfejsów PktMon", kErrorInvalidData,
       u"Nieprawidłowa lista interfejsów PktMon (0x8007000D)."},
      {u"Nie można utworzyć sesji PktMon", 0x1, u"Nie można utworzyć sesji PktMon (0x00000001)."},
      {u"Nie można uruchomić PktMon", kErrorAccessDenied,
       u"Przechwytywanie PktMon wymaga uruchomienia jako administrator."},
      {u"Nie można włączyć przechwytywania PktMon", kErrorPrivilegeNotHeld,
       u"Przechwytywanie PktMon wymaga uruchomienia jako administrator."},
      {u"Nie można podłączyć strumienia PktMon", 0x80070006,
       u"Nie można podłączyć strumienia PktMon (0x80070006)."},
  };
  for (const auto& c : cases) EXPECT_EQ(describe_failure(c.step, c.code), c.text);

  EXPECT_EQ(stream_error_text(0), u"");
  EXPECT_EQ(stream_error_text(995), u"Błąd strumienia PktMon (995).");
  EXPECT_EQ(stream_error_text(574), u"Błąd strumienia PktMon (574).");
  EXPECT_EQ(stream_error_text(4294967295u), u"Błąd strumienia PktMon (4294967295).");
}

TEST(PktMonText, RecordTextEndsAtZeroOrFieldEnd) {
  const std::u16string full(kSourceNameUnits, u'x');
  Bytes r = record({full + u"spill", u"ąbc", 0, {}});
  EXPECT_EQ(record_text(r, kSourceNameOffset, kSourceNameUnits), full);
  EXPECT_EQ(record_text(r, kSourceDescriptionOffset, kSourceDescriptionUnits), u"ąbc");
  EXPECT_EQ(record_text(Bytes(5, 0x41), 2, 10), u"\u4141");  // stops at the buffer's end
}

TEST(PktMonScore, EachRuleOfTheScore) {
  AdapterIdentity unique = adapter();
  unique.description_unique = true;
  AdapterIdentity no_row = unique;
  no_row.row_known = false;
  AdapterIdentity long_address = unique;
  long_address.physical_length = 8;
  AdapterIdentity empty_description = unique;
  empty_description.description.clear();

  const std::u16string desc = u"Intel(R) Ethernet Connection I219-V";
  const std::u16string lower_guid = u"{12345678-9abc-def0-0123-456789abcdef}";
  const struct {
    const char* what;
    Source source;
    AdapterIdentity adapter;
    int score;
  } cases[] = {
      {"GUID flag, same GUID", {u"", u"", kSourceHasGuid, guid_id()}, adapter(), 4},
      {"GUID flag, other GUID, name matching",
       {kGuidText, desc, kSourceHasGuid, Bytes(16, 0x11)},
       unique,
       0},
      {"name ends with the GUID text, any case",
       {u"\\Device\\" + lower_guid, u"", 0, {}},
       adapter(),
       4},
      {"name is the GUID text", {kGuidText, u"", 0, {}}, adapter(), 4},
      {"name holds only part of the GUID", {kGuidText.substr(1), u"", 0, {}}, adapter(), 0},
      {"full-width name ending with the GUID",
       {std::u16string(kSourceNameUnits - 38, u'n') + kGuidText, u"", 0, {}},
       adapter(),
       4},
      {"name is the interface name", {u"ETHERNET_32769", u"", 0, {}}, adapter(), 4},
      {"MAC and description", {u"x", desc, kSourceHasMac, mac_id(kMac)}, adapter(), 3},
      {"MAC only", {u"x", u"other", kSourceHasMac, mac_id(kMac)}, adapter(), 2},
      {"permanent MAC and description",
       {u"x", desc, kSourceHasMac, mac_id(kPermanentMac)},
       adapter(),
       3},
      {"zero MAC, description matching", {u"x", desc, kSourceHasMac, Bytes(6, 0)}, unique, 0},
      {"other MAC, description unique and matching",
       {u"x", desc, kSourceHasMac, mac_id({2, 0, 0, 0, 0, 1})},
       unique,
       0},
      {"MAC flag without the row: the description decides",
       {u"x", desc, kSourceHasMac, mac_id(kMac)},
       no_row,
       1},
      {"MAC flag with an 8-byte address: the description decides",
       {u"x", desc, kSourceHasMac, mac_id(kMac)},
       long_address,
       1},
      {"description unique and matching, any case",
       {u"x", u"INTEL(R) ETHERNET CONNECTION I219-V", 0, {}},
       unique,
       1},
      {"description matching but not unique", {u"x", desc, 0, {}}, adapter(), 0},
      {"empty descriptions equal nothing", {u"x", u"", 0, {}}, empty_description, 0},
      {"nothing matches", {u"y", u"z", 0, {}}, unique, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(score_source(record(c.source), c.adapter, nullptr), c.score) << c.what;
  }
  EXPECT_EQ(score_source(Bytes(kSourceSize - 1, 0), adapter(), nullptr), 0);
}

// A list buffer as the enumeration fills it: count, pointers, then records.
struct SourceList {
  Bytes buffer;
  std::uintptr_t base() const { return reinterpret_cast<std::uintptr_t>(buffer.data()); }
  std::size_t record_at(std::size_t i) const { return 8 + 8 * count + kSourceSize * i; }
  std::size_t count = 0;
};

SourceList source_list(const std::vector<Source>& sources, std::size_t extra = 0) {
  SourceList list;
  list.count = sources.size();
  list.buffer.assign(8 + 8 * sources.size() + kSourceSize * sources.size() + extra, 0);
  list.buffer[0] = static_cast<std::uint8_t>(sources.size());
  for (std::size_t i = 0; i < sources.size(); ++i) {
    const Bytes r = record(sources[i]);
    std::copy(r.begin(), r.end(), list.buffer.begin() + list.record_at(i));
    const std::uint64_t pointer = list.base() + list.record_at(i);
    std::memcpy(list.buffer.data() + 8 + 8 * i, &pointer, 8);
  }
  return list;
}

void set_pointer(SourceList& list, std::size_t i, std::uint64_t pointer) {
  std::memcpy(list.buffer.data() + 8 + 8 * i, &pointer, 8);
}

TEST(PktMonSelection, HighestUniqueScoreWinsAndTiesClear) {
  AdapterIdentity unique = adapter();
  unique.description_unique = true;
  const std::u16string desc = unique.description;
  const Source by_guid{u"a", u"", kSourceHasGuid, guid_id()};
  const Source by_mac{u"b", desc, kSourceHasMac, mac_id(kMac)};      // 3
  const Source by_mac_only{u"c", u"", kSourceHasMac, mac_id(kMac)};  // 2
  const Source by_description{u"d", desc, 0, {}};                    // 1 when unique
  const Source none{u"e", u"f", 0, {}};                              // 0

  const struct {
    const char* what;
    std::vector<Source> sources;
    AdapterIdentity adapter;
    std::optional<std::size_t> chosen;  // index into sources
  } cases[] = {
      {"GUID beats MAC and description", {by_mac, by_description, by_guid}, unique, 2},
      {"two GUID matches: no choice", {by_guid, none, by_guid}, unique, std::nullopt},
      {"two description matches, description not unique",
       {by_description, by_description},
       adapter(),
       std::nullopt},
      {"lower ties do not matter after a higher score",
       {by_guid, by_mac_only, by_mac_only},
       unique,
       0},
      {"a tie is cleared, a later higher score chooses",
       {by_mac_only, by_mac_only, by_mac},
       unique,
       2},
      {"a tie after the best clears it", {by_mac, by_mac_only, by_mac}, unique, std::nullopt},
      {"only zero scores", {none, none}, unique, std::nullopt},
      {"single description match", {none, by_description}, unique, 1},
      {"empty list", {}, unique, std::nullopt},
  };
  for (const auto& c : cases) {
    const SourceList list = source_list(c.sources);
    const auto chosen = choose_source(list.buffer, list.base(), c.adapter, nullptr);
    if (c.chosen) {
      ASSERT_TRUE(chosen.has_value()) << c.what;
      EXPECT_EQ(*chosen, list.record_at(*c.chosen)) << c.what;
    } else {
      EXPECT_FALSE(chosen.has_value()) << c.what;
    }
  }
}

TEST(PktMonSelection, PointersAndCountsThatDoNotFitAreRefused) {
  const Source by_guid{u"a", u"", kSourceHasGuid, guid_id()};
  const Source by_mac{u"b", u"", kSourceHasMac, mac_id(kMac)};
  const AdapterIdentity a = adapter();

  // A pointer before the buffer, or one whose record would run past its end,
  // is skipped: the other source is then the only one with a score.
  for (std::uint64_t bad : {std::uint64_t{0}, std::uint64_t{1}, ~std::uint64_t{0}}) {
    SourceList list = source_list({by_guid, by_mac});
    set_pointer(list, 0, bad);
    EXPECT_EQ(choose_source(list.buffer, list.base(), a, nullptr), list.record_at(1));
  }
  {
    SourceList list = source_list({by_mac, by_guid});
    set_pointer(list, 1, list.base() + list.buffer.size() - kSourceSize + 1);
    EXPECT_EQ(choose_source(list.buffer, list.base(), a, nullptr), list.record_at(0));
  }
  {
    // The last whole record still counts.
    SourceList list = source_list({by_mac, by_guid});
    EXPECT_EQ(list.record_at(1) + kSourceSize, list.buffer.size());
    EXPECT_EQ(choose_source(list.buffer, list.base(), a, nullptr), list.record_at(1));
  }

  // The pointer array itself must fit.
  Bytes buffer(8 + 8 * 3, 0);
  buffer[0] = 3;
  EXPECT_TRUE(list_fits(buffer));
  buffer[0] = 4;
  EXPECT_FALSE(list_fits(buffer));
  EXPECT_FALSE(list_fits(Bytes(7, 0)));
  EXPECT_TRUE(list_fits(Bytes(8, 0)));
  buffer.assign(kEnumBufferSize, 0xFF);  // count 0xFFFFFFFF
  EXPECT_FALSE(list_fits(buffer));
  EXPECT_FALSE(choose_source(buffer, reinterpret_cast<std::uintptr_t>(buffer.data()), a, nullptr));
}

// ---------------------------------------------------------------------------
// 802.11 data frames

constexpr const char* kDa = "01 00 5e 00 00 fb";
constexpr const char* kSa = "00 11 22 33 44 55";
constexpr const char* kBssid = "00 aa bb cc dd ee";
constexpr const char* kWdsSa = "02 44 44 44 44 44";
constexpr const char* kSnapIpv4 = "aa aa 03 00 00 00 | 08 00";
constexpr const char* kPayload = "45 00 00 1c de ad be ef";

// A data frame: frame control, duration, three addresses in the order given,
// sequence control, optional fourth address and QoS / HT control, then body.
Bytes wifi(const std::string& fc, const std::string& a1, const std::string& a2,
           const std::string& a3, const std::string& tail, const std::string& body) {
  return hex(fc + " 00 00 " + a1 + a2 + a3 + " 10 00 " + tail + body);
}

TEST(PktMonWifi, DataFramesBecomeEthernet) {
  const std::string snap_body = std::string(kSnapIpv4) + kPayload;
  const Bytes ethernet_ipv4 = hex(std::string(kDa) + kSa + "08 00" + kPayload);
  const struct {
    const char* what;
    Bytes frame;
    Bytes ethernet;
  } cases[] = {
      // FromDS: A1 destination, A2 BSSID, A3 source.
      {"QoS data from the access point", wifi("88 02", kDa, kBssid, kSa, "00 00", snap_body),
       ethernet_ipv4},
      {"data from the access point", wifi("08 02", kDa, kBssid, kSa, "", snap_body), ethernet_ipv4},
      // ToDS: A1 BSSID, A2 source, A3 destination.
      {"data to the access point", wifi("08 01", kBssid, kSa, kDa, "", snap_body), ethernet_ipv4},
      // Neither: A1 destination, A2 source, A3 BSSID.
      {"data between stations", wifi("08 00", kDa, kSa, kBssid, "", snap_body), ethernet_ipv4},
      // Both: A1 receiver, A2 transmitter, A3 destination, A4 source.
      {"four-address data", wifi("08 03", kBssid, kBssid, kDa, kWdsSa, snap_body),
       hex(std::string(kDa) + kWdsSa + "08 00" + kPayload)},
      {"four-address QoS data with HT control",
       wifi("88 83", kBssid, kBssid, kDa, std::string(kWdsSa) + "07 00 | 01 02 03 04", snap_body),
       hex(std::string(kDa) + kWdsSa + "08 00" + kPayload)},
      {"QoS data with HT control",
       wifi("88 82", kDa, kBssid, kSa, "00 00 | 00 00 00 00", snap_body), ethernet_ipv4},
      {"bridge-tunnel SNAP", wifi("08 02", kDa, kBssid, kSa, "", "aa aa 03 00 00 f8 80 f3 01"),
       hex(std::string(kDa) + kSa + "80 f3 01")},
      {"EtherType alone, no payload",
       wifi("08 02", kDa, kBssid, kSa, "", "aa aa 03 00 00 00 88 cc"),
       hex(std::string(kDa) + kSa + "88 cc")},
      {"retry and power bits do not matter", wifi("08 1a", kDa, kBssid, kSa, "", snap_body),
       ethernet_ipv4},
  };
  std::array<std::uint8_t, kFrameBufferSize> out{};
  for (const auto& c : cases) {
    const std::size_t n = wifi_to_ethernet(c.frame, out);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(n)), c.ethernet)
        << c.what;
  }
  // L - H + 6 for the QoS frame from the access point (H = 26).
  const Bytes qos = cases[0].frame;
  EXPECT_EQ(wifi_to_ethernet(qos, out), qos.size() - 26 + 6);
}

TEST(PktMonWifi, FramesThatAreNotDelivered) {
  const std::string snap_body = std::string(kSnapIpv4) + kPayload;
  const struct {
    const char* what;
    Bytes frame;
  } cases[] = {
      {"protected", wifi("88 42", kDa, kBssid, kSa, "00 00", snap_body)},
      {"more fragments follow", wifi("08 06", kDa, kBssid, kSa, "", snap_body)},
      {"null frame", wifi("48 01", kBssid, kSa, kDa, "", "")},
      {"QoS null frame", wifi("c8 01", kBssid, kSa, kDa, "00 00", "")},
      {"beacon", wifi("80 00", "ff ff ff ff ff ff", kBssid, kBssid, "", snap_body)},
      {"control frame", wifi("d4 00", kDa, kBssid, kSa, "", snap_body)},
      {"protocol version 1", wifi("09 02", kDa, kBssid, kSa, "", snap_body)},
      {"aggregated (A-MSDU)", wifi("88 02", kDa, kBssid, kSa, "80 00", snap_body)},
      {"no SNAP header", wifi("08 02", kDa, kBssid, kSa, "", "e0 e0 03 00 00 00 08 00")},
      {"other OUI", wifi("08 02", kDa, kBssid, kSa, "", "aa aa 03 00 00 01 08 00")},
      {"SNAP cut short", wifi("08 02", kDa, kBssid, kSa, "", "aa aa 03 00 00 00 08")},
      {"QoS field cut short", wifi("88 02", kDa, kBssid, kSa, "", "")},
      {"HT control cut short", wifi("88 82", kDa, kBssid, kSa, "00 00", "aa aa 03 00")},
      {"23 bytes", Bytes(23, 0x08)},
      {"empty", Bytes{}},
  };
  std::array<std::uint8_t, kFrameBufferSize> out{};
  for (const auto& c : cases) EXPECT_EQ(wifi_to_ethernet(c.frame, out), 0u) << c.what;

  // A later fragment (number 1) of an otherwise good frame.
  Bytes fragment = wifi("08 02", kDa, kBssid, kSa, "", snap_body);
  fragment[22] = 0x11;
  EXPECT_EQ(wifi_to_ethernet(fragment, out), 0u);
}

TEST(PktMonWifi, LengthLimitOfTheFrameBuffer) {
  std::array<std::uint8_t, kFrameBufferSize> out{};
  for (const std::size_t rest : {kMaxEtherPayload - 1, kMaxEtherPayload, kMaxEtherPayload + 1}) {
    Bytes frame = wifi("08 02", kDa, kBssid, kSa, "", "aa aa 03 00 00 00");
    frame.resize(frame.size() + rest, 0x5A);
    const std::size_t n = wifi_to_ethernet(frame, out);
    EXPECT_EQ(n, rest <= kMaxEtherPayload ? rest + 12 : 0u) << rest;
    if (n != 0) {
      EXPECT_EQ(out[n - 1], 0x5A);
    }
  }
}

// ---------------------------------------------------------------------------
// Stream packets

struct StreamPacket {
  Bytes data;
  StreamDataDescriptor descriptor{};
};

// Data: 8 bytes of something else, 16 bytes of metadata, then the packet.
StreamPacket stream_packet(std::uint16_t status, std::uint16_t type, const Bytes& packet) {
  StreamPacket p;
  p.data.assign(8 + 16, 0);
  p.data[8 + 12] = static_cast<std::uint8_t>(status);
  p.data[8 + 13] = static_cast<std::uint8_t>(status >> 8);
  p.data[8 + 14] = static_cast<std::uint8_t>(type);
  p.data[8 + 15] = static_cast<std::uint8_t>(type >> 8);
  p.data.insert(p.data.end(), packet.begin(), packet.end());
  p.descriptor = {p.data.data(), static_cast<std::uint32_t>(p.data.size()), 8, 24,
                  static_cast<std::uint32_t>(packet.size())};
  return p;
}

TEST(PktMonStream, WhichPacketsAreDelivered) {
  const Bytes eth14 = hex(std::string(kDa) + kSa + "08 06");
  const Bytes eth13(eth14.begin(), eth14.end() - 1);
  const Bytes wifi_frame = wifi("08 02", kDa, kBssid, kSa, "", std::string(kSnapIpv4) + kPayload);
  const Bytes ethernet_ipv4 = hex(std::string(kDa) + kSa + "08 00" + kPayload);
  const struct {
    const char* what;
    std::uint16_t status;
    std::uint16_t type;
    Bytes packet;
    Bytes delivered;
  } cases[] = {
      {"Ethernet, 14 bytes", 0, 1, eth14, eth14},
      {"Ethernet, 13 bytes", 0, 1, eth13, {}},
      {"dropped packet (2)", 2, 1, eth14, {}},
      {"dropped packet (4)", 4, 1, eth14, {}},
      {"dropped packet (6)", 6, 1, eth14, {}},
      {"other status values are delivered", 3, 1, eth14, eth14},
      {"802.11 converted", 0, 2, wifi_frame, ethernet_ipv4},
      {"802.11 not data", 0, 2, wifi("80 00", kDa, kBssid, kSa, "", ""), {}},
      {"other packet type", 0, 3, eth14, {}},
      {"type 0", 0, 0, eth14, {}},
  };
  std::array<std::uint8_t, kFrameBufferSize> scratch{};
  for (const auto& c : cases) {
    const StreamPacket p = stream_packet(c.status, c.type, c.packet);
    const auto frame = stream_frame(&p.descriptor, scratch);
    EXPECT_EQ(Bytes(frame.begin(), frame.end()), c.delivered) << c.what;
  }
  // Ethernet frames are handed over from the stream's own buffer.
  const StreamPacket p = stream_packet(0, 1, eth14);
  EXPECT_EQ(stream_frame(&p.descriptor, scratch).data(), p.data.data() + 24);
}

TEST(PktMonStream, DescriptorsThatDoNotHoldTogether) {
  const Bytes eth = hex(std::string(kDa) + kSa + "08 06 00 01");
  std::array<std::uint8_t, kFrameBufferSize> scratch{};
  const StreamPacket good = stream_packet(0, 1, eth);
  ASSERT_FALSE(stream_frame(&good.descriptor, scratch).empty());

  const auto size = good.descriptor.data_size;
  struct Change {
    const char* what;
    StreamDataDescriptor descriptor;
  };
  const Change cases[] = {
      {"no data", {nullptr, size, 8, 24, 18}},
      {"metadata beyond the data", {good.data.data(), size, size + 1, 24, 0}},
      {"metadata shorter than 16 bytes", {good.data.data(), size, size - 15, 24, 0}},
      {"packet offset beyond the data", {good.data.data(), size, 8, size + 1, 0}},
      {"packet longer than the data after it", {good.data.data(), size, 8, 24, 19}},
      {"packet length near 2^32", {good.data.data(), size, 8, 24, 0xFFFFFFF0u}},
  };
  for (const auto& c : cases) EXPECT_TRUE(stream_frame(&c.descriptor, scratch).empty()) << c.what;
  EXPECT_TRUE(stream_frame(nullptr, scratch).empty());
  // Exactly 16 bytes of metadata at the end is still whole; the packet then
  // has no bytes and is too short.
  const StreamDataDescriptor edge{good.data.data(), 24, 8, 24, 0};
  EXPECT_TRUE(stream_frame(&edge, scratch).empty());
}

}  // namespace
}  // namespace norvane::pktmon
