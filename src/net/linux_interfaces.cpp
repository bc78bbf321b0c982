#include "net/linux_interfaces.h"

#include <algorithm>

namespace norvane {

namespace {

constexpr std::uint32_t kIfTypeOther = 1;
constexpr std::uint32_t kIfTypePpp = 23;
constexpr std::uint32_t kIfTypeLoopback = 24;
// NET_IF_ACCESS_* values of the inventory.
constexpr std::uint32_t kAccessLoopback = 1;
constexpr std::uint32_t kAccessPointToPoint = 3;
constexpr std::uint32_t kAccessPointToMultipoint = 4;
constexpr std::uint32_t kDadTentative = 1;

std::uint32_t access_type(std::uint32_t flags) {
  if (flags & kLinuxIffLoopback) return kAccessLoopback;
  if (flags & kLinuxIffPointToPoint) return kAccessPointToPoint;
  if (flags & kLinuxIffBroadcast) return kIfAccessBroadcast;
  return kAccessPointToMultipoint;
}

}  // namespace

std::uint32_t interface_type(const LinuxInterface& link) {
  switch (link.link_type) {
    case kArphrdEther:
      return link.wireless ? kIfTypeIeee80211 : kIfTypeEthernet;
    case kArphrdLoopback:
      return kIfTypeLoopback;
    case kArphrdPpp:
      return kIfTypePpp;
    default:
      return kIfTypeOther;
  }
}

AdapterEntry entry_from_linux(const LinuxInterface& link) {
  AdapterEntry e;
  e.has_name = !link.name.empty();
  e.adapter_name = link.name;
  e.friendly_name.assign(link.name.begin(), link.name.end());
  e.if_type = interface_type(link);
  e.if_index = link.index;
  e.oper_up =
      link.operstate == "up" || (link.operstate == "unknown" && (link.flags & kLinuxIffUp) &&
                                 (link.flags & kLinuxIffRunning));
  e.row_read = link.readable;
  e.hardware_interface = link.device;
  e.access_type = access_type(link.flags);
  e.physical_length = link.address_length;
  std::copy_n(link.address.begin(), e.physical_address.size(), e.physical_address.begin());
  for (const LinuxIpv4& a : link.ipv4) {
    UnicastAddress u;
    u.present = true;
    u.length = 16;  // sizeof(sockaddr_in)
    u.family = kFamilyIpv4;
    u.address = a.address;
    u.dad_state = a.tentative ? kDadTentative : a.deprecated ? kDadDeprecated : kDadPreferred;
    u.prefix_length = a.prefix_length;
    e.unicast.push_back(u);
  }
  return e;
}

}  // namespace norvane
