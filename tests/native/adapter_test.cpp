#include "net/adapter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "net/byte_order.h"

namespace norvane {
namespace {

std::uint32_t ip(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) {
  const std::uint8_t bytes[4] = {a, b, c, d};
  return network_from_bytes(bytes);
}

UnicastAddress v4(std::uint32_t address, std::uint32_t prefix, std::uint32_t dad = kDadPreferred) {
  UnicastAddress u;
  u.present = true;
  u.length = 16;
  u.family = kFamilyIpv4;
  u.address = address;
  u.dad_state = dad;
  u.prefix_length = prefix;
  return u;
}

TEST(AdapterInventory, Ipv4ChoiceAndBroadcast) {
  UnicastAddress v6 = v4(0, 64);
  v6.family = 23;
  v6.length = 28;
  UnicastAddress short_name = v4(ip(10, 0, 0, 9), 24);
  short_name.length = 8;
  UnicastAddress absent = v4(ip(10, 0, 0, 8), 24);
  absent.present = false;
  struct Case {
    const char* what;
    std::vector<UnicastAddress> addresses;
    std::uint32_t ipv4;
    std::uint32_t broadcast;
  } const cases[] = {
      {"routable deprecated beats link-local preferred",
       {v4(ip(169, 254, 7, 9), 16), v4(ip(192, 168, 1, 5), 24, kDadDeprecated)},
       ip(192, 168, 1, 5),
       ip(192, 168, 1, 255)},
      {"first of two equal",
       {v4(ip(10, 1, 1, 5), 8), v4(ip(10, 2, 2, 5), 8)},
       ip(10, 1, 1, 5),
       ip(10, 255, 255, 255)},
      {"preferred beats deprecated",
       {v4(ip(10, 1, 1, 5), 24, kDadDeprecated), v4(ip(10, 2, 2, 5), 24)},
       ip(10, 2, 2, 5),
       ip(10, 2, 2, 255)},
      {"/30", {v4(ip(10, 0, 0, 5), 30)}, ip(10, 0, 0, 5), ip(10, 0, 0, 7)},
      {"/31", {v4(ip(10, 0, 0, 5), 31)}, ip(10, 0, 0, 5), 0xFFFFFFFFu},
      {"/32", {v4(ip(10, 0, 0, 5), 32)}, ip(10, 0, 0, 5), 0xFFFFFFFFu},
      {"/0", {v4(ip(10, 0, 0, 5), 0)}, ip(10, 0, 0, 5), 0xFFFFFFFFu},
      {"/1", {v4(ip(10, 0, 0, 5), 1)}, ip(10, 0, 0, 5), ip(127, 255, 255, 255)},
      {"/16", {v4(ip(172, 16, 4, 9), 16)}, ip(172, 16, 4, 9), ip(172, 16, 255, 255)},
      {"tentative only", {v4(ip(10, 0, 0, 5), 24, 1)}, 0, 0},
      {"duplicate only", {v4(ip(10, 0, 0, 5), 24, 2)}, 0, 0},
      {"zero address, IPv6, short and absent names", {v4(0, 24), v6, short_name, absent}, 0, 0},
      {"link-local deprecated is still a choice",
       {v4(ip(169, 254, 1, 2), 16, kDadDeprecated)},
       ip(169, 254, 1, 2),
       ip(169, 254, 255, 255)},
      {"nothing", {}, 0, 0},
  };
  for (const auto& c : cases) {
    const Ipv4Choice choice = choose_ipv4(c.addresses);
    EXPECT_EQ(choice.address, c.ipv4) << c.what;
    EXPECT_EQ(choice.broadcast, c.broadcast) << c.what;
  }
}

AdapterEntry entry(std::string name, std::uint32_t type = kIfTypeEthernet, bool up = true,
                   bool hardware = true) {
  AdapterEntry e;
  e.has_name = true;
  e.adapter_name = std::move(name);
  e.friendly_name = u"Ethernet";
  e.description = u"Intel(R) Ethernet Connection";
  e.if_type = type;
  e.if_index = 7;
  e.oper_up = up;
  e.row_read = true;
  e.hardware_interface = hardware;
  e.access_type = kIfAccessBroadcast;
  e.physical_length = 6;
  e.physical_address = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66};
  e.guid[0] = 0xAB;
  e.unicast = {v4(ip(192, 168, 1, 5), 24)};
  return e;
}

std::vector<std::string> names(const std::vector<NetworkAdapter>& adapters) {
  std::vector<std::string> out;
  for (const auto& a : adapters) out.push_back(a.adapter_name);
  return out;
}

TEST(AdapterInventory, FiltersEntries) {
  std::vector<AdapterEntry> entries;
  entries.push_back(entry("eth"));
  entries.push_back(entry("wifi", kIfTypeIeee80211));
  for (std::uint32_t type : {24u, 131u, 23u, 243u}) {  // loopback, tunnel, PPP, other
    entries.push_back(entry("type" + std::to_string(type), type));
  }
  auto unnamed = entry("");
  unnamed.has_name = false;
  entries.push_back(unnamed);
  auto unreadable = entry("row");
  unreadable.row_read = false;
  entries.push_back(unreadable);
  auto filter = entry("filter");
  filter.filter_interface = true;
  entries.push_back(filter);
  auto p2p = entry("p2p");
  p2p.access_type = 3;
  entries.push_back(p2p);
  auto long_mac = entry("eui64");
  long_mac.physical_length = 8;
  entries.push_back(long_mac);
  auto no_ipv4 = entry("tentative");
  no_ipv4.unicast = {v4(ip(10, 0, 0, 5), 24, 1)};
  entries.push_back(no_ipv4);

  const auto adapters = adapters_from_entries(entries);
  EXPECT_EQ(names(adapters), (std::vector<std::string>{"eth", "wifi", "tentative"}));
  ASSERT_EQ(adapters.size(), 3u);
  const NetworkAdapter& a = adapters[0];
  EXPECT_EQ(a.mac, (MacBytes{0x00, 0x11, 0x22, 0x33, 0x44, 0x55}));
  EXPECT_EQ(a.guid[0], 0xAB);
  EXPECT_EQ(a.if_index, 7u);
  EXPECT_EQ(a.ipv4, ip(192, 168, 1, 5));
  EXPECT_EQ(a.broadcast, ip(192, 168, 1, 255));
  EXPECT_TRUE(a.connected);
  EXPECT_TRUE(a.hardware);
  EXPECT_EQ(a.display_name, u"Ethernet");
  EXPECT_EQ(adapters[2].ipv4, 0u);
  EXPECT_EQ(adapters[2].broadcast, 0u);
}

TEST(AdapterInventory, OrderConnectedThenHardwareThenEnumeration) {
  std::vector<AdapterEntry> entries = {
      entry("virtual-up", kIfTypeEthernet, true, false),
      entry("down-hw", kIfTypeEthernet, false, true),
      entry("hw-up-1", kIfTypeEthernet, true, true),
      entry("down-virtual", kIfTypeEthernet, false, false),
      entry("hw-up-2", kIfTypeIeee80211, true, true),
      entry("virtual-up-2", kIfTypeEthernet, true, false),
  };
  EXPECT_EQ(names(adapters_from_entries(entries)),
            (std::vector<std::string>{"hw-up-1", "hw-up-2", "virtual-up", "virtual-up-2", "down-hw",
                                      "down-virtual"}));
}

TEST(AdapterInventory, Labels) {
  struct Case {
    std::u16string friendly;
    std::u16string description;
    bool connected;
    std::u16string label;
  } const cases[] = {
      {u"Ethernet", u"Intel(R) Ethernet Connection", true,
       u"Ethernet \u2014 Intel(R) Ethernet Connection"},
      {u"Wi-Fi", u"Wi-Fi", true, u"Wi-Fi"},
      {u"Wi-Fi", u"wi-fi", true, u"Wi-Fi \u2014 wi-fi"},  // case-sensitive comparison
      {u"Ethernet 2", u"", false, u"Ethernet 2 (roz\u0142\u0105czona)"},
      {u"", u"Realtek USB", false, u"Realtek USB (roz\u0142\u0105czona)"},  // name from description
  };
  for (const auto& c : cases) {
    AdapterEntry e = entry("x");
    e.friendly_name = c.friendly;
    e.description = c.description;
    e.oper_up = c.connected;
    const AdapterEntry one[] = {e};
    const auto adapters = adapters_from_entries(one);
    ASSERT_EQ(adapters.size(), 1u);
    EXPECT_EQ(adapter_label(adapters[0]), c.label);
  }
}

TEST(AdapterInventory, EnumerationBufferGrowsAtMostThreeCalls) {
  struct Case {
    std::vector<std::uint32_t> answers;  // per call
    bool filled;
    int calls;
  } const cases[] = {
      {{0}, true, 1},           {{111, 0}, true, 2},
      {{111, 111, 0}, true, 3}, {{111, 111, 111, 0}, false, 3},
      {{232}, false, 1},  // ERROR_NO_DATA
      {{111, 87}, false, 2},
  };
  for (const auto& c : cases) {
    int calls = 0;
    std::vector<std::uint32_t> sizes;
    const auto result = call_with_growing_buffer([&](std::uint8_t*, std::uint32_t& size) {
      sizes.push_back(size);
      const std::uint32_t answer = c.answers[static_cast<std::size_t>(calls++)];
      if (answer == kErrorBufferOverflow) size = 20000 + static_cast<std::uint32_t>(calls);
      return answer;
    });
    EXPECT_EQ(result.has_value(), c.filled);
    EXPECT_EQ(calls, c.calls);
    ASSERT_FALSE(sizes.empty());
    EXPECT_EQ(sizes[0], 16384u);
    for (std::size_t i = 1; i < sizes.size(); ++i) EXPECT_EQ(sizes[i], 20000u + i);
  }
}

TEST(AdapterInventory, RefreshByAdapterName) {
  NetworkAdapter stored;
  stored.adapter_name = "{A}";
  stored.ipv4 = ip(192, 168, 1, 5);
  stored.display_name = u"old";
  NetworkAdapter other = stored;
  other.adapter_name = "{B}";
  other.ipv4 = ip(10, 9, 9, 9);
  NetworkAdapter moved = stored;
  moved.ipv4 = ip(10, 1, 1, 5);
  moved.display_name = u"new";
  NetworkAdapter later = moved;
  later.ipv4 = ip(10, 2, 2, 2);

  const std::vector<NetworkAdapter> fresh = {other, moved, later};
  ASSERT_TRUE(refresh_adapter(stored, fresh));
  EXPECT_EQ(stored.ipv4, ip(10, 1, 1, 5));  // the first with the same name
  EXPECT_EQ(stored.display_name, u"new");

  const std::vector<NetworkAdapter> gone = {other};
  EXPECT_FALSE(refresh_adapter(stored, gone));
  EXPECT_EQ(stored.ipv4, ip(10, 1, 1, 5));  // last known values stay
}

NetworkAdapter named_adapter(const char* name, bool connected = true, std::uint32_t ipv4 = 0) {
  NetworkAdapter a;
  a.adapter_name = name;
  a.display_name = std::u16string(name, name + std::char_traits<char>::length(name));
  a.connected = connected;
  a.ipv4 = ipv4;
  return a;
}

// Listing the adapters again while one is selected: which records the
// selector shows, in order, and which one stays selected.
TEST(AdapterInventory, RelistKeepsTheSelectionByName) {
  struct Case {
    const char* what;
    std::vector<NetworkAdapter> fresh;
    std::optional<NetworkAdapter> selected;
    std::vector<std::string> want_names;
    std::optional<std::size_t> want_selected;
    bool want_selected_connected;
  };
  const NetworkAdapter a = named_adapter("{A}", true, ip(10, 0, 0, 1));
  const NetworkAdapter b = named_adapter("{B}");
  const NetworkAdapter usb = named_adapter("{USB}");
  NetworkAdapter a_moved = a;
  a_moved.ipv4 = ip(10, 0, 0, 99);
  const std::vector<Case> cases = {
      {"an adapter plugged in before the selected one",
       {usb, a, b},
       b,
       {"{USB}", "{A}", "{B}"},
       2,
       true},
      {"the selected one is refreshed in place", {a_moved, b}, a, {"{A}", "{B}"}, 0, true},
      {"a selected adapter that is gone stays last, as not connected",
       {b, usb},
       a,
       {"{B}", "{USB}", "{A}"},
       2,
       false},
      {"everything gone: the selected one alone", {}, a, {"{A}"}, 0, false},
      {"nothing was selected: the first adapter is", {b, a}, std::nullopt, {"{B}", "{A}"}, 0, true},
      {"nothing selected and nothing there", {}, std::nullopt, {}, std::nullopt, false},
      {"a name listed twice: the first one", {b, a_moved, a}, a, {"{B}", "{A}", "{A}"}, 1, true},
  };
  for (const auto& c : cases) {
    const AdapterRelist out = relist_adapters(c.fresh, c.selected ? &*c.selected : nullptr);
    std::vector<std::string> names;
    for (const auto& adapter : out.adapters) names.push_back(adapter.adapter_name);
    EXPECT_EQ(names, c.want_names) << c.what;
    ASSERT_EQ(out.selected, c.want_selected) << c.what;
    if (!out.selected) continue;
    const NetworkAdapter& chosen = out.adapters[*out.selected];
    EXPECT_EQ(chosen.connected, c.want_selected_connected) << c.what;
    if (c.selected && chosen.adapter_name == c.selected->adapter_name) {
      // Fresh values when the enumeration has them, the last known otherwise.
      const auto fresh = std::find_if(c.fresh.begin(), c.fresh.end(), [&](const auto& f) {
        return f.adapter_name == c.selected->adapter_name;
      });
      EXPECT_EQ(chosen.ipv4, fresh != c.fresh.end() ? fresh->ipv4 : c.selected->ipv4) << c.what;
    }
  }
  // A label for the kept one says it is not connected.
  const AdapterRelist gone = relist_adapters({}, &a);
  EXPECT_EQ(adapter_label(gone.adapters[0]), u"{A} (roz\u0142\u0105czona)");
}

}  // namespace
}  // namespace norvane
