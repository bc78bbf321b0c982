// mDNS and LLMNR responses.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "model/packet_summary.h"

namespace norvane {

bool decode_dns_response(PacketSummary& summary, std::string_view protocol);

// Reads a possibly compressed name at position into name and moves position
// past the name's own bytes (a compressed name ends after its first pointer).
bool read_dns_name(std::string_view message, std::size_t& position, std::string& name);

}  // namespace norvane
