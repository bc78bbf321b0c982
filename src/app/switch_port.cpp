#include "app/switch_port.h"

#include <algorithm>
#include <string_view>
#include <utility>

#include "app/list_export.h"
#include "base/display_text.h"

namespace norvane {

void SwitchPortTracker::observe(const PacketSummary& s, std::uint64_t now_ms) {
  if (s.protocol != proto::kLldp && s.protocol != proto::kCdp) return;
  if (s.mac.empty()) return;
  // The neighbour moves to the front, keeping what an earlier frame said
  // and this one does not.
  std::size_t at = 0;
  while (at < count_ && heard_[at].key != s.mac) ++at;
  SwitchNeighbour n;
  if (at < count_) {
    n = std::move(heard_[at]);
  } else {
    at = count_ < kKept ? count_++ : kKept - 1;  // the oldest gives way
    n.key = s.mac;
  }
  std::move_backward(heard_.begin(), heard_.begin() + static_cast<std::ptrdiff_t>(at),
                     heard_.begin() + static_cast<std::ptrdiff_t>(at) + 1);
  if (!s.name.empty()) n.system_name = s.name;
  if (!s.port.id.empty()) n.port.id = s.port.id;
  if (!s.port.description.empty()) n.port.description = s.port.description;
  n.port.vlan = s.port.vlan;  // a switch that stops announcing one has none
  n.heard_ms = now_ms;
  heard_[0] = std::move(n);
}

const SwitchNeighbour* SwitchPortTracker::current() const noexcept {
  if (count_ == 0) return nullptr;
  const std::uint64_t latest = heard_[0].heard_ms;
  for (std::size_t i = 0; i < count_; ++i) {
    if (latest - heard_[i].heard_ms > kTogetherMs) break;
    if (heard_[i].port.vlan != 0) return &heard_[i];
  }
  return &heard_[0];
}

namespace {

// "<label><name> <port><separator>VLAN <n>", the name and port as shown.
std::u16string port_text(const SwitchNeighbour& n, std::u16string_view label,
                         std::u16string_view separator) {
  std::u16string text(label);
  text += to_display_text(n.system_name.empty() ? n.key : n.system_name);
  const std::string& port = n.port.id.empty() ? n.port.description : n.port.id;
  if (!port.empty()) {
    text += u' ';
    text += to_display_text(port);
  }
  if (n.port.vlan != 0) {
    text += separator;
    text += u"VLAN ";
    for (const char digit : std::to_string(n.port.vlan)) text += static_cast<char16_t>(digit);
  }
  return text;
}

}  // namespace

std::u16string switch_port_text(const SwitchNeighbour& n) {
  return port_text(n, u"Port prze\u0142\u0105cznika: ", u" \u00B7 ");
}

std::string switch_port_text_en(const SwitchNeighbour& n) {
  return utf16_to_utf8(port_text(n, u"Switch port: ", u", "));
}

}  // namespace norvane
