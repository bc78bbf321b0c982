// LLDP and CDP decoders. Both protocols are type-length-value lists, so each
// one has a table of the TLVs it uses with the value lengths it accepts; a
// TLV's length is checked against its row before its handler reads a byte.
// The decoders collect into a private record and touch the summary only when
// the whole frame was sound; texts stay views into the frame until then, so
// that a rejected frame costs no allocation and a replaced value is never
// formatted.
#include "decode/lldp_cdp.h"

#include <algorithm>
#include <array>
#include <span>
#include <string_view>
#include <utility>

#include "base/address.h"
#include "decode/byte_reader.h"

namespace norvane {
namespace {

using Bytes = std::span<const std::uint8_t>;

// A text value as met in the frame: not yet seen, or the raw bytes of its
// latest occurrence (the last occurrence wins, even when it is blank).
struct TextValue {
  bool seen = false;
  Bytes raw;

  void set(Bytes value) {
    seen = true;
    raw = value;
  }
};

// Everything one LLDPDU or CDP frame contributes, filled while walking it.
struct Neighbour {
  std::string ip;
  std::string mac;
  TextValue name;
  TextValue model;
  // LLDP slots. A MAC port id is kept as text, the other kinds raw.
  std::string chassis_address;
  std::string port_mac;
  TextValue port_id;
  TextValue port_description;
  TextValue system_description;
  // CDP slots: the latest Port ID with a printable text, and the addresses.
  TextValue cdp_port;
  std::string addresses;
  std::uint16_t vlan = 0;  // IEEE 802.1 Port VLAN ID, CDP Native VLAN
};

// VLAN identifiers 1 to 4094; 0 says "none", 4095 is reserved.
std::uint16_t vlan_of(Bytes two) {
  const unsigned id = (unsigned{two[0]} << 8) | two[1];
  return id <= 4094 ? static_cast<std::uint16_t>(id) : 0;
}

constexpr std::size_t kTextLimit = 255;

// lldp_text of the bytes, appended to out.
void append_lldp_text(std::string& out, Bytes bytes) {
  char buffer[kTextLimit];
  std::size_t n = 0;
  bool gap = false;
  const std::size_t limit = std::min(bytes.size(), kTextLimit);
  for (std::size_t i = 0; i < limit; ++i) {
    const std::uint8_t b = bytes[i];
    if (b == 0) break;
    if (b >= 0x21 && b != 0x7F) {
      // A gap is written only between printable bytes, so n + 1 stays within
      // the i + 1 bytes read so far.
      if (gap && n != 0) buffer[n++] = ' ';
      gap = false;
      buffer[n++] = static_cast<char>(b);
    } else {
      gap = true;
    }
  }
  out.append(buffer, n);
}

bool has_lldp_text(Bytes bytes) {
  const std::size_t limit = std::min(bytes.size(), kTextLimit);
  for (std::size_t i = 0; i < limit; ++i) {
    const std::uint8_t b = bytes[i];
    if (b == 0) return false;
    if (b >= 0x21 && b != 0x7F) return true;
  }
  return false;
}

std::string text_of(const TextValue& value) {
  std::string out;
  if (value.seen) append_lldp_text(out, value.raw);
  return out;
}

// An empty result never clears what the frame parser already wrote.
void assign_if_set(std::string& field, std::string& value) {
  if (!value.empty()) field = std::move(value);
}

void commit(Neighbour& n, std::string info, std::string_view protocol, PacketSummary& summary,
            NeighbourPort port) {
  std::string name = text_of(n.name);
  std::string model = text_of(n.model);
  port.vlan = n.vlan;
  summary.port = std::move(port);
  assign_if_set(summary.ip, n.ip);
  assign_if_set(summary.mac, n.mac);
  assign_if_set(summary.name, name);
  assign_if_set(summary.model, model);
  assign_if_set(summary.info, info);
  summary.protocol = protocol;
}

bool starts_with(Bytes value, std::span<const std::uint8_t> prefix) {
  return value.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), value.begin());
}

// A handler returns false only when the value makes the whole frame invalid.
using Handler = bool (*)(Bytes value, Neighbour& n);

struct TlvRule {
  std::uint16_t type;
  std::uint16_t min_length;  // value bytes, header excluded
  std::uint16_t max_length;
  bool invalid_outside;  // a length outside the range rejects the frame (else: skip the TLV)
  Handler apply;
};

