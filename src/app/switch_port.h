// Where the laptop is plugged in. LLDP and CDP frames never cross a switch:
// every one the adapter receives came from the port at the other end of its
// cable, so the neighbour heard most recently is the switch and port the
// laptop is plugged into.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "model/packet_summary.h"

namespace norvane {

struct SwitchNeighbour {
  std::string key;          // its MAC (the LLDP chassis, the CDP frame's source)
  std::string system_name;  // LLDP System Name, CDP Device ID
  NeighbourPort port;
  std::uint64_t heard_ms = 0;
};

class SwitchPortTracker {
 public:
  // Neighbours within this long of the latest one may be the switch: an IP
  // phone between the laptop and the switch speaks LLDP too, but only the
  // switch names the VLAN.
  static constexpr std::uint64_t kTogetherMs = 60'000;
  static constexpr std::size_t kKept = 8;

  // A summary taken from the adapter's capture at `now_ms`; only LLDP and
  // CDP count.
  void observe(const PacketSummary& summary, std::uint64_t now_ms);
  void clear() noexcept { count_ = 0; }

  // The switch at the other end of the cable: of the neighbours heard within
  // a minute of the latest, the latest that announced a VLAN, else the
  // latest. Nothing before any was heard.
  const SwitchNeighbour* current() const noexcept;

 private:
  std::array<SwitchNeighbour, kKept> heard_;  // the most recent first
  std::size_t count_ = 0;
};

// "Port przełącznika: sw-core-01 Gi1/0/7 · VLAN 20": the system name, else
// the MAC, the port when named, the VLAN when announced.
std::u16string switch_port_text(const SwitchNeighbour& neighbour);
// The same for English output: "Switch port: sw-core-01 Gi1/0/7, VLAN 20"
// (UTF-8).
std::string switch_port_text_en(const SwitchNeighbour& neighbour);

}  // namespace norvane
