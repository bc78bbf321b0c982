// IPv4 addresses travel as 32-bit values in network byte order, the way the
// socket layer stores them: their bytes in memory are the address's bytes.
// Fields of wire and platform records are read and written byte by byte in
// their stated order, whatever the machine's own order.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

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

// The caller has checked that the bytes are there.
inline std::uint32_t load_le32(const std::uint8_t* p) noexcept {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

inline std::uint64_t load_le64(const std::uint8_t* p) noexcept {
  return static_cast<std::uint64_t>(load_le32(p)) | static_cast<std::uint64_t>(load_le32(p + 4))
                                                        << 32;
}

inline void store_le32(std::uint8_t* at, std::uint32_t value) noexcept {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

inline void store_be32(std::uint8_t* at, std::uint32_t value) noexcept {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
}

inline void append_le32(std::string& out, std::uint32_t value) {
  std::uint8_t b[4];
  store_le32(b, value);
  out.append(reinterpret_cast<const char*>(b), 4);
}

}  // namespace norvane