const TlvRule* find_rule(std::span<const TlvRule> rules, std::uint16_t type) {
  for (const TlvRule& rule : rules) {
    if (rule.type == type) return &rule;
  }
  return nullptr;
}

// ---------------------------------------------------------------- LLDP ----

constexpr std::uint8_t kLldpEnd = 0;
constexpr std::uint8_t kChassisId = 1;
constexpr std::uint8_t kTimeToLive = 3;
constexpr std::uint16_t kLldpMaxValue = 511;  // 9-bit length field

bool lldp_end(Bytes, Neighbour&) { return true; }

bool lldp_chassis_id(Bytes value, Neighbour& n) {
  ByteReader r(value);
  const std::uint8_t subtype = r.u8();
  if (subtype == 4 && value.size() == 7) {  // MAC address
    const Bytes mac = r.bytes(6);
    if (is_unicast_mac(mac.data())) n.mac = mac_text(mac.data());
  } else if (subtype == 5) {  // network address: IANA family, then the address
    const std::uint8_t family = r.u8();
    if (family == 1 && value.size() == 6) {
      const Bytes address = r.bytes(4);
      prefer_address(n.chassis_address, address.data(), address.size());
    } else if (family == 2 && value.size() == 18) {
      const Bytes address = r.bytes(16);
      prefer_address(n.chassis_address, address.data(), address.size());
    }
  }
  return true;
}

bool lldp_port_id(Bytes value, Neighbour& n) {
  const std::uint8_t subtype = value[0];
  const Bytes rest = value.subspan(1);
  switch (subtype) {
    case 3:  // MAC address
      if (rest.size() == 6 && is_unicast_mac(rest.data())) {
        n.port_mac = mac_text(rest.data());
        n.port_id = {};
      }
      break;
    case 1:  // interface alias
    case 2:  // port component
    case 5:  // interface name
    case 7:  // locally assigned
      n.port_mac.clear();
      n.port_id.set(rest);
      break;
    default:  // network address, agent circuit id: nothing a user reads as a port
      break;
  }
  return true;
}

// A shutdown LLDPDU (TTL 0) tells neighbours to forget the sender; it is not
// evidence of a live device.
bool lldp_time_to_live(Bytes value, Neighbour&) { return value[0] != 0 || value[1] != 0; }

bool lldp_port_description(Bytes value, Neighbour& n) {
  n.port_description.set(value);
  return true;
}

bool lldp_system_name(Bytes value, Neighbour& n) {
  n.name.set(value);
  return true;
}

bool lldp_system_description(Bytes value, Neighbour& n) {
  n.system_description.set(value);
  return true;
}

// Address string length a (subtype byte included), subtype, a - 1 address
// bytes, interface numbering subtype, interface number (4), OID length, OID.
bool lldp_management_address(Bytes value, Neighbour& n) {
  ByteReader r(value);
  const std::size_t a = r.u8();
  if (a < 2) return true;
  const std::uint8_t subtype = r.u8();
  const Bytes address = r.bytes(a - 1);
  r.skip(1 + 4);
  const std::size_t oid_length = r.u8();
  r.skip(oid_length);
  if (!r.ok()) return true;
  if ((subtype == 1 && a == 5) || (subtype == 2 && a == 17)) {
    prefer_address(n.ip, address.data(), address.size());
  }
  return true;
}

// TIA (LLDP-MED) organisation 00-12-BB, inventory subtype 10: Model Name.
constexpr std::array<std::uint8_t, 4> kMedModelName = {0x00, 0x12, 0xBB, 0x0A};

// IEEE 802.1 organisation 00-80-C2, subtype 1: Port VLAN ID, two bytes.
constexpr std::array<std::uint8_t, 4> kPortVlanId = {0x00, 0x80, 0xC2, 0x01};

bool lldp_organization_specific(Bytes value, Neighbour& n) {
  if (value.size() >= 5 && starts_with(value, kMedModelName)) {
    n.model.set(value.subspan(kMedModelName.size()));
  } else if (value.size() == kPortVlanId.size() + 2 && starts_with(value, kPortVlanId)) {
    n.vlan = vlan_of(value.subspan(kPortVlanId.size()));
  }
  return true;
}

