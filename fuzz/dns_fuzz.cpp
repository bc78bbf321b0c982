// mDNS and LLMNR responses, and the name reader on its own. The first input
// byte chooses the protocol (bit 0: LLMNR) and the sender (bit 1: the IPv6
// link-local address, else the IPv4 one; the seeds answer for both); the rest
// is the UDP payload.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "decode/dns.h"
#include "summary_check.h"

namespace {

// Every offset of the message as a name start: a name either ends inside the
// message, within the text limit, or fails without moving the position.
void read_every_name(std::string_view message) {
  std::string name;
  for (std::size_t at = 0; at <= message.size() && at < 256; ++at) {
    std::size_t position = at;
    if (norvane::read_dns_name(message, position, name)) {
      if (position <= at || position > message.size() || name.size() > 255) {
        norvane::fuzz::fail("name bounds", name);
      }
    } else if (position != at || !name.empty()) {
      norvane::fuzz::fail("failed read moved", name);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::uint8_t selector = data[0];
  const std::string_view protocol = (selector & 1) ? "LLMNR" : "mDNS";

  norvane::PacketSummary s;
  s.ip = (selector & 2) ? "fe80::211:22ff:fe33:4455" : "192.168.1.20";
  s.mac = "00:11:22:33:44:55";
  s.source_mac = s.mac;
  s.model = "before";
  s.protocol = "IPv4";
  s.multicast = true;
  s.source_port = (selector & 1) ? 5355 : 5353;
  s.dest_port = s.source_port;
  s.payload.assign(reinterpret_cast<const char*>(data + 1), size - 1);
  const norvane::PacketSummary before = s;
  norvane::fuzz::check_decode(norvane::decode_dns_response(s, protocol), before, s, protocol);
  if (s.ip != before.ip || s.mac != before.mac || s.model != before.model) {
    norvane::fuzz::fail("dns wrote an address or model", s.name);
  }

  read_every_name(before.payload);
  return 0;
}
