// The thin socket layer under the probe engine: one call per platform
// operation, nothing decided here. The engine's rules (which socket a probe
// takes, what a send counts, which datagram is accepted) live above it, so a
// fake layer tests them natively. Whatever differs between platforms stays
// below this seam: option numbers and value forms, how an interface is named
// to the stack, and the layout of addresses and control messages.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace norvane {

using SocketHandle = std::uintptr_t;
inline constexpr SocketHandle kInvalidSocket = ~SocketHandle{0};

// Options that take one integer.
enum class SocketOption {
  kExclusiveAddrUse,  // no other socket may bind the same port
  kShareAddress,      // the port is shared with other programs' sockets that allow it
  kBroadcast,
  kMulticastTtl,
  kTtl,
  kPacketInfo,  // deliver each datagram's arrival interface
  kReceiveBuffer,
};

enum class ReceiveStatus {
  kReceived,
  kWouldBlock,
  kConnectionReset,  // an ICMP port unreachable from an earlier send
  kMessageSize,      // the datagram did not fit the buffer
  kError,
};

// Sender of a received datagram. Address in network order, port host order.
struct DatagramSource {
  std::uint32_t address = 0;
  std::uint16_t port = 0;
};

struct ReceivedMessage {
  ReceiveStatus status = ReceiveStatus::kError;
  std::uint32_t bytes = 0;
  bool truncated = false;          // MSG_TRUNC
  bool control_truncated = false;  // MSG_CTRUNC
  // The sender, when the system gave a complete IPv4 address.
  std::optional<DatagramSource> source;
  // The interface index of the first IPv4 packet-info control message.
  std::optional<std::uint32_t> arrival_interface;
};

// Opaque token for a socket's receive-with-control-messages call (the
// WSARecvMsg extension on Windows); null when the socket has none.
using RecvMsgFunction = void*;

class SocketApi {
 public:
  virtual ~SocketApi() = default;

  virtual bool startup() = 0;  // Winsock 2.2; nothing to do elsewhere
  virtual void cleanup() = 0;
  virtual std::uint64_t now_ms() = 0;  // monotonic milliseconds

  virtual SocketHandle open_udp() = 0;  // IPv4 datagram socket, or kInvalidSocket
  virtual void close(SocketHandle socket) = 0;
  virtual bool set_option(SocketHandle socket, SocketOption option, std::uint32_t value) = 0;
  virtual bool set_nonblocking(SocketHandle socket) = 0;
  // Unicast and broadcast datagrams leave through the interface with this
  // index, whatever the routing table says.
  virtual bool set_unicast_interface(SocketHandle socket, std::uint32_t if_index) = 0;
  // Multicast datagrams leave through the interface named by its index and
  // its IPv4 address (network order); the layer uses the form its stack takes.
  virtual bool set_multicast_interface(SocketHandle socket, std::uint32_t if_index,
                                       std::uint32_t address) = 0;
  // Address in network byte order, port in host order.
  virtual bool bind(SocketHandle socket, std::uint32_t address, std::uint16_t port) = 0;
  // The bound port (host order) as the system reports it.
  virtual bool bound_port(SocketHandle socket, std::uint16_t& port) = 0;
  virtual RecvMsgFunction recv_msg_function(SocketHandle socket) = 0;  // null when missing
  virtual bool send_msg_available(SocketHandle socket) = 0;
  // Joins the group on the interface named as for set_multicast_interface.
  virtual bool join_group(SocketHandle socket, std::uint32_t group, std::uint32_t if_index,
                          std::uint32_t address) = 0;

  // Bytes sent, or -1.
  virtual std::int64_t send_to(SocketHandle socket, std::uint32_t address, std::uint16_t port,
                               std::span<const std::uint8_t> payload) = 0;
  // A send with one packet-info control message naming `source` (network
  // order) and `if_index`, so that the datagram leaves through that interface
  // with that source even from a wildcard-bound socket; -1 when the call is
  // unavailable or the send fails.
  virtual std::int64_t send_msg(SocketHandle socket, std::uint32_t address, std::uint16_t port,
                                std::span<const std::uint8_t> payload, std::uint32_t source,
                                std::uint32_t if_index) = 0;

  virtual ReceiveStatus receive(SocketHandle socket, std::span<std::uint8_t> buffer) = 0;
  // One datagram into `data`, with its sender and arrival interface.
  virtual ReceivedMessage receive_msg(SocketHandle socket, RecvMsgFunction function,
                                      std::span<std::uint8_t> data) = 0;
};

// The system's socket layer: Winsock on Windows, BSD sockets on Linux.
SocketApi& system_sockets();

#ifndef _WIN32
// Linux keeps a socket's receive buffer within net.core.rmem_max unless the
// program may force it (CAP_NET_ADMIN). The smallest buffer granted below
// the size asked since the start, in bytes; 0 while every request was
// granted whole.
std::uint32_t receive_buffer_shortfall() noexcept;
// Receive buffers asked for are held to at most `bytes` (0: no limit), as a
// tighter system would: to see how a run fares with a stock kernel's cap.
void limit_receive_buffer(std::uint32_t bytes) noexcept;
#endif

}  // namespace norvane
