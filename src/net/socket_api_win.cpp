// Winsock 2 under the probe engine: each call maps to one system call.
#include <winsock2.h>

#include <mswsock.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <cstring>

#include "net/socket_api.h"
#include "net/winsock_records.h"

namespace norvane {

namespace {

SOCKET to_socket(SocketHandle h) { return static_cast<SOCKET>(h); }

sockaddr_in make_address(std::uint32_t address, std::uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = address;
  return a;
}

template <typename Function>
Function extension(SOCKET s, GUID id) {
  Function f = nullptr;
  DWORD bytes = 0;
  if (WSAIoctl(s, SIO_GET_EXTENSION_FUNCTION_POINTER, &id, sizeof(id), &f, sizeof(f), &bytes,
               nullptr, nullptr) != 0) {
    return nullptr;
  }
  return f;
}

bool set_dword(SocketHandle socket, int level, int name, std::uint32_t value) {
  const DWORD v = value;
  return setsockopt(to_socket(socket), level, name, reinterpret_cast<const char*>(&v), sizeof(v)) ==
         0;
}

ReceiveStatus status_of_last_error() {
  switch (WSAGetLastError()) {
    case WSAEWOULDBLOCK:
      return ReceiveStatus::kWouldBlock;
    case WSAECONNRESET:
      return ReceiveStatus::kConnectionReset;
    case WSAEMSGSIZE:
      return ReceiveStatus::kMessageSize;
    default:
      return ReceiveStatus::kError;
  }
}

class WinsockApi final : public SocketApi {
 public:
  bool startup() override {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }
  void cleanup() override { WSACleanup(); }
  std::uint64_t now_ms() override { return GetTickCount64(); }

  SocketHandle open_udp() override {
    const SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    return s == INVALID_SOCKET ? kInvalidSocket : static_cast<SocketHandle>(s);
  }
  void close(SocketHandle socket) override { closesocket(to_socket(socket)); }

  bool set_option(SocketHandle socket, SocketOption option, std::uint32_t value) override {
    int level = IPPROTO_IP;
    int name = 0;
    switch (option) {
      case SocketOption::kExclusiveAddrUse:
        level = SOL_SOCKET;
        name = SO_EXCLUSIVEADDRUSE;
        break;
      case SocketOption::kShareAddress:
        level = SOL_SOCKET;
        name = SO_REUSEADDR;
        break;
      case SocketOption::kBroadcast:
        level = SOL_SOCKET;
        name = SO_BROADCAST;
        break;
      case SocketOption::kReceiveBuffer:
        level = SOL_SOCKET;
        name = SO_RCVBUF;
        break;
      case SocketOption::kMulticastTtl:
        name = IP_MULTICAST_TTL;
        break;
      case SocketOption::kTtl:
        name = IP_TTL;
        break;
      case SocketOption::kPacketInfo:
        name = IP_PKTINFO;
        break;
    }
    return set_dword(socket, level, name, value);
  }

  bool set_unicast_interface(SocketHandle socket, std::uint32_t if_index) override {
    return set_dword(socket, IPPROTO_IP, IP_UNICAST_IF, htonl(if_index));
  }

  bool set_multicast_interface(SocketHandle socket, std::uint32_t if_index,
                               std::uint32_t address) override {
    return interface_by_index_else_address(
        [&](std::uint32_t value) { return set_dword(socket, IPPROTO_IP, IP_MULTICAST_IF, value); },
        if_index, address);
  }

  bool set_nonblocking(SocketHandle socket) override {
    u_long on = 1;
    return ioctlsocket(to_socket(socket), FIONBIO, &on) == 0;
  }

  bool bind(SocketHandle socket, std::uint32_t address, std::uint16_t port) override {
    const sockaddr_in a = make_address(address, port);
    return ::bind(to_socket(socket), reinterpret_cast<const sockaddr*>(&a), sizeof(a)) == 0;
  }

  bool bound_port(SocketHandle socket, std::uint16_t& port) override {
    sockaddr_in a{};
    int length = sizeof(a);
    if (getsockname(to_socket(socket), reinterpret_cast<sockaddr*>(&a), &length) != 0) {
      return false;
    }
    port = ntohs(a.sin_port);
    return true;
  }

  RecvMsgFunction recv_msg_function(SocketHandle socket) override {
    return reinterpret_cast<RecvMsgFunction>(
        extension<LPFN_WSARECVMSG>(to_socket(socket), WSAID_WSARECVMSG));
  }

  bool send_msg_available(SocketHandle socket) override {
    return extension<LPFN_WSASENDMSG>(to_socket(socket), WSAID_WSASENDMSG) != nullptr;
  }

