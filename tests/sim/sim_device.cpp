#include "sim_device.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <set>

#include "base/address.h"

namespace norvane::sim {
namespace {

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r')) {
    s.remove_prefix(1);
  }
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
    s.remove_suffix(1);
  }
  return s;
}

int hex_digit(char c) noexcept {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool parse_byte(std::string_view text, std::uint8_t& out) noexcept {
  unsigned value = 0;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (ec != std::errc{} || ptr != end || text.empty() || value > 255) return false;
  out = static_cast<std::uint8_t>(value);
  return true;
}

struct KindName {
  Kind kind;
  std::string_view text;
};

constexpr KindName kKinds[] = {
    {Kind::kSadp, "sadp"},    {Kind::kDhip, "dhip"},
    {Kind::kMndp, "mndp"},    {Kind::kUbntV1, "ubnt1"},
    {Kind::kUbntV2, "ubnt2"}, {Kind::kOnvif, "onvif"},
    {Kind::kSsdp, "ssdp"},    {Kind::kSadpOnvif, "sadp+onvif"},
    {Kind::kArp, "arp"},      {Kind::kLldp, "lldp"},
};

}  // namespace

std::string_view kind_text(Kind kind) noexcept {
  for (const KindName& k : kKinds) {
    if (k.kind == kind) return k.text;
  }
  return "?";
}

bool parse_mac(std::string_view text, std::array<std::uint8_t, 6>& out) noexcept {
  if (text.size() != 17) return false;
  std::array<std::uint8_t, 6> mac{};
  for (std::size_t i = 0; i < 6; ++i) {
    const int hi = hex_digit(text[i * 3]);
    const int lo = hex_digit(text[i * 3 + 1]);
    if (hi < 0 || lo < 0) return false;
    if (i < 5 && text[i * 3 + 2] != ':' && text[i * 3 + 2] != '-') return false;
    mac[i] = static_cast<std::uint8_t>(hi * 16 + lo);
  }
  out = mac;
  return true;
}

bool parse_subnet(std::string_view text, std::array<std::uint8_t, 3>& out) noexcept {
  std::array<std::uint8_t, 3> bytes{};
  for (std::size_t i = 0; i < 3; ++i) {
    const std::size_t dot = text.find('.');
    const std::string_view part = i < 2 ? text.substr(0, dot) : text;
    if ((i < 2 && dot == std::string_view::npos) || !parse_byte(part, bytes[i])) return false;
    if (i < 2) text.remove_prefix(dot + 1);
  }
  out = bytes;
  return true;
}

