// Drives the real adapter inventory and probe engine under Wine inside the
// namespaces that probe_engine_lab.py creates, and prints what it saw as
// JSON lines for the script to check against the far side's capture.
#include <winsock2.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/address.h"
#include "net/adapter.h"
#include "net/byte_order.h"
#include "net/probe_engine.h"
#include "net/socket_api.h"

namespace {

using namespace norvane;

std::string ip(std::uint32_t network) {
  return format_ipv4(reinterpret_cast<const std::uint8_t*>(&network));
}

std::string utf8(const std::u16string& s) {
  const auto* w = reinterpret_cast<const wchar_t*>(s.c_str());
  const int n = WideCharToMultiByte(CP_UTF8, 0, w, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return {};
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w, -1, out.data(), n, nullptr, nullptr);
  out.pop_back();
  return out;
}

void poll_for(ProbeEngine& engine, const ReplyHandler& handler, DWORD ms) {
  const ULONGLONG end = GetTickCount64() + ms;
  while (GetTickCount64() < end) {
    engine.poll(handler);
    Sleep(20);
  }
}

bool port_free(std::uint16_t port) {
  WSADATA data;
  WSAStartup(MAKEWORD(2, 2), &data);
  SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  BOOL on = TRUE;
  setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on), sizeof(on));
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  const bool ok = bind(s, reinterpret_cast<const sockaddr*>(&a), sizeof(a)) == 0;
  closesocket(s);
  WSACleanup();
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: probe_engine_lab ADAPTER_IPV4\n");
    return 2;
  }
  std::uint8_t wanted_bytes[4];
  if (!parse_ipv4(argv[1], wanted_bytes)) return 2;
  const std::uint32_t wanted = network_from_bytes(wanted_bytes);

  const auto adapters = list_adapters();
  const NetworkAdapter* chosen = nullptr;
  for (const auto& a : adapters) {
    std::printf(
        "{\"adapter\":\"%s\",\"label\":\"%s\",\"ipv4\":\"%s\",\"broadcast\":\"%s\","
        "\"index\":%u,\"connected\":%s,\"hardware\":%s,\"mac\":\"%s\"}\n",
        a.adapter_name.c_str(), utf8(adapter_label(a)).c_str(), ip(a.ipv4).c_str(),
        ip(a.broadcast).c_str(), a.if_index, a.connected ? "true" : "false",
        a.hardware ? "true" : "false", mac_text(a.mac.data()).c_str());
    if (a.ipv4 == wanted) chosen = &a;
  }
  if (!chosen) {
    std::printf("{\"error\":\"adapter not found\"}\n");
    return 1;
  }

  ProbeEngine engine(system_sockets(), RawSenderOpener{});
  const bool opened = engine.open(chosen->adapter_name, chosen->if_index, chosen->ipv4,
                                  chosen->broadcast, chosen->mac, true);
  std::printf("{\"opened\":%s}\n", opened ? "true" : "false");
  if (!opened) return 1;

  const ReplyHandler handler = [](const DiscoveryReply& r) {
    std::string payload(reinterpret_cast<const char*>(r.data),
                        static_cast<std::size_t>(r.size > 40 ? 40 : r.size));
    for (char& c : payload) {
      if (c < 0x20 || c == '"' || c == '\\' || static_cast<unsigned char>(c) > 0x7E) c = '.';
    }
    std::printf("{\"reply\":\"%s\",\"source_port\":%u,\"local_port\":%u,\"payload\":\"%s\"}\n",
                ip(r.address).c_str(), r.source_port, r.local_port, payload.c_str());
  };

  std::printf("{\"search\":1,\"count\":%u}\n", engine.search());
  std::printf("{\"main_port\":%u}\n", engine.main_port());
  poll_for(engine, handler, 1000);
  std::printf("{\"search\":2,\"count\":%u,\"port_sockets\":%zu}\n", engine.search(),
              engine.port_socket_count());
  poll_for(engine, handler, 2700);
  std::printf("{\"after\":true,\"port_sockets\":%zu,\"port_37810_free\":%s}\n",
              engine.port_socket_count(), port_free(37810) ? "true" : "false");
  engine.close();
  std::fflush(stdout);
  return 0;
}
