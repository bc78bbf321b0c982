// Placeholder until the mDNS/LLMNR decoder lands in this session.
#include "decode/dns.h"
namespace norvane {
bool decode_dns_response(PacketSummary&, std::string_view) { return false; }
bool read_dns_name(std::string_view, std::size_t&, std::string&) { return false; }
}  // namespace norvane
