#include "decode/frame.h"

#include <cstddef>
#include <cstring>
#include <limits>
#include <span>
#include <string>

#include "base/address.h"
#include "decode/byte_reader.h"
#include "decode/dns.h"
#include "decode/lldp_cdp.h"
#include "decode/sadp.h"
#include "decode/tlv_discovery.h"
#include "decode/wsd.h"

namespace norvane {

namespace {

constexpr std::size_t kEthernetHeader = 14;
constexpr std::uint16_t kMaxIeee8023Length = 1500;
constexpr std::uint16_t kMinEtherType = 0x0600;

constexpr std::uint16_t kTypeIpv4 = 0x0800;
constexpr std::uint16_t kTypeArp = 0x0806;
constexpr std::uint16_t kTypeIpv6 = 0x86DD;
constexpr std::uint16_t kTypeLldp = 0x88CC;
constexpr std::uint16_t kTypeSadp = 0x8033;

constexpr std::size_t kSadpFrameMin = 2;
constexpr std::size_t kSadpFrameMax = 4096;

constexpr std::uint16_t kUdpLengthMin = 9;       // at least one payload byte
constexpr std::uint16_t kUdpLengthMax = 16392;   // at most 16384 payload bytes
constexpr std::uint16_t kDhipMinUdpLength = 40;  // DHIP header is 32 bytes

constexpr std::uint16_t kPortSadp = 37020;
constexpr std::uint16_t kPortUbiquiti = 10001;
constexpr std::uint16_t kPortMndp = 5678;
constexpr std::uint16_t kPortWsd = 3702;
constexpr std::uint16_t kPortSsdp = 1900;
constexpr std::uint16_t kPortLlmnr = 5355;
constexpr std::uint16_t kPortMdns = 5353;

constexpr std::uint8_t kCdpSnap[8] = {0xAA, 0xAA, 0x03, 0x00, 0x00, 0x0C, 0x20, 0x00};

bool is_vlan_tag(std::uint16_t type) noexcept {
  return type == 0x8100 || type == 0x9100 || type == 0x88A8;
}

// Ports whose UDP payloads are kept for the decoders (137 is kept although
// no decoder reads it yet, 37810 is the DHIP port whose payloads are also
// recognised by content).
bool in_port_set(std::uint16_t port) noexcept {
  switch (port) {
    case 137:
    case kPortSsdp:
    case kPortWsd:
    case kPortMdns:
    case kPortLlmnr:
    case kPortMndp:
    case kPortUbiquiti:
    case kPortSadp:
    case 37810:
      return true;
    default:
      return false;
  }
}

std::uint16_t be16_at(const std::uint8_t* p) noexcept {
  return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}

// What the UDP rule decided to keep: a view into the frame, not yet copied,
// so that a frame that is rejected afterwards costs no allocation.
struct UdpPick {
  std::span<const std::uint8_t> payload;
  std::uint16_t source_port = 0;
  std::uint16_t dest_port = 0;
  bool partial = false;
};

// `udp` holds at least `n` bytes: the IP layer's idea of the UDP datagram
// (all of it, or the part in a first fragment when `fragment` is set).
UdpPick udp_rule(std::span<const std::uint8_t> udp, std::size_t n, bool fragment) noexcept {
  UdpPick pick;
  if (n < 8 || udp.size() < n) return pick;
  ByteReader r(udp.first(n));
  const std::uint16_t s = r.be16();
  const std::uint16_t d = r.be16();
  const std::uint16_t u = r.be16();
  if (!r.ok() || u < kUdpLengthMin || u > kUdpLengthMax) return pick;

  if (!in_port_set(s) && !in_port_set(d)) {
    // DHIP may use any port pair; its magic sits at payload bytes 4 to 7.
    if (fragment || n < kDhipMinUdpLength || u < kDhipMinUdpLength) return pick;
    if (std::memcmp(udp.data() + 8 + 4, "DHIP", 4) != 0) return pick;
  }

  std::size_t stored = 0;
  if (fragment) {
    // Only SADP answers are large enough to be fragmented and worth a
    // partial decode; a first fragment carries a multiple of 8 bytes.
    if (n % 8 != 0 || n >= u || (s != kPortSadp && d != kPortSadp)) return pick;
    stored = n - 8;
  } else {
    if (n < u) return pick;
    stored = static_cast<std::size_t>(u) - 8;
  }
  pick.payload = udp.subspan(8, stored);
  pick.source_port = s;
  pick.dest_port = d;
  pick.partial = fragment;
  return pick;
}

void store_udp(const UdpPick& pick, PacketSummary& summary) {
  summary.source_port = pick.source_port;
  summary.dest_port = pick.dest_port;
  summary.partial = pick.partial;
  summary.payload.assign(reinterpret_cast<const char*>(pick.payload.data()), pick.payload.size());
}

// Clears the summary in place. Strings keep their capacity, so a caller that
// parses frame after frame into one summary does not allocate for every
// frame; a fresh summary costs nothing extra either way.
void reset(PacketSummary& s) noexcept {
  s.ip.clear();
  s.mac.clear();
  s.source_mac.clear();
  s.name.clear();
  s.model.clear();
  s.protocol.clear();
  s.info.clear();
  s.multicast = false;
  s.partial = false;
  s.ether_type = 0;
  s.source_port = 0;
  s.dest_port = 0;
  s.payload.clear();
  s.l2_payload.clear();
  s.settings.activated.reset();
  s.settings.dhcp.reset();
  s.settings.mask.clear();
  s.settings.gateway.clear();
  s.settings.serial.clear();
  s.settings.http_port = 0;
  s.departure = false;
  s.arp_claim = false;
  s.port.id.clear();
  s.port.description.clear();
  s.port.vlan = 0;
}

std::string ether_type_text(std::uint16_t type) {
  constexpr char kHex[] = "0123456789ABCDEF";
  std::string text = "EtherType 0x";
  for (int shift = 12; shift >= 0; shift -= 4) text.push_back(kHex[(type >> shift) & 0x0F]);
  return text;
}

// The IP source address is filtered exactly as ip_text does it; testing the
// bytes first lets a frame be rejected without building the text.
bool ipv4_source_usable(const std::uint8_t* a) noexcept {
  return a[0] != 0 && a[0] != 127 && a[0] < 224;
}

bool ipv6_source_usable(const std::uint8_t* a) noexcept {
  if (a[0] == 0xFF) return false;
  for (int i = 0; i < 15; ++i) {
    if (a[i] != 0) return true;
  }
  return a[15] > 1;
}

// The end of every accepted frame: the Ethernet source is the device unless
// a decoder named another one.
bool finish(const std::uint8_t* frame, PacketSummary& summary) {
  summary.source_mac = mac_text(frame + 6);
  if (summary.mac.empty()) summary.mac = summary.source_mac;
  return true;
}

bool parse_arp(std::span<const std::uint8_t> payload, bool multicast, PacketSummary& summary) {
  ByteReader r(payload);
  const std::uint16_t hardware = r.be16();
  const std::uint16_t protocol = r.be16();
  const std::uint8_t hardware_length = r.u8();
  const std::uint8_t protocol_length = r.u8();
  const std::uint16_t operation = r.be16();
  const auto sender_mac = r.bytes(6);
  const auto sender_ip = r.bytes(4);
  r.skip(6);  // target hardware address
  const auto target_ip = r.bytes(4);
  if (!r.ok() || hardware != 1 || protocol != kTypeIpv4 || hardware_length != 6 ||
      protocol_length != 4 || (operation != 1 && operation != 2)) {
    return false;
  }
  if (!is_unicast_mac(sender_mac.data())) return false;
  if (!ipv4_source_usable(sender_ip.data())) {
    // Without a usable sender address only an address probe (RFC 5227:
    // broadcast request from 0.0.0.0) still tells us a device is there.
    const bool probe = operation == 1 && multicast && sender_ip[0] == 0 && sender_ip[1] == 0 &&
                       sender_ip[2] == 0 && sender_ip[3] == 0;
    if (!probe) return false;
  }
  summary.mac = mac_text(sender_mac.data());
  summary.ip = ip_text(sender_ip.data(), 4);
  summary.protocol = proto::kArp;
  // A reply, or a request for the sender's own address (an announcement,
  // RFC 5227), says the sender owns the address. Other requests only ask,
  // and a probe has no address to claim.
  const bool announcement =
      operation == 1 && std::memcmp(sender_ip.data(), target_ip.data(), 4) == 0;
  summary.arp_claim = (operation == 2 || announcement) && !summary.ip.empty();
  return true;
}

bool parse_ipv6_packet(std::span<const std::uint8_t> payload, bool multicast,
                       PacketSummary& summary) {
  constexpr std::size_t kHeader = 40;
  if (payload.size() < kHeader || (payload[0] >> 4) != 6) return false;
  const std::size_t payload_length = be16_at(payload.data() + 4);
  const std::uint8_t next_header = payload[6];
  const std::uint8_t* source = payload.data() + 8;

  UdpPick pick;
  if (next_header == 17 && payload_length <= payload.size() - kHeader) {
    pick = udp_rule(payload.subspan(kHeader), payload_length, false);
  }
  const bool stored = !pick.payload.empty();
  if (!stored && !multicast) return false;
  if (!stored && !ipv6_source_usable(source)) return false;

  if (stored) store_udp(pick, summary);
  summary.ip = ip_text(source, 16);
  summary.protocol = proto::kIpv6;
  return true;
}

bool parse_ipv4_packet(std::span<const std::uint8_t> payload, bool multicast,
                       PacketSummary& summary) {
  if (payload.size() < 20 || (payload[0] >> 4) != 4) return false;
  const std::size_t header = static_cast<std::size_t>(payload[0] & 0x0F) * 4;
  const std::size_t total = be16_at(payload.data() + 2);
  if (header < 20 || payload.size() < header || total < header) return false;
  const std::uint16_t flags_offset = be16_at(payload.data() + 6);
  const bool more_fragments = (flags_offset & 0x2000) != 0;
  const std::uint8_t protocol = payload[9];
  const std::uint8_t* source = payload.data() + 12;

  UdpPick pick;
  if (protocol == 17 && payload.size() >= total && (flags_offset & 0x1FFF) == 0) {
    pick = udp_rule(payload.subspan(header), total - header, more_fragments);
  }
  const bool stored = !pick.payload.empty();
  if (!stored && !multicast) return false;
  if (!stored && !ipv4_source_usable(source)) return false;

  if (stored) store_udp(pick, summary);
  summary.ip = ip_text(source, 4);
  summary.protocol = proto::kIpv4;
  return true;
}

}  // namespace

bool parse_frame(const std::uint8_t* frame, std::uint64_t length, PacketSummary& summary) {
  reset(summary);
  if (frame == nullptr || length < kEthernetHeader) return false;
  if (length > std::numeric_limits<std::size_t>::max()) return false;
  if (!is_unicast_mac(frame + 6)) return false;
  const std::span<const std::uint8_t> bytes(frame, static_cast<std::size_t>(length));
  const bool multicast = (frame[0] & 0x01) != 0;
  summary.multicast = multicast;

  // Any number of stacked 802.1Q / 802.1ad tags; each holds the next type in
  // its last two bytes.
  std::size_t offset = 12;
  std::uint16_t type = be16_at(frame + offset);
  offset += 2;
  while (is_vlan_tag(type)) {
    if (bytes.size() - offset < 4) return false;
    type = be16_at(frame + offset + 2);
    offset += 4;
  }
  const std::span<const std::uint8_t> payload = bytes.subspan(offset);

  if (type <= kMaxIeee8023Length) {
    const std::size_t declared = type;
    if (payload.size() < declared) return false;
    const std::span<const std::uint8_t> llc = payload.first(declared);
    if (declared >= 8 && std::memcmp(llc.data(), kCdpSnap, sizeof kCdpSnap) == 0) {
      if (!decode_cdp(llc.data(), llc.size(), summary)) return false;
      summary.multicast = multicast;
      summary.ether_type = 0;
      return finish(frame, summary);
    }
    if (declared < 3 || !multicast) return false;
    const bool stp = declared >= 7 && llc[0] == 0x42 && llc[1] == 0x42 && llc[2] == 0x03 &&
                     llc[3] == 0 && llc[4] == 0;
    summary.protocol = stp ? proto::kStp : proto::kEthernetLlc;
    return finish(frame, summary);
  }

  summary.ether_type = type;
  switch (type) {
    case kTypeLldp:
      if (!decode_lldp(payload.data(), payload.size(), summary)) return false;
      // The decoder may start from a fresh summary; the frame facts are ours.
      summary.multicast = multicast;
      summary.ether_type = type;
      return finish(frame, summary);
    case kTypeArp:
      if (!parse_arp(payload, multicast, summary)) return false;
      return finish(frame, summary);
    case kTypeSadp:
      if (payload.size() < kSadpFrameMin || payload.size() > kSadpFrameMax) return false;
      summary.l2_payload.assign(reinterpret_cast<const char*>(payload.data()), payload.size());
      summary.protocol = proto::kSadp;
      return finish(frame, summary);
    case kTypeIpv6:
      if (!parse_ipv6_packet(payload, multicast, summary)) return false;
      return finish(frame, summary);
    case kTypeIpv4:
      if (!parse_ipv4_packet(payload, multicast, summary)) return false;
      return finish(frame, summary);
    default:
      if (type < kMinEtherType || !multicast) return false;
      summary.protocol = ether_type_text(type);
      return finish(frame, summary);
  }
}

bool decode_discovery(PacketSummary& summary) {
  if (summary.ether_type == kTypeSadp) return decode_sadp_frame(summary);
  // Every decoder below reads only `payload`; none can recognise an empty
  // one, and most captured frames (ARP, LLDP, multicast IP) carry none.
  if (summary.payload.empty()) return false;
  if (decode_dhip(summary)) return true;

  const std::uint16_t s = summary.source_port;
  const std::uint16_t d = summary.dest_port;
  auto either = [s, d](std::uint16_t port) { return s == port || d == port; };
  if (either(kPortSadp)) return decode_sadp_xml(summary);
  if (either(kPortUbiquiti)) return decode_tlv_discovery(summary, true);
  if (either(kPortMndp)) return decode_tlv_discovery(summary, false);
  if (either(kPortWsd)) return decode_wsd(summary);
  if (either(kPortSsdp)) return decode_ssdp(summary);
  // Only answers come from these ports; queries to them carry no device data.
  if (s == kPortLlmnr) return decode_dns_response(summary, proto::kLlmnr);
  if (s == kPortMdns) return decode_dns_response(summary, proto::kMdns);
  return false;
}

bool decode_datagram(PacketSummary& summary) {
  if (decode_discovery(summary)) return true;
  if (decode_wsd(summary)) return true;
  return decode_ssdp(summary);
}

bool summary_from_reply(const DiscoveryReply& reply, TrafficCounters& counters,
                        PacketSummary& summary) {
  if (reply.data == nullptr && reply.size != 0) return false;
  if (reply.size > std::numeric_limits<std::size_t>::max()) return false;
  // The address is in network byte order as it sits in memory, so its bytes
  // in memory order are the dotted octets on every host.
  std::uint8_t octets[4];
  std::memcpy(octets, &reply.address, sizeof octets);

  counters.packet_count.fetch_add(1, std::memory_order_relaxed);
  counters.byte_count.fetch_add(reply.size, std::memory_order_relaxed);

  summary = PacketSummary{};
  summary.ip = format_ipv4(octets);
  summary.source_port = reply.source_port;
  summary.dest_port = reply.local_port;
  if (reply.size != 0) {
    summary.payload.assign(reinterpret_cast<const char*>(reply.data),
                           static_cast<std::size_t>(reply.size));
  }
  return true;
}

bool summarize_frame(const std::uint8_t* frame, std::uint64_t length, PacketSummary& summary) {
  if (!parse_frame(frame, length, summary)) return false;
  const bool discovered = decode_discovery(summary);
  if (!(discovered || summary.multicast || summary.protocol == proto::kArp)) return false;
  if (summary.mac.empty()) return false;
  if (summary.ether_type == kTypeSadp && !discovered) {
    summary.protocol = proto::kEtherType8033;
  }
  // Queued summaries carry only the device fields; swapping with empty
  // strings also releases the buffers (up to 16 KiB each) that clear() would
  // keep alive for as long as the summary waits in the queue.
  std::string().swap(summary.payload);
  std::string().swap(summary.l2_payload);
  return true;
}

}  // namespace norvane
