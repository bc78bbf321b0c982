// One input is one captured frame: the capture callback's keep rule, then the
// same bytes as a UDP datagram answer through the reply path. Properties every
// kept summary has (canonical addresses, printable texts, dropped payloads)
// are checked, so a decoder that lets garbage through is a finding too.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "decode/address.h"
#include "decode/frame.h"
#include "model/packet_summary.h"

namespace {

// Longest text a decoder can produce: LLDP's port and system description
// together stay far below this; more means a text grew without bound.
constexpr std::size_t kTextBound = 2048;

[[noreturn]] void fail(const char* what, std::string_view value) {
  std::fprintf(stderr, "frame-fuzz: %s: \"%.*s\" (%zu bytes)\n", what,
               static_cast<int>(value.size() > 300 ? 300 : value.size()), value.data(),
               value.size());
  std::abort();
}

bool canonical_mac(std::string_view mac) {
  if (mac.size() != 17) return false;
  for (std::size_t i = 0; i < 17; ++i) {
    const char c = mac[i];
    if (i % 3 == 2) {
      if (c != ':') return false;
    } else if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) {
      return false;
    }
  }
  // Never a group address: the low bit of the first octet is clear.
  const char first_low = mac[1];
  const int nibble = first_low <= '9' ? first_low - '0' : first_low - 'A' + 10;
  return (nibble & 1) == 0 && mac != "00:00:00:00:00:00";
}

bool canonical_ip(const std::string& ip) {
  std::uint8_t v4[4];
  if (norvane::parse_ipv4(ip, v4)) return norvane::format_ipv4(v4) == ip;
  std::uint8_t v6[16];
  if (norvane::parse_ipv6(ip, v6)) return norvane::format_ipv6(v6) == ip;
  return false;
}

void check_text(const char* field, const std::string& text) {
  if (text.size() > kTextBound) fail(field, text);
  for (const char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x7F) fail(field, text);
  }
}

void check_device_fields(const norvane::PacketSummary& s, bool from_frame) {
  if (!s.mac.empty() && !canonical_mac(s.mac)) fail("mac not canonical", s.mac);
  if (!s.source_mac.empty() && !canonical_mac(s.source_mac)) fail("source_mac", s.source_mac);
  if (from_frame && !s.ip.empty() && !canonical_ip(s.ip)) fail("ip not canonical", s.ip);
  if (s.protocol.empty()) fail("protocol empty", s.protocol);
  check_text("name", s.name);
  check_text("model", s.model);
  check_text("info", s.info);
  check_text("protocol", s.protocol);
}

// Ports that reach a decoder, chosen by one input byte so that every decoder
// of the reply path is reachable from any frame-shaped input.
constexpr std::uint16_t kPorts[] = {137,   1900,  3702,  5353, 5355, 5678,
                                    10001, 37020, 37810, 80,   0,    65535};

std::uint16_t pick_port(std::uint8_t b) { return kPorts[b % (sizeof kPorts / sizeof kPorts[0])]; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The capture callback's rule.
  {
    norvane::PacketSummary s;
    if (norvane::summarize_frame(data, size, s)) {
      if (s.mac.empty()) fail("kept summary without mac", s.mac);
      if (!s.payload.empty() || !s.l2_payload.empty()) fail("payload kept", s.payload);
      check_device_fields(s, true);
    }
  }

  // parse_frame with its stored payload, then the datagram decoders on it
  // (WS-Discovery and SSDP accept any port on the reply path).
  {
    norvane::PacketSummary s;
    if (norvane::parse_frame(data, size, s)) {
      if (s.payload.size() > 16384) fail("udp payload above 16384 bytes", {});
      if (s.l2_payload.size() > 4096) fail("0x8033 payload above 4096 bytes", {});
      norvane::PacketSummary d = s;
      if (norvane::decode_discovery(s)) check_device_fields(s, true);
      if (norvane::decode_datagram(d)) check_device_fields(d, true);
    }
  }

  // The whole input after two port bytes as the payload of a probe answer.
  if (size >= 2) {
    norvane::TrafficCounters counters;
    norvane::DiscoveryReply reply;
    reply.address = 0x0A01A8C0;  // 192.168.1.10 in network order, as stored in memory
    reply.source_port = pick_port(data[0]);
    reply.local_port = pick_port(data[1]);
    reply.data = data + 2;
    reply.size = size - 2;
    norvane::PacketSummary s;
    if (norvane::summary_from_reply(reply, counters, s)) {
      if (s.payload.size() != size - 2) fail("reply payload not copied whole", {});
      if (counters.packet_count.load() != 1 || counters.byte_count.load() != size - 2) {
        fail("reply not counted once", {});
      }
      if (norvane::decode_datagram(s)) check_device_fields(s, false);
    }
  }
  return 0;
}
