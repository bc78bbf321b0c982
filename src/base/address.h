// Address text rules shared by every decoder, and the one portable address
// text parser/formatter, so that native and Windows builds give identical
// texts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace norvane {

// True when bit 0 of the first byte is clear and not all six bytes are zero.
bool is_unicast_mac(const std::uint8_t* six) noexcept;

// "00:1A:2B:3C:4D:5E" (upper-case hex). Does not check the address.
std::string mac_text(const std::uint8_t* six);

// Address text of a 4- or 16-byte address, or empty for unspecified,
// loopback, multicast and reserved addresses and any other length.
std::string ip_text(const std::uint8_t* bytes, std::size_t length);

// Strict dotted-decimal IPv4 as inet_pton(AF_INET) accepts it.
bool parse_ipv4(std::string_view text, std::uint8_t out[4]) noexcept;
// IPv6 text as inet_pton(AF_INET6) accepts it (with embedded IPv4 tail).
bool parse_ipv6(std::string_view text, std::uint8_t out[16]) noexcept;

// "%u.%u.%u.%u".
std::string format_ipv4(const std::uint8_t* four);
// RFC 5952 text: lower case, leading zeros dropped, the longest run of two or
// more zero groups (the first of equal runs) compressed to "::", and
// IPv4-mapped addresses written as ::ffff:a.b.c.d.
std::string format_ipv6(const std::uint8_t* sixteen);

}  // namespace norvane
