// How a simulated device answers: which request it recognises and the reply
// bytes it sends, with the destination a real device of its family uses.
// Pure functions over bytes; the sockets live in main.cpp.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sim_device.h"

namespace norvane::sim {

using Ip4 = std::array<std::uint8_t, 4>;
using Mac = std::array<std::uint8_t, 6>;

inline constexpr Ip4 kSadpGroup = {239, 255, 255, 250};  // also WS-Discovery and SSDP
inline constexpr Ip4 kDhipGroup = {239, 255, 255, 251};
inline constexpr Ip4 kLimitedBroadcast = {255, 255, 255, 255};

inline constexpr std::uint16_t kSadpPort = 37020;
inline constexpr std::uint16_t kDhipPort = 37810;
inline constexpr std::uint16_t kMndpPort = 5678;
inline constexpr std::uint16_t kUbntPort = 10001;
inline constexpr std::uint16_t kWsdPort = 3702;
inline constexpr std::uint16_t kSsdpPort = 1900;
inline constexpr std::uint16_t kSadpEtherType = 0x8033;
inline constexpr std::uint16_t kArpEtherType = 0x0806;
inline constexpr std::uint16_t kLldpEtherType = 0x88CC;

// One datagram that reached a device's socket.
struct Datagram {
  Ip4 source{};
  std::uint16_t source_port = 0;
  std::uint16_t local_port = 0;
  std::string_view payload;
};

// One datagram the device sends back.
struct Reply {
  Ip4 destination{};
  std::uint16_t port = 0;
  std::string payload;
  std::string what;  // short description for the log ("SADP reply", ...)
};

// The UDP ports a kind listens on (service_port: the first of them), and
// the group a device joins on a port (all zero for broadcast-only
// protocols).
std::vector<std::uint16_t> service_ports(Kind kind);
std::uint16_t service_port(Kind kind);
bool serves_port(Kind kind, std::uint16_t port);
Ip4 port_group(std::uint16_t port) noexcept;

// The replies of a device to one datagram; empty when the datagram is not a
// request this device answers. Never reads outside the payload.
std::vector<Reply> answer(const Device& device, const Datagram& request);

// The raw SADP reply frame to a raw SADP inquiry frame (EtherType 0x8033,
// starting at the destination MAC), or empty when the frame is no inquiry.
std::string answer_frame(const Device& device, std::string_view frame);

// What the device sends when it leaves the network (a UPnP device's SSDP
// byebye for each of its targets); empty for kinds that leave silently.
std::vector<Reply> goodbye(const Device& device);

// The frame that announces the device's IPv4 address as its own by ARP
// (sender and target address alike), from its MAC to everyone.
std::string arp_announcement(const Device& device);

// A switch's LLDPDU from its MAC to the nearest-bridge group: chassis (its
// MAC), port (the model field, an interface name), TTL, port description
// (serial), system name (name), management address (its IPv4 address), the
// IEEE 802.1 Port VLAN ID when it has one, End. Texts longer than an LLDP
// string may be are cut to 255 bytes.
std::string lldp_announcement(const Device& device);

// Percent-encoding of a scope value: unreserved bytes stay, everything else
// becomes %XX (upper-case digits).
std::string percent_encode(std::string_view text);

// The requests of one search, as norvane builds them (fixed UUIDs): what the
// expectation and the namespace client send.
struct Request {
  Ip4 destination{};
  std::uint16_t port = 0;
  bool own_port = false;  // sent from a socket bound to the same port
  std::string payload;
};
std::vector<Request> discovery_requests();
// norvane's raw SADP inquiry frame from the given MAC and IPv4 address.
std::string inquiry_frame(const Mac& mac, const Ip4& ip);

}  // namespace norvane::sim
