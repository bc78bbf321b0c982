#include "model/device_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/keyed_hash.h"
#include "model/classify.h"
#include "support/recording_presenter.h"
#include "support/summaries.h"
#include "vendors/vendor_table.h"

namespace norvane {
namespace {

using testing::group_call;
using testing::PresenterCall;
using testing::RecordingPresenter;
using testing::remove_call;
using testing::row_call;
using Calls = std::vector<PresenterCall>;

constexpr std::uint32_t kIp = 1, kMac = 2, kVendor = 4, kName = 8, kModel = 16, kProtos = 32,
                        kInfo = 64;

const char* const kMac1 = "00:11:22:33:44:55";
const char* const kMac2 = "00:11:22:33:44:66";

// Protocol first, as the merge cases read.
PacketSummary summary(std::string_view protocol, std::string_view mac, std::string_view ip,
                      std::string_view name = {}, std::string_view model = {},
                      std::string_view info = {}) {
  return test::device_summary(mac, ip, protocol, name, model, info);
}

class DeviceTableTest : public ::testing::Test {
 protected:
  VendorTable vendors;
  DeviceTable table{vendors};
  RecordingPresenter presenter{table};

  void SetUp() override { table.set_presenter(&presenter); }
  const DeviceRow& row(std::size_t i) const { return table.row(i); }
  std::u16string col(std::size_t i, int c) const {
    return table.row(i).columns[static_cast<std::size_t>(c)];
  }
  static AddressKey v4(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) {
    AddressKey k;
    k.family = kAfInet;
    k.bytes = {a, b, c, d};
    return k;
  }
};

TEST(AddressKey, ParsesColumnText) {
  EXPECT_EQ(address_key_from_text(u"192.168.1.10").family, kAfInet);
  EXPECT_EQ(address_key_from_text(u"192.168.1.10").bytes[3], 10);
  const AddressKey v6 = address_key_from_text(u"fe80::1");
  EXPECT_EQ(v6.family, kAfInet6);
  EXPECT_EQ(v6.bytes[0], 0xFE);
  EXPECT_EQ(v6.bytes[15], 1);
  const std::u16string_view bad[] = {u"",
                                     u"192.168.1",
                                     u"host.local",
                                     u"192.168.1.1\u0661",
                                     u"\uFF11.1.1.1",
                                     u"192.168.1.256",
                                     u"fe80::1%eth0",
                                     u"::ffff:1.2.3.4.5"};
  for (std::size_t i = 0; i < std::size(bad); ++i) {
    EXPECT_EQ(address_key_from_text(bad[i]), AddressKey{}) << "case " << i;
  }
  // A NUL inside the text must not cut it to a valid prefix.
  EXPECT_EQ(address_key_from_text(std::u16string(u"10.0.0.1\0x", 10)), AddressKey{});
}

// Addresses a sender can choose must not pile up in one bucket: keys that
// all collide under a fixed recipe (the FNV-style one an unkeyed table would
// use) spread out under the keyed hash, as they do for random addresses.
TEST(AddressKey, HashIsKeyedAndSpreadsChosenAddresses) {
  const auto fixed_recipe = [](const AddressKey& key) {
    auto h = static_cast<std::uint64_t>(static_cast<std::int64_t>(key.family));
    for (std::uint8_t b : key.bytes) {
      h ^= b;
      h *= 16777619u;
    }
    return h;
  };
  constexpr std::uint64_t kBuckets = 16411;  // a prime, as the standard tables use
  std::vector<AddressKey> chosen;
  for (std::uint32_t n = 0; chosen.size() < 512 && n < (1u << 26); ++n) {
    AddressKey k;
    k.family = kAfInet;
    k.bytes = {10, static_cast<std::uint8_t>(n >> 16), static_cast<std::uint8_t>(n >> 8),
               static_cast<std::uint8_t>(n)};
    if (fixed_recipe(k) % kBuckets == 0) chosen.push_back(k);
  }
  ASSERT_EQ(chosen.size(), 512u);
  std::unordered_map<std::uint64_t, int> buckets;
  int worst = 0;
  const AddressKeyHash hash;
  for (const AddressKey& k : chosen) {
    worst = std::max(worst, ++buckets[hash(k) % kBuckets]);
    EXPECT_EQ(hash(k), hash(AddressKey(k)));  // equal keys, equal hashes
  }
  // 512 keys in 16411 buckets: a few share one by chance, never dozens.
  EXPECT_LE(worst, 4);

  // The key is the process's: another key gives other hashes.
  const std::uint64_t other = fresh_hash_key();
  EXPECT_NE(keyed_hash(std::string_view("192.168.1.64"), process_hash_key()),
            keyed_hash(std::string_view("192.168.1.64"), other));
  EXPECT_NE(keyed_hash(std::string_view("ab"), 1), keyed_hash(std::string_view("ab\0", 3), 1));
}

TEST_F(DeviceTableTest, LowerPriorityKeepsAddressButJoinsProtocols) {
  table.merge(summary("SADP", kMac1, "192.168.1.10", "cam"));
  ASSERT_EQ(table.size(), 1u);
  EXPECT_EQ(row(0).ip_priority, 16);
  EXPECT_EQ(col(0, kColIp), u"192.168.1.10");
  EXPECT_EQ(col(0, kColMac), u"00:11:22:33:44:55");
  EXPECT_EQ(col(0, kColVendor), u"Hikvision");
  EXPECT_EQ(presenter.take(), Calls{group_call({0}, 0, kIp | kMac | kVendor | kName | kProtos)});

  table.merge(summary("mDNS", kMac1, "192.168.1.99"));
  EXPECT_EQ(col(0, kColIp), u"192.168.1.10");
  EXPECT_EQ(col(0, kColProtocols), u"SADP, mDNS");
  EXPECT_EQ(presenter.take(), Calls{group_call({0}, 0, kProtos)});

  // The same again changes nothing and tells the list nothing.
  table.merge(summary("mDNS", kMac1, "192.168.1.99"));
  EXPECT_TRUE(presenter.take().empty());
}

TEST_F(DeviceTableTest, ProtocolOrder) {
  struct Case {
    std::vector<const char*> arrivals;
    std::u16string expected;
  };
  const Case cases[] = {
      {{"mDNS", "SADP"}, u"SADP, mDNS"},
      {{"mDNS", "SSDP"}, u"mDNS, SSDP"},
      {{"SSDP", "mDNS"}, u"SSDP, mDNS"},
      {{"ARP", "LLDP", "ONVIF", "SSDP", "Dahua", "CDP"}, u"Dahua, ONVIF, LLDP, CDP, SSDP, ARP"},
      {{"SADP", "SADP", "sadp"}, u"SADP, sadp"},
  };
  for (const Case& c : cases) {
    table.clear();
    for (const char* p : c.arrivals) table.merge(summary(p, kMac1, "10.0.0.1"));
    EXPECT_EQ(col(0, kColProtocols), c.expected);
  }
}

TEST_F(DeviceTableTest, AtMostSixteenProtocols) {
  for (int i = 0; i < 20; ++i) {
    char text[32];
    std::snprintf(text, sizeof text, "EtherType 0x%04X", 0x9000 + i);
    table.merge(summary(text, kMac1, ""));
  }
  EXPECT_EQ(row(0).protocol_names.size(), kMaxProtocols);
  EXPECT_EQ(row(0).protocol_names.back(), "EtherType 0x900F");
  presenter.take();
  table.merge(summary("SADP", kMac1, ""));  // full: even a better one stays out
  EXPECT_EQ(row(0).protocol_names.size(), kMaxProtocols);
  EXPECT_EQ(row(0).protocol_names.front(), "EtherType 0x9000");
  EXPECT_TRUE(presenter.take().empty());
}

TEST_F(DeviceTableTest, FieldPriorities) {
  table.merge(summary("mDNS", kMac1, "", "first"));
  table.merge(summary("SSDP", kMac1, "", "second"));  // equal priority replaces
  EXPECT_EQ(col(0, kColName), u"second");
  table.merge(summary("ARP", kMac1, "", "third"));  // lower does not
  EXPECT_EQ(col(0, kColName), u"second");
  table.merge(summary("LLDP", kMac1, "", "   "));  // spaces only never overwrite
  table.merge(summary("LLDP", kMac1, "", "\x01\t\r\n"));
  table.merge(summary("LLDP", kMac1, "", "\xE2\x80\xAE"));  // a bidi mark alone
  EXPECT_EQ(col(0, kColName), u"second");
  EXPECT_EQ(row(0).name_priority, 2);
  table.merge(summary("LLDP", kMac1, "", " x "));
  EXPECT_EQ(col(0, kColName), u" x ");
  EXPECT_EQ(row(0).name_priority, 3);
}

TEST_F(DeviceTableTest, Ipv4OutranksIpv6) {
  table.merge(summary("SADP", kMac1, "fe80::1"));
  EXPECT_EQ(row(0).address.family, kAfInet6);
  EXPECT_EQ(row(0).ip_priority, 6);
  table.merge(summary("mDNS", kMac1, "192.168.1.5"));
  EXPECT_EQ(col(0, kColIp), u"192.168.1.5");
  EXPECT_EQ(row(0).ip_priority, 12);
  table.merge(summary("SADP", kMac1, "fe80::2"));
  EXPECT_EQ(col(0, kColIp), u"192.168.1.5");
  EXPECT_EQ(row(0).address, v4(192, 168, 1, 5));
  EXPECT_EQ(table.find_group(address_key_from_text(u"fe80::1")), nullptr);
}

TEST_F(DeviceTableTest, ArpLearnedAddressFillsLaterRow) {
  table.merge(summary("ARP", kMac1, "192.168.1.7"));
  EXPECT_EQ(table.size(), 0u);
  ASSERT_EQ(table.arp_cache().count(kMac1), 1u);
  table.merge(summary("ARP", kMac1, "192.168.1.8"));  // overwrites
  EXPECT_EQ(table.arp_cache().at(kMac1), "192.168.1.8");
  EXPECT_TRUE(presenter.take().empty());

  table.merge(summary("LLDP", kMac1, "", "switch"));
  ASSERT_EQ(table.size(), 1u);
  EXPECT_EQ(col(0, kColIp), u"192.168.1.8");
  EXPECT_EQ(row(0).ip_priority, 11);
  EXPECT_EQ(col(0, kColProtocols), u"LLDP, ARP");
  EXPECT_EQ(table.arp_cache().count(kMac1), 0u);
  EXPECT_EQ(presenter.take(), Calls{group_call({0}, 0, kIp | kMac | kName | kProtos)});
}

TEST_F(DeviceTableTest, ArpForExistingRowMergesLikeAnyOther) {
  table.merge(summary("LLDP", kMac1, "", "switch"));
  table.merge(summary("ARP", kMac1, "10.0.0.2"));
  EXPECT_EQ(col(0, kColIp), u"10.0.0.2");
  EXPECT_EQ(row(0).ip_priority, 11);
  table.merge(summary("ARP", kMac1, "10.0.0.3"));  // 11 replaces 11
  EXPECT_EQ(col(0, kColIp), u"10.0.0.3");
  table.merge(summary("mDNS", kMac1, "10.0.0.4"));  // 12 replaces 11
  table.merge(summary("ARP", kMac1, "10.0.0.5"));   // 11 does not replace 12
  EXPECT_EQ(col(0, kColIp), u"10.0.0.4");
  EXPECT_EQ(col(0, kColProtocols), u"LLDP, mDNS, ARP");
  EXPECT_TRUE(table.arp_cache().empty());
}

TEST_F(DeviceTableTest, ArpEntryUnderSourceMacIsUsedAndKept) {
  table.merge(summary("ARP", kMac2, "10.0.0.9"));
  PacketSummary lldp = summary("LLDP", kMac1, "", "chassis");
  lldp.source_mac = kMac2;
  table.merge(lldp);
  EXPECT_EQ(col(0, kColIp), u"10.0.0.9");
  EXPECT_EQ(table.arp_cache().count(kMac2), 1u);

  // With its own IP the summary does not borrow the source MAC's address.
  PacketSummary other = summary("SSDP", "00:11:22:33:44:77", "10.0.0.20");
  other.source_mac = kMac2;
  table.merge(other);
  EXPECT_EQ(col(1, kColIp), u"10.0.0.20");
  EXPECT_EQ(col(1, kColProtocols), u"SSDP");
}

TEST_F(DeviceTableTest, ArpFillOnlyForRowsWithoutIpv4) {
  table.merge(summary("ARP", kMac2, "10.0.0.9"));
  PacketSummary via_source = summary("LLDP", kMac1, "");
  via_source.source_mac = kMac2;

  // An IPv6-only row (priority 6) takes the ARP-learned IPv4 address.
  table.merge(summary("SADP", kMac1, "fe80::1"));
  table.merge(via_source);
  EXPECT_EQ(col(0, kColIp), u"10.0.0.9");
  EXPECT_EQ(col(0, kColProtocols), u"SADP, LLDP, ARP");

  // A row that already has an IPv4 address from a discovery answer does not
  // even look: "ARP" does not join its protocols.
  table.clear();
  table.merge(summary("ARP", kMac2, "10.0.0.9"));
  table.merge(summary("mDNS", kMac1, "10.0.0.1"));
  table.merge(via_source);
  EXPECT_EQ(col(0, kColIp), u"10.0.0.1");
  EXPECT_EQ(col(0, kColProtocols), u"LLDP, mDNS");
}

TEST_F(DeviceTableTest, ArpCornerCases) {
  // An ARP summary that carries a name is not bare: it makes a row.
  table.merge(summary("ARP", kMac1, "10.0.0.1", "named"));
  EXPECT_EQ(table.size(), 1u);
  // Bare ARP without IP stores nothing.
  table.merge(summary("ARP", kMac2, ""));
  EXPECT_TRUE(table.arp_cache().empty());
  // Regression: bare ARP without MAC must not be filed under the empty text,
  // where every MAC-less row would pick it up.
  table.merge(summary("ARP", "", "10.0.0.66"));
  EXPECT_TRUE(table.arp_cache().empty());
  table.merge(summary("SSDP", "", "10.0.0.77"));
  EXPECT_EQ(col(1, kColIp), u"10.0.0.77");
  EXPECT_EQ(col(1, kColProtocols), u"SSDP");
}

TEST_F(DeviceTableTest, ArpCacheLimit) {
  char mac[18];
  for (std::size_t i = 0; i < kMaxArpEntries + 5; ++i) {
    std::snprintf(mac, sizeof mac, "00:AA:00:%02X:%02X:%02X", unsigned(i >> 16) & 0xFF,
                  unsigned(i >> 8) & 0xFF, unsigned(i) & 0xFF);
    table.merge(summary("ARP", mac, "10.1.0.1"));
  }
  EXPECT_EQ(table.arp_cache().size(), kMaxArpEntries);
  EXPECT_EQ(table.arp_cache().count("00:AA:00:00:40:00"), 0u);   // entry 16384
  table.merge(summary("ARP", "00:AA:00:00:00:07", "10.1.0.2"));  // existing: overwritten
  EXPECT_EQ(table.arp_cache().at("00:AA:00:00:00:07"), "10.1.0.2");
  EXPECT_EQ(table.size(), 0u);
}

TEST_F(DeviceTableTest, RowLimit) {
  table.set_presenter(nullptr);
  char mac[18];
  for (std::size_t i = 0; i < kMaxRows + 3; ++i) {
    std::snprintf(mac, sizeof mac, "00:BB:00:%02X:%02X:%02X", unsigned(i >> 16) & 0xFF,
                  unsigned(i >> 8) & 0xFF, unsigned(i) & 0xFF);
    table.merge(summary("SSDP", mac, ""));
  }
  EXPECT_EQ(table.size(), kMaxRows);
  EXPECT_EQ(table.index().size(), kMaxRows);
  EXPECT_EQ(table.index().count("00:BB:00:00:40:00"), 0u);
  table.set_presenter(&presenter);
  table.merge(summary("SSDP", "", "10.9.9.9"));  // a new key, by IP: dropped
  EXPECT_EQ(table.size(), kMaxRows);
  table.merge(summary("SADP", "00:BB:00:00:00:05", "10.0.0.5", "still updated"));
  EXPECT_EQ(col(5, kColName), u"still updated");
  EXPECT_EQ(presenter.take(), Calls{group_call({5}, 5, kIp | kVendor | kName | kProtos)});
}

TEST_F(DeviceTableTest, RowWithoutAddressGetsItsOwnItemThenJoinsAGroup) {
  table.merge(summary("LLDP", kMac1, "", "sw"));
  EXPECT_EQ(presenter.take(), Calls{row_call(0, kMac | kName | kProtos)});
  const std::uint32_t own_item = row(0).item.item_id;
  ASSERT_NE(own_item, ListItemLink::kNoItem);

  table.merge(summary("LLDP", kMac1, "", "sw2"));
  EXPECT_EQ(presenter.take(), Calls{row_call(0, kName)});

  // Priority alone does not matter for a row shown on its own.
  table.merge(summary("SADP L2", kMac1, "", "sw2"));
  EXPECT_EQ(row(0).name_priority, 5);
  EXPECT_EQ(presenter.take(), (Calls{row_call(0, kProtos | kVendor)}));

  table.merge(summary("LLDP", kMac1, "10.0.0.1"));
  EXPECT_EQ(presenter.take(), (Calls{remove_call(own_item), group_call({0}, 0, kIp)}));
  EXPECT_TRUE(row(0).item.empty());
}

TEST_F(DeviceTableTest, UnparsableAddressIsShownButUngrouped) {
  table.merge(summary("SSDP", kMac1, "not-an-address"));
  EXPECT_EQ(col(0, kColIp), u"not-an-address");
  EXPECT_EQ(row(0).address, AddressKey{});
  EXPECT_TRUE(table.groups().empty());
  EXPECT_EQ(presenter.take(), Calls{row_call(0, kIp | kMac | kProtos)});
}

TEST_F(DeviceTableTest, SameAddressTwoKeysOneGroup) {
  table.merge(summary("SSDP", "", "192.168.1.10", "", "", "server"));
  ASSERT_EQ(table.index().count("#192.168.1.10"), 1u);
  EXPECT_EQ(col(0, kColMac), u"");
  EXPECT_EQ(presenter.take(), Calls{group_call({0}, 0, kIp | kMac | kProtos | kInfo)});

  table.merge(summary("mDNS", kMac1, "192.168.1.10", "cam"));
  ASSERT_EQ(table.size(), 2u);
  EXPECT_EQ(table.groups().size(), 1u);
  EXPECT_EQ(table.find_group(v4(192, 168, 1, 10))->rows, (std::vector<std::size_t>{0, 1}));
  EXPECT_EQ(presenter.take(), Calls{group_call({0, 1}, 1, kIp | kMac | kName | kProtos)});
}

TEST_F(DeviceTableTest, LeavingGroups) {
  table.merge(summary("SSDP", "", "192.168.1.10"));
  table.merge(summary("mDNS", kMac1, "192.168.1.10"));
  const std::uint32_t group_item = table.find_group(v4(192, 168, 1, 10))->item.item_id;
  presenter.take();

  // The MAC row moves on: the old group keeps the other member and is told
  // to re-pick, the new group gets the row.
  table.merge(summary("SADP", kMac1, "192.168.1.11"));
  EXPECT_EQ(presenter.take(),
            (Calls{group_call({0}, std::nullopt, 0), group_call({1}, 1, kIp | kVendor | kProtos)}));
  EXPECT_EQ(table.find_group(v4(192, 168, 1, 10))->item.item_id, group_item);

  // A sole member leaves: the group's item goes and the group with it.
  table.merge(summary("SADP", kMac1, "192.168.1.12"));
  const Calls calls = presenter.take();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].kind, PresenterCall::kRemove);
  EXPECT_NE(calls[0].item_id, ListItemLink::kNoItem);
  EXPECT_EQ(calls[1], group_call({1}, 1, kIp));
  EXPECT_EQ(table.find_group(v4(192, 168, 1, 11)), nullptr);
  EXPECT_EQ(table.groups().size(), 2u);
}

