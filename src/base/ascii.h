// Byte-wise ASCII rules for protocol and file texts, which are bytes (UTF-8
// in practice) and must not depend on the C locale.
#pragma once

#include <cstddef>
#include <string_view>

namespace norvane {

// The value of a hexadecimal digit of either case, or -1.
constexpr int hex_digit(char c) noexcept {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A-Z to a-z; every other byte as it is.
constexpr char ascii_lower(char c) noexcept {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Equal but for the case of ASCII letters.
constexpr bool ascii_iequals(std::string_view a, std::string_view b) noexcept {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
  }
  return true;
}

// Space, tab, carriage return or line feed.
constexpr bool is_ascii_space(char c) noexcept {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

}  // namespace norvane
