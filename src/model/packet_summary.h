// The decoded view of one captured frame or received datagram, the probe
// engine's view of one datagram, and the protocol texts with their merge
// priorities.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace norvane {

// What a device says of its own network settings (SADP and DHIP answers
// carry them). Each field is set only when the device sent it well formed.
struct DeviceSettings {
  std::optional<bool> activated;  // false: still waiting for its first password
  std::optional<bool> dhcp;
  std::string mask;     // IPv4 subnet mask, dotted decimal
  std::string gateway;  // IPv4 default gateway, dotted decimal
  std::string serial;
  std::uint16_t http_port = 0;  // 0: not said
  friend bool operator==(const DeviceSettings&, const DeviceSettings&) = default;
  bool empty() const noexcept { return *this == DeviceSettings{}; }
};

// Later statements of a device replace earlier ones, field by field: each
// field of `from` that was said replaces the one in `into`; fields not said
// leave it alone, like the device texts.
void take_settings(DeviceSettings& into, const DeviceSettings& from);

// The port that a neighbour announcement (LLDP, CDP) came from: on the
// adapter's own cable, the switch port the laptop is plugged into.
struct NeighbourPort {
  std::string id;           // Port ID, as a user reads it
  std::string description;  // LLDP Port Description
  std::uint16_t vlan = 0;   // port VLAN (LLDP) or native VLAN (CDP); 0: not announced
  friend bool operator==(const NeighbourPort&, const NeighbourPort&) = default;
};

// Everything the decoding side learns about one frame or datagram. Text
// fields hold the device's bytes as sent (UTF-8 in practice); decoders never
// transcode. A default-constructed summary has every text empty, every flag
// false and every number 0.
struct PacketSummary {
  std::string ip;          // dotted IPv4 or RFC 5952 IPv6 text; empty if unknown
  std::string mac;         // "00:1A:2B:3C:4D:5E"; only unicast, non-zero
  std::string source_mac;  // Ethernet source of a captured frame
  std::string name;
  std::string model;
  std::string protocol;
  std::string info;
  bool multicast = false;  // destination had the group bit set
  bool partial = false;    // payload is the first fragment of an IPv4 datagram
  std::uint16_t ether_type = 0;
  std::uint16_t source_port = 0;
  std::uint16_t dest_port = 0;
  std::string payload;     // stored UDP payload, or the datagram's payload
  std::string l2_payload;  // payload of an EtherType 0x8033 frame
  DeviceSettings settings;
  // The device says goodbye (SSDP ssdp:byebye, WS-Discovery Bye, mDNS
  // records that all expire now): it leaves the network.
  bool departure = false;
  // An ARP reply or announcement: `mac` claims to own `ip`.
  bool arp_claim = false;
  NeighbourPort port;  // LLDP and CDP only
};

// One UDP datagram as the probe engine hands it over. The payload is borrowed
// for the duration of the call that receives the reply.
struct DiscoveryReply {
  std::uint32_t address = 0;  // sender IPv4, network byte order
  std::uint16_t source_port = 0;
  std::uint16_t local_port = 0;
  const std::uint8_t* data = nullptr;
  std::uint64_t size = 0;
};

// Protocol texts. Comparisons are exact and case-sensitive.
namespace proto {
inline constexpr std::string_view kSadp = "SADP";
inline constexpr std::string_view kSadpL2 = "SADP L2";
inline constexpr std::string_view kDahua = "Dahua";
inline constexpr std::string_view kUbiquiti = "Ubiquiti";
inline constexpr std::string_view kMndp = "MNDP";
inline constexpr std::string_view kOnvif = "ONVIF";
inline constexpr std::string_view kLldp = "LLDP";
inline constexpr std::string_view kCdp = "CDP";
inline constexpr std::string_view kMdns = "mDNS";
inline constexpr std::string_view kSsdp = "SSDP";
inline constexpr std::string_view kLlmnr = "LLMNR";
inline constexpr std::string_view kWsDiscovery = "WS-Discovery";
inline constexpr std::string_view kIpv4 = "IPv4";
inline constexpr std::string_view kIpv6 = "IPv6";
inline constexpr std::string_view kArp = "ARP";
inline constexpr std::string_view kStp = "STP";
inline constexpr std::string_view kEthernetLlc = "Ethernet LLC";
inline constexpr std::string_view kEtherType8033 = "EtherType 0x8033";
}  // namespace proto

// Merge priority of a protocol text: the device table lets the higher number
// win when two protocols disagree about a field. Unknown texts get 1.
int protocol_priority(std::string_view protocol) noexcept;

}  // namespace norvane
