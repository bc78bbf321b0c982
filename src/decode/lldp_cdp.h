// LLDP (EtherType 0x88CC) and CDP (802.3 with SNAP) neighbour announcements.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "model/packet_summary.h"

namespace norvane {

// TLVs start right after the Ethernet header and any VLAN tags.
bool decode_lldp(const std::uint8_t* tlvs, std::size_t length, PacketSummary& summary);
// The 802.3 payload (starting at the SNAP header) and its 802.3 length.
bool decode_cdp(const std::uint8_t* payload, std::size_t length, PacketSummary& summary);

std::string lldp_text(const std::uint8_t* bytes, std::size_t length);
void prefer_address(std::string& slot, const std::uint8_t* bytes, std::size_t length);
std::string cdp_addresses(const std::uint8_t* bytes, std::size_t length);

}  // namespace norvane
