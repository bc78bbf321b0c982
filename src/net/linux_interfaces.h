// A Linux network interface as getifaddrs and sysfs describe it, and how it
// becomes an entry of the adapter inventory, so that the inventory's own
// filters, IPv4 choice, order and labels decide which adapters are offered.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "net/adapter.h"

namespace norvane {

struct LinuxIpv4 {
  std::uint32_t address = 0;  // network byte order
  std::uint32_t prefix_length = 0;
  bool deprecated = false;  // preferred lifetime over
  bool tentative = false;   // duplicate address detection not finished
};

struct LinuxInterface {
  std::string name;  // "enp3s0"
  std::uint32_t index = 0;
  std::uint32_t flags = 0;      // IFF_* of the interface
  std::uint32_t link_type = 0;  // ARPHRD_* (sysfs "type")
  std::uint32_t address_length = 0;
  std::array<std::uint8_t, 32> address{};  // link-layer address
  std::string operstate;                   // sysfs "operstate": "up", "down", "unknown", ...
  bool wireless = false;                   // has sysfs "wireless" or "phy80211"
  bool device = false;                     // backed by a device (sysfs "device")
  bool readable = true;                    // its sysfs entry could be read
  std::vector<LinuxIpv4> ipv4;
};

// Interface flags and link types read here (their Linux values).
inline constexpr std::uint32_t kLinuxIffUp = 0x1;
inline constexpr std::uint32_t kLinuxIffBroadcast = 0x2;
inline constexpr std::uint32_t kLinuxIffLoopback = 0x8;
inline constexpr std::uint32_t kLinuxIffPointToPoint = 0x10;
inline constexpr std::uint32_t kLinuxIffRunning = 0x40;
inline constexpr std::uint32_t kArphrdEther = 1;
inline constexpr std::uint32_t kArphrdPpp = 512;
inline constexpr std::uint32_t kArphrdLoopback = 772;
inline constexpr std::uint32_t kArphrdIeee80211 = 801;  // monitor mode, radiotap and kin
inline constexpr std::uint32_t kArphrdNone = 65534;     // tun

// The interface type the inventory filters on: an Ethernet-framed link is
// Ethernet (6), or IEEE 802.11 (71) when the interface is a wireless one;
// loopback is 24, PPP 23, everything else "other" (1).
std::uint32_t interface_type(const LinuxInterface& link);

// The entry the inventory rules take: the interface name is both the
// adapter's identity and its label (Linux gives no separate description);
// broadcast access and the link address length come from the interface's
// flags and sysfs; an interface is connected when its operational state is
// up, or unknown (drivers that do not report it) while it is running; a
// hardware interface is one backed by a device.
AdapterEntry entry_from_linux(const LinuxInterface& link);

}  // namespace norvane
