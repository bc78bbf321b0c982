#include "base/keyed_hash.h"

#include <chrono>
#include <cstring>
#include <random>

namespace norvane {

namespace {

// A bijective mixer of 64 bits: every input bit reaches every output bit.
std::uint64_t mix(std::uint64_t x) noexcept {
  x ^= x >> 32;
  x *= 0xD6E8FEB86659FD93u;
  x ^= x >> 32;
  x *= 0xD6E8FEB86659FD93u;
  x ^= x >> 32;
  return x;
}

}  // namespace

std::uint64_t fresh_hash_key() noexcept {
  std::uint64_t seed =
      static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  try {
    std::random_device device;
    seed ^= static_cast<std::uint64_t>(device()) << 32 ^ device();
  } catch (...) {
    // Without a random source the clock alone still differs per run.
  }
  const std::uint64_t key = mix(seed ^ 0x9E3779B97F4A7C15u);
  return key != 0 ? key : 0x9E3779B97F4A7C15u;
}

std::uint64_t process_hash_key() noexcept {
  static const std::uint64_t key = fresh_hash_key();
  return key;
}

std::uint64_t keyed_hash(std::span<const std::uint8_t> bytes, std::uint64_t key) noexcept {
  // Each 8-byte word goes through the keyed state and the mixer; the length
  // is folded into the last word so that texts ending in zero bytes differ.
  std::uint64_t h = key;
  std::size_t at = 0;
  for (; at + 8 <= bytes.size(); at += 8) {
    std::uint64_t word;
    std::memcpy(&word, bytes.data() + at, 8);
    h = mix(h ^ word) + key;
  }
  std::uint64_t tail = 0;
  if (at < bytes.size()) std::memcpy(&tail, bytes.data() + at, bytes.size() - at);
  return mix(h ^ tail ^ static_cast<std::uint64_t>(bytes.size()) << 56);
}

std::uint64_t keyed_hash(std::string_view text, std::uint64_t key) noexcept {
  return keyed_hash(std::span<const std::uint8_t>(
                        reinterpret_cast<const std::uint8_t*>(text.data()), text.size()),
                    key);
}

}  // namespace norvane
