// Test frames: hex literals with a comment per field, and small builders for
// the Ethernet, VLAN, ARP, IPv4, IPv6 and UDP layers so that a table of cases
// can vary one field at a time.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "support/message_bytes.h"

namespace norvane::test {

using Mac = std::array<std::uint8_t, 6>;
using Ip4 = std::array<std::uint8_t, 4>;
using Ip6 = std::array<std::uint8_t, 16>;

inline Bytes text_bytes(std::string_view text) { return Bytes(text.begin(), text.end()); }

inline void put16(Bytes& b, std::uint16_t v) {
  b.push_back(static_cast<std::uint8_t>(v >> 8));
  b.push_back(static_cast<std::uint8_t>(v));
}

inline constexpr Mac kBroadcast = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
inline constexpr Mac kMdnsGroup = {0x01, 0x00, 0x5E, 0x00, 0x00, 0xFB};
inline constexpr Mac kHostMac = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
inline constexpr Mac kCameraMac = {0x44, 0x19, 0xB6, 0x01, 0x02, 0x03};
inline constexpr Mac kPcMac = {0x00, 0x0C, 0x29, 0xAA, 0xBB, 0xCC};

struct Tag {
  std::uint16_t tpid;
  std::uint16_t tci;
};

inline Bytes ethernet(const Mac& dst, const Mac& src, std::uint16_t type, const Bytes& payload,
                      std::initializer_list<Tag> tags = {}) {
  Bytes b(dst.begin(), dst.end());
  b.insert(b.end(), src.begin(), src.end());
  for (const Tag& t : tags) {
    put16(b, t.tpid);
    put16(b, t.tci);
  }
  put16(b, type);
  return b + payload;
}

struct Arp {
  std::uint16_t hardware = 1;
  std::uint16_t protocol = 0x0800;
  std::uint8_t hardware_length = 6;
  std::uint8_t protocol_length = 4;
  std::uint16_t operation = 2;
  Mac sender_mac = kCameraMac;
  Ip4 sender_ip = {192, 168, 1, 10};
  Mac target_mac = kPcMac;
  Ip4 target_ip = {192, 168, 1, 2};
};

inline Bytes arp(const Arp& a) {
  Bytes b;
  put16(b, a.hardware);
  put16(b, a.protocol);
  b.push_back(a.hardware_length);
  b.push_back(a.protocol_length);
  put16(b, a.operation);
  b.insert(b.end(), a.sender_mac.begin(), a.sender_mac.end());
  b.insert(b.end(), a.sender_ip.begin(), a.sender_ip.end());
  b.insert(b.end(), a.target_mac.begin(), a.target_mac.end());
  b.insert(b.end(), a.target_ip.begin(), a.target_ip.end());
  return b;
}

struct Udp {
  std::uint16_t source = 37020;
  std::uint16_t dest = 37020;
  std::optional<std::uint16_t> length;  // default: 8 + payload
};

inline Bytes udp(const Udp& u, const Bytes& payload) {
  Bytes b;
  put16(b, u.source);
  put16(b, u.dest);
  put16(b, u.length.value_or(static_cast<std::uint16_t>(8 + payload.size())));
  put16(b, 0);  // checksum, not verified
  return b + payload;
}

struct Ipv4 {
  Ip4 source = {192, 168, 1, 64};
  Ip4 dest = {239, 255, 255, 250};
  std::uint8_t protocol = 17;
  std::uint8_t version = 4;
  std::uint8_t ihl = 5;  // options are zero bytes
  std::uint16_t flags_offset = 0;
  std::optional<std::uint16_t> total_length;  // default: header + payload
};

inline Bytes ipv4(const Ipv4& h, const Bytes& payload) {
  const std::size_t header = static_cast<std::size_t>(h.ihl) * 4;
  Bytes b;
  b.push_back(static_cast<std::uint8_t>(h.version << 4 | (h.ihl & 0x0F)));
  b.push_back(0);
  put16(b, h.total_length.value_or(
               static_cast<std::uint16_t>(std::max<std::size_t>(header, 20) + payload.size())));
  put16(b, 0x1234);  // identification
  put16(b, h.flags_offset);
  b.push_back(64);  // TTL
  b.push_back(h.protocol);
  put16(b, 0);  // checksum, not verified
  b.insert(b.end(), h.source.begin(), h.source.end());
  b.insert(b.end(), h.dest.begin(), h.dest.end());
  while (b.size() < header) b.push_back(0);
  return b + payload;
}

struct Ipv6 {
  Ip6 source = {0xFE, 0x80, 0, 0, 0, 0, 0, 0, 0x46, 0x19, 0xB6, 0xFF, 0xFE, 0x01, 0x02, 0x03};
  Ip6 dest = {0xFF, 0x02, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFB};
  std::uint8_t next_header = 17;
  std::uint8_t version = 6;
  std::optional<std::uint16_t> payload_length;  // default: payload size
};

inline Bytes ipv6(const Ipv6& h, const Bytes& payload) {
  Bytes b;
  b.push_back(static_cast<std::uint8_t>(h.version << 4));
  b.push_back(0);
  put16(b, 0);  // flow label
  put16(b, h.payload_length.value_or(static_cast<std::uint16_t>(payload.size())));
  b.push_back(h.next_header);
  b.push_back(255);  // hop limit
  b.insert(b.end(), h.source.begin(), h.source.end());
  b.insert(b.end(), h.dest.begin(), h.dest.end());
  return b + payload;
}

// Pads a frame to the Ethernet minimum of 60 bytes (without FCS), as a
// capture shows short frames.
inline Bytes padded(Bytes frame) {
  if (frame.size() < 60) frame.resize(60, 0);
  return frame;
}

}  // namespace norvane::test
