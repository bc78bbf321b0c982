// MikroTik MNDP (UDP 5678) and Ubiquiti discovery (UDP 10001) answers.
//
// Both are a short header and a run of type-length-value records. Each
// protocol has one table naming the types it reads, the value lengths it
// accepts and what the value feeds; a value whose length is outside the
// table's bounds is treated as unusable before any of its bytes are read.
// Values go into working slots first; the summary is written only once the
// whole message has walked cleanly.
#include "decode/tlv_discovery.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "base/address.h"
#include "decode/byte_reader.h"
#include "decode/scan.h"

namespace norvane {
namespace {

enum class Action : std::uint8_t {
  kHardwareAddress,  // the device's MAC address
  kAddressPair,      // Ubiquiti: MAC address followed by an IPv4 or IPv6 address
  kIdentity,         // device or host name
  kPlatform,
  kBoard,             // board or model name
  kVersion,           // replaces any earlier version
  kFirstVersion,      // only while no version is known
  kPreferredVersion,  // wins over kFirstVersion whatever the order
  kIpv4Address,
  kIpv6Address,
};

struct TlvRule {
  std::uint16_t type;
  std::string_view name;
  std::uint16_t min_length;
  std::uint16_t max_length;
  Action action;
};

constexpr std::uint16_t kAnyLength = 0xFFFF;

constexpr TlvRule kMndpRules[] = {
    {1, "MAC-Address", 6, 6, Action::kHardwareAddress},
    {5, "Identity", 0, kAnyLength, Action::kIdentity},
    {7, "Version", 0, kAnyLength, Action::kVersion},
    {8, "Platform", 0, kAnyLength, Action::kPlatform},
    {12, "Board", 0, kAnyLength, Action::kBoard},
    {15, "IPv6-Address", 16, 16, Action::kIpv6Address},
    {17, "IPv4-Address", 4, 4, Action::kIpv4Address},
};

constexpr TlvRule kUbiquitiRules[] = {
    {1, "hardware address", 6, 6, Action::kHardwareAddress},
    {2, "address pair", 6, kAnyLength, Action::kAddressPair},
    {3, "firmware", 0, kAnyLength, Action::kFirstVersion},
    {11, "host name", 0, kAnyLength, Action::kIdentity},
    {12, "platform", 0, kAnyLength, Action::kPlatform},
    {20, "model", 0, kAnyLength, Action::kBoard},
    {21, "model", 0, kAnyLength, Action::kBoard},
    {22, "version", 0, kAnyLength, Action::kPreferredVersion},
};

// MNDP: 4-byte header (not examined), TLV type and length 2 bytes each.
// Ubiquiti: version, command, 2-byte length of the rest; TLV type 1 byte and
// length 2 bytes. Numbers are big-endian.
constexpr std::size_t kHeaderSize = 4;
constexpr std::size_t kMinMessageSize = 5;

using Bytes = std::span<const std::uint8_t>;

// Working slots. Texts and addresses stay views into the payload until the
// message has walked cleanly, so a value that a later record replaces costs
// nothing and only what lands in the summary is ever formatted. The pair
// slots are the exception: matching a pair needs its address texts.
struct Slots {
  Bytes type1_mac;       // six unicast bytes, or empty
  std::string pair_mac;  // the pair that names the sender
  std::string pair_ip;
  Bytes first_pair_mac;       // six unicast bytes, or empty
  Bytes first_pair_address;   // raw address bytes of that pair
  Bytes ipv4;                 // MNDP's IPv4 record, raw
  Bytes ipv6;                 // MNDP's IPv6 record, raw
  std::string_view identity;  // raw texts, cleaned when copied out
  std::string_view board;
  std::string_view platform;
  std::string_view version;
};

const TlvRule* find_rule(std::span<const TlvRule> rules, std::uint16_t type) noexcept {
  for (const TlvRule& rule : rules) {
    if (rule.type == type) return &rule;
  }
  return nullptr;
}

bool accepted_ubiquiti_header(std::uint8_t version, std::uint8_t command) noexcept {
  if (version == 1) return command == 0;
  if (version == 2) return command == 6 || command == 8 || command == 9 || command == 11;
  return false;
}

// The six bytes when they form a usable MAC address, else empty.
Bytes usable_mac(Bytes six) noexcept {
  return six.size() == 6 && is_unicast_mac(six.data()) ? six : Bytes{};
}

std::string mac_form(Bytes six) { return six.empty() ? std::string() : mac_text(six.data()); }

// An address pair names one of the device's interfaces. The one that sent
// the packet (same MAC, or same IP) is the device's own; otherwise the first
// pair listed stands in for it.
void take_address_pair(Bytes value, const PacketSummary& summary, Slots& slots) {
  const Bytes mac_bytes = usable_mac(value.first(6));
  const Bytes address = value.subspan(6);
  std::string mac = mac_form(mac_bytes);
  std::string ip = ip_text(address.data(), address.size());
  // An unusable MAC never matches: a datagram has no source MAC, and an empty
  // text must not make every such pair the sender's own.
  const bool own = (!mac.empty() && mac == summary.source_mac) || (!ip.empty() && ip == summary.ip);
  if (own) {
    // A pair matched by its IP alone keeps the MAC of an earlier match.
    if (!mac.empty()) slots.pair_mac = std::move(mac);
    if (!ip.empty()) slots.pair_ip = std::move(ip);
  } else if (slots.first_pair_mac.empty()) {
    slots.first_pair_mac = mac_bytes;
    slots.first_pair_address = address;
  }
}

void apply(const TlvRule& rule, Bytes value, const PacketSummary& summary, Slots& slots) {
  const bool fits = value.size() >= rule.min_length && value.size() <= rule.max_length;
  const std::string_view text = as_text(value);
  switch (rule.action) {
    case Action::kHardwareAddress:
      if (fits && !usable_mac(value).empty()) slots.type1_mac = value;
      break;
    case Action::kAddressPair:
      if (fits) take_address_pair(value, summary, slots);
      break;
    case Action::kIdentity:
      slots.identity = text;
      break;
    case Action::kPlatform:
      slots.platform = text;
      break;
    case Action::kBoard:
      slots.board = text;
      break;
    case Action::kVersion:
      slots.version = text;
      break;
    case Action::kFirstVersion:
      if (cleans_to_empty(slots.version)) slots.version = text;
      break;
    case Action::kPreferredVersion:
      if (!cleans_to_empty(text)) slots.version = text;
      break;
    // An address of the wrong size still replaces an earlier one: the device
    // said something, just nothing usable.
    case Action::kIpv4Address:
      slots.ipv4 = fits ? value : Bytes{};
      break;
    case Action::kIpv6Address:
      slots.ipv6 = fits ? value : Bytes{};
      break;
  }
}

void assign_if_nonempty(std::string& field, std::string&& value) {
  if (!value.empty()) field = std::move(value);
}

}  // namespace

bool decode_tlv_discovery(PacketSummary& summary, bool ubiquiti) {
  ByteReader r(reinterpret_cast<const std::uint8_t*>(summary.payload.data()),
               summary.payload.size());
  if (r.size() < kMinMessageSize) return false;
  if (ubiquiti) {
    const std::uint8_t version = r.u8();
    const std::uint8_t command = r.u8();
    const std::uint16_t length = r.be16();
    if (!accepted_ubiquiti_header(version, command) || length != r.size() - kHeaderSize) {
      return false;
    }
  } else {
    r.skip(kHeaderSize);
  }

  const std::span<const TlvRule> rules =
      ubiquiti ? std::span<const TlvRule>(kUbiquitiRules) : std::span<const TlvRule>(kMndpRules);
  Slots slots;
  // Every record advances by at least its header, so the walk is bounded by
  // the payload size; a record that runs past the end fails the message.
  while (r.remaining() > 0) {
    const std::uint16_t type = ubiquiti ? r.u8() : r.be16();
    const std::uint16_t length = r.be16();
    const auto value = r.bytes(length);
    if (!r.ok()) return false;
    if (const TlvRule* rule = find_rule(rules, type)) apply(*rule, value, summary, slots);
  }
  if (!r.ok()) return false;

  // A message with only a version or addresses is not a device's answer.
  if (slots.type1_mac.empty() && slots.pair_mac.empty() && slots.first_pair_mac.empty() &&
      cleans_to_empty(slots.identity) && cleans_to_empty(slots.board) &&
      cleans_to_empty(slots.platform)) {
    return false;
  }

  summary.protocol = ubiquiti ? proto::kUbiquiti : proto::kMndp;
  // The pair that matches the sender wins over the hardware address record.
  std::string mac = !slots.pair_mac.empty() ? std::move(slots.pair_mac) : mac_form(slots.type1_mac);
  std::string ip;
  if (ubiquiti) {
    // The packet's own source address is the best address there is; the
    // message's pairs only fill in when the packet had none.
    if (summary.ip.empty()) {
      if (mac.empty()) mac = mac_form(slots.first_pair_mac);
      ip = !slots.pair_ip.empty()
               ? std::move(slots.pair_ip)
               : ip_text(slots.first_pair_address.data(), slots.first_pair_address.size());
    }
  } else {
    // MNDP states the router's address explicitly; it replaces the source
    // address, which may be that of another interface.
    ip = ip_text(slots.ipv4.data(), slots.ipv4.size());
    if (ip.empty()) ip = ip_text(slots.ipv6.data(), slots.ipv6.size());
  }
  assign_if_nonempty(summary.mac, std::move(mac));
  assign_if_nonempty(summary.ip, std::move(ip));
  assign_if_nonempty(summary.name, clean_text(slots.identity));
  assign_if_nonempty(summary.model,
                     clean_text(cleans_to_empty(slots.board) ? slots.platform : slots.board));
  assign_if_nonempty(summary.info, clean_text(slots.version));
  return true;
}

}  // namespace norvane
