// What the program under test must list for the simulated devices, found by
// running each device's own replies through norvane's decoders, so that the
// expectation follows the decoders instead of being written down twice.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/packet_summary.h"
#include "sim_device.h"

namespace norvane::sim {

struct Expectation {
  std::string device;  // key
  // "udp": a datagram the probe sockets read; "frame": raw SADP frame;
  // "lldp": a switch's announcement, which only a capture hears
  std::string path;
  // UDP port the reply goes to; 0 for frames, and 50123 for a reply to the
  // requester's own source port (its main socket, whose port the system
  // picks: the namespace client maps it to the port it got).
  std::uint16_t port = 0;
  std::string wire_ip;    // source address on the wire
  std::string wire_mac;   // source MAC on the wire
  PacketSummary decoded;  // protocol, ip, mac, name, model, info as decoded
};

// Every distinct decoded reply of every device to the discovery requests,
// and every switch's announcement, in device order; the requests come from
// the lab host (.1).
std::vector<Expectation> expectations(const std::vector<Device>& devices);

// One JSON object per line:
// {"device":..,"kind":..,"path":..,"port":N,"wire_ip":..,"wire_mac":..,
//  "protocol":..,"ip":..,"mac":..,"name":..,"model":..,"info":..}, and for
// a switch's announcement "port_id", "port_description" and "port_vlan" (N).
std::string expectation_lines(const std::vector<Device>& devices);

}  // namespace norvane::sim
