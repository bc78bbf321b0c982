// norvane-sim: a segment of simulated discovery devices for network
// namespace tests. Each device has its own interface (named "d-" + key, set
// up by the lab script with the device's MAC and address) and answers the
// discovery requests of its family from that interface, so every reply on
// the wire carries the device's own MAC and IPv4 address.
#include <arpa/inet.h>
#include <linux/if_packet.h>
#include <net/ethernet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/address.h"
#include "sim_device.h"
#include "sim_expect.h"
#include "sim_reply.h"

namespace {

using namespace norvane::sim;

constexpr std::string_view kHelp =
    R"(Usage: norvane-sim [--devices FILE | --crowd N] [--subnet A.B.C] [--only KEY,...] COMMAND

Commands:
  --list     one line per device: key, kind, interface, MAC, IPv4
  --expect   what the decoders make of each device's replies, as JSON Lines
  --requests the discovery requests the devices answer, one a line:
             destination, port, own-port flag (0/1), payload in hex
  --serve    answer discovery requests on the devices' interfaces (default)
  --goodbye  the devices (--only) leave: each sends its goodbye once from
             its interface (SSDP byebye), one line per message sent

Devices come from FILE (default: the devices.conf beside the sources), or are
a crowd of N (1 to 150) SADP cameras at hosts 100 and up; their addresses are
A.B.C.host (default 10.79.1), or the fixed address a line gives (a new device
at its factory address). --serve needs the interfaces "d-KEY" to exist with
the device's MAC and address, and CAP_NET_RAW for the raw SADP frames and the
announcements of the ARP boxes and the switches (LLDP), one a second; it runs
until SIGINT or SIGTERM. A device that said goodbye is still served: it is
back at the next search, as a device that restarts.
)";

volatile std::sig_atomic_t g_stop = 0;
void on_signal(int) { g_stop = 1; }

