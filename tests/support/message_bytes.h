// Hand-made test messages: hex digits with a comment per field, fixed-width
// integers and zero-padded texts, as byte vectors or byte strings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace norvane::test {

using Bytes = std::vector<std::uint8_t>;

// Hex digits to bytes. Spaces, line breaks and the separators '|', ':' and
// '-' between digits are ignored; text between single quotes is copied as
// ASCII. Any other character, an odd number of digits or an unclosed quote
// is a typing mistake in the test and throws, rather than shifting every
// byte after it.
template <typename Out>
Out hex_as(std::string_view text) {
  Out out;
  int high = -1;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\'') {
      if (high >= 0)
        throw std::invalid_argument("quote inside a hex byte in: " + std::string(text));
      const std::size_t end = text.find('\'', i + 1);
      if (end == std::string_view::npos) {
        throw std::invalid_argument("unclosed quote in: " + std::string(text));
      }
      for (++i; i < end; ++i) out.push_back(static_cast<typename Out::value_type>(text[i]));
      continue;
    }
    int v = -1;
    if (c >= '0' && c <= '9') v = c - '0';
    if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
    if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
    if (v < 0) {
      if (c == ' ' || c == '\n' || c == '|' || c == ':' || c == '-') continue;
      throw std::invalid_argument("bad hex character in: " + std::string(text));
    }
    if (high < 0) {
      high = v;
    } else {
      out.push_back(static_cast<typename Out::value_type>(high << 4 | v));
      high = -1;
    }
  }
  if (high >= 0) throw std::invalid_argument("odd number of hex digits in: " + std::string(text));
  return out;
}

inline Bytes hex(std::string_view text) { return hex_as<Bytes>(text); }
inline std::string hex_string(std::string_view text) { return hex_as<std::string>(text); }

inline Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Fixed-width integers as byte strings; higher bits are dropped.
inline std::string be16(std::size_t v) {
  return {static_cast<char>((v >> 8) & 0xFF), static_cast<char>(v & 0xFF)};
}

inline std::string be32(std::uint32_t v) { return be16(v >> 16) + be16(v & 0xFFFF); }

inline std::string le32(std::uint32_t v) {
  std::string out;
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>(v >> (8 * i)));
  return out;
}

// A text cut or zero-padded to exactly `size` bytes, as fixed-size fields
// carry names.
inline std::string zero_padded(std::string_view text, std::size_t size) {
  std::string out(text.substr(0, size));
  out.resize(size, '\0');
  return out;
}

}  // namespace norvane::test
