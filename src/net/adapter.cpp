#include "net/adapter.h"

#include <algorithm>
#include <utility>

#include "net/byte_order.h"

namespace norvane {

namespace {

constexpr std::uint32_t kLinkLocalNet = 0xA9FE0000;  // 169.254.0.0/16, host order
constexpr std::uint32_t kLinkLocalMask = 0xFFFF0000;

// 0 for an address that is no candidate.
int score(const UnicastAddress& a) {
  if (!a.present || a.length < 16 || a.family != kFamilyIpv4 || a.address == 0) return 0;
  if (a.dad_state != kDadDeprecated && a.dad_state != kDadPreferred) return 0;
  int s = 1;
  if (a.dad_state == kDadPreferred) s += 1;
  if ((host_from_network(a.address) & kLinkLocalMask) != kLinkLocalNet) s += 2;
  return s;
}

}  // namespace

std::uint32_t directed_broadcast(std::uint32_t address, std::uint32_t prefix_length) {
  if (prefix_length < 1 || prefix_length > 30) return 0xFFFFFFFFu;
  return network_from_host(host_from_network(address) | (0xFFFFFFFFu >> prefix_length));
}

Ipv4Choice choose_ipv4(std::span<const UnicastAddress> addresses) {
  const UnicastAddress* best = nullptr;
  int best_score = 0;
  for (const auto& a : addresses) {
    const int s = score(a);
    if (s > best_score) {  // strictly higher: the first among equals stays
      best = &a;
      best_score = s;
    }
  }
  if (!best) return {};
  return {best->address, directed_broadcast(best->address, best->prefix_length),
          std::min<std::uint32_t>(best->prefix_length, 32)};
}

std::vector<NetworkAdapter> adapters_from_entries(std::span<const AdapterEntry> entries) {
  std::vector<NetworkAdapter> out;
  for (const auto& e : entries) {
    if (!e.has_name) continue;
    if (e.if_type != kIfTypeEthernet && e.if_type != kIfTypeIeee80211) continue;
    if (!e.row_read || e.filter_interface) continue;
    if (e.access_type != kIfAccessBroadcast || e.physical_length != 6) continue;
    NetworkAdapter a;
    a.guid = e.guid;
    std::copy_n(e.physical_address.begin(), 6, a.mac.begin());
    a.hardware = e.hardware_interface;
    a.adapter_name = e.adapter_name;
    a.description = e.description;
    a.display_name = e.friendly_name.empty() ? e.description : e.friendly_name;
    a.if_index = e.if_index;
    a.connected = e.oper_up;
    const Ipv4Choice choice = choose_ipv4(e.unicast);
    a.ipv4 = choice.address;
    a.broadcast = choice.broadcast;
    a.prefix_length = choice.prefix_length;
    out.push_back(std::move(a));
  }
  std::stable_sort(out.begin(), out.end(), [](const NetworkAdapter& x, const NetworkAdapter& y) {
    if (x.connected != y.connected) return x.connected;
    return x.hardware && !y.hardware;
  });
  return out;
}

std::optional<std::vector<std::uint8_t>> call_with_growing_buffer(
    const std::function<std::uint32_t(std::uint8_t* buffer, std::uint32_t& size)>& call) {
  std::uint32_t size = 16384;
  for (int attempt = 0; attempt < 3; ++attempt) {
    std::vector<std::uint8_t> buffer(size == 0 ? 1 : size);
    std::uint32_t asked = static_cast<std::uint32_t>(buffer.size());
    const std::uint32_t result = call(buffer.data(), asked);
    if (result == 0) return buffer;
    if (result != kErrorBufferOverflow) return std::nullopt;
    size = asked;
  }
  return std::nullopt;
}

bool refresh_adapter(NetworkAdapter& stored, std::span<const NetworkAdapter> fresh) {
  for (const auto& a : fresh) {
    if (a.adapter_name == stored.adapter_name) {
      stored = a;
      return true;
    }
  }
  return false;
}

AdapterRelist relist_adapters(std::vector<NetworkAdapter> fresh, const NetworkAdapter* selected) {
  AdapterRelist out;
  out.adapters = std::move(fresh);
  if (!selected) {
    if (!out.adapters.empty()) out.selected = 0;
    return out;
  }
  for (std::size_t i = 0; i < out.adapters.size(); ++i) {
    if (out.adapters[i].adapter_name == selected->adapter_name) {
      out.selected = i;
      return out;
    }
  }
  // Unplugged or gone for a moment: it stays the user's choice, and the
  // capture control retries it until it comes back or another is chosen.
  out.adapters.push_back(*selected);
  out.adapters.back().connected = false;
  out.selected = out.adapters.size() - 1;
  return out;
}

std::u16string adapter_label(const NetworkAdapter& adapter) {
  std::u16string label = adapter.display_name;
  if (!adapter.description.empty() && adapter.description != adapter.display_name) {
    label += u" \u2014 ";
    label += adapter.description;
  }
  if (!adapter.connected) label += u" (roz\u0142\u0105czona)";
  return label;
}

}  // namespace norvane
