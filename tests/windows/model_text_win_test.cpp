// The portable text conversions against the system's own: code page 1252
// and the lower-casing the keyword tests rely on.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "base/display_text.h"
#include "model/classify.h"

namespace norvane {
namespace {

TEST(Windows1252Win, EveryByteMatchesMultiByteToWideChar) {
  for (int b = 0; b < 256; ++b) {
    const char in = static_cast<char>(b);
    wchar_t out[4] = {};
    ASSERT_EQ(MultiByteToWideChar(1252, 0, &in, 1, out, 4), 1) << b;
    EXPECT_EQ(decode_windows1252(std::string(1, in)), std::u16string(1, char16_t(out[0]))) << b;
  }
}

TEST(Utf8StrictWin, AgreesWithTheSystemOnRejection) {
  // MB_ERR_INVALID_CHARS rejects the same ill-formed sequences.
  const char* const samples[] = {
      "abc",      "\xC3\xA4", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xF0\x9F\x93\xB7",
      "\xE2\x82", "\x80"};
  for (const char* s : samples) {
    const int n = static_cast<int>(std::char_traits<char>::length(s));
    wchar_t out[16];
    const bool system_ok = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, s, n, out, 16) > 0;
    EXPECT_EQ(utf8_valid(s), system_ok) << s;
  }
}

TEST(LowerCharWin, MatchesCharLowerWOnTheCoveredRanges) {
  const std::pair<char16_t, char16_t> ranges[] = {
      {0x20, 0x7E}, {0xC0, 0xFF}, {0x100, 0x17F}, {0x391, 0x3A9}, {0x400, 0x42F}};
  for (const auto& [first, last] : ranges) {
    for (char16_t c = first; c <= last; ++c) {
      if (c == 0x130) continue;  // dotted capital I: locale-dependent in the system
      wchar_t buf[2] = {static_cast<wchar_t>(c), 0};
      CharLowerW(buf);
      EXPECT_EQ(int{lower_char(c)}, int{static_cast<char16_t>(buf[0])}) << std::hex << int{c};
    }
  }
}

}  // namespace
}  // namespace norvane
