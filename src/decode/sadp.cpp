// Hikvision SADP and Dahua DHIP answers.
//
// All three decoders gather their results in locals and touch the summary
// only once they have decided to succeed, so a false result leaves the frame
// parser's fields exactly as they were.
#include "decode/sadp.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "base/address.h"
#include "base/ascii.h"
#include "decode/byte_reader.h"
#include "decode/scan.h"

namespace norvane {
namespace {

// SADP reply frame (EtherType 0x8033), offsets into the payload after the
// Ethernet header and VLAN tags.
constexpr std::uint16_t kSadpMagic = 0x2101;
constexpr std::uint16_t kSadpAddressSizes = 0x0604;  // hardware 6, protocol 4
constexpr std::size_t kSadpMinSize = 88;
constexpr std::size_t kSadpNameSize = 52;  // at offset 36
constexpr std::size_t kSadpInfoOffset = 102;
constexpr std::size_t kSadpInfoSize = 48;

// DHIP: fixed header, then a JSON body at the header length.
constexpr std::size_t kDhipHeaderSize = 32;
constexpr std::string_view kDhipMagic = "DHIP";
// The method value is compared as raw JSON, quotes included: an escaped or
// otherwise spelled value is not one of these announcements.
constexpr std::string_view kDhipMethods[] = {"\"client.notifyDevInfo\"",
                                             "\"client.notifyDeviceInfo\""};

void assign_if_nonempty(std::string& slot, std::string&& value) {
  if (!value.empty()) slot = std::move(value);
}

std::span<const std::uint8_t> as_bytes(const std::string& s) noexcept {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

bool is_digit(char c) noexcept { return c >= '0' && c <= '9'; }

// What a device says of its own settings is taken only when it is well
// formed: anything else is as if the device had not said it, and never
// costs the rest of the answer.

// "true" or "false" in any ASCII letter case, else nothing.
std::optional<bool> parse_flag(std::string_view text) noexcept {
  if (ascii_iequals(text, "true")) return true;
  if (ascii_iequals(text, "false")) return false;
  return std::nullopt;
}

// A strict dotted quad in its canonical form, else empty. Masks and
// gateways are kept as the device says them, wrong ones included: a mask
// with holes or a 0.0.0.0 gateway is something for the state to tell.
std::string dotted_quad(std::string_view text) {
  std::uint8_t bytes[4];
  if (!parse_ipv4(text, bytes)) return {};
  return format_ipv4(bytes);
}

// Decimal digits only, 1 to 65535; leading zeros are fine within the digit
// limit. 0 when the text is not such a port.
constexpr std::size_t kPortDigitsMax = 8;
std::uint16_t parse_port(std::string_view text) noexcept {
  if (text.empty() || text.size() > kPortDigitsMax) return 0;
  std::uint32_t value = 0;
  for (char c : text) {
    if (!is_digit(c)) return 0;
    value = value * 10 + static_cast<std::uint32_t>(c - '0');
  }
  return value <= 65535 ? static_cast<std::uint16_t>(value) : 0;
}

// Two ASCII digits at p, as a number in [lo, hi].
bool two_digits_in(const char* p, int lo, int hi) noexcept {
  const int v = (p[0] - '0') * 10 + (p[1] - '0');
  return v >= lo && v <= hi;
}

// An 8-byte "20YYMMDD" stamp with a plausible month and day.
bool is_date_stamp(std::string_view w) noexcept {
  if (w.size() != 8 || w[0] != '2' || w[1] != '0') return false;
  for (char c : w) {
    if (!is_digit(c)) return false;
  }
  return two_digits_in(w.data() + 4, 1, 12) && two_digits_in(w.data() + 6, 1, 31);
}

// Hikvision names in the L2 reply are the model with a build date and serial
// appended (DS-2CD2143G0-I20190101AAWR123). The model is everything before
// the first date stamp that starts at index 5 or later and is followed by at
// least one more byte.
std::string model_from_name(std::string_view name) {
  if (!name.starts_with("DS-") && !name.starts_with("iDS-")) return {};
  for (std::size_t end = 13; end < name.size(); ++end) {
    if (is_date_stamp(name.substr(end - 8, 8))) return clean_text(name.substr(0, end - 8));
  }
  return {};
}

}  // namespace

bool decode_sadp_frame(PacketSummary& summary) {
  ByteReader r(as_bytes(summary.l2_payload));
  if (r.size() < kSadpMinSize) return false;
  const std::uint16_t magic = r.be16();
  r.skip(6);
  const std::uint16_t sizes = r.be16();
  r.skip(4);
  const auto mac_bytes = r.bytes(6);
  const auto ip_bytes = r.bytes(4);
  r.skip(12);
  const std::string_view name_field = r.text(kSadpNameSize);
  if (!r.ok() || magic != kSadpMagic || sizes != kSadpAddressSizes) return false;

  if (!is_unicast_mac(mac_bytes.data())) return false;
  std::string mac = mac_text(mac_bytes.data());
  // The reply must come from the device it describes.
  if (mac != summary.source_mac) return false;

  std::string ip = ip_text(ip_bytes.data(), ip_bytes.size());
  std::string name = clean_text(name_field);
  std::string model = model_from_name(name);
  std::string info;
  if (r.size() > kSadpInfoOffset) {
    r.skip(kSadpInfoOffset - r.offset());
    info = clean_text(r.text(std::min(kSadpInfoSize, r.remaining())));
  }

  summary.protocol = proto::kSadpL2;
  summary.mac = std::move(mac);
  assign_if_nonempty(summary.ip, std::move(ip));
  assign_if_nonempty(summary.name, std::move(name));
  assign_if_nonempty(summary.model, std::move(model));
  assign_if_nonempty(summary.info, std::move(info));
  return true;
}

bool decode_sadp_xml(PacketSummary& summary) {
  const std::string_view pm = xml_element(summary.payload, "ProbeMatch", summary.partial);
  if (pm.empty()) return false;

  std::string mac = parse_mac_text(trim(xml_element(pm, "MAC")));
  std::string ip = parse_ip_text(trim(xml_element(pm, "IPv4Address")));
  if (ip.empty()) ip = parse_ip_text(trim(xml_element(pm, "IPv6Address")));
  std::string description = xml_text(xml_element(pm, "DeviceDescription"));
  if (mac.empty() && ip.empty() && description.empty()) return false;

  // Only the first fragment of a long reply was captured: accept it only when
  // it is plainly a complete-enough answer from the sender itself.
  if (summary.partial) {
    if (trim(xml_element(pm, "Types")) != "inquiry" || mac.empty() || mac != summary.source_mac ||
        ip.empty() || description.empty()) {
      return false;
    }
  }

  // A first fragment gives what it holds: an element cut off by the
  // fragment's end has no closing tag and is not found.
  DeviceSettings settings;
  settings.activated = parse_flag(trim(xml_element(pm, "Activated")));
  settings.dhcp = parse_flag(trim(xml_element(pm, "DHCP")));
  settings.mask = dotted_quad(trim(xml_element(pm, "IPv4SubnetMask")));
  settings.gateway = dotted_quad(trim(xml_element(pm, "IPv4Gateway")));
  settings.http_port = parse_port(trim(xml_element(pm, "HttpPort")));
  settings.serial = xml_text(xml_element(pm, "DeviceSN"));

  summary.protocol = proto::kSadp;
  assign_if_nonempty(summary.mac, std::move(mac));
  assign_if_nonempty(summary.ip, std::move(ip));
  // SADP shows the serial number as the device's name.
  assign_if_nonempty(summary.name, std::string(settings.serial));
  assign_if_nonempty(summary.model, std::move(description));
  assign_if_nonempty(summary.info, xml_text(xml_element(pm, "SoftwareVersion")));
  take_settings(summary.settings, settings);
  return true;
}

bool decode_dhip(PacketSummary& summary) {
  const std::string& payload = summary.payload;
  if (payload.size() < kDhipHeaderSize) return false;
  ByteReader r(as_bytes(payload));
  const std::uint32_t header_size = r.le32();
  const std::string_view magic = r.text(4);
  r.skip(8);
  const std::uint32_t body_size = r.le32();
  r.skip(4);
  const std::uint32_t body_size_again = r.le32();
  if (!r.ok() || magic != kDhipMagic) return false;
  if (header_size < kDhipHeaderSize || header_size > payload.size() ||
      body_size > payload.size() - header_size || body_size_again != body_size) {
    return false;
  }

  std::string_view body(payload.data() + header_size, body_size);
  while (!body.empty() && body.back() == '\0') body.remove_suffix(1);
  body = trim(body);
  // Exactly one JSON value: anything after it makes the whole body suspect.
  // The one scan that measures the body also notes where its nested objects
  // end, so the lookups below do not scan them again.
  const JsonIndex index(body);
  const auto value_size = index.length();
  if (body.empty() || !value_size || *value_size != body.size()) return false;

  static constexpr std::string_view kTopKeys[] = {"method", "params", "mac"};
  std::string_view top[std::size(kTopKeys)];
  json_members(body, kTopKeys, top, index);
  const std::string_view method = top[0];
  bool known_method = false;
  for (std::string_view m : kDhipMethods) known_method = known_method || method == m;
  if (!known_method) return false;

  static constexpr std::string_view kInfoKeys[] = {"DeviceType", "SerialNo", "IPv4Address",
                                                   "MachineName", "Version"};
  std::string_view info[std::size(kInfoKeys)];
  json_members(json_member(top[1], "deviceInfo", index), kInfoKeys, info, index);
  std::string type = json_string(info[0]);
  std::string serial = json_string(info[1]);
  if (type.empty() && serial.empty()) return false;

  static constexpr std::string_view kAddressKeys[] = {"IPAddress", "SubnetMask", "DefaultGateway",
                                                      "DhcpEnable"};
  std::string_view address[std::size(kAddressKeys)];
  json_members(info[2], kAddressKeys, address, index);

  std::string mac = parse_mac_text(json_string(top[2]));
  std::string ip = parse_ip_text(json_string(address[0]));
  std::string name = json_string(info[3]);
  if (name.empty()) name = serial;
  std::string version = json_string(info[4]);

  DeviceSettings settings;
  settings.mask = dotted_quad(json_string(address[1]));
  settings.gateway = dotted_quad(json_string(address[2]));
  // A JSON literal, or the same word as a string.
  const std::string_view dhcp = address[3];
  settings.dhcp = dhcp.starts_with('"') ? parse_flag(json_string(dhcp)) : parse_flag(dhcp);
  settings.serial = std::move(serial);

  summary.protocol = proto::kDahua;
  assign_if_nonempty(summary.mac, std::move(mac));
  assign_if_nonempty(summary.ip, std::move(ip));
  assign_if_nonempty(summary.name, std::move(name));
  assign_if_nonempty(summary.model, std::move(type));
  assign_if_nonempty(summary.info, std::move(version));
  take_settings(summary.settings, settings);
  return true;
}

}  // namespace norvane
