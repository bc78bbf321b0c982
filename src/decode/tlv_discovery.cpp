// Placeholder until the MNDP/Ubiquiti decoder lands in this session.
#include "decode/tlv_discovery.h"
namespace norvane {
bool decode_tlv_discovery(PacketSummary&, bool) { return false; }
}  // namespace norvane
