// Placeholder until the LLDP/CDP decoders land in this session.
#include "decode/lldp_cdp.h"
namespace norvane {
bool decode_lldp(const std::uint8_t*, std::size_t, PacketSummary&) { return false; }
bool decode_cdp(const std::uint8_t*, std::size_t, PacketSummary&) { return false; }
std::string lldp_text(const std::uint8_t*, std::size_t) { return {}; }
void prefer_address(std::string&, const std::uint8_t*, std::size_t) {}
std::string cdp_addresses(const std::uint8_t*, std::size_t) { return {}; }
}  // namespace norvane