constexpr TlvRule kLldpRules[] = {
    {kLldpEnd, 0, 0, true, lldp_end},
    {kChassisId, 2, 256, false, lldp_chassis_id},
    {2, 2, 256, false, lldp_port_id},
    {kTimeToLive, 2, 2, true, lldp_time_to_live},
    {4, 0, kLldpMaxValue, false, lldp_port_description},
    {5, 0, kLldpMaxValue, false, lldp_system_name},
    {6, 0, kLldpMaxValue, false, lldp_system_description},
    {8, 9, kLldpMaxValue, false, lldp_management_address},
    {127, 4, kLldpMaxValue, false, lldp_organization_specific},
};

// ----------------------------------------------------------------- CDP ----

constexpr std::array<std::uint8_t, 8> kCdpSnap = {0xAA, 0xAA, 0x03, 0x00, 0x00, 0x0C, 0x20, 0x00};
constexpr std::size_t kCdpHeaderEnd = 12;  // SNAP header, version, TTL, checksum
constexpr std::uint16_t kCdpMaxValue = 0xFFFF - 4;

bool cdp_device_id(Bytes value, Neighbour& n) {
  n.name.set(value);
  return true;
}

bool cdp_address_list(Bytes value, Neighbour& n) {
  n.addresses = cdp_addresses(value.data(), value.size());
  return true;
}

// A blank Port ID leaves an earlier port in place.
bool cdp_port_id(Bytes value, Neighbour& n) {
  if (has_lldp_text(value)) n.cdp_port.set(value);
  return true;
}

// Native VLAN: the VLAN of untagged frames on the switch port.
bool cdp_native_vlan(Bytes value, Neighbour& n) {
  n.vlan = vlan_of(value);
  return true;
}

bool cdp_platform(Bytes value, Neighbour& n) {
  n.model.set(value);
  return true;
}

bool cdp_management_addresses(Bytes value, Neighbour& n) {
  n.ip = cdp_addresses(value.data(), value.size());
  return true;
}

// Every value length is acceptable: the texts are cut by lldp_text and the
// address lists check their own structure (a malformed one gives no address).
constexpr TlvRule kCdpRules[] = {
    {1, 0, kCdpMaxValue, false, cdp_device_id},
    {2, 0, kCdpMaxValue, false, cdp_address_list},
    {3, 0, kCdpMaxValue, false, cdp_port_id},
    {6, 0, kCdpMaxValue, false, cdp_platform},
    {10, 2, 2, false, cdp_native_vlan},
    {22, 0, kCdpMaxValue, false, cdp_management_addresses},
};

// Applies the rule for one TLV; false when the frame must be rejected.
bool apply_rule(std::span<const TlvRule> rules, std::uint16_t type, Bytes value, Neighbour& n) {
  const TlvRule* rule = find_rule(rules, type);
  if (rule == nullptr) return true;
  if (value.size() < rule->min_length || value.size() > rule->max_length) {
    return !rule->invalid_outside;
  }
  return rule->apply(value, n);
}

constexpr std::array<std::uint8_t, 6> kSnapEncapsulated = {0xAA, 0xAA, 0x03, 0x00, 0x00, 0x00};

}  // namespace

std::string lldp_text(const std::uint8_t* bytes, std::size_t length) {
  std::string out;
  if (bytes != nullptr) append_lldp_text(out, Bytes(bytes, length));
  return out;
}

void prefer_address(std::string& slot, const std::uint8_t* bytes, std::size_t length) {
  if (bytes == nullptr) return;
  const bool replace_ipv6 = length == 4 && slot.find(':') != std::string::npos;
  if (!slot.empty() && !replace_ipv6) return;
  std::string text = ip_text(bytes, length);
  if (!text.empty()) slot = std::move(text);
}

std::string cdp_addresses(const std::uint8_t* bytes, std::size_t length) {
  if (bytes == nullptr || length < 4) return {};
  ByteReader r(bytes, length);
  const std::uint32_t count = r.be32();
  // Each entry takes at least 4 bytes, so a count that cannot fit is a lie
  // and bounds the loop below.
  if (count > (length - 4) / 4) return {};
  std::string slot;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint8_t protocol_type = r.u8();
    const std::size_t protocol_length = r.u8();
    const Bytes protocol = r.bytes(protocol_length);
    const std::size_t address_length = r.be16();
    const Bytes address = r.bytes(address_length);
    if (!r.ok()) return {};  // a truncated entry spoils the whole list
    bool used = false;
    if (protocol_type == 1) {  // NLPID
      used = protocol_length == 1 && protocol[0] == 0xCC && address_length == 4;
    } else if (protocol_type == 2 && protocol_length == 8 &&
               starts_with(protocol, kSnapEncapsulated)) {  // IEEE 802.2 with an EtherType
      const unsigned ether_type = (unsigned{protocol[6]} << 8) | protocol[7];
      used = (ether_type == 0x0800 && address_length == 4) ||
             (ether_type == 0x86DD && address_length == 16);
    }
    if (used) prefer_address(slot, address.data(), address.size());
  }
  return slot;
}

