// Checks shared by the discovery decoder fuzz targets: a failed decode leaves
// the summary exactly as it was; a successful one sets its protocol and
// writes only canonical addresses and cleaned texts, never clearing a field;
// a goodbye writes nothing but its protocol and the departure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <tuple>

#include "base/address.h"
#include "decode/scan.h"
#include "model/packet_summary.h"

namespace norvane::fuzz {

// Shows at most 300 bytes of the offending value, and its size.
[[noreturn]] inline void fail(const char* what, std::string_view value) {
  std::fprintf(stderr, "decoder invariant broken: %s: \"%.*s\" (%zu bytes)\n", what,
               static_cast<int>(value.size() > 300 ? 300 : value.size()), value.data(),
               value.size());
  std::abort();
}

inline bool is_hex_upper(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }

inline void check_mac(std::string_view mac) {
  if (mac.size() != 17) fail("mac length", mac);
  for (std::size_t i = 0; i < 17; ++i) {
    if (i % 3 == 2 ? mac[i] != ':' : !is_hex_upper(mac[i])) fail("mac form", mac);
  }
  const int first = std::stoi(std::string(mac.substr(0, 2)), nullptr, 16);
  if (first & 1) fail("group mac", mac);
  if (mac == "00:00:00:00:00:00") fail("zero mac", mac);
}

inline void check_ip(std::string_view ip) {
  if (ip.empty() || ip.size() > 45) fail("ip length", ip);
  for (char c : ip) {
    const bool ok = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || c == '.' || c == ':';
    if (!ok) fail("ip form", ip);
  }
}

inline void check_printable(const char* what, std::string_view text) {
  for (char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x7F) fail(what, text);
  }
}

// A text that may be empty: at most `bound` bytes, all printable.
inline void check_bounded_text(const char* what, std::string_view text, std::size_t bound) {
  if (text.size() > bound) fail(what, text);
  check_printable(what, text);
}

// A cleaned text that a decoder wrote.
inline void check_text(const char* what, std::string_view text) {
  if (text.empty()) fail(what, text);
  check_bounded_text(what, text, kCleanTextLimit);
}

inline void check_optional_mac(std::string_view mac) {
  if (!mac.empty()) check_mac(mac);
}

// LLDP and CDP neighbours: a field may stay empty, texts run to their own
// bound with no space at either end, and every address comes from ip_text,
// which refuses loopback and unspecified ones.
inline void check_neighbour_text(const char* what, std::string_view text, std::size_t bound) {
  check_bounded_text(what, text, bound);
  if (!text.empty() && (text.front() == ' ' || text.back() == ' ')) fail(what, text);
}

inline void check_neighbour_ip(std::string_view ip) {
  if (ip.empty()) return;
  check_ip(ip);
  if (ip.rfind("127.", 0) == 0 || ip == "::" || ip == "::1") fail("unusable ip", ip);
}

// A mask or gateway: empty, or a dotted quad exactly as format_ipv4 writes it.
inline void check_dotted_quad(const char* what, std::string_view text) {
  if (text.empty()) return;
  std::uint8_t bytes[4];
  if (!parse_ipv4(text, bytes) || format_ipv4(bytes) != text) fail(what, text);
}

// What a device said of its settings: only SADP and DHIP answers carry any,
// only SADP an HTTP port; every text is canonical or cleaned.
inline void check_settings(const DeviceSettings& settings, std::string_view protocol) {
  if (settings.empty()) return;
  if (protocol != "SADP" && protocol != "Dahua") fail("settings from", protocol);
  if (settings.http_port != 0 && protocol != "SADP") fail("http port from", protocol);
  check_dotted_quad("mask", settings.mask);
  check_dotted_quad("gateway", settings.gateway);
  if (!settings.serial.empty()) check_text("serial", settings.serial);
}

// Only these protocols have goodbyes.
inline void check_departure_protocol(std::string_view protocol) {
  if (protocol != "SSDP" && protocol != "mDNS" && protocol != "WS-Discovery" &&
      protocol != "ONVIF") {
    fail("departure from", protocol);
  }
}

inline auto frame_fields(const PacketSummary& s) {
  return std::tie(s.source_mac, s.multicast, s.partial, s.ether_type, s.source_port, s.dest_port,
                  s.payload, s.l2_payload);
}

inline auto device_fields(const PacketSummary& s) {
  return std::tie(s.ip, s.mac, s.name, s.model, s.protocol, s.info, s.settings, s.departure,
                  s.arp_claim, s.port);
}

// The port of an LLDP or CDP neighbour: texts as lldp_text gives them, a
// VLAN from 1 to 4094 or none.
inline void check_neighbour_port(const NeighbourPort& port) {
  if (!port.id.empty()) check_bounded_text("port id", port.id, 255);
  if (!port.description.empty()) check_bounded_text("port description", port.description, 255);
  if (port.vlan > 4094) fail("VLAN", std::to_string(port.vlan));
}

inline void check_decode(bool ok, const PacketSummary& before, const PacketSummary& after,
                         std::string_view protocol) {
  if (frame_fields(after) != frame_fields(before)) fail("frame fields changed", after.protocol);
  if (!ok) {
    if (device_fields(after) != device_fields(before)) fail("failed decode wrote", after.protocol);
    return;
  }
  if (after.protocol != protocol) fail("protocol", after.protocol);
  if (after.arp_claim != before.arp_claim) fail("decoder wrote an ARP claim", after.protocol);
  if (after.departure) {
    check_departure_protocol(after.protocol);
    if (std::tie(after.ip, after.mac, after.name, after.model, after.info, after.settings) !=
        std::tie(before.ip, before.mac, before.name, before.model, before.info, before.settings)) {
      fail("departure wrote a device field", after.protocol);
    }
    return;
  }
  if (after.settings != before.settings) check_settings(after.settings, after.protocol);
  if (after.ip != before.ip) check_ip(after.ip);
  if (after.mac != before.mac) check_mac(after.mac);
  if (after.name != before.name) check_text("name", after.name);
  if (after.model != before.model) check_text("model", after.model);
  if (after.info != before.info) check_text("info", after.info);
}

}  // namespace norvane::fuzz
