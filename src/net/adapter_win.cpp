// The adapter enumeration of IP Helper, read into plain entries; the rules
// that choose and order adapters are portable (adapter.cpp).
#include <winsock2.h>

#include <ws2ipdef.h>

#include <iphlpapi.h>

#include <netioapi.h>

#include <cstring>

#include "net/adapter.h"

namespace norvane {

namespace {

constexpr ULONG kFlags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST |
                         GAA_FLAG_SKIP_DNS_SERVER | GAA_FLAG_INCLUDE_ALL_INTERFACES;
static_assert(kFlags == 0x10E);

std::u16string copy_wide(const wchar_t* text) {
  if (!text) return {};
  return std::u16string(reinterpret_cast<const char16_t*>(text), std::wcslen(text));
}

AdapterEntry read_entry(const IP_ADAPTER_ADDRESSES& a) {
  AdapterEntry e;
  e.has_name = a.AdapterName != nullptr && a.AdapterName[0] != '\0';
  if (a.AdapterName) e.adapter_name = a.AdapterName;
  e.friendly_name = copy_wide(a.FriendlyName);
  e.description = copy_wide(a.Description);
  e.if_type = a.IfType;
  e.if_index = a.IfIndex;
  e.oper_up = a.OperStatus == IfOperStatusUp;

  MIB_IF_ROW2 row;
  std::memset(&row, 0, sizeof(row));
  row.InterfaceLuid = a.Luid;
  if (GetIfEntry2(&row) == NO_ERROR) {
    e.row_read = true;
    e.filter_interface = row.InterfaceAndOperStatusFlags.FilterInterface != 0;
    e.hardware_interface = row.InterfaceAndOperStatusFlags.HardwareInterface != 0;
    e.access_type = static_cast<std::uint32_t>(row.AccessType);
    e.physical_length = row.PhysicalAddressLength;
    static_assert(sizeof(row.InterfaceGuid) == 16);
    std::memcpy(e.guid.data(), &row.InterfaceGuid, 16);
    const std::size_t n =
        std::min<std::size_t>(e.physical_address.size(), sizeof(row.PhysicalAddress));
    std::memcpy(e.physical_address.data(), row.PhysicalAddress, n);
  }

  for (const IP_ADAPTER_UNICAST_ADDRESS* u = a.FirstUnicastAddress; u; u = u->Next) {
    UnicastAddress addr;
    addr.present = u->Address.lpSockaddr != nullptr;
    addr.length = u->Address.iSockaddrLength;
    if (addr.present && addr.length >= 2) {
      addr.family = static_cast<std::uint16_t>(u->Address.lpSockaddr->sa_family);
      if (addr.family == AF_INET && addr.length >= static_cast<int>(sizeof(sockaddr_in))) {
        addr.address = reinterpret_cast<const sockaddr_in*>(u->Address.lpSockaddr)->sin_addr.s_addr;
      }
    }
    addr.dad_state = static_cast<std::uint32_t>(u->DadState);
    addr.prefix_length = u->OnLinkPrefixLength;
    e.unicast.push_back(addr);
  }
  return e;
}

}  // namespace

std::vector<NetworkAdapter> list_adapters() {
  const auto buffer = call_with_growing_buffer([](std::uint8_t* data, std::uint32_t& size) {
    ULONG length = size;
    const ULONG result = GetAdaptersAddresses(
        AF_UNSPEC, kFlags, nullptr, reinterpret_cast<IP_ADAPTER_ADDRESSES*>(data), &length);
    size = length;
    return static_cast<std::uint32_t>(result);
  });
  if (!buffer) return {};
  std::vector<AdapterEntry> entries;
  for (auto* a = reinterpret_cast<const IP_ADAPTER_ADDRESSES*>(buffer->data()); a; a = a->Next) {
    entries.push_back(read_entry(*a));
  }
  return adapters_from_entries(entries);
}

}  // namespace norvane
