#include "base/address.h"

#include <array>

#include "base/ascii.h"

namespace norvane {

namespace {

constexpr char kUpperHex[] = "0123456789ABCDEF";
constexpr char kLowerHex[] = "0123456789abcdef";

void append_decimal(std::string& out, unsigned value) {
  char digits[3];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0 && n < 3);
  while (n > 0) out.push_back(digits[--n]);
}

}  // namespace

bool is_unicast_mac(const std::uint8_t* six) noexcept {
  if (six == nullptr || (six[0] & 0x01) != 0) return false;
  for (int i = 0; i < 6; ++i) {
    if (six[i] != 0) return true;
  }
  return false;
}

std::string mac_text(const std::uint8_t* six) {
  std::string out(17, ':');
  for (int i = 0; i < 6; ++i) {
    out[static_cast<std::size_t>(i) * 3] = kUpperHex[six[i] >> 4];
    out[static_cast<std::size_t>(i) * 3 + 1] = kUpperHex[six[i] & 0x0F];
  }
  return out;
}

std::string ip_text(const std::uint8_t* bytes, std::size_t length) {
  if (bytes == nullptr) return {};
  if (length == 4) {
    // Unspecified (0/8), loopback (127/8), multicast and reserved (224/3).
    if (bytes[0] == 0 || bytes[0] == 127 || bytes[0] >= 224) return {};
    return format_ipv4(bytes);
  }
  if (length == 16) {
    if (bytes[0] == 0xFF) return {};  // multicast
    bool leading_zero = true;
    for (int i = 0; i < 15; ++i) {
      if (bytes[i] != 0) {
        leading_zero = false;
        break;
      }
    }
    if (leading_zero && bytes[15] <= 1) return {};  // :: and ::1
    return format_ipv6(bytes);
  }
  return {};
}

// Same acceptance as glibc's inet_pton(AF_INET): exactly four decimal
// octets of at most 255, no empty octet, no leading zero ("01" is refused
// because other stacks would read it as octal), nothing else in the text.
bool parse_ipv4(std::string_view text, std::uint8_t out[4]) noexcept {
  std::uint8_t tmp[4] = {0, 0, 0, 0};
  int octets = 0;
  bool saw_digit = false;
  unsigned value = 0;
  for (const char ch : text) {
    if (ch >= '0' && ch <= '9') {
      if (saw_digit && value == 0) return false;
      value = value * 10 + static_cast<unsigned>(ch - '0');
      if (value > 255) return false;
      if (!saw_digit) {
        if (++octets > 4) return false;
        saw_digit = true;
      }
      tmp[octets - 1] = static_cast<std::uint8_t>(value);
    } else if (ch == '.' && saw_digit) {
      if (octets == 4) return false;
      saw_digit = false;
      value = 0;
    } else {
      return false;
    }
  }
  if (octets < 4 || !saw_digit) return false;
  for (int i = 0; i < 4; ++i) out[i] = tmp[i];
  return true;
}

// Same acceptance as glibc's inet_pton(AF_INET6): up to eight groups of one
// to four hex digits, at most one "::", an optional dotted IPv4 tail in the
// last 32 bits, and "::" must stand for at least one zero group.
bool parse_ipv6(std::string_view text, std::uint8_t out[16]) noexcept {
  std::uint8_t tmp[16] = {};
  std::size_t tp = 0;
  constexpr std::size_t kEnd = 16;
  std::size_t colon_at = kEnd + 1;  // none
  std::size_t pos = 0;
  const std::size_t n = text.size();
  if (n == 0) return false;
  if (text[0] == ':') {
    if (n < 2 || text[1] != ':') return false;
    pos = 1;
  }
  std::size_t token_start = pos;
  std::size_t digits = 0;
  unsigned value = 0;
  while (pos < n) {
    const char ch = text[pos++];
    const int digit = hex_digit(ch);
    if (digit >= 0) {
      if (digits == 4) return false;
      value = (value << 4) | static_cast<unsigned>(digit);
      ++digits;
      continue;
    }
    if (ch == ':') {
      token_start = pos;
      if (digits == 0) {
        if (colon_at != kEnd + 1) return false;
        colon_at = tp;
        continue;
      }
      if (pos == n) return false;  // a single trailing ':'
      if (tp + 2 > kEnd) return false;
      tmp[tp++] = static_cast<std::uint8_t>(value >> 8);
      tmp[tp++] = static_cast<std::uint8_t>(value & 0xFF);
      digits = 0;
      value = 0;
      continue;
    }
    if (ch == '.' && tp + 4 <= kEnd && parse_ipv4(text.substr(token_start), tmp + tp)) {
      tp += 4;
      digits = 0;
      pos = n;
      break;
    }
    return false;
  }
  if (digits > 0) {
    if (tp + 2 > kEnd) return false;
    tmp[tp++] = static_cast<std::uint8_t>(value >> 8);
    tmp[tp++] = static_cast<std::uint8_t>(value & 0xFF);
  }
  if (colon_at != kEnd + 1) {
    if (tp == kEnd) return false;  // "::" would stand for no group at all
    const std::size_t moved = tp - colon_at;
    for (std::size_t i = 0; i < moved; ++i) {
      tmp[kEnd - 1 - i] = tmp[tp - 1 - i];
    }
    for (std::size_t i = colon_at; i < kEnd - moved; ++i) tmp[i] = 0;
    tp = kEnd;
  }
  if (tp != kEnd) return false;
  for (std::size_t i = 0; i < kEnd; ++i) out[i] = tmp[i];
  return true;
}

std::string format_ipv4(const std::uint8_t* four) {
  std::string out;
  out.reserve(15);
  for (int i = 0; i < 4; ++i) {
    if (i != 0) out.push_back('.');
    append_decimal(out, four[i]);
  }
  return out;
}

std::string format_ipv6(const std::uint8_t* sixteen) {
  std::array<unsigned, 8> group{};
  for (std::size_t i = 0; i < 8; ++i) {
    group[i] = (static_cast<unsigned>(sixteen[2 * i]) << 8) | sixteen[2 * i + 1];
  }

  // IPv4-mapped addresses keep their dotted tail (RFC 5952 section 5).
  if (group[0] == 0 && group[1] == 0 && group[2] == 0 && group[3] == 0 && group[4] == 0 &&
      group[5] == 0xFFFF) {
    std::string out = "::ffff:";
    out += format_ipv4(sixteen + 12);
    return out;
  }

  // The longest run of two or more zero groups; the first one wins a tie.
  int best_start = -1;
  int best_length = 1;
  for (int i = 0; i < 8;) {
    if (group[static_cast<std::size_t>(i)] != 0) {
      ++i;
      continue;
    }
    int j = i;
    while (j < 8 && group[static_cast<std::size_t>(j)] == 0) ++j;
    if (j - i > best_length) {
      best_start = i;
      best_length = j - i;
    }
    i = j;
  }

  std::string out;
  out.reserve(39);
  for (int i = 0; i < 8; ++i) {
    if (i == best_start) {
      out += "::";
      i += best_length - 1;
      continue;
    }
    if (!out.empty() && out.back() != ':') out.push_back(':');
    const unsigned g = group[static_cast<std::size_t>(i)];
    bool started = false;
    for (int shift = 12; shift >= 0; shift -= 4) {
      const unsigned nibble = (g >> shift) & 0x0F;
      if (nibble != 0 || started || shift == 0) {
        out.push_back(kLowerHex[nibble]);
        started = true;
      }
    }
  }
  return out;
}

}  // namespace norvane
