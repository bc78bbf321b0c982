#include "model/packet_summary.h"

namespace norvane {

void take_settings(DeviceSettings& into, const DeviceSettings& from) {
  if (from.activated) into.activated = from.activated;
  if (from.dhcp) into.dhcp = from.dhcp;
  if (!from.mask.empty()) into.mask = from.mask;
  if (!from.gateway.empty()) into.gateway = from.gateway;
  if (!from.serial.empty()) into.serial = from.serial;
  if (from.http_port != 0) into.http_port = from.http_port;
}

int protocol_priority(std::string_view protocol) noexcept {
  struct Entry {
    std::string_view text;
    int priority;
  };
  static constexpr Entry kTable[] = {
      {proto::kSadp, 6}, {proto::kSadpL2, 5}, {proto::kDahua, 5}, {proto::kUbiquiti, 5},
      {proto::kMndp, 5}, {proto::kOnvif, 4},  {proto::kLldp, 3},  {proto::kCdp, 3},
      {proto::kMdns, 2}, {proto::kSsdp, 2},   {proto::kLlmnr, 2}, {proto::kWsDiscovery, 2},
  };
  for (const Entry& e : kTable) {
    if (e.text == protocol) return e.priority;
  }
  return 1;
}

}  // namespace norvane
