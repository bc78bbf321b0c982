// Linux interfaces through the adapter inventory's own rules: which are
// offered, with which address, in which order and under which label.
#include "net/linux_interfaces.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "capture/pcap_capture_posix.h"
#include "net/byte_order.h"

namespace norvane {
namespace {

std::uint32_t ip(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) {
  const std::uint8_t bytes[4] = {a, b, c, d};
  return network_from_bytes(bytes);
}

constexpr std::uint32_t kUp = kLinuxIffUp | kLinuxIffRunning;
constexpr std::uint32_t kEthernetFlags = kUp | kLinuxIffBroadcast;

LinuxInterface link(const char* name, std::uint32_t index, std::uint8_t last_mac_byte) {
  LinuxInterface l;
  l.name = name;
  l.index = index;
  l.flags = kEthernetFlags;
  l.link_type = kArphrdEther;
  l.address_length = 6;
  l.address = {0x02, 0x79, 0x00, 0x00, 0x00, last_mac_byte};
  l.operstate = "up";
  l.device = true;
  l.ipv4 = {{ip(10, 79, 1, index), 24, false, false}};
  return l;
}

std::vector<std::string> names(const std::vector<NetworkAdapter>& adapters) {
  std::vector<std::string> out;
  for (const auto& a : adapters) out.push_back(a.adapter_name);
  return out;
}

std::vector<NetworkAdapter> inventory(const std::vector<LinuxInterface>& links) {
  std::vector<AdapterEntry> entries;
  for (const auto& l : links) entries.push_back(entry_from_linux(l));
  return adapters_from_entries(entries);
}

TEST(LinuxInterfaces, OnlyBroadcastEthernetAndWifiLinksAreOffered) {
  auto loopback = link("lo", 1, 0);
  loopback.link_type = kArphrdLoopback;
  loopback.flags = kUp | kLinuxIffLoopback;
  loopback.address_length = 6;
  auto tun = link("tun0", 3, 3);
  tun.link_type = kArphrdNone;
  tun.flags = kUp | kLinuxIffPointToPoint;
  tun.address_length = 0;
  auto ppp = link("ppp0", 4, 4);
  ppp.link_type = kArphrdPpp;
  ppp.flags = kUp | kLinuxIffPointToPoint;
  auto monitor = link("mon0", 5, 5);
  monitor.link_type = kArphrdIeee80211;
  auto no_broadcast = link("nbma0", 6, 6);
  no_broadcast.flags = kUp;
  auto unreadable = link("gone0", 7, 7);
  unreadable.readable = false;
  auto wifi = link("wlp2s0", 8, 8);
  wifi.wireless = true;
  auto infiniband_like = link("ib0", 9, 9);
  infiniband_like.address_length = 20;
  struct Case {
    LinuxInterface link;
    std::uint32_t type;
    bool offered;
  } const cases[] = {
      {link("enp3s0", 2, 2), kIfTypeEthernet, true},
      {loopback, 24, false},
      {tun, 1, false},
      {ppp, 23, false},
      {monitor, 1, false},
      {no_broadcast, kIfTypeEthernet, false},
      {unreadable, kIfTypeEthernet, false},
      {wifi, kIfTypeIeee80211, true},
      {infiniband_like, kIfTypeEthernet, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(interface_type(c.link), c.type) << c.link.name;
    EXPECT_EQ(inventory({c.link}).size(), c.offered ? 1u : 0u) << c.link.name;
  }
}

TEST(LinuxInterfaces, RecordLabelAndConnection) {
  struct Case {
    const char* operstate;
    std::uint32_t flags;
    bool connected;
  } const cases[] = {
      {"up", kEthernetFlags, true},
      {"down", kLinuxIffBroadcast, false},
      {"lowerlayerdown", kLinuxIffBroadcast | kLinuxIffUp, false},
      {"dormant", kEthernetFlags, false},
      // Drivers that do not report a state: running is what counts.
      {"unknown", kEthernetFlags, true},
      {"unknown", kLinuxIffBroadcast | kLinuxIffUp, false},
      {"", kEthernetFlags, false},
  };
  for (const auto& c : cases) {
    auto l = link("eth0", 2, 0x10);
    l.operstate = c.operstate;
    l.flags = c.flags;
    const auto adapters = inventory({l});
    ASSERT_EQ(adapters.size(), 1u) << c.operstate;
    const NetworkAdapter& a = adapters[0];
    EXPECT_EQ(a.connected, c.connected) << c.operstate;
    EXPECT_EQ(adapter_label(a), c.connected ? u"eth0" : u"eth0 (roz\u0142\u0105czona)");
    EXPECT_EQ(a.adapter_name, "eth0");
    EXPECT_EQ(a.display_name, u"eth0");
    EXPECT_TRUE(a.description.empty());
    EXPECT_EQ(a.if_index, 2u);
    EXPECT_EQ(a.mac, (MacBytes{0x02, 0x79, 0x00, 0x00, 0x00, 0x10}));
    EXPECT_EQ(a.ipv4, ip(10, 79, 1, 2));
    EXPECT_EQ(a.broadcast, ip(10, 79, 1, 255));
    EXPECT_TRUE(a.hardware);
  }
}

TEST(LinuxInterfaces, Ipv4ChoiceFollowsTheAddressFlags) {
  struct Case {
    const char* what;
    std::vector<LinuxIpv4> addresses;
    std::uint32_t ipv4;
    std::uint32_t broadcast;
  } const cases[] = {
      {"none", {}, 0, 0},
      {"only tentative", {{ip(192, 168, 1, 5), 24, false, true}}, 0, 0},
      {"routable deprecated beats link-local",
       {{ip(169, 254, 7, 9), 16, false, false}, {ip(192, 168, 1, 5), 24, true, false}},
       ip(192, 168, 1, 5),
       ip(192, 168, 1, 255)},
      {"preferred beats deprecated",
       {{ip(10, 1, 1, 5), 24, true, false}, {ip(10, 2, 2, 5), 16, false, false}},
       ip(10, 2, 2, 5),
       ip(10, 2, 255, 255)},
      {"first of two",
       {{ip(10, 1, 1, 5), 8, false, false}, {ip(10, 2, 2, 5), 8, false, false}},
       ip(10, 1, 1, 5),
       ip(10, 255, 255, 255)},
      {"/31", {{ip(10, 0, 0, 4), 31, false, false}}, ip(10, 0, 0, 4), 0xFFFFFFFFu},
  };
  for (const auto& c : cases) {
    auto l = link("eth0", 2, 1);
    l.ipv4 = c.addresses;
    const auto adapters = inventory({l});
    ASSERT_EQ(adapters.size(), 1u) << c.what;
    EXPECT_EQ(adapters[0].ipv4, c.ipv4) << c.what;
    EXPECT_EQ(adapters[0].broadcast, c.broadcast) << c.what;
  }
}

TEST(LinuxInterfaces, ConnectedFirstThenDevicesThenIndexOrder) {
  auto bridge = link("br0", 2, 2);  // virtual: no device behind it
  bridge.device = false;
  auto veth = link("veth0", 3, 3);
  veth.device = false;
  auto cable_out = link("enp4s0", 4, 4);
  cable_out.operstate = "down";
  auto wifi = link("wlp2s0", 5, 5);
  wifi.wireless = true;
  const auto adapters = inventory({bridge, veth, cable_out, wifi, link("enp3s0", 6, 6)});
  EXPECT_EQ(names(adapters),
            (std::vector<std::string>{"wlp2s0", "enp3s0", "br0", "veth0", "enp4s0"}));
  // The selected adapter is refreshed by its name.
  NetworkAdapter stored = adapters[1];
  stored.ipv4 = 0;
  EXPECT_TRUE(refresh_adapter(stored, adapters));
  EXPECT_EQ(stored.ipv4, ip(10, 79, 1, 6));
}

TEST(CaptureRights, EffectiveNetRawCapability) {
  struct Case {
    const char* status;
    bool rights;
  } const cases[] = {
      {"Name:\tx\nCapInh:\t0000000000000000\nCapPrm:\t000001ffffffffff\n"
       "CapEff:\t000001ffffffffff\n",
       true},                                                             // root
      {"CapPrm:\t0000000000002000\nCapEff:\t0000000000002000\n", true},   // setcap cap_net_raw
      {"CapPrm:\t0000000000002000\nCapEff:\t0000000000000000\n", false},  // permitted only
      {"CapEff:\t0000000000001000\n", false},                             // cap_net_admin alone
      {"CapEff:\tzz\n", false},
      {"Name:\tx\n", false},
      {"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(status_has_capture_rights(c.status), c.rights) << c.status;
}

// Immediate mode keeps frames in slots of the snapshot length: it is what
// the link can carry.
TEST(CaptureRing, SnapshotFollowsTheMtu) {
  struct Case {
    int mtu;
    int snapshot;
  } const cases[] = {
      {1500, 1522}, {0, 1522},      {-1, 1522},
      {576, 1522},  // never below a full Ethernet frame
      {9000, 9022}, {65535, 65535}, {2147483647, 65535},
  };
  for (const auto& c : cases) EXPECT_EQ(capture_snapshot_length(c.mtu), c.snapshot) << c.mtu;
}

}  // namespace
}  // namespace norvane
