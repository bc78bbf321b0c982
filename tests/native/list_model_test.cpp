// Which rows of the device table share a list item and which are split:
// merged summaries in, the lines a user would see out.
#include "app/list_model.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/status_text.h"
#include "model/device_table.h"
#include "support/summaries.h"
#include "vendors/vendor_table.h"

namespace norvane {
namespace {

using test::device_summary;

std::string ascii(const std::u16string& text) {
  std::string out;
  for (const char16_t c : text) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return out;
}

// An item as "IP MAC protocols" ("-" for no MAC).
std::string line(const DeviceRow& row) {
  const std::string mac = row.columns[kColMac].empty() ? "-" : ascii(row.columns[kColMac]);
  return ascii(row.columns[kColIp]) + " " + mac + " " + ascii(row.columns[kColProtocols]);
}

struct Lab {
  VendorTable vendors;
  DeviceTable table{vendors};
  ListModel list{table};
  Lab() { table.set_presenter(&list); }
  void merge(const std::vector<PacketSummary>& summaries) {
    for (const auto& s : summaries) table.merge(s);
  }
  std::vector<std::string> lines() const {
    std::vector<std::string> out;
    for (const std::size_t row : list.shown_rows()) out.push_back(line(table.row(row)));
    return out;
  }
};

PacketSummary evidence(std::string_view mac, std::string_view ip, std::string_view protocol) {
  PacketSummary s = device_summary(mac, ip, protocol);
  s.source_mac = mac;
  return s;
}

constexpr char kFactory[] = "192.168.1.64";
constexpr char kCam1[] = "44:19:B6:00:00:01";
constexpr char kCam2[] = "44:19:B6:00:00:02";
constexpr char kCam3[] = "44:19:B6:00:00:03";
constexpr char kCam4[] = "44:19:B6:00:00:04";
constexpr char kDahua[] = "3C:EF:8C:00:00:05";

PacketSummary sadp(std::string_view mac, std::string_view ip, std::string_view serial) {
  return device_summary(mac, ip, "SADP", serial, "DS-2CD2143G0-I", "V5.5.82");
}

// An ONVIF answer read by the probe sockets: no MAC, longer texts than the
// SADP answer of the same camera.
PacketSummary onvif(std::string_view ip) {
  return device_summary("", ip, "ONVIF", "HIKVISION DS-2CD2143G0-I camera at the gate",
                        "DS-2CD2143G0-I (hardware revision B)",
                        "http://192.168.1.64/onvif/device_service firmware V5.5.82 build 190909");
}

TEST(ListItems, WhichRowsShareAnItem) {
  struct Case {
    const char* what;
    std::vector<PacketSummary> summaries;
    std::vector<std::string> lines;  // in the list's order (IP, then discovery)
    std::array<std::uint64_t, kCategoryCount> counts;
  };
  const Case cases[] = {
      {"four new cameras at one factory address are four lines",
       {sadp(kCam1, kFactory, "SN1"), sadp(kCam2, kFactory, "SN2"), sadp(kCam3, kFactory, "SN3"),
        sadp(kCam4, kFactory, "SN4")},
       {"192.168.1.64 44:19:B6:00:00:01 SADP", "192.168.1.64 44:19:B6:00:00:02 SADP",
        "192.168.1.64 44:19:B6:00:00:03 SADP", "192.168.1.64 44:19:B6:00:00:04 SADP"},
       {4, 0, 0, 0, 0, 0}},
      {"a camera answering SADP and, without MAC, WS-Discovery is one line with its MAC",
       {sadp(kCam1, kFactory, "SN1"), onvif(kFactory)},
       {"192.168.1.64 44:19:B6:00:00:01 SADP"},
       {1, 0, 0, 0, 0, 0}},
      {"the same when the ONVIF answer comes first",
       {onvif(kFactory), sadp(kCam1, kFactory, "SN1")},
       {"192.168.1.64 44:19:B6:00:00:01 SADP"},
       {1, 0, 0, 0, 0, 0}},
      {"an answer without MAC joins one of several devices",
       {sadp(kCam1, kFactory, "SN1"), onvif(kFactory),
        device_summary(kDahua, kFactory, "Dahua", "Brama", "IPC-HFW2431S")},
       {"192.168.1.64 44:19:B6:00:00:01 SADP", "192.168.1.64 3C:EF:8C:00:00:05 Dahua"},
       {1, 1, 0, 0, 0, 0}},
      {"a switch: LLDP from the chassis MAC, IPv4 and ARP from a second MAC",
       {device_summary("00:1B:54:00:00:01", "10.0.0.2", "LLDP", "sw-core", "Catalyst"),
        evidence("00:1B:54:00:00:02", "10.0.0.2", "IPv4"),
        evidence("00:1B:54:00:00:02", "10.0.0.2", "ARP")},
       {"10.0.0.2 00:1B:54:00:00:01 LLDP"},
       {0, 0, 0, 0, 0, 1}},
      {"evidence from two MACs and no discovery answer is one line",
       {evidence("00:1B:54:00:00:01", "10.0.0.3", "IPv4"),
        evidence("00:1B:54:00:00:02", "10.0.0.3", "IPv4"),
        device_summary("", "10.0.0.3", "SSDP", "NAS")},
       {"10.0.0.3 00:1B:54:00:00:01 IPv4"},
       {0, 0, 0, 0, 0, 1}},
      {"evidence first, discovery later from the same MAC: one device",
       {evidence(kCam1, kFactory, "IPv4"), sadp(kCam1, kFactory, "SN1"),
        evidence(kCam2, kFactory, "ARP")},
       {"192.168.1.64 44:19:B6:00:00:01 SADP, IPv4"},
       {1, 0, 0, 0, 0, 0}},
      {"a camera re-addressed by its owner leaves the factory group",
       {sadp(kCam1, kFactory, "SN1"), sadp(kCam2, kFactory, "SN2"),
        sadp(kCam2, "192.168.1.20", "SN2")},
       {"192.168.1.20 44:19:B6:00:00:02 SADP", "192.168.1.64 44:19:B6:00:00:01 SADP"},
       {2, 0, 0, 0, 0, 0}},
      {"two devices that answered only mDNS at one address are two lines",
       {evidence(kCam1, "10.0.0.4", "mDNS"), evidence(kCam2, "10.0.0.4", "mDNS")},
       {"10.0.0.4 44:19:B6:00:00:01 mDNS", "10.0.0.4 44:19:B6:00:00:02 mDNS"},
       {0, 0, 0, 0, 0, 2}},
      {"a camera that moves leaves no line at its old address",
       {sadp(kCam1, kFactory, "SN1"), onvif(kFactory), sadp(kCam1, "192.168.1.20", "SN1")},
       {"192.168.1.20 44:19:B6:00:00:01 SADP"},
       {1, 0, 0, 0, 0, 0}},
      {"until something answers from the old address again",
       {sadp(kCam1, kFactory, "SN1"), onvif(kFactory), sadp(kCam1, "192.168.1.20", "SN1"),
        onvif(kFactory)},
       {"192.168.1.20 44:19:B6:00:00:01 SADP", "192.168.1.64 - ONVIF"},
       {1, 0, 0, 0, 0, 1}},
      {"devices without address keep their own lines",
       {device_summary(kCam1, "", "LLDP", "a"), device_summary(kCam2, "", "LLDP", "b"),
        sadp(kCam3, kFactory, "SN3")},
       {"192.168.1.64 44:19:B6:00:00:03 SADP", " 44:19:B6:00:00:01 LLDP",
        " 44:19:B6:00:00:02 LLDP"},
       {1, 0, 0, 0, 0, 2}},  // no vendor table here: LLDP alone says no maker
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Lab lab;
    lab.merge(c.summaries);
    EXPECT_EQ(lab.lines(), c.lines);
    EXPECT_EQ(lab.list.item_count(), c.lines.size());
    EXPECT_EQ(count_shown_devices(lab.table), c.counts);
  }
}

TEST(ListItems, FiltersApplyToEachDevice) {
  Lab lab;
  lab.merge({sadp(kCam1, kFactory, "SN1"), sadp(kCam2, kFactory, "SN2"), onvif(kFactory),
             device_summary(kDahua, kFactory, "Dahua", "Brama", "IPC-HFW2431S")});
  ASSERT_EQ(lab.lines().size(), 3u);
  struct Case {
    const char* what;
    FilterState filter;
    std::vector<std::string> lines;
  };
  FilterState no_hikvision;
  no_hikvision.checks[kTabHikvision] = false;
  const Case cases[] = {
      {"all",
       FilterState{},
       {"192.168.1.64 44:19:B6:00:00:01 SADP", "192.168.1.64 44:19:B6:00:00:02 SADP",
        "192.168.1.64 3C:EF:8C:00:00:05 Dahua"}},
      {"Hikvision off: the Dahua camera, which the ONVIF answer now joins",
       no_hikvision,
       {"192.168.1.64 3C:EF:8C:00:00:05 Dahua"}},
      {"Hikvision alone",
       filter_after_solo(FilterState{}, kTabHikvision),
       {"192.168.1.64 44:19:B6:00:00:01 SADP", "192.168.1.64 44:19:B6:00:00:02 SADP"}},
      {"other makers alone: the answer without MAC stays hidden with its devices",
       filter_after_solo(FilterState{}, kTabOther),
       {}},
      {"back to all",
       FilterState{},
       {"192.168.1.64 44:19:B6:00:00:01 SADP", "192.168.1.64 44:19:B6:00:00:02 SADP",
        "192.168.1.64 3C:EF:8C:00:00:05 Dahua"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    lab.list.set_filter(c.filter);
    EXPECT_EQ(lab.lines(), c.lines);
    EXPECT_EQ(lab.list.item_count(), c.lines.size());
  }
}

// Every call the group rules make, to see what a merge rewrites.
class RecordingSink : public ItemSink {
 public:
  struct Call {
    std::uint32_t id;
    std::size_t row;
    std::uint32_t mask;
    bool removed;
    friend bool operator==(const Call&, const Call&) = default;
  };
  void set_item(ListItemLink& link, std::size_t row, std::uint32_t mask) override {
    if (link.empty()) {
      link.item_id = next_++;
      mask = 0xFF;
    } else if (link.shown_row != row) {
      mask = 0xFF;
    }
    link.shown_row = row;
    calls.push_back({link.item_id, row, mask, false});
  }
  void remove_item(ListItemLink& link) override {
    calls.push_back({link.item_id, 0, 0, true});
    link = ListItemLink{};
  }
  std::vector<Call> calls;

 private:
  std::uint32_t next_ = 1;
};

class GroupRules : public testing::Test {
 protected:
  // Merges one summary and returns what the list was asked to do.
  std::vector<RecordingSink::Call> merge(const PacketSummary& s) {
    sink.calls.clear();
    table.merge(s);
    return sink.calls;
  }
  // The item that shows `row`, or none.
  std::uint32_t item_showing(std::size_t row) {
    if (table.row(row).item.shown_row == row) return table.row(row).item.item_id;
    for (const auto& [key, group] : table.groups()) {
      if (group.item.shown_row == row) return group.item.item_id;
    }
    return ListItemLink::kNoItem;
  }

  struct Presenter : DevicePresenter {
    GroupRules& t;
    explicit Presenter(GroupRules& owner) : t(owner) {}
    void update_row(std::size_t row, std::uint32_t mask) override {
      present_row(t.table.mutable_rows(), row, mask, t.filter, t.sink);
    }
    void update_group(AddressGroup& group, std::optional<std::size_t> changed,
                      std::uint32_t mask) override {
      present_group(t.table.mutable_rows(), group, changed, mask, t.filter, t.sink);
    }
    void remove_item(ListItemLink& link) override { t.sink.remove_item(link); }
  };

  VendorTable vendors;
  DeviceTable table{vendors};
  RecordingSink sink;
  FilterState filter;
  Presenter presenter{*this};
  void SetUp() override { table.set_presenter(&presenter); }
};

TEST_F(GroupRules, OnlyTheChangedDeviceIsRewritten) {
  merge(sadp(kCam1, kFactory, "SN1"));
  merge(sadp(kCam2, kFactory, "SN2"));
  const std::uint32_t first = item_showing(0);
  const std::uint32_t second = item_showing(1);
  ASSERT_NE(first, ListItemLink::kNoItem);
  ASSERT_NE(second, ListItemLink::kNoItem);
  ASSERT_NE(first, second);

  // A new name for the second camera: its cells, and nothing of the first.
  const auto calls = merge(device_summary(kCam2, kFactory, "SADP", "Brama"));
  EXPECT_EQ(calls, (std::vector<RecordingSink::Call>{{second, 1, 1u << kColName, false}}));

  // The same answer again changes nothing at all.
  EXPECT_TRUE(merge(device_summary(kCam2, kFactory, "SADP", "Brama")).empty());
}

TEST_F(GroupRules, LinesKeepTheirDeviceWhenAnotherBecomesPrimary) {
  merge(sadp(kCam1, kFactory, "SN1"));
  merge(onvif(kFactory));
  const std::uint32_t camera_line = item_showing(0);
  ASSERT_NE(camera_line, ListItemLink::kNoItem);

  // A device with more to show arrives: the answer without MAC now joins
  // it, but the first camera's line is still the same item, showing the
  // same camera; only its state is rewritten (two MACs at one address).
  const auto calls = merge(device_summary(kDahua, kFactory, "Dahua", "Brama gate camera",
                                          "IPC-HFW2431S-S-S2", "2.800.0000000.25.R"));
  EXPECT_EQ(item_showing(0), camera_line);
  for (const auto& call : calls) {
    if (call.id != camera_line) continue;
    EXPECT_EQ(call, (RecordingSink::Call{camera_line, 0, 1u << kColState, false}));
  }
  EXPECT_NE(item_showing(2), ListItemLink::kNoItem);
  EXPECT_EQ(count_shown_devices(table), (std::array<std::uint64_t, 6>{1, 1, 0, 0, 0, 0}));

  // When it leaves the address, the first camera takes the group's line
  // back: still one line each, no item left behind.
  merge(device_summary(kDahua, "192.168.1.108", "Dahua", "Brama gate camera"));
  EXPECT_EQ(item_showing(0), camera_line);
  EXPECT_NE(item_showing(2), ListItemLink::kNoItem);
  std::size_t live = 0;
  for (const auto& row : table.rows()) live += row.item.empty() ? 0 : 1;
  for (const auto& [key, group] : table.groups()) live += group.item.empty() ? 0 : 1;
  EXPECT_EQ(live, 2u);
}

// A hostile segment: floods of new MACs must not take the table from the
// devices that answer.
TEST(ListItems, FloodsOfNewMacsLeaveRoomForDevices) {
  const auto random_mac = [](unsigned i) {
    char text[18];
    std::snprintf(text, sizeof text, "02:%02X:%02X:%02X:00:01", (i >> 16) & 0xFF, (i >> 8) & 0xFF,
                  i & 0xFF);
    return std::string(text);
  };
  const auto random_ip = [](unsigned i) {
    return "10." + std::to_string((i >> 16) & 0xFF) + "." + std::to_string((i >> 8) & 0xFF) + "." +
           std::to_string(i & 0xFF);
  };
  Lab lab;
  // One address, ever new MACs: a handful of rows, one line.
  for (unsigned i = 0; i < 20000; ++i) lab.table.merge(evidence(random_mac(i), "10.0.0.9", "IPv4"));
  EXPECT_EQ(lab.table.size(), kMaxEvidenceRowsPerAddress);
  // A device seen only through its own ARP and frames still gets its row.
  lab.merge({evidence(kCam1, "10.0.0.5", "ARP"), evidence(kCam1, "", "IPv4")});
  EXPECT_EQ(lab.lines(), (std::vector<std::string>{"10.0.0.5 44:19:B6:00:00:01 ARP, IPv4",
                                                   "10.0.0.9 02:00:00:00:00:01 IPv4"}));

  // Random addresses fill the table; a camera answering a search takes the
  // place of the evidence seen least recently (the first flood's), and the
  // table never grows past its limit.
  for (unsigned i = 1; lab.table.size() < kMaxRows; ++i) {
    lab.table.merge(evidence(random_mac(0x100000 + i), random_ip(0x10000 + i), "IPv4"));
  }
  lab.merge({evidence(kCam1, "", "IPv4")});  // seen again: not the oldest
  const std::size_t lines = lab.list.item_count();
  lab.merge({sadp(kCam2, kFactory, "SN2"), evidence(random_mac(0x200000), "10.9.0.9", "IPv4")});
  EXPECT_EQ(lab.table.size(), kMaxRows);
  EXPECT_EQ(lab.list.item_count(), lines + 1);
  EXPECT_NE(lab.table.index().find(kCam2), lab.table.index().end());
  EXPECT_NE(lab.table.index().find(kCam1), lab.table.index().end());
  EXPECT_EQ(lab.table.index().find(random_mac(0)), lab.table.index().end());
  // Evidence finds no place in a full table.
  EXPECT_EQ(lab.table.index().find(random_mac(0x200000)), lab.table.index().end());
}

}  // namespace
}  // namespace norvane
