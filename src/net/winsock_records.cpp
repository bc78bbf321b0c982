#include "net/winsock_records.h"

#include "net/byte_order.h"

namespace norvane {

namespace {

constexpr std::uint16_t kFamilyInet = 2;
// 64-bit Windows control message: SIZE_T length, INT level, INT type, data
// (IN_PKTINFO: the address, then the interface index).
constexpr std::size_t kControlHeader = 16;
constexpr std::uint32_t kLevelIp = 0;          // IPPROTO_IP
constexpr std::uint32_t kTypePacketInfo = 19;  // IP_PKTINFO
constexpr std::size_t kPacketInfoLength = 24;  // header + address + index

}  // namespace

std::optional<std::uint32_t> packet_info_interface(std::span<const std::uint8_t> control) {
  std::size_t offset = 0;
  while (control.size() >= kControlHeader && offset <= control.size() - kControlHeader) {
    const std::uint8_t* header = control.data() + offset;
    const std::uint64_t length = load_le64(header);
    if (load_le32(header + 8) == kLevelIp && load_le32(header + 12) == kTypePacketInfo &&
        length >= kPacketInfoLength) {
      // The index must lie inside what was written, whatever the length says.
      if (control.size() < kPacketInfoLength || offset > control.size() - kPacketInfoLength) {
        return std::nullopt;
      }
      return load_le32(header + 20);
    }
    // A length that does not move the walk forward would never end it.
    if (length == 0 || length > control.size()) break;
    offset += static_cast<std::size_t>((length + 7) & ~std::uint64_t{7});
  }
  return std::nullopt;
}

std::optional<DatagramSource> datagram_source(std::span<const std::uint8_t> name) {
  if (name.size() < 16) return std::nullopt;
  const auto family = static_cast<std::uint16_t>(name[0] | name[1] << 8);
  if (family != kFamilyInet) return std::nullopt;
  DatagramSource s;
  s.port = static_cast<std::uint16_t>(name[2] << 8 | name[3]);
  s.address = network_from_bytes(name.data() + 4);
  return s;
}

bool interface_by_index_else_address(const std::function<bool(std::uint32_t)>& request,
                                     std::uint32_t if_index, std::uint32_t address) {
  return request(network_from_host(if_index)) || request(address);
}

}  // namespace norvane
