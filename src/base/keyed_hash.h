// Hashes for tables whose keys come from the wire (MAC and IP texts,
// addresses): keyed with a secret drawn once per process, so that no one
// can choose keys that all land in one bucket and turn every lookup into a
// walk along them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace norvane {

// The process's key: random, drawn at first use, never zero.
std::uint64_t process_hash_key() noexcept;

// A fresh random key (the process key is one of these).
std::uint64_t fresh_hash_key() noexcept;

// The bytes' hash under `key`.
std::uint64_t keyed_hash(std::span<const std::uint8_t> bytes, std::uint64_t key) noexcept;
std::uint64_t keyed_hash(std::string_view text, std::uint64_t key) noexcept;

// For unordered containers of texts: the process key, and lookups by view
// without building a string.
struct KeyedTextHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view text) const noexcept {
    return static_cast<std::size_t>(keyed_hash(text, process_hash_key()));
  }
};

}  // namespace norvane
