// BSD sockets on Linux under the probe engine: each call maps to one system
// call. Linux takes the same option values as Winsock where both have the
// option (IP_UNICAST_IF with the index in network byte order); an interface
// is named to IP_MULTICAST_IF and a membership by index and address at once
// (ip_mreqn), and the packet-info record carries the index first.
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include "net/socket_api.h"

namespace norvane {

namespace {

int to_fd(SocketHandle h) { return static_cast<int>(h); }

sockaddr_in make_address(std::uint32_t address, std::uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = address;
  return a;
}

// One datagram to or from `peer`, in one buffer, with room for the one
// control message the sockets use (IP_PKTINFO). It points into itself, so
// it stays where it was made.
struct PktinfoMessage {
  PktinfoMessage(sockaddr_in& peer, void* data, std::size_t size) : buffer{data, size} {
    message.msg_name = &peer;
    message.msg_namelen = sizeof(peer);
    message.msg_iov = &buffer;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof(control);
  }
  PktinfoMessage(const PktinfoMessage&) = delete;
  PktinfoMessage& operator=(const PktinfoMessage&) = delete;

  iovec buffer;
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
  msghdr message{};
};

bool set_int(SocketHandle socket, int level, int name, int value) {
  return setsockopt(to_fd(socket), level, name, &value, sizeof(value)) == 0;
}

std::atomic<std::uint32_t> receive_limit{0};
std::atomic<std::uint32_t> receive_shortfall{0};

bool set_receive_buffer(SocketHandle socket, std::uint32_t bytes) {
  const std::uint32_t limit = receive_limit.load();
  if (limit != 0 && limit < bytes) bytes = limit;
  const int asked = static_cast<int>(std::min<std::uint32_t>(bytes, INT32_MAX / 2));
  // Forcing passes the system's cap where the program may; otherwise the
  // kernel silently holds the request to net.core.rmem_max.
  if (!set_int(socket, SOL_SOCKET, SO_RCVBUFFORCE, asked) &&
      !set_int(socket, SOL_SOCKET, SO_RCVBUF, asked)) {
    return false;
  }
  int granted = 0;
  socklen_t length = sizeof(granted);
  if (getsockopt(to_fd(socket), SOL_SOCKET, SO_RCVBUF, &granted, &length) != 0) return true;
  // The kernel reports twice the size asked, the other half being its
  // bookkeeping.
  const auto kept = static_cast<std::uint32_t>(std::max(granted, 0) / 2);
  if (kept < static_cast<std::uint32_t>(asked)) {
    std::uint32_t seen = receive_shortfall.load();
    while ((seen == 0 || kept < seen) && !receive_shortfall.compare_exchange_weak(seen, kept)) {
    }
  }
  return true;
}

ReceiveStatus status_of_errno() {
  switch (errno) {
    case EAGAIN:
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
#endif
      return ReceiveStatus::kWouldBlock;
    case ECONNREFUSED:  // what Linux reports for an ICMP port unreachable
      return ReceiveStatus::kConnectionReset;
    case EMSGSIZE:
      return ReceiveStatus::kMessageSize;
    default:
      return ReceiveStatus::kError;
  }
}

class PosixSockets final : public SocketApi {
 public:
  bool startup() override { return true; }
  void cleanup() override {}
  std::uint64_t now_ms() override {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<std::uint64_t>(t.tv_sec) * 1000 +
           static_cast<std::uint64_t>(t.tv_nsec) / 1000000;
  }

  SocketHandle open_udp() override {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    return fd < 0 ? kInvalidSocket : static_cast<SocketHandle>(fd);
  }
  void close(SocketHandle socket) override { ::close(to_fd(socket)); }

  bool set_option(SocketHandle socket, SocketOption option, std::uint32_t value) override {
    const int v = static_cast<int>(value);
    switch (option) {
      case SocketOption::kExclusiveAddrUse:
        // A Linux socket shares its port only when both sockets ask to
        // (SO_REUSEADDR, SO_REUSEPORT); asking for neither is exclusive use.
        return set_int(socket, SOL_SOCKET, SO_REUSEADDR, 0) &&
               set_int(socket, SOL_SOCKET, SO_REUSEPORT, 0);
      case SocketOption::kShareAddress:
        // Every member of a multicast group's port asks for it on Linux.
        return set_int(socket, SOL_SOCKET, SO_REUSEADDR, v);
      case SocketOption::kBroadcast:
        return set_int(socket, SOL_SOCKET, SO_BROADCAST, v);
      case SocketOption::kMulticastTtl:
        return set_int(socket, IPPROTO_IP, IP_MULTICAST_TTL, v);
      case SocketOption::kTtl:
        return set_int(socket, IPPROTO_IP, IP_TTL, v);
      case SocketOption::kPacketInfo:
        return set_int(socket, IPPROTO_IP, IP_PKTINFO, v);
      case SocketOption::kReceiveBuffer:
        return set_receive_buffer(socket, value);
    }
    return false;
  }

  bool set_nonblocking(SocketHandle socket) override {
    const int flags = fcntl(to_fd(socket), F_GETFL);
    return flags >= 0 && fcntl(to_fd(socket), F_SETFL, flags | O_NONBLOCK) == 0;
  }

