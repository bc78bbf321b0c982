// The thin socket layer under the probe engine: one call per platform
// operation, nothing decided here. The engine's rules (which socket a probe
// takes, what a send counts, which datagram is accepted) live above it, so a
// fake layer tests them natively and another platform could add its own.
#pragma once

#include <cstdint>
#include <span>

namespace norvane {

using SocketHandle = std::uintptr_t;
inline constexpr SocketHandle kInvalidSocket = ~SocketHandle{0};

// Every value is a 32-bit integer as the platform takes it.
enum class SocketOption {
  kExclusiveAddrUse,
  kBroadcast,
  kUnicastInterface,    // interface index in network byte order
  kMulticastInterface,  // interface index in network byte order, or an IPv4 address
  kMulticastTtl,
  kTtl,
  kPacketInfo,
  kReceiveBuffer,
};

enum class ReceiveStatus {
  kReceived,
  kWouldBlock,
  kConnectionReset,  // an ICMP port unreachable from an earlier send
  kMessageSize,      // the datagram did not fit the buffer
  kError,
};

struct ReceivedMessage {
  ReceiveStatus status = ReceiveStatus::kError;
  std::uint32_t bytes = 0;
  bool truncated = false;            // MSG_TRUNC
  bool control_truncated = false;    // MSG_CTRUNC
  std::uint32_t source_length = 0;   // bytes of the source address written
  std::uint32_t control_length = 0;  // bytes of control messages written
};

// Opaque pointer to a socket's receive-message extension function.
using RecvMsgFunction = void*;

class SocketApi {
 public:
  virtual ~SocketApi() = default;

  virtual bool startup() = 0;  // Winsock 2.2
  virtual void cleanup() = 0;
  virtual std::uint64_t now_ms() = 0;  // monotonic milliseconds

  virtual SocketHandle open_udp() = 0;  // IPv4 datagram socket, or kInvalidSocket
  virtual void close(SocketHandle socket) = 0;
  virtual bool set_option(SocketHandle socket, SocketOption option, std::uint32_t value) = 0;
  virtual bool set_nonblocking(SocketHandle socket) = 0;
  // Address in network byte order, port in host order.
  virtual bool bind(SocketHandle socket, std::uint32_t address, std::uint16_t port) = 0;
  // The bound port (host order) as the system reports it.
  virtual bool bound_port(SocketHandle socket, std::uint16_t& port) = 0;
  virtual RecvMsgFunction recv_msg_function(SocketHandle socket) = 0;  // null when missing
  virtual bool send_msg_available(SocketHandle socket) = 0;
  // Group and the interface index as the membership request takes them.
  virtual bool join_group(SocketHandle socket, std::uint32_t group, std::uint32_t if_index) = 0;

  // Bytes sent, or -1.
  virtual std::int64_t send_to(SocketHandle socket, std::uint32_t address, std::uint16_t port,
                               std::span<const std::uint8_t> payload) = 0;
  // The send-message extension, obtained for this call, with one packet-info
  // control message naming `source` and `if_index`; -1 when it cannot be
  // obtained or the send fails.
  virtual std::int64_t send_msg(SocketHandle socket, std::uint32_t address, std::uint16_t port,
                                std::span<const std::uint8_t> payload, std::uint32_t source,
                                std::uint32_t if_index) = 0;

  virtual ReceiveStatus receive(SocketHandle socket, std::span<std::uint8_t> buffer) = 0;
  // One datagram with its source address and control messages, in the
  // platform's own layout (sockaddr_in, WSACMSGHDR of 64-bit Windows).
  virtual ReceivedMessage receive_msg(SocketHandle socket, RecvMsgFunction function,
                                      std::span<std::uint8_t> data, std::span<std::uint8_t> source,
                                      std::span<std::uint8_t> control) = 0;
};

// The system's Winsock layer (Windows build only).
SocketApi& system_sockets();

}  // namespace norvane
