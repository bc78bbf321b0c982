// Checks shared by the discovery decoder fuzz targets: a failed decode leaves
// the summary exactly as it was; a successful one sets its protocol and
// writes only canonical addresses and cleaned texts, never clearing a field.
#pragma once

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <tuple>

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

inline auto frame_fields(const PacketSummary& s) {
  return std::tie(s.source_mac, s.multicast, s.partial, s.ether_type, s.source_port, s.dest_port,
                  s.payload, s.l2_payload);
}

inline auto device_fields(const PacketSummary& s) {
  return std::tie(s.ip, s.mac, s.name, s.model, s.protocol, s.info);
}

inline void check_decode(bool ok, const PacketSummary& before, const PacketSummary& after,
                         std::string_view protocol) {
  if (frame_fields(after) != frame_fields(before)) fail("frame fields changed", after.protocol);
  if (!ok) {
    if (device_fields(after) != device_fields(before)) fail("failed decode wrote", after.protocol);
    return;
  }
  if (after.protocol != protocol) fail("protocol", after.protocol);
  if (after.ip != before.ip) check_ip(after.ip);
  if (after.mac != before.mac) check_mac(after.mac);
  if (after.name != before.name) check_text("name", after.name);
  if (after.model != before.model) check_text("model", after.model);
  if (after.info != before.info) check_text("info", after.info);
}

}  // namespace norvane::fuzz