TEST_F(DeviceTableTest, PriorityOnlyChangeIsReportedForGroupedRowsOnly) {
  // Both rows already list LLDP and hold the name "same" from SSDP; LLDP
  // then reports the very same name: no text changes, only the priority.
  for (const char* ip : {"10.0.0.1", "host.invalid"}) {
    table.clear();
    table.merge(summary("LLDP", kMac1, ip));
    table.merge(summary("SSDP", kMac1, "", "same"));
    EXPECT_EQ(row(0).name_priority, 2);
    presenter.take();
    table.merge(summary("LLDP", kMac1, "", "same"));
    EXPECT_EQ(row(0).name_priority, 3);
    if (row(0).address.family != kAfUnspec) {
      // The group may now prefer this member.
      EXPECT_EQ(presenter.take(), Calls{group_call({0}, 0, 0)}) << ip;
    } else {
      EXPECT_TRUE(presenter.take().empty()) << ip;
    }
    // Equal priority and equal text: nothing at all.
    table.merge(summary("LLDP", kMac1, "", "same"));
    EXPECT_TRUE(presenter.take().empty()) << ip;
  }
}

TEST_F(DeviceTableTest, ModelChangeReclassifiesAndReportsVendorColumn) {
  table.merge(summary("ONVIF", kMac1, "10.0.0.1"));
  EXPECT_EQ(row(0).accent_index, 1);  // ONVIF alone counts as camera
  table.clear();
  table.merge(summary("SSDP", kMac1, "10.0.0.1"));
  EXPECT_EQ(row(0).accent_index, 0);
  presenter.take();
  table.merge(summary("SSDP", kMac1, "10.0.0.1", "", "TP-Link IP Camera"));
  EXPECT_EQ(row(0).category, kCatOther);
  EXPECT_EQ(row(0).accent_index, 1);
  EXPECT_EQ(presenter.take(), Calls{group_call({0}, 0, kModel | kVendor)});
}