std::vector<Device> parse_devices(std::string_view text, const std::array<std::uint8_t, 3>& subnet,
                                  std::string& error) {
  std::vector<Device> devices;
  std::set<std::string> keys;
  std::set<std::uint8_t> hosts;
  std::set<std::array<std::uint8_t, 6>> macs;
  std::size_t line_number = 0;
  auto fail = [&](const std::string& why) {
    error = "line " + std::to_string(line_number) + ": " + why;
    return std::vector<Device>{};
  };
  while (!text.empty()) {
    ++line_number;
    const std::size_t eol = text.find('\n');
    std::string_view line = text.substr(0, eol);
    text.remove_prefix(eol == std::string_view::npos ? text.size() : eol + 1);
    line = trim(line);
    if (line.empty() || line.front() == '#') continue;

    std::vector<std::string_view> fields;
    while (true) {
      const std::size_t bar = line.find('|');
      fields.push_back(trim(line.substr(0, bar)));
      if (bar == std::string_view::npos) break;
      line.remove_prefix(bar + 1);
    }
    if (fields.size() != 8 && fields.size() != 10) {
      return fail("expected 8 fields separated by |, or 10 with mask and gateway");
    }

    Device d;
    d.key = std::string(fields[0]);
    if (d.key.empty() || d.key.size() > kMaxKey) return fail("key must have 1 to 13 characters");
    for (char c : d.key) {
      const bool ok = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-';
      if (!ok) return fail("key may hold only a-z, 0-9 and -");
    }
    bool known = false;
    for (const KindName& k : kKinds) {
      if (k.text == fields[1]) {
        d.kind = k.kind;
        known = true;
      }
    }
    if (!known) return fail("unknown kind \"" + std::string(fields[1]) + "\"");
    const bool fixed = fields[2].find('.') != std::string_view::npos;
    if (fixed) {
      if (!norvane::parse_ipv4(fields[2], d.ip.data()) || d.ip[0] == 0 || d.ip[0] >= 224 ||
          d.ip[3] == 0 || d.ip[3] == 255) {
        return fail("host must be 2 to 254 or a unicast IPv4 address");
      }
    } else if (!parse_byte(fields[2], d.host) || d.host < 2 || d.host > 254) {
      return fail("host must be 2 to 254 or a unicast IPv4 address");
    }
    if (!parse_mac(fields[3], d.mac) || (d.mac[0] & 1) != 0) {
      return fail("mac must be a unicast address like 44:19:B6:6A:10:0B");
    }
    d.name = std::string(fields[4]);
    d.model = std::string(fields[5]);
    d.serial = std::string(fields[6]);
    d.firmware = std::string(fields[7]);
    if (!fixed) d.ip = {subnet[0], subnet[1], subnet[2], d.host};
    d.gateway = {d.ip[0], d.ip[1], d.ip[2], 1};
    if (fields.size() == 10 && (!norvane::parse_ipv4(fields[8], d.mask.data()) ||
                                !norvane::parse_ipv4(fields[9], d.gateway.data()))) {
      return fail("mask and gateway must be IPv4 addresses");
    }
    if (d.kind == Kind::kLldp && !d.firmware.empty()) {
      unsigned vlan = 0;
      const char* end = d.firmware.data() + d.firmware.size();
      const auto [ptr, ec] = std::from_chars(d.firmware.data(), end, vlan);
      if (ec != std::errc{} || ptr != end || vlan < 1 || vlan > 4094) {
        return fail("a switch's VLAN must be 1 to 4094");
      }
      d.vlan = static_cast<std::uint16_t>(vlan);
    }
    if (!keys.insert(d.key).second) return fail("key " + d.key + " used twice");
    // An ARP box takes the address of a device listed before it.
    if (d.kind == Kind::kArp) {
      if (fixed || hosts.count(d.host) == 0) return fail("an ARP box takes another device's host");
    } else if (!fixed && !hosts.insert(d.host).second) {
      return fail("host byte used twice");
    }
    if (!macs.insert(d.mac).second) return fail("mac used twice");
    devices.push_back(std::move(d));
  }
  if (devices.empty()) {
    error = "no devices";
  }
  return devices;
}

std::vector<Device> crowd_devices(std::size_t count, const std::array<std::uint8_t, 3>& subnet) {
  static constexpr std::array<std::string_view, 4> kModels = {"DS-2CD2143G2-I", "DS-2CD2387G2-LU",
                                                              "DS-2CD2T47G2-L", "DS-2DE4425IW-DE"};
  std::vector<Device> devices;
  for (std::size_t i = 1; i <= std::min(count, kMaxCrowd); ++i) {
    Device d;
    char key[16];
    std::snprintf(key, sizeof key, "cam-%03zu", i);
    d.key = key;
    d.kind = Kind::kSadp;
    d.host = static_cast<std::uint8_t>(99 + i);
    d.ip = {subnet[0], subnet[1], subnet[2], d.host};
    d.gateway = {subnet[0], subnet[1], subnet[2], 1};
    d.mac = {
        0x44, 0x19, 0xB6, 0xC0, static_cast<std::uint8_t>(i >> 8), static_cast<std::uint8_t>(i)};
    d.model = std::string(kModels[i % kModels.size()]);
    char serial[24];
    std::snprintf(serial, sizeof serial, "20230412AAWR%09zu", 700000000 + i);
    d.serial = d.model + serial;
    d.firmware = "V5.7.3build 220112";
    devices.push_back(std::move(d));
  }
  return devices;
}

std::string interface_name(const Device& device) { return "d-" + device.key; }

}  // namespace norvane::sim