bool decode_lldp(const std::uint8_t* tlvs, std::size_t length, PacketSummary& summary) {
  if (tlvs == nullptr) return false;
  ByteReader r(tlvs, length);
  Neighbour n;
  std::uint16_t mandatory = kChassisId;  // Chassis ID, Port ID and TTL open every LLDPDU
  for (;;) {
    const std::uint16_t header = r.be16();
    const std::uint16_t type = header >> 9;
    const Bytes value = r.bytes(header & 0x1FF);
    if (!r.ok()) return false;  // truncated TLV, or no End before the data ran out
    if (mandatory <= kTimeToLive) {
      if (type != mandatory || value.size() < 2) return false;
      ++mandatory;
    }
    if (!apply_rule(kLldpRules, type, value, n)) return false;
    if (type == kLldpEnd) break;
  }

  if (n.ip.empty()) n.ip = std::move(n.chassis_address);

  // "Port " and the port id (else the port description), " | ", the system
  // description: one string, sized once.
  std::string info;
  info.reserve(5 + kTextLimit + 3 + kTextLimit);
  info = "Port ";
  if (!n.port_mac.empty()) {
    info += n.port_mac;
  } else if (n.port_id.seen) {
    append_lldp_text(info, n.port_id.raw);
  }
  if (info.size() == 5 && n.port_description.seen) {
    append_lldp_text(info, n.port_description.raw);
  }
  NeighbourPort port;
  port.id = n.port_mac.empty() ? text_of(n.port_id) : n.port_mac;
  port.description = text_of(n.port_description);
  if (info.size() == 5) info.clear();
  if (n.system_description.seen) {
    const std::size_t before = info.size();
    if (!info.empty()) info += " | ";
    const std::size_t text_start = info.size();
    append_lldp_text(info, n.system_description.raw);
    if (info.size() == text_start) info.resize(before);  // blank description
  }
  commit(n, std::move(info), proto::kLldp, summary, std::move(port));
  return true;
}

bool decode_cdp(const std::uint8_t* payload, std::size_t length, PacketSummary& summary) {
  if (payload == nullptr || length < kCdpHeaderEnd) return false;
  ByteReader r(payload, length);
  if (!starts_with(r.bytes(kCdpSnap.size()), kCdpSnap)) return false;
  const std::uint8_t version = r.u8();
  const std::uint8_t ttl = r.u8();
  r.skip(2);  // checksum: not verified, as receivers commonly do
  if ((version != 1 && version != 2) || ttl == 0) return false;

  Neighbour n;
  while (r.remaining() >= 4) {
    const std::uint16_t type = r.be16();
    const std::uint16_t tlv_length = r.be16();
    if (tlv_length < 4 || tlv_length - 4u > r.remaining()) return false;
    const Bytes value = r.bytes(tlv_length - 4u);
    if (!apply_rule(kCdpRules, type, value, n)) return false;
  }
  if (r.remaining() != 0) return false;  // stray bytes after the last TLV
  // Device ID is what makes a CDP neighbour.
  if (!n.name.seen || !has_lldp_text(n.name.raw)) return false;

  if (n.ip.empty()) {
    n.ip = std::move(n.addresses);
  } else if (!n.addresses.empty() && n.ip.find(':') != std::string::npos &&
             n.addresses.find(':') == std::string::npos) {
    n.ip = std::move(n.addresses);  // an IPv4 entry beats an IPv6 management address
  }
  std::string info;
  NeighbourPort port;
  if (n.cdp_port.seen) {
    info = "Port ";
    append_lldp_text(info, n.cdp_port.raw);
    port.id = text_of(n.cdp_port);
  }
  commit(n, std::move(info), proto::kCdp, summary, std::move(port));
  return true;
}

}  // namespace norvane
