// Placeholder until the SADP/DHIP decoders land in this session.
#include "decode/sadp.h"
namespace norvane {
bool decode_sadp_frame(PacketSummary&) { return false; }
bool decode_sadp_xml(PacketSummary&) { return false; }
bool decode_dhip(PacketSummary&) { return false; }
}  // namespace norvane
