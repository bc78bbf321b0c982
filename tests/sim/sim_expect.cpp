#include "sim_expect.h"

#include <cstdio>
#include <cstring>
#include <utility>

#include "base/address.h"
#include "decode/frame.h"
#include "json_lines.h"
#include "sim_reply.h"

namespace norvane::sim {
namespace {

// The requester as the lab has it: the host namespace's adapter.
constexpr Mac kHostMac = {0x02, 0x79, 0x00, 0x00, 0x00, 0x01};
constexpr std::uint16_t kMainSocketPort = 50123;

bool same_fields(const PacketSummary& a, const PacketSummary& b) {
  return a.protocol == b.protocol && a.ip == b.ip && a.mac == b.mac && a.name == b.name &&
         a.model == b.model && a.info == b.info;
}

void add(std::vector<Expectation>& out, Expectation e) {
  for (const Expectation& have : out) {
    if (have.device == e.device && have.path == e.path && have.port == e.port &&
        same_fields(have.decoded, e.decoded)) {
      return;
    }
  }
  out.push_back(std::move(e));
}

}  // namespace

std::vector<Expectation> expectations(const std::vector<Device>& devices) {
  std::vector<Expectation> out;
  TrafficCounters counters;
  for (const Device& d : devices) {
    const Ip4 host_ip = {d.ip[0], d.ip[1], d.ip[2], 1};
    for (const Request& r : discovery_requests()) {
      const Datagram in{host_ip, r.own_port ? r.port : kMainSocketPort, r.port, r.payload};
      for (const Reply& reply : answer(d, in)) {
        DiscoveryReply dr;
        std::memcpy(&dr.address, d.ip.data(), 4);
        dr.source_port = r.port;  // the device answers from the port it was asked on
        dr.local_port = reply.port;
        dr.data = reinterpret_cast<const std::uint8_t*>(reply.payload.data());
        dr.size = reply.payload.size();
        Expectation e;
        e.device = d.key;
        e.path = "udp";
        e.port = reply.port;
        e.wire_ip = format_ipv4(d.ip.data());
        e.wire_mac = mac_text(d.mac.data());
        if (summary_from_reply(dr, counters, e.decoded) && decode_datagram(e.decoded)) {
          e.decoded.payload.clear();
          add(out, std::move(e));
        }
      }
    }
    // The raw SADP reply, and a switch's announcement, which comes unasked.
    const std::string frame = answer_frame(d, inquiry_frame(kHostMac, host_ip));
    const std::string announced = d.kind == Kind::kLldp ? lldp_announcement(d) : std::string();
    for (const auto& [path, bytes] : {std::pair{"frame", &frame}, std::pair{"lldp", &announced}}) {
      if (bytes->empty()) continue;
      Expectation e;
      e.device = d.key;
      e.path = path;
      e.wire_ip = format_ipv4(d.ip.data());
      e.wire_mac = mac_text(d.mac.data());
      if (summarize_frame(reinterpret_cast<const std::uint8_t*>(bytes->data()), bytes->size(),
                          e.decoded)) {
        add(out, std::move(e));
      }
    }
  }
  return out;
}

std::string expectation_lines(const std::vector<Device>& devices) {
  std::string out;
  auto field = [&out](const char* name, std::string_view value) {
    out += ",\"";
    out += name;
    out += "\":";
    tool::append_json_string(out, value);
  };
  for (const Expectation& e : expectations(devices)) {
    std::string_view kind;
    for (const Device& d : devices) {
      if (d.key == e.device) kind = kind_text(d.kind);
    }
    out += "{\"device\":";
    tool::append_json_string(out, e.device);
    field("kind", kind);
    field("path", e.path);
    out += ",\"port\":" + std::to_string(e.port);
    field("wire_ip", e.wire_ip);
    field("wire_mac", e.wire_mac);
    field("protocol", e.decoded.protocol);
    field("ip", e.decoded.ip);
    field("mac", e.decoded.mac);
    field("name", e.decoded.name);
    field("model", e.decoded.model);
    field("info", e.decoded.info);
    // The port a switch's announcement names, as the list shows it.
    if (!e.decoded.port.id.empty()) field("port_id", e.decoded.port.id);
    if (!e.decoded.port.description.empty()) {
      field("port_description", e.decoded.port.description);
    }
    if (e.decoded.port.vlan != 0) out += ",\"port_vlan\":" + std::to_string(e.decoded.port.vlan);
    out += "}\n";
  }
  return out;
}

}  // namespace norvane::sim
