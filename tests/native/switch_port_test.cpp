// Which switch and port the laptop is plugged into, from the LLDP and CDP
// frames its adapter hears.
#include "app/switch_port.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/list_export.h"

namespace norvane {
namespace {

struct Heard {
  const char* protocol;
  const char* mac;
  const char* name;
  const char* port;
  std::uint16_t vlan;
  std::uint64_t at_ms;
};

PacketSummary neighbour(const Heard& h) {
  PacketSummary s;
  s.protocol = h.protocol;
  s.mac = h.mac;
  s.name = h.name;
  s.port.id = h.port;
  s.port.vlan = h.vlan;
  return s;
}

constexpr char kSwitch[] = "00:1B:54:00:00:01";
constexpr char kPhone[] = "00:1B:54:00:00:99";

TEST(SwitchPort, TheNeighbourAtTheOtherEndOfTheCable) {
  struct Case {
    const char* what;
    std::vector<Heard> heard;
    std::string text;  // empty: none
  };
  const Case cases[] = {
      {"a switch announcing its VLAN",
       {{"LLDP", kSwitch, "sw-core-01", "Gi1/0/7", 20, 1000}},
       "Port prze\u0142\u0105cznika: sw-core-01 Gi1/0/7 \u00B7 VLAN 20"},
      {"no system name: the chassis MAC, no VLAN",
       {{"LLDP", kSwitch, "", "Gi1/0/7", 0, 1000}},
       "Port prze\u0142\u0105cznika: 00:1B:54:00:00:01 Gi1/0/7"},
      {"an IP phone heard last within a minute: the switch, which names the VLAN",
       {{"LLDP", kSwitch, "sw-core-01", "Gi1/0/7", 20, 1000},
        {"LLDP", kPhone, "SEP001B54000099", "Port 1", 0, 30000}},
       "Port prze\u0142\u0105cznika: sw-core-01 Gi1/0/7 \u00B7 VLAN 20"},
      {"more than a minute apart: the latest",
       {{"LLDP", kSwitch, "sw-core-01", "Gi1/0/7", 20, 1000},
        {"CDP", kPhone, "SEP001B54000099", "Port 1", 0, 62000}},
       "Port prze\u0142\u0105cznika: SEP001B54000099 Port 1"},
      {"neither names a VLAN: the latest",
       {{"CDP", kSwitch, "sw-core-01", "Gi1/0/7", 0, 1000},
        {"LLDP", kPhone, "SEP001B54000099", "Port 1", 0, 2000}},
       "Port prze\u0142\u0105cznika: SEP001B54000099 Port 1"},
      {"a switch that stops naming its VLAN has none",
       {{"LLDP", kSwitch, "sw-core-01", "Gi1/0/7", 20, 1000}, {"LLDP", kSwitch, "", "", 0, 31000}},
       "Port prze\u0142\u0105cznika: sw-core-01 Gi1/0/7"},
      {"other protocols say nothing of the cable",
       {{"SSDP", kSwitch, "nas", "", 0, 1000}, {"ARP", kPhone, "", "", 0, 1000}},
       ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SwitchPortTracker tracker;
    for (const Heard& h : c.heard) tracker.observe(neighbour(h), h.at_ms);
    const SwitchNeighbour* now = tracker.current();
    EXPECT_EQ(now ? utf16_to_utf8(switch_port_text(*now)) : "", c.text);
    if (now && now->port.vlan == 20) {
      EXPECT_EQ(switch_port_text_en(*now), "Switch port: sw-core-01 Gi1/0/7, VLAN 20");
    }
    tracker.clear();
    EXPECT_EQ(tracker.current(), nullptr);
  }
}

TEST(SwitchPort, ManyNeighboursKeepTheLatest) {
  SwitchPortTracker tracker;
  for (unsigned i = 0; i < 100; ++i) {
    const std::string mac = "00:1B:54:00:00:" + std::to_string(10 + i % 90);
    tracker.observe(neighbour({"LLDP", mac.c_str(), "sw", "p", 0, i}), i);
  }
  ASSERT_NE(tracker.current(), nullptr);
  EXPECT_EQ(tracker.current()->key, "00:1B:54:00:00:19");
}

}  // namespace
}  // namespace norvane
