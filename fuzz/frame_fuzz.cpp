// One input is one captured frame: the capture callback's keep rule, then the
// same bytes as a UDP datagram answer through the reply path. Properties every
// kept summary has (canonical addresses, printable texts, dropped payloads)
// are checked, so a decoder that lets garbage through is a finding too.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/address.h"
#include "decode/frame.h"
#include "model/packet_summary.h"
#include "summary_check.h"

namespace {

namespace fuzz = norvane::fuzz;
using fuzz::fail;

// Longest text a decoder can produce: LLDP's port and system description
// together stay far below this; more means a text grew without bound.
constexpr std::size_t kTextBound = 2048;

bool canonical_ip(const std::string& ip) {
  std::uint8_t v4[4];
  if (norvane::parse_ipv4(ip, v4)) return norvane::format_ipv4(v4) == ip;
  std::uint8_t v6[16];
  if (norvane::parse_ipv6(ip, v6)) return norvane::format_ipv6(v6) == ip;
  return false;
}

void check_device_fields(const norvane::PacketSummary& s, bool from_frame) {
  fuzz::check_optional_mac(s.mac);
  fuzz::check_optional_mac(s.source_mac);
  if (from_frame && !s.ip.empty() && !canonical_ip(s.ip)) fail("ip not canonical", s.ip);
  if (s.protocol.empty()) fail("protocol empty", s.protocol);
  fuzz::check_bounded_text("name", s.name, kTextBound);
  fuzz::check_bounded_text("model", s.model, kTextBound);
  fuzz::check_bounded_text("info", s.info, kTextBound);
  fuzz::check_bounded_text("protocol", s.protocol, kTextBound);
  fuzz::check_settings(s.settings, s.protocol);
  // Every summary starts empty here: a goodbye leaves the device texts so.
  if (s.departure) {
    fuzz::check_departure_protocol(s.protocol);
    if (!s.name.empty() || !s.model.empty() || !s.info.empty() || !s.settings.empty()) {
      fail("departure with device fields", s.protocol);
    }
  }
  // Only ARP claims an address, and only an IPv4 one for a MAC.
  if (s.arp_claim && (s.protocol != "ARP" || s.mac.empty() || s.ip.empty() ||
                      s.ip.find(':') != std::string::npos)) {
    fail("claim without ARP address and MAC", s.protocol);
  }
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