// One owned file descriptor.
class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Fd& operator=(Fd&& other) noexcept {
    if (this != &other) {
      reset();
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() { reset(); }
  int get() const { return fd_; }
  void reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
};

// One UDP socket of a device, on one of its service ports.
struct UdpSocket {
  std::uint16_t port = 0;
  Fd fd;
};

struct Endpoint {
  const Device* device = nullptr;
  unsigned ifindex = 0;
  std::vector<UdpSocket> udp;
  Fd raw;        // SADP frames; invalid without CAP_NET_RAW or for other kinds
  Fd announcer;  // an ARP box's or a switch's announcements; sends only
};

std::string ip_string(const Ip4& ip) { return norvane::format_ipv4(ip.data()); }

bool fail(const std::string& what) {
  std::cerr << "norvane-sim: " << what << ": " << std::strerror(errno) << "\n";
  return false;
}

// The interface must carry the device's MAC and address, or the replies
// would not be the device's own.
bool check_interface(const Device& d, const std::string& ifname) {
  Fd s(::socket(AF_INET, SOCK_DGRAM, 0));
  if (s.get() < 0) return fail("socket");
  ifreq req{};
  std::snprintf(req.ifr_name, IFNAMSIZ, "%s", ifname.c_str());
  if (::ioctl(s.get(), SIOCGIFHWADDR, &req) != 0) return fail("interface " + ifname);
  if (std::memcmp(req.ifr_hwaddr.sa_data, d.mac.data(), 6) != 0) {
    std::cerr << "norvane-sim: " << ifname << " does not carry " << norvane::mac_text(d.mac.data())
              << "\n";
    return false;
  }
  if (::ioctl(s.get(), SIOCGIFADDR, &req) != 0) return fail("address of " + ifname);
  sockaddr_in sin{};
  std::memcpy(&sin, &req.ifr_addr, sizeof sin);
  if (std::memcmp(&sin.sin_addr, d.ip.data(), 4) != 0) {
    std::cerr << "norvane-sim: " << ifname << " does not have " << ip_string(d.ip) << "\n";
    return false;
  }
  return true;
}

// A socket on one of the device's ports; with `member`, a member of the
// port's group (a socket that only sends leaves the membership alone).
bool open_udp(Endpoint& e, const std::string& ifname, std::uint16_t port, bool member = true) {
  const Device& d = *e.device;
  Fd s(::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (s.get() < 0) return fail("socket");
  const int one = 1, zero = 0, ttl = 1;
  if (::setsockopt(s.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0 ||
      ::setsockopt(s.get(), SOL_SOCKET, SO_BROADCAST, &one, sizeof one) != 0 ||
      ::setsockopt(s.get(), SOL_SOCKET, SO_BINDTODEVICE, ifname.c_str(),
                   static_cast<socklen_t>(ifname.size())) != 0 ||
      ::setsockopt(s.get(), IPPROTO_IP, IP_PKTINFO, &one, sizeof one) != 0 ||
      ::setsockopt(s.get(), IPPROTO_IP, IP_MULTICAST_LOOP, &zero, sizeof zero) != 0 ||
      ::setsockopt(s.get(), IPPROTO_IP, IP_MULTICAST_ALL, &zero, sizeof zero) != 0 ||
      ::setsockopt(s.get(), IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl) != 0) {
    return fail("socket options for " + d.key);
  }
  ip_mreqn out_if{};
  out_if.imr_ifindex = static_cast<int>(e.ifindex);
  if (::setsockopt(s.get(), IPPROTO_IP, IP_MULTICAST_IF, &out_if, sizeof out_if) != 0) {
    return fail("multicast interface for " + d.key);
  }
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(port);
  if (::bind(s.get(), reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
    return fail("bind port " + std::to_string(port) + " for " + d.key);
  }
  const Ip4 group = port_group(port);
  if (member && group[0] != 0) {
    ip_mreqn join{};
    std::memcpy(&join.imr_multiaddr, group.data(), 4);
    join.imr_ifindex = static_cast<int>(e.ifindex);
    if (::setsockopt(s.get(), IPPROTO_IP, IP_ADD_MEMBERSHIP, &join, sizeof join) != 0) {
      return fail("join " + ip_string(group) + " for " + d.key);
    }
  }
  e.udp.push_back({port, std::move(s)});
  return true;
}

void open_raw(Endpoint& e) {
  Fd s(::socket(AF_PACKET, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, htons(kSadpEtherType)));
  if (s.get() < 0) {
    fail("packet socket for " + e.device->key + " (no raw SADP frames)");
    return;
  }
  sockaddr_ll ll{};
  ll.sll_family = AF_PACKET;
  ll.sll_protocol = htons(kSadpEtherType);
  ll.sll_ifindex = static_cast<int>(e.ifindex);
  if (::bind(s.get(), reinterpret_cast<sockaddr*>(&ll), sizeof ll) != 0) {
    fail("bind packet socket for " + e.device->key);
    return;
  }
  e.raw = std::move(s);
}

// A packet socket that sends on the device's interface and receives
// nothing (protocol 0).
void open_announcer(Endpoint& e) {
  Fd s(::socket(AF_PACKET, SOCK_RAW | SOCK_CLOEXEC, 0));
  sockaddr_ll ll{};
  ll.sll_family = AF_PACKET;
  ll.sll_ifindex = static_cast<int>(e.ifindex);
  if (s.get() < 0 || ::bind(s.get(), reinterpret_cast<sockaddr*>(&ll), sizeof ll) != 0) {
    fail("packet socket for " + e.device->key + " (no announcements)");
    return;
  }
  e.announcer = std::move(s);
}

void announce(const Endpoint& e) {
  const bool lldp = e.device->kind == Kind::kLldp;
  const std::string frame = lldp ? lldp_announcement(*e.device) : arp_announcement(*e.device);
  const ssize_t sent = ::send(e.announcer.get(), frame.data(), frame.size(), 0);
  if (sent != static_cast<ssize_t>(frame.size())) {
    std::cerr << e.device->key << ": "
              << (lldp ? "LLDP announcement" : "ARP announcement of " + ip_string(e.device->ip))
              << " FAILED\n";
  }
}

bool from_a_device(const std::vector<Endpoint>& all, const Ip4& source) {
  for (const Endpoint& e : all) {
    if (e.device->ip == source) return true;
  }
  return false;
}

bool send_reply(const Endpoint& e, const UdpSocket& from, const Reply& r) {
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(r.port);
  std::memcpy(&to.sin_addr, r.destination.data(), 4);
  iovec iov{const_cast<char*>(r.payload.data()), r.payload.size()};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
  msghdr msg{};
  msg.msg_name = &to;
  msg.msg_namelen = sizeof to;
  msg.msg_iov = &iov;
  msg.msg_iovlen = 1;
  msg.msg_control = control;
  msg.msg_controllen = sizeof control;
  cmsghdr* c = CMSG_FIRSTHDR(&msg);
  c->cmsg_level = IPPROTO_IP;
  c->cmsg_type = IP_PKTINFO;
  c->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
  in_pktinfo info{};
  info.ipi_ifindex = static_cast<int>(e.ifindex);
  std::memcpy(&info.ipi_spec_dst, e.device->ip.data(), 4);
  std::memcpy(CMSG_DATA(c), &info, sizeof info);
  const bool sent = ::sendmsg(from.fd.get(), &msg, 0) == static_cast<ssize_t>(r.payload.size());
  std::cerr << e.device->key << ": " << r.what << " to " << ip_string(r.destination) << ":"
            << r.port << (sent ? "" : " FAILED") << "\n";
  return sent;
}

void serve_udp(const std::vector<Endpoint>& all, const Endpoint& e, const UdpSocket& socket) {
  for (int i = 0; i < 64; ++i) {
    char buf[65536];
    sockaddr_in from{};
    iovec iov{buf, sizeof buf};
    msghdr msg{};
    msg.msg_name = &from;
    msg.msg_namelen = sizeof from;
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    const ssize_t n = ::recvmsg(socket.fd.get(), &msg, 0);
    if (n < 0) return;
    if ((msg.msg_flags & MSG_TRUNC) != 0 || from.sin_family != AF_INET) continue;
    Datagram in;
    std::memcpy(in.source.data(), &from.sin_addr, 4);
    if (from_a_device(all, in.source)) continue;
    in.source_port = ntohs(from.sin_port);
    in.local_port = socket.port;
    in.payload = std::string_view(buf, static_cast<std::size_t>(n));
    for (const Reply& r : answer(*e.device, in)) send_reply(e, socket, r);
  }
}

void serve_raw(const Endpoint& e) {
  for (int i = 0; i < 64; ++i) {
    char buf[4096];
    sockaddr_ll from{};
    socklen_t from_len = sizeof from;
    const ssize_t n =
        ::recvfrom(e.raw.get(), buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &from_len);
    if (n < 0) return;
    if (from.sll_pkttype == PACKET_OUTGOING) continue;
    const std::string reply =
        answer_frame(*e.device, std::string_view(buf, static_cast<std::size_t>(n)));
    if (reply.empty()) continue;
    sockaddr_ll to{};
    to.sll_family = AF_PACKET;
    to.sll_protocol = htons(kSadpEtherType);
    to.sll_ifindex = static_cast<int>(e.ifindex);
    to.sll_halen = 6;
    std::memcpy(to.sll_addr, reply.data(), 6);
    const ssize_t sent = ::sendto(e.raw.get(), reply.data(), reply.size(), 0,
                                  reinterpret_cast<sockaddr*>(&to), sizeof to);
    std::cerr << e.device->key << ": SADP reply frame to " << norvane::mac_text(to.sll_addr)
              << (sent == static_cast<ssize_t>(reply.size()) ? "" : " FAILED") << "\n";
  }
}

// The device's endpoint on its own interface, which must carry its address
// and MAC.
bool attach(const Device& d, const std::string& ifname, Endpoint& e) {
  e.device = &d;
  e.ifindex = ::if_nametoindex(ifname.c_str());
  if (e.ifindex == 0) {
    fail("no interface " + ifname + " for " + d.key);
    return false;
  }
  return check_interface(d, ifname);
}

int serve(const std::vector<Device>& devices) {
  std::vector<Endpoint> endpoints;
  endpoints.reserve(devices.size());
  for (const Device& d : devices) {
    const std::string ifname = interface_name(d);
    Endpoint e;
    if (!attach(d, ifname, e)) return 1;
    for (const std::uint16_t port : service_ports(d.kind)) {
      if (!open_udp(e, ifname, port)) return 1;
    }
    if (serves_port(d.kind, kSadpPort)) open_raw(e);
    if (d.kind == Kind::kArp || d.kind == Kind::kLldp) open_announcer(e);
    endpoints.push_back(std::move(e));
  }
  struct sigaction sa {};
  sa.sa_handler = on_signal;
  ::sigaction(SIGINT, &sa, nullptr);
  ::sigaction(SIGTERM, &sa, nullptr);
  std::cout << "norvane-sim: ready, " << endpoints.size() << " devices" << std::endl;

  std::vector<pollfd> fds;
  constexpr std::size_t kRaw = ~std::size_t{0};
  std::vector<std::pair<std::size_t, std::size_t>> owner;  // endpoint, UDP socket or kRaw
  for (std::size_t i = 0; i < endpoints.size(); ++i) {
    for (std::size_t u = 0; u < endpoints[i].udp.size(); ++u) {
      fds.push_back({endpoints[i].udp[u].fd.get(), POLLIN, 0});
      owner.emplace_back(i, u);
    }
    if (endpoints[i].raw.get() >= 0) {
      fds.push_back({endpoints[i].raw.get(), POLLIN, 0});
      owner.emplace_back(i, kRaw);
    }
  }
  // An ARP box says its address is its own every second, and a switch
  // announces its port as often, so that whoever starts listening soon
  // hears them.
  using Clock = std::chrono::steady_clock;
  auto next_announcement = Clock::now();
  while (g_stop == 0) {
    if (Clock::now() >= next_announcement) {
      for (const Endpoint& e : endpoints) {
        if (e.announcer.get() >= 0) announce(e);
      }
      next_announcement += std::chrono::seconds(1);
    }
    const int ready = ::poll(fds.data(), fds.size(), 250);
    if (ready < 0) {
      if (errno == EINTR) continue;
      fail("poll");
      return 1;
    }
    for (std::size_t i = 0; i < fds.size(); ++i) {
      if ((fds[i].revents & POLLIN) == 0) continue;
      const Endpoint& e = endpoints[owner[i].first];
      if (owner[i].second == kRaw) {
        serve_raw(e);
      } else {
        serve_udp(endpoints, e, e.udp[owner[i].second]);
      }
    }
  }
  std::cout << "norvane-sim: stopped" << std::endl;
  return 0;
}

int say_goodbye(const std::vector<Device>& devices) {
  for (const Device& d : devices) {
    const std::vector<Reply> messages = goodbye(d);
    if (messages.empty()) {
      std::cerr << "norvane-sim: " << d.key << " (" << kind_text(d.kind) << ") has no goodbye\n";
      return 1;
    }
    const std::string ifname = interface_name(d);
    Endpoint e;
    if (!attach(d, ifname, e) || !open_udp(e, ifname, service_port(d.kind), false)) return 1;
    for (const Reply& m : messages) {
      if (!send_reply(e, e.udp.front(), m)) return 1;
      std::cout << d.key << " " << m.what << " to " << ip_string(m.destination) << ":" << m.port
                << "\n";
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string devices_file = NORVANE_SIM_DEVICES;
  std::string subnet_text = "10.79.1";
  std::string only;
  std::size_t crowd = 0;
  std::string command = "--serve";
  for (int i = 1; i < argc; ++i) {
    const std::string_view a = argv[i];
    const bool has_value = i + 1 < argc;
    if (a == "--devices" && has_value) {
      devices_file = argv[++i];
    } else if (a == "--subnet" && has_value) {
      subnet_text = argv[++i];
    } else if (a == "--crowd" && has_value) {
      crowd = static_cast<std::size_t>(std::strtoul(argv[++i], nullptr, 10));
      if (crowd == 0 || crowd > kMaxCrowd) {
        std::cerr << "norvane-sim: a crowd has 1 to " << kMaxCrowd << " cameras\n";
        return 2;
      }
    } else if (a == "--only" && has_value) {
      only = argv[++i];
    } else if (a == "--list" || a == "--expect" || a == "--serve" || a == "--requests" ||
               a == "--goodbye") {
      command = a;
    } else if (a == "--help") {
      std::cout << kHelp;
      return 0;
    } else {
      std::cerr << kHelp;
      return 2;
    }
  }
  std::array<std::uint8_t, 3> subnet{};
  if (!parse_subnet(subnet_text, subnet)) {
    std::cerr << "norvane-sim: bad subnet " << subnet_text << "\n";
    return 2;
  }
  std::vector<Device> devices;
  if (crowd != 0) {
    devices = crowd_devices(crowd, subnet);
  } else {
    std::ifstream in(devices_file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    if (!in) {
      std::cerr << "norvane-sim: cannot read " << devices_file << "\n";
      return 2;
    }
    std::string error;
    devices = parse_devices(text.str(), subnet, error);
    if (devices.empty()) {
      std::cerr << "norvane-sim: " << devices_file << ": " << error << "\n";
      return 2;
    }
  }
  if (!only.empty()) {
    std::vector<Device> chosen;
    for (Device& d : devices) {
      if (("," + only + ",").find("," + d.key + ",") != std::string::npos) {
        chosen.push_back(std::move(d));
      }
    }
    devices = std::move(chosen);
    if (devices.empty()) {
      std::cerr << "norvane-sim: --only names no device\n";
      return 2;
    }
  }

  if (command == "--list") {
    for (const Device& d : devices) {
      std::cout << d.key << " " << kind_text(d.kind) << " " << interface_name(d) << " "
                << norvane::mac_text(d.mac.data()) << " " << ip_string(d.ip) << "\n";
    }
    return 0;
  }
  if (command == "--requests") {
    for (const Request& r : discovery_requests()) {
      std::cout << ip_string(r.destination) << " " << r.port << " " << (r.own_port ? 1 : 0) << " ";
      for (char c : r.payload) {
        static constexpr char kHex[] = "0123456789abcdef";
        const auto u = static_cast<unsigned char>(c);
        std::cout << kHex[u >> 4] << kHex[u & 15];
      }
      std::cout << "\n";
    }
    return 0;
  }
  if (command == "--expect") {
    std::cout << expectation_lines(devices);
    return 0;
  }
  if (command == "--goodbye") return say_goodbye(devices);
  return serve(devices);
}
