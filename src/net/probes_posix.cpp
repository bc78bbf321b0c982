// UUIDs for the portable build (tests and tools): random version-4 UUIDs in
// the same upper-case form COM gives.
#include <random>

#include "net/probes.h"

namespace norvane {

std::string uuid_text() {
  static thread_local std::mt19937_64 engine{std::random_device{}()};
  std::uint8_t bytes[16];
  for (int i = 0; i < 16; i += 8) {
    const std::uint64_t r = engine();
    for (int j = 0; j < 8; ++j) bytes[i + j] = static_cast<std::uint8_t>(r >> (8 * j));
  }
  bytes[6] = static_cast<std::uint8_t>((bytes[6] & 0x0F) | 0x40);
  bytes[8] = static_cast<std::uint8_t>((bytes[8] & 0x3F) | 0x80);
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (int i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) out.push_back('-');
    out.push_back(kHex[bytes[i] >> 4]);
    out.push_back(kHex[bytes[i] & 15]);
  }
  return out;
}

}  // namespace norvane
