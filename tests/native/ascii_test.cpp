#include "base/ascii.h"

#include <gtest/gtest.h>

#include <string>

namespace norvane {
namespace {

// Every byte against the rules written out: no locale, no sign trouble
// with bytes above 0x7F.
TEST(Ascii, EveryByte) {
  const std::string hex = "0123456789abcdef";
  const std::string upper_hex = "0123456789ABCDEF";
  for (int b = 0; b < 256; ++b) {
    const char c = static_cast<char>(b);
    int want_digit = -1;
    if (hex.find(c) != std::string::npos) want_digit = static_cast<int>(hex.find(c));
    if (upper_hex.find(c) != std::string::npos) want_digit = static_cast<int>(upper_hex.find(c));
    EXPECT_EQ(hex_digit(c), want_digit) << b;
    const char want_lower = b >= 'A' && b <= 'Z' ? static_cast<char>(b + 32) : c;
    EXPECT_EQ(ascii_lower(c), want_lower) << b;
    EXPECT_EQ(is_ascii_space(c), b == ' ' || b == '\t' || b == '\r' || b == '\n') << b;
  }
  static_assert(hex_digit('F') == 15 && hex_digit('g') == -1 && ascii_lower('Q') == 'q');
}

}  // namespace
}  // namespace norvane
