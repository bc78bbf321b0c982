// MikroTik MNDP and Ubiquiti discovery answers (type-length-value messages).
#pragma once

#include "model/packet_summary.h"

namespace norvane {

bool decode_tlv_discovery(PacketSummary& summary, bool ubiquiti);

}  // namespace norvane