TEST_F(DeviceTableTest, ClearAndReclassify) {
  table.merge(summary("SSDP", kMac1, "10.0.0.1"));
  table.merge(summary("SSDP", "", "10.0.0.2"));
  table.merge(summary("ARP", kMac2, "10.0.0.3"));
  EXPECT_EQ(col(0, kColVendor), u"");
  vendors.insert(make_prefix_key(24, 0x001122), "Espressif Inc.");
  presenter.take();
  table.reclassify_all();
  EXPECT_TRUE(presenter.take().empty());  // the caller rebuilds the list
  EXPECT_EQ(col(0, kColVendor), u"Espressif Inc.");
  EXPECT_EQ(row(0).category, kCatEspressif);
  EXPECT_EQ(row(0).accent_index, 5);
  EXPECT_EQ(col(1, kColVendor), u"");

  table.clear();
  EXPECT_EQ(table.size(), 0u);
  EXPECT_TRUE(table.index().empty());
  EXPECT_TRUE(table.arp_cache().empty());
  EXPECT_TRUE(table.groups().empty());
  table.merge(summary("SSDP", kMac1, "10.0.0.1"));
  EXPECT_EQ(table.size(), 1u);
  EXPECT_EQ(col(0, kColVendor), u"Espressif Inc.");
}

