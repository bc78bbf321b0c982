// WS-Discovery (ONVIF) and SSDP (UPnP) answers.
#pragma once

#include <string>
#include <string_view>

#include "model/packet_summary.h"

namespace norvane {

bool decode_wsd(PacketSummary& summary);
bool decode_ssdp(PacketSummary& summary);

// Decoded value of the first scope in a whitespace-separated scope list that
// starts with the prefix, or empty.
std::string scope_value(std::string_view scopes, std::string_view prefix);

}  // namespace norvane
