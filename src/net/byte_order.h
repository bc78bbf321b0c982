// IPv4 addresses travel as 32-bit values in network byte order, the way the
// socket layer stores them: their bytes in memory are the address's bytes.
#pragma once

#include <cstdint>
#include <cstring>

namespace norvane {

inline std::uint32_t network_from_bytes(const std::uint8_t* four) noexcept {
  std::uint32_t v;
  std::memcpy(&v, four, 4);
  return v;
}

inline std::uint32_t network_from_host(std::uint32_t host) noexcept {
  const std::uint8_t b[4] = {static_cast<std::uint8_t>(host >> 24),
                             static_cast<std::uint8_t>(host >> 16),
                             static_cast<std::uint8_t>(host >> 8), static_cast<std::uint8_t>(host)};
  return network_from_bytes(b);
}

inline std::uint32_t host_from_network(std::uint32_t network) noexcept {
  std::uint8_t b[4];
  std::memcpy(b, &network, 4);
  return static_cast<std::uint32_t>(b[0]) << 24 | static_cast<std::uint32_t>(b[1]) << 16 |
         static_cast<std::uint32_t>(b[2]) << 8 | b[3];
}

}  // namespace norvane