TEST_F(DeviceTableTest, DropsSummariesWithoutMacAndIp) {
  table.merge(summary("SADP", "", "", "name"));
  EXPECT_EQ(table.size(), 0u);
  EXPECT_TRUE(presenter.take().empty());
}

TEST_F(DeviceTableTest, LongValueCutInsideUtf8IsShownAs1252) {
  std::string name(511, 'n');
  name += "\xC5\x82";
  table.merge(summary("SSDP", kMac1, "", name));
  EXPECT_EQ(col(0, kColName).size(), 512u);
  EXPECT_EQ(col(0, kColName).back(), u'\u00C5');
}

// What an installer must look at, told against a laptop at 10.79.1.1/24.
namespace state {

constexpr char kLaptopMac[] = "02:00:00:00:00:01";
constexpr char kCam[] = "44:19:B6:00:00:01";
constexpr char kCam2[] = "44:19:B6:00:00:02";
constexpr char kBox[] = "02:BA:D0:00:00:01";

LocalNetwork laptop() {
  LocalNetwork local;
  const std::uint8_t ip[4] = {10, 79, 1, 1};
  std::memcpy(&local.ipv4, ip, 4);
  local.prefix_length = 24;
  local.mac = kLaptopMac;
  return local;
}

PacketSummary sadp(std::string_view mac, std::string_view ip, bool activated = true,
                   std::string_view mask = "255.255.255.0", std::string_view gateway = {}) {
  PacketSummary s = test::device_summary(mac, ip, "SADP", "SN", "DS-2CD2143G0-I");
  s.settings.activated = activated;
  s.settings.mask = mask;
  s.settings.gateway = gateway;
  return s;
}

PacketSummary arp(std::string_view mac, std::string_view ip, bool claim) {
  PacketSummary s = test::device_summary(mac, ip, "ARP");
  s.source_mac = mac;
  s.arp_claim = claim;
  return s;
}

PacketSummary goodbye(std::string_view mac, std::string_view ip) {
  PacketSummary s = test::device_summary(mac, ip, "SSDP");
  s.departure = true;
  return s;
}

std::string ascii(const std::u16string& text) {
  std::string out;
  for (const char16_t c : text) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return out;
}

TEST(DeviceState, ToldAgainstTheAdaptersNetwork) {
  struct Case {
    const char* what;
    std::vector<PacketSummary> in;
    std::vector<std::pair<std::string, std::string>> want;  // device key, "Stan"
    bool adapter = true;
  };
  const Case cases[] = {
      {"a clean camera",
       {sadp(kCam, "10.79.1.20", true, "255.255.255.0", "10.79.1.254")},
       {{kCam, ""}}},
      {"new cameras at one factory address",
       {sadp(kCam, "192.168.1.64", false), sadp(kCam2, "192.168.1.64", false)},
       {{kCam, "nieaktywne, poza podsieci?, konflikt IP"},
        {kCam2, "nieaktywne, poza podsieci?, konflikt IP"}}},
      {"a /16 mask with its gateway outside it",
       {sadp(kCam, "10.79.1.30", true, "255.255.0.0", "10.80.0.1")},
       {{kCam, "inna maska, brama poza podsieci?"}}},
      {"no gateway (0.0.0.0) is not a wrong one",
       {sadp(kCam, "10.79.1.30", true, "255.255.255.0", "0.0.0.0")},
       {{kCam, ""}}},
      {"another MAC claims the camera's address by ARP",
       {sadp(kCam, "10.79.1.20"), arp(kBox, "10.79.1.20", true)},
       {{kCam, "konflikt IP"}}},
      {"the claim may come first, before the camera has a row",
       {arp(kBox, "10.79.1.20", true), sadp(kCam, "10.79.1.20")},
       {{kCam, "konflikt IP"}}},
      {"the camera's own ARP and another's plain request claim nothing",
       {sadp(kCam, "10.79.1.20"), arp(kCam, "10.79.1.20", true), arp(kBox, "10.79.1.20", false)},
       {{kCam, ""}}},
      {"a device on the laptop's own address", {sadp(kCam, "10.79.1.1")}, {{kCam, "konflikt IP"}}},
      {"a switch naming the camera's address as its management address",
       {sadp(kCam, "10.79.1.20"), test::device_summary(kBox, "10.79.1.20", "LLDP", "sw")},
       {{kCam, ""}, {kBox, ""}}},
      {"the conflict ends when one camera is re-addressed",
       {sadp(kCam, "10.79.1.20"), sadp(kCam2, "10.79.1.20"), sadp(kCam2, "10.79.1.21")},
       {{kCam, ""}, {kCam2, ""}}},
      {"a goodbye by MAC",
       {sadp(kCam, "10.79.1.20"), goodbye(kCam, "10.79.1.20")},
       {{kCam, "od??czone"}}},
      {"a goodbye ends the conflict it was part of",
       {sadp(kCam, "10.79.1.20"), sadp(kCam2, "10.79.1.20"), goodbye(kCam2, "")},
       {{kCam, ""}, {kCam2, "od??czone"}}},
      {"speaking again after the goodbye",
       {sadp(kCam, "10.79.1.20"), goodbye(kCam, ""), sadp(kCam, "10.79.1.20")},
       {{kCam, ""}}},
      {"probing alone: a goodbye by address marks the answers without MAC",
       {test::device_summary("", "10.79.1.19", "SSDP", "", "", "Linux UPnP"),
        goodbye("", "10.79.1.19")},
       {{"#10.79.1.19", "od??czone"}}},
      {"a goodbye of a device never seen makes no row", {goodbye(kCam, "10.79.1.20")}, {}},
      {"without an adapter address only what needs none",
       {sadp(kCam, "192.168.1.64", false, "255.255.0.0", "10.0.0.1")},
       {{kCam, "nieaktywne, brama poza podsieci?"}},
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    VendorTable vendors;
    DeviceTable table(vendors);
    if (c.adapter) table.set_local_network(laptop());
    for (const PacketSummary& s : c.in) table.merge(s);
    EXPECT_EQ(table.size(), c.want.size());
    for (const auto& [key, text] : c.want) {
      const auto found = table.index().find(key);
      ASSERT_NE(found, table.index().end()) << key;
      const DeviceRow& r = table.row(found->second);
      EXPECT_EQ(ascii(r.columns[kColState]), text) << key;
      EXPECT_EQ(r.columns[kColState], state_text(r.state)) << key;
    }
  }
}

TEST(DeviceState, TheAdaptersNetworkArrivingLaterRewritesTheStates) {
  VendorTable vendors;
  DeviceTable table(vendors);
  RecordingPresenter presenter{table};
  table.set_presenter(&presenter);
  table.merge(sadp(kCam, "192.168.1.64"));
  presenter.take();
  table.set_local_network(laptop());
  EXPECT_EQ(ascii(table.row(0).columns[kColState]), "poza podsieci?");
  EXPECT_EQ(presenter.take().size(), 1u);
}

TEST(DeviceState, AFloodOfClaimsStaysBounded) {
  VendorTable vendors;
  DeviceTable table(vendors);
  char mac[18];
  for (unsigned i = 0; i < 1000; ++i) {
    std::snprintf(mac, sizeof mac, "02:00:00:00:%02X:%02X", (i >> 8) & 0xFF, i & 0xFF);
    table.merge(arp(mac, "10.79.1.20", true));
  }
  ASSERT_EQ(table.arp_claims().size(), 1u);
  EXPECT_EQ(table.arp_claims().begin()->second.count, kMaxClaimsPerAddress);
  for (unsigned i = 0; i < kMaxClaimedAddresses + 100; ++i) {
    const std::string ip = "10." + std::to_string(i >> 16) + "." + std::to_string((i >> 8) & 0xFF) +
                           "." + std::to_string(i & 0xFF);
    table.merge(arp(kBox, ip, true));
  }
  EXPECT_EQ(table.arp_claims().size(), kMaxClaimedAddresses);
}

}  // namespace state

}  // namespace
}  // namespace norvane