  bool set_unicast_interface(SocketHandle socket, std::uint32_t if_index) override {
    return set_int(socket, IPPROTO_IP, IP_UNICAST_IF, static_cast<int>(htonl(if_index)));
  }

  bool set_multicast_interface(SocketHandle socket, std::uint32_t if_index,
                               std::uint32_t address) override {
    ip_mreqn request{};
    request.imr_address.s_addr = address;
    request.imr_ifindex = static_cast<int>(if_index);
    return setsockopt(to_fd(socket), IPPROTO_IP, IP_MULTICAST_IF, &request, sizeof(request)) == 0;
  }

  bool bind(SocketHandle socket, std::uint32_t address, std::uint16_t port) override {
    const sockaddr_in a = make_address(address, port);
    return ::bind(to_fd(socket), reinterpret_cast<const sockaddr*>(&a), sizeof(a)) == 0;
  }

  bool bound_port(SocketHandle socket, std::uint16_t& port) override {
    sockaddr_in a{};
    socklen_t length = sizeof(a);
    if (getsockname(to_fd(socket), reinterpret_cast<sockaddr*>(&a), &length) != 0) return false;
    port = ntohs(a.sin_port);
    return true;
  }

  // recvmsg and sendmsg are ordinary system calls here: every socket has them.
  RecvMsgFunction recv_msg_function(SocketHandle) override { return this; }
  bool send_msg_available(SocketHandle) override { return true; }

  bool join_group(SocketHandle socket, std::uint32_t group, std::uint32_t if_index,
                  std::uint32_t address) override {
    ip_mreqn request{};
    request.imr_multiaddr.s_addr = group;
    request.imr_address.s_addr = address;
    request.imr_ifindex = static_cast<int>(if_index);
    return setsockopt(to_fd(socket), IPPROTO_IP, IP_ADD_MEMBERSHIP, &request, sizeof(request)) == 0;
  }

  std::int64_t send_to(SocketHandle socket, std::uint32_t address, std::uint16_t port,
                       std::span<const std::uint8_t> payload) override {
    const sockaddr_in a = make_address(address, port);
    const ssize_t sent = sendto(to_fd(socket), payload.data(), payload.size(), MSG_NOSIGNAL,
                                reinterpret_cast<const sockaddr*>(&a), sizeof(a));
    return sent < 0 ? -1 : sent;
  }

  std::int64_t send_msg(SocketHandle socket, std::uint32_t address, std::uint16_t port,
                        std::span<const std::uint8_t> payload, std::uint32_t source,
                        std::uint32_t if_index) override {
    sockaddr_in a = make_address(address, port);
    PktinfoMessage m(a, const_cast<std::uint8_t*>(payload.data()), payload.size());
    msghdr& message = m.message;
    cmsghdr* header = CMSG_FIRSTHDR(&message);
    header->cmsg_level = IPPROTO_IP;
    header->cmsg_type = IP_PKTINFO;
    header->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
    // Linux routes by ipi_ifindex and takes ipi_spec_dst as the source.
    in_pktinfo info{};
    info.ipi_ifindex = static_cast<int>(if_index);
    info.ipi_spec_dst.s_addr = source;
    std::memcpy(CMSG_DATA(header), &info, sizeof(info));
    const ssize_t sent = sendmsg(to_fd(socket), &message, MSG_NOSIGNAL);
    return sent < 0 ? -1 : sent;
  }

  ReceiveStatus receive(SocketHandle socket, std::span<std::uint8_t> buffer) override {
    const ssize_t got = recv(to_fd(socket), buffer.data(), buffer.size(), 0);
    return got < 0 ? status_of_errno() : ReceiveStatus::kReceived;
  }

  ReceivedMessage receive_msg(SocketHandle socket, RecvMsgFunction,
                              std::span<std::uint8_t> data) override {
    ReceivedMessage result;
    sockaddr_in source{};
    PktinfoMessage m(source, data.data(), data.size());
    msghdr& message = m.message;
    const ssize_t got = recvmsg(to_fd(socket), &message, 0);
    if (got < 0) {
      result.status = status_of_errno();
      return result;
    }
    result.status = ReceiveStatus::kReceived;
    result.bytes = static_cast<std::uint32_t>(got);
    result.truncated = (message.msg_flags & MSG_TRUNC) != 0;
    result.control_truncated = (message.msg_flags & MSG_CTRUNC) != 0;
    if (message.msg_namelen >= sizeof(sockaddr_in) && source.sin_family == AF_INET) {
      result.source = DatagramSource{source.sin_addr.s_addr, ntohs(source.sin_port)};
    }
    for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
      if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO &&
          c->cmsg_len >= CMSG_LEN(sizeof(in_pktinfo))) {
        in_pktinfo info;
        std::memcpy(&info, CMSG_DATA(c), sizeof(info));
        result.arrival_interface = static_cast<std::uint32_t>(info.ipi_ifindex);
        break;
      }
    }
    return result;
  }
};

}  // namespace

SocketApi& system_sockets() {
  static PosixSockets api;
  return api;
}

std::uint32_t receive_buffer_shortfall() noexcept { return receive_shortfall.load(); }

void limit_receive_buffer(std::uint32_t bytes) noexcept { receive_limit.store(bytes); }

}  // namespace norvane
