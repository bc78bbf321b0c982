// The simulated devices: what each one is, which address it has and what it
// reports about itself, read from a small text file (devices.conf).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace norvane::sim {

// What a device answers. Each kind is one real family of devices;
// kSadpOnvif is a Hikvision camera with ONVIF switched on, as most leave
// the factory: it answers SADP and WS-Discovery. kArp answers nothing: a
// box set up with another device's address, which it announces by ARP.
// kLldp answers nothing either: a switch port that announces itself by LLDP
// to whatever is plugged into it.
enum class Kind { kSadp, kDhip, kMndp, kUbntV1, kUbntV2, kOnvif, kSsdp, kSadpOnvif, kArp, kLldp };

struct Device {
  std::string key;  // short name; the interface is "d-" + key
  Kind kind = Kind::kSadp;
  std::array<std::uint8_t, 6> mac{};
  // The lab's /24 and the host byte, or a fixed address (host 0): a new
  // device at its factory address, which may be outside the lab's subnet
  // and shared with other new devices.
  std::array<std::uint8_t, 4> ip{};
  std::uint8_t host = 0;
  // The network settings the device reports (SADP and DHIP): by default
  // the /24 of its address with the first host as its gateway.
  std::array<std::uint8_t, 4> mask{255, 255, 255, 0};
  std::array<std::uint8_t, 4> gateway{};
  std::string name;
  std::string model;
  std::string serial;
  std::string firmware;
  // A switch's Port VLAN ID (1 to 4094; 0: it announces none).
  std::uint16_t vlan = 0;
};

// Longest key, so that "d-" + key fits an interface name (15 bytes).
inline constexpr std::size_t kMaxKey = 13;

// The text of a kind in devices.conf ("sadp", "dhip", ...).
std::string_view kind_text(Kind kind) noexcept;

// "44:19:B6:6A:10:0B" (either case, ":" or "-") into six bytes.
bool parse_mac(std::string_view text, std::array<std::uint8_t, 6>& out) noexcept;

// Parses devices.conf: "#" comments, blank lines, and lines of eight fields
// separated by "|", or ten with the mask and gateway the device reports.
// subnet gives the first three address bytes of devices whose host field is
// one byte; a host field with a whole IPv4 address places the device there
// (several devices may share it). An ARP box's host byte must be another
// device's: the address it takes. A switch (lldp) gives its port's VLAN in
// the firmware field, 1 to 4094, or leaves it empty. On failure the result is empty and error
// says which line and why.
std::vector<Device> parse_devices(std::string_view text, const std::array<std::uint8_t, 3>& subnet,
                                  std::string& error);

// "10.79.1" into three bytes.
bool parse_subnet(std::string_view text, std::array<std::uint8_t, 3>& out) noexcept;

// A crowd of `count` SADP cameras (at most kMaxCrowd) for the tests of a
// large site: keys "cam-001" on, hosts 100 on, Hikvision MACs
// 44:19:B6:C0:00:01 on, a few models in turn, each with its own serial.
// They share no key, host or MAC with the lab's device file.
inline constexpr std::size_t kMaxCrowd = 150;
std::vector<Device> crowd_devices(std::size_t count, const std::array<std::uint8_t, 3>& subnet);

// The name of the device's own interface in the simulator's namespace.
std::string interface_name(const Device& device);

}  // namespace norvane::sim
