// The adapter inventory on Linux: links from getifaddrs, IPv4 addresses with
// their flags from a netlink dump, and what only sysfs says (operational
// state, wireless, backed by a device). The rules that choose and order
// adapters are the portable ones (adapter.cpp, linux_interfaces.cpp).
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <map>
#include <string>

#include "base/fd_posix.h"
#include "net/adapter.h"
#include "net/linux_interfaces.h"

namespace norvane {

namespace {

std::string sysfs(const std::string& name, const char* file) {
  std::ifstream in("/sys/class/net/" + name + "/" + file);
  std::string line;
  std::getline(in, line);
  return line;
}

bool sysfs_exists(const std::string& name, const char* file) {
  struct stat st {};
  return ::stat(("/sys/class/net/" + name + "/" + file).c_str(), &st) == 0;
}

// Every IPv4 address by interface index, in the kernel's order.
std::map<std::uint32_t, std::vector<LinuxIpv4>> ipv4_addresses() {
  std::map<std::uint32_t, std::vector<LinuxIpv4>> out;
  const Fd fd(socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE));
  if (fd.get() < 0) return out;
  struct {
    nlmsghdr header;
    ifaddrmsg body;
  } request{};
  request.header.nlmsg_len = sizeof(request);
  request.header.nlmsg_type = RTM_GETADDR;
  request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
  request.header.nlmsg_seq = 1;
  request.body.ifa_family = AF_INET;
  sockaddr_nl kernel{};
  kernel.nl_family = AF_NETLINK;
  if (sendto(fd.get(), &request, sizeof(request), 0, reinterpret_cast<sockaddr*>(&kernel),
             sizeof(kernel)) < 0) {
    return out;
  }
  // The kernel's records are read with copies, never overlaid, and every
  // length is checked against what arrived before it is followed.
  std::uint8_t buffer[16384];
  for (;;) {
    const ssize_t got = recv(fd.get(), buffer, sizeof(buffer), 0);
    if (got <= 0) return out;
    const auto size = static_cast<std::size_t>(got);
    std::size_t offset = 0;
    while (size - offset >= sizeof(nlmsghdr)) {
      nlmsghdr header;
      std::memcpy(&header, buffer + offset, sizeof(header));
      if (header.nlmsg_len < sizeof(header) || header.nlmsg_len > size - offset) break;
      if (header.nlmsg_type == NLMSG_DONE || header.nlmsg_type == NLMSG_ERROR) return out;
      const std::size_t end = offset + header.nlmsg_len;
      const std::size_t body_at = offset + NLMSG_HDRLEN;
      if (header.nlmsg_type == RTM_NEWADDR && end - body_at >= sizeof(ifaddrmsg)) {
        ifaddrmsg body;
        std::memcpy(&body, buffer + body_at, sizeof(body));
        LinuxIpv4 a;
        a.prefix_length = body.ifa_prefixlen;
        std::uint32_t flags = body.ifa_flags;
        bool have_address = false;
        std::size_t at = body_at + NLMSG_ALIGN(sizeof(ifaddrmsg));
        while (at < end && end - at >= sizeof(rtattr)) {
          rtattr attribute;
          std::memcpy(&attribute, buffer + at, sizeof(attribute));
          if (attribute.rta_len < sizeof(attribute) || attribute.rta_len > end - at) break;
          const std::size_t data_length = attribute.rta_len - RTA_LENGTH(0);
          const std::uint8_t* data = buffer + at + RTA_LENGTH(0);
          if (attribute.rta_type == IFA_LOCAL && data_length >= 4) {
            std::memcpy(&a.address, data, 4);
            have_address = true;
          } else if (attribute.rta_type == IFA_FLAGS && data_length >= 4) {
            std::memcpy(&flags, data, 4);
          }
          at += RTA_ALIGN(attribute.rta_len);
        }
        if (body.ifa_family == AF_INET && have_address) {
          a.deprecated = (flags & IFA_F_DEPRECATED) != 0;
          a.tentative = (flags & (IFA_F_TENTATIVE | IFA_F_DADFAILED)) != 0;
          out[body.ifa_index].push_back(a);
        }
      }
      offset += std::min<std::size_t>(NLMSG_ALIGN(header.nlmsg_len), size - offset);
    }
  }
}

std::vector<LinuxInterface> read_interfaces() {
  std::vector<LinuxInterface> links;
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return links;
  for (const ifaddrs* i = list; i; i = i->ifa_next) {
    if (!i->ifa_name || !i->ifa_addr || i->ifa_addr->sa_family != AF_PACKET) continue;
    const auto* ll = reinterpret_cast<const sockaddr_ll*>(i->ifa_addr);
    LinuxInterface link;
    link.name = i->ifa_name;
    link.index = static_cast<std::uint32_t>(ll->sll_ifindex);
    link.flags = i->ifa_flags;
    link.link_type = ll->sll_hatype;
    link.address_length = ll->sll_halen;
    std::copy_n(ll->sll_addr, std::min<std::size_t>(ll->sll_halen, sizeof(ll->sll_addr)),
                link.address.begin());
    links.push_back(std::move(link));
  }
  freeifaddrs(list);
  auto addresses = ipv4_addresses();
  for (LinuxInterface& link : links) {
    link.readable = sysfs_exists(link.name, "type");
    link.operstate = sysfs(link.name, "operstate");
    link.wireless = sysfs_exists(link.name, "wireless") || sysfs_exists(link.name, "phy80211");
    link.device = sysfs_exists(link.name, "device");
    if (auto found = addresses.find(link.index); found != addresses.end()) {
      link.ipv4 = std::move(found->second);
    }
  }
  // getifaddrs lists links in index order; keep it, as the enumeration
  // order the inventory's sort falls back on.
  std::stable_sort(
      links.begin(), links.end(),
      [](const LinuxInterface& a, const LinuxInterface& b) { return a.index < b.index; });
  return links;
}

}  // namespace

std::vector<NetworkAdapter> list_adapters() {
  std::vector<AdapterEntry> entries;
  for (const LinuxInterface& link : read_interfaces()) entries.push_back(entry_from_linux(link));
  return adapters_from_entries(entries);
}

}  // namespace norvane
