// The Linux socket layer on real sockets: every option the engine sets is
// read back from the kernel, and datagrams travel over loopback inside a
// network namespace of the test's own (root only), never the machine's.
#include <arpa/inet.h>
#include <fcntl.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "net/socket_api.h"

namespace norvane {
namespace {

std::uint32_t ip(const char* text) {
  in_addr a{};
  EXPECT_EQ(inet_pton(AF_INET, text, &a), 1) << text;
  return a.s_addr;
}

int get_int(SocketHandle s, int level, int name) {
  int value = -1;
  socklen_t length = sizeof(value);
  EXPECT_EQ(getsockopt(static_cast<int>(s), level, name, &value, &length), 0);
  return value;
}

// Closes what the layer opened, whatever the test does.
struct Socket {
  SocketApi& api = system_sockets();
  SocketHandle handle = api.open_udp();
  ~Socket() {
    if (handle != kInvalidSocket) api.close(handle);
  }
};

TEST(PosixSockets, EveryOptionReachesTheKernel) {
  struct Case {
    const char* what;
    SocketOption option;
    std::uint32_t value;
    int level;
    int name;
    int read_back;
  } const cases[] = {
      {"broadcast", SocketOption::kBroadcast, 1, SOL_SOCKET, SO_BROADCAST, 1},
      {"ttl", SocketOption::kTtl, 1, IPPROTO_IP, IP_TTL, 1},
      {"multicast ttl", SocketOption::kMulticastTtl, 1, IPPROTO_IP, IP_MULTICAST_TTL, 1},
      {"packet info", SocketOption::kPacketInfo, 1, IPPROTO_IP, IP_PKTINFO, 1},
      {"exclusive: no address sharing", SocketOption::kExclusiveAddrUse, 1, SOL_SOCKET,
       SO_REUSEADDR, 0},
      {"exclusive: no port sharing", SocketOption::kExclusiveAddrUse, 1, SOL_SOCKET, SO_REUSEPORT,
       0},
  };
  for (const auto& c : cases) {
    Socket s;
    ASSERT_NE(s.handle, kInvalidSocket);
    if (c.read_back == 0) {
      const int on = 1;  // the layer must turn sharing off, not merely leave it
      setsockopt(static_cast<int>(s.handle), c.level, c.name, &on, sizeof(on));
    }
    EXPECT_TRUE(s.api.set_option(s.handle, c.option, c.value)) << c.what;
    EXPECT_EQ(get_int(s.handle, c.level, c.name), c.read_back) << c.what;
  }

  Socket s;
  // The kernel doubles what it is asked for, for its own bookkeeping.
  EXPECT_TRUE(s.api.set_option(s.handle, SocketOption::kReceiveBuffer, 65536));
  EXPECT_GE(get_int(s.handle, SOL_SOCKET, SO_RCVBUF), 65536);
  // The unicast interface takes the index in network byte order, as Winsock.
  EXPECT_TRUE(s.api.set_unicast_interface(s.handle, 1));
  EXPECT_EQ(get_int(s.handle, IPPROTO_IP, IP_UNICAST_IF), static_cast<int>(htonl(1)));
  EXPECT_TRUE(s.api.set_multicast_interface(s.handle, 1, ip("127.0.0.1")));
  in_addr chosen{};
  socklen_t length = sizeof(chosen);
  ASSERT_EQ(getsockopt(static_cast<int>(s.handle), IPPROTO_IP, IP_MULTICAST_IF, &chosen, &length),
            0);
  EXPECT_EQ(chosen.s_addr, ip("127.0.0.1"));
  EXPECT_FALSE(s.api.set_multicast_interface(s.handle, 999999, 0));  // no such interface

  EXPECT_TRUE(s.api.set_nonblocking(s.handle));
  EXPECT_NE(fcntl(static_cast<int>(s.handle), F_GETFL) & O_NONBLOCK, 0);
  EXPECT_NE(fcntl(static_cast<int>(s.handle), F_GETFD) & FD_CLOEXEC, 0);
  std::uint8_t buffer[16];
  EXPECT_EQ(s.api.receive(s.handle, buffer), ReceiveStatus::kWouldBlock);
  EXPECT_EQ(s.api.receive_msg(s.handle, s.api.recv_msg_function(s.handle), buffer).status,
            ReceiveStatus::kWouldBlock);
}

TEST(PosixSockets, ExclusivePortAndBoundPort) {
  Socket first;
  Socket second;
  ASSERT_TRUE(first.api.set_option(first.handle, SocketOption::kExclusiveAddrUse, 1));
  ASSERT_TRUE(first.api.bind(first.handle, ip("127.0.0.1"), 0));
  std::uint16_t port = 0;
  ASSERT_TRUE(first.api.bound_port(first.handle, port));
  EXPECT_NE(port, 0);
  ASSERT_TRUE(second.api.set_option(second.handle, SocketOption::kExclusiveAddrUse, 1));
  EXPECT_FALSE(second.api.bind(second.handle, ip("127.0.0.1"), port));
  EXPECT_FALSE(second.api.bind(second.handle, 0, port));
  EXPECT_NE(first.api.recv_msg_function(first.handle), nullptr);
  EXPECT_TRUE(first.api.send_msg_available(first.handle));
}

// Datagrams need a network; the test makes its own, with only loopback.
bool enter_private_network() {
  if (geteuid() != 0 || unshare(CLONE_NEWNET) != 0) return false;
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  ifreq request{};
  std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
  bool up = fd >= 0 && ioctl(fd, SIOCGIFFLAGS, &request) == 0;
  request.ifr_flags = static_cast<short>(request.ifr_flags | IFF_UP);
  up = up && ioctl(fd, SIOCSIFFLAGS, &request) == 0;
  if (fd >= 0) close(fd);
  return up;
}

TEST(PosixSockets, DatagramsCarryTheirSenderAndArrivalInterface) {
  if (!enter_private_network()) GTEST_SKIP() << "needs root for a private network namespace";
  const std::uint32_t loopback = if_nametoindex("lo");
  ASSERT_NE(loopback, 0u);

  Socket receiver;
  SocketApi& api = receiver.api;
  ASSERT_TRUE(api.set_option(receiver.handle, SocketOption::kPacketInfo, 1));
  ASSERT_TRUE(api.set_nonblocking(receiver.handle));
  ASSERT_TRUE(api.bind(receiver.handle, 0, 0));
  std::uint16_t port = 0;
  ASSERT_TRUE(api.bound_port(receiver.handle, port));

  Socket sender;
  ASSERT_TRUE(api.bind(sender.handle, ip("127.0.0.1"), 0));
  std::uint16_t sender_port = 0;
  ASSERT_TRUE(api.bound_port(sender.handle, sender_port));
  const std::string text = "probe answer";
  const std::span<const std::uint8_t> payload(reinterpret_cast<const std::uint8_t*>(text.data()),
                                              text.size());

  struct Case {
    const char* what;
    bool via_msg;
    std::size_t room;
    bool truncated;
  } const cases[] = {
      {"sendto", false, 64, false},
      {"sendmsg with packet info", true, 64, false},
      {"buffer too small", false, 4, true},
  };
  for (const auto& c : cases) {
    const std::int64_t sent =
        c.via_msg
            ? api.send_msg(sender.handle, ip("127.0.0.1"), port, payload, ip("127.0.0.1"), loopback)
            : api.send_to(sender.handle, ip("127.0.0.1"), port, payload);
    EXPECT_EQ(sent, static_cast<std::int64_t>(text.size())) << c.what;
    std::vector<std::uint8_t> data(c.room);
    ReceivedMessage m;
    for (int i = 0; i < 100 && m.status != ReceiveStatus::kReceived; ++i) {
      m = api.receive_msg(receiver.handle, api.recv_msg_function(receiver.handle), data);
      if (m.status == ReceiveStatus::kWouldBlock) usleep(1000);
    }
    ASSERT_EQ(m.status, ReceiveStatus::kReceived) << c.what;
    EXPECT_EQ(m.truncated, c.truncated) << c.what;
    EXPECT_FALSE(m.control_truncated) << c.what;
    EXPECT_EQ(m.bytes, c.truncated ? c.room : text.size()) << c.what;
    ASSERT_TRUE(m.source.has_value()) << c.what;
    EXPECT_EQ(m.source->address, ip("127.0.0.1")) << c.what;
    EXPECT_EQ(m.source->port, sender_port) << c.what;
    EXPECT_EQ(m.arrival_interface, loopback) << c.what;
    EXPECT_EQ(std::string(data.begin(), data.begin() + m.bytes), text.substr(0, m.bytes)) << c.what;
  }

  // Without IP_PKTINFO no arrival interface is claimed.
  Socket plain;
  ASSERT_TRUE(api.bind(plain.handle, ip("127.0.0.1"), 0));
  std::uint16_t plain_port = 0;
  ASSERT_TRUE(api.bound_port(plain.handle, plain_port));
  ASSERT_EQ(api.send_to(sender.handle, ip("127.0.0.1"), plain_port, payload),
            static_cast<std::int64_t>(text.size()));
  std::vector<std::uint8_t> data(64);
  const ReceivedMessage m =
      api.receive_msg(plain.handle, api.recv_msg_function(plain.handle), data);
  ASSERT_EQ(m.status, ReceiveStatus::kReceived);
  EXPECT_FALSE(m.arrival_interface.has_value());
}

}  // namespace
}  // namespace norvane
