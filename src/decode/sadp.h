// Hikvision SADP (EtherType 0x8033 frames and XML on UDP 37020) and Dahua
// DHIP (JSON over UDP) answers.
#pragma once

#include "model/packet_summary.h"

namespace norvane {

bool decode_sadp_frame(PacketSummary& summary);
bool decode_sadp_xml(PacketSummary& summary);
bool decode_dhip(PacketSummary& summary);

}  // namespace norvane
