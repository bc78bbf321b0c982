// What the Winsock layer reads from and asks of the system, kept portable so
// that it is tested natively: the records 64-bit Windows writes (read byte by
// byte, never overlaid), and how an interface is named to the stack.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>

#include "net/socket_api.h"

namespace norvane {

// The interface index of the first IPv4 packet-info control message of at
// least 24 bytes, walking 64-bit Windows control messages in order; nothing
// when there is none.
std::optional<std::uint32_t> packet_info_interface(std::span<const std::uint8_t> control);

// Sender of a received datagram from a sockaddr_in as Winsock wrote it: IPv4
// family, at least 16 bytes.
std::optional<DatagramSource> datagram_source(std::span<const std::uint8_t> name);

// Runs `request` with the interface index in network byte order (the form
// Windows takes for IP_MULTICAST_IF and a group membership) and, when that
// is refused, with the interface's IPv4 address (the only form Wine takes;
// both name the same interface). True when either was accepted.
bool interface_by_index_else_address(const std::function<bool(std::uint32_t)>& request,
                                     std::uint32_t if_index, std::uint32_t address);

}  // namespace norvane