  bool join_group(SocketHandle socket, std::uint32_t group, std::uint32_t if_index,
                  std::uint32_t address) override {
    return interface_by_index_else_address(
        [&](std::uint32_t value) {
          ip_mreq request{};
          request.imr_multiaddr.s_addr = group;
          request.imr_interface.s_addr = value;
          return setsockopt(to_socket(socket), IPPROTO_IP, IP_ADD_MEMBERSHIP,
                            reinterpret_cast<const char*>(&request), sizeof(request)) == 0;
        },
        if_index, address);
  }

  std::int64_t send_to(SocketHandle socket, std::uint32_t address, std::uint16_t port,
                       std::span<const std::uint8_t> payload) override {
    const sockaddr_in a = make_address(address, port);
    const int sent = sendto(to_socket(socket), reinterpret_cast<const char*>(payload.data()),
                            static_cast<int>(payload.size()), 0,
                            reinterpret_cast<const sockaddr*>(&a), sizeof(a));
    return sent == SOCKET_ERROR ? -1 : sent;
  }

  std::int64_t send_msg(SocketHandle socket, std::uint32_t address, std::uint16_t port,
                        std::span<const std::uint8_t> payload, std::uint32_t source,
                        std::uint32_t if_index) override {
    const auto send = extension<LPFN_WSASENDMSG>(to_socket(socket), WSAID_WSASENDMSG);
    if (!send) return -1;
    sockaddr_in a = make_address(address, port);
    WSABUF buffer;
    buffer.buf = const_cast<char*>(reinterpret_cast<const char*>(payload.data()));
    buffer.len = static_cast<ULONG>(payload.size());
    alignas(WSACMSGHDR) char control[WSA_CMSG_SPACE(sizeof(IN_PKTINFO))] = {};
    auto* header = reinterpret_cast<WSACMSGHDR*>(control);
    header->cmsg_len = WSA_CMSG_LEN(sizeof(IN_PKTINFO));
    header->cmsg_level = IPPROTO_IP;
    header->cmsg_type = IP_PKTINFO;
    IN_PKTINFO info{};
    info.ipi_addr.s_addr = source;
    info.ipi_ifindex = if_index;
    std::memcpy(WSA_CMSG_DATA(header), &info, sizeof(info));
    WSAMSG message{};
    message.name = reinterpret_cast<sockaddr*>(&a);
    message.namelen = sizeof(a);
    message.lpBuffers = &buffer;
    message.dwBufferCount = 1;
    message.Control.buf = control;
    message.Control.len = sizeof(control);
    DWORD sent = 0;
    if (send(to_socket(socket), &message, 0, &sent, nullptr, nullptr) != 0) return -1;
    return sent;
  }

  ReceiveStatus receive(SocketHandle socket, std::span<std::uint8_t> buffer) override {
    const int got = recv(to_socket(socket), reinterpret_cast<char*>(buffer.data()),
                         static_cast<int>(buffer.size()), 0);
    return got == SOCKET_ERROR ? status_of_last_error() : ReceiveStatus::kReceived;
  }

  ReceivedMessage receive_msg(SocketHandle socket, RecvMsgFunction function,
                              std::span<std::uint8_t> data) override {
    ReceivedMessage result;
    const auto recv_msg = reinterpret_cast<LPFN_WSARECVMSG>(function);
    if (!recv_msg) return result;
    // Room for a sockaddr_in and one IN_PKTINFO control message, the only
    // one the socket asks for.
    std::uint8_t source[16] = {};
    alignas(8) std::uint8_t control[24] = {};
    WSABUF buffer;
    buffer.buf = reinterpret_cast<char*>(data.data());
    buffer.len = static_cast<ULONG>(data.size());
    WSAMSG message{};
    message.name = reinterpret_cast<sockaddr*>(source);
    message.namelen = sizeof(source);
    message.lpBuffers = &buffer;
    message.dwBufferCount = 1;
    message.Control.buf = reinterpret_cast<char*>(control);
    message.Control.len = sizeof(control);
    message.dwFlags = 0;
    DWORD received = 0;
    if (recv_msg(to_socket(socket), &message, &received, nullptr, nullptr) != 0) {
      result.status = status_of_last_error();
      return result;
    }
    result.status = ReceiveStatus::kReceived;
    result.bytes = received;
    result.truncated = (message.dwFlags & MSG_TRUNC) != 0;
    result.control_truncated = (message.dwFlags & MSG_CTRUNC) != 0;
    const auto written = [](auto length, std::size_t room) {
      return std::min<std::size_t>(length < 0 ? 0 : static_cast<std::size_t>(length), room);
    };
    result.source = datagram_source(
        std::span<const std::uint8_t>(source, written(message.namelen, sizeof(source))));
    result.arrival_interface = packet_info_interface(std::span<const std::uint8_t>(
        control, written(static_cast<long long>(message.Control.len), sizeof(control))));
    return result;
  }
};

}  // namespace

SocketApi& system_sockets() {
  static WinsockApi api;
  return api;
}

}  // namespace norvane
