// The discovery requests of one search, byte for byte, in send order.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace norvane {

struct Probe {
  std::string destination;  // dotted IPv4; empty: directed and limited broadcast
  std::uint16_t port = 0;
  std::string payload;
  bool own_port = false;  // send from a socket bound to `port` itself
};

inline constexpr std::string_view kSadpGroup = "239.255.255.250";
inline constexpr std::string_view kDhipGroup = "239.255.255.251";
inline constexpr std::uint16_t kSadpPort = 37020;
inline constexpr std::uint16_t kDhipPort = 37810;
inline constexpr std::uint16_t kUbiquitiPort = 10001;
inline constexpr std::uint16_t kMndpPort = 5678;
inline constexpr std::uint16_t kWsdPort = 3702;
inline constexpr std::uint16_t kSsdpPort = 1900;

// The namespaces of one generation of WS-Discovery.
struct WsdNamespaces {
  std::string_view addressing;
  std::string_view discovery;
  std::string_view target;
};
extern const WsdNamespaces kWsd2005;
extern const WsdNamespaces kWsd2009;

// A fresh UUID as 36 upper-case characters, or empty when none can be made.
// Platform layer (COM on Windows).
std::string uuid_text();

// Where build_probes takes its UUIDs from; tests give their own.
using UuidSource = std::function<std::string()>;

std::vector<Probe> build_probes(const UuidSource& uuid = uuid_text);

std::string dhip_search(int uni);
std::string wsd_probe(std::string_view addressing, std::string_view discovery,
                      std::string_view target, std::string_view uuid);
std::string_view ssdp_search();

}  // namespace norvane
