// One usable Ethernet or Wi-Fi adapter, and the rules that decide which
// adapters are offered, which IPv4 address each one works with, in which order
// they are listed and how each one is labelled.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace norvane {

using MacBytes = std::array<std::uint8_t, 6>;

struct NetworkAdapter {
  std::array<std::uint8_t, 16> guid{};  // interface GUID, as stored in memory
  std::string adapter_name;             // "{GUID}" as the enumeration gives it
  std::u16string display_name;          // friendly name, or the description
  std::u16string description;
  MacBytes mac{};                   // current physical address
  std::uint32_t if_index = 0;       // IPv4 interface index, 0 without IPv4
  std::uint32_t ipv4 = 0;           // network byte order; 0 when none qualifies
  std::uint32_t broadcast = 0;      // network byte order; 0 when ipv4 is 0
  std::uint32_t prefix_length = 0;  // on-link prefix of ipv4; 0 when ipv4 is 0
  bool connected = false;           // operational status up
  bool hardware = false;            // a hardware interface
};

// Interface types and values the enumeration gives that the filters read.
inline constexpr std::uint32_t kIfTypeEthernet = 6;
inline constexpr std::uint32_t kIfTypeIeee80211 = 71;
inline constexpr std::uint32_t kIfAccessBroadcast = 2;
inline constexpr std::uint32_t kDadDeprecated = 3;
inline constexpr std::uint32_t kDadPreferred = 4;
inline constexpr std::uint16_t kFamilyIpv4 = 2;  // AF_INET

// One unicast address of an enumeration entry, as far as the choice reads it.
struct UnicastAddress {
  bool present = false;       // the socket address pointer is set
  std::int32_t length = 0;    // socket address length in bytes
  std::uint16_t family = 0;   // address family
  std::uint32_t address = 0;  // IPv4, network byte order (family kFamilyIpv4)
  std::uint32_t dad_state = 0;
  std::uint32_t prefix_length = 0;  // on-link prefix length
};

// One entry of the adapter enumeration together with its interface row, as
// the platform layer reads them. The platform fills it; the rules below decide.
struct AdapterEntry {
  bool has_name = false;
  std::string adapter_name;
  std::u16string friendly_name;  // empty when the enumeration gives none
  std::u16string description;
  std::uint32_t if_type = 0;
  std::uint32_t if_index = 0;
  bool oper_up = false;
  bool row_read = false;  // the interface row could be read
  bool filter_interface = false;
  bool hardware_interface = false;
  std::uint32_t access_type = 0;
  std::uint32_t physical_length = 0;
  std::array<std::uint8_t, 16> guid{};
  std::array<std::uint8_t, 32> physical_address{};
  std::vector<UnicastAddress> unicast;
};

// The chosen IPv4 address among an entry's unicast addresses: highest score,
// first among equals. Both 0 without a candidate.
struct Ipv4Choice {
  std::uint32_t address = 0;    // network byte order
  std::uint32_t broadcast = 0;  // network byte order
  std::uint32_t prefix_length = 0;
};
Ipv4Choice choose_ipv4(std::span<const UnicastAddress> addresses);

// Directed broadcast of an address (network byte order) with its on-link
// prefix length; 255.255.255.255 outside prefixes 1 to 30.
std::uint32_t directed_broadcast(std::uint32_t address, std::uint32_t prefix_length);

// Filters the entries, fills one record per usable entry and orders them:
// connected first, then hardware interfaces, otherwise enumeration order.
std::vector<NetworkAdapter> adapters_from_entries(std::span<const AdapterEntry> entries);

// Copies over `stored` the first record of `fresh` with the same
// adapter_name (exact comparison); false when there is none.
bool refresh_adapter(NetworkAdapter& stored, std::span<const NetworkAdapter> fresh);

// The selector's adapters after a new enumeration, and the position of the
// selected one. A selected adapter keeps the selection by adapter_name; one
// the enumeration no longer gives stays listed last with its last known
// values, as not connected, so that the selection never moves by itself.
// Without a selection the first adapter, if any, is selected.
struct AdapterRelist {
  std::vector<NetworkAdapter> adapters;
  std::optional<std::size_t> selected;
};
AdapterRelist relist_adapters(std::vector<NetworkAdapter> fresh, const NetworkAdapter* selected);

// The selector text of one adapter.
std::u16string adapter_label(const NetworkAdapter& adapter);

// Runs an enumeration call that fills a buffer and answers 0, 111 (buffer
// too small, with the size it needs written back) or another error: first
// with 16384 bytes, then with the size asked for, at most three calls in all.
// The filled buffer, or nothing on an error or a third "too small".
inline constexpr std::uint32_t kErrorBufferOverflow = 111;
std::optional<std::vector<std::uint8_t>> call_with_growing_buffer(
    const std::function<std::uint32_t(std::uint8_t* buffer, std::uint32_t& size)>& call);

// The usable adapters of this machine, in order; empty on any error.
// Platform layer (IP Helper on Windows).
std::vector<NetworkAdapter> list_adapters();

}  // namespace norvane
