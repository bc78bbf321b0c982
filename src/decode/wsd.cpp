// Placeholder until the WS-Discovery/SSDP decoders land in this session.
#include "decode/wsd.h"
namespace norvane {
bool decode_wsd(PacketSummary&) { return false; }
bool decode_ssdp(PacketSummary&) { return false; }
std::string scope_value(std::string_view, std::string_view) { return {}; }
}  // namespace norvane
