// LLDP (EtherType 0x88CC) and CDP (802.3 with SNAP) neighbour announcements.
// Both decoders fill ip, mac, name, model, info and protocol of the summary
// and write nothing when they fail, so the frame parser can reject the frame.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "model/packet_summary.h"

namespace norvane {

// TLVs start right after the Ethernet header and any VLAN tags; length is
// everything captured from there on (an LLDPDU ends at its End TLV).
bool decode_lldp(const std::uint8_t* tlvs, std::size_t length, PacketSummary& summary);
// The 802.3 payload (starting at the SNAP header) and its 802.3 length.
bool decode_cdp(const std::uint8_t* payload, std::size_t length, PacketSummary& summary);

// Printable text of an LLDP or CDP string: at most the first 255 bytes, cut at
// a zero byte, each run of blanks and control bytes between words turned into
// one space and dropped at both ends.
std::string lldp_text(const std::uint8_t* bytes, std::size_t length);
// Stores the address text in an empty slot, or an IPv4 address over an IPv6
// one; unusable addresses leave the slot alone.
void prefer_address(std::string& slot, const std::uint8_t* bytes, std::size_t length);
// Best address of a CDP address list (IPv4 preferred), or empty when the list
// is malformed or holds no usable address.
std::string cdp_addresses(const std::uint8_t* bytes, std::size_t length);

}  // namespace norvane
