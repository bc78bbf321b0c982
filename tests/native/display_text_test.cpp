#include "base/display_text.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace norvane {
namespace {

struct Utf8Case {
  const char* what;
  std::string_view bytes;
  bool valid;
};

// Boundaries of the well-formed UTF-8 table, one step inside and outside.
const Utf8Case kUtf8Cases[] = {
    {"empty", "", true},
    {"ascii", "abc", true},
    {"two-byte lowest", "\xC2\x80", true},
    {"two-byte highest", "\xDF\xBF", true},
    {"overlong two-byte C0", "\xC0\xAF", false},
    {"overlong two-byte C1", "\xC1\xBF", false},
    {"three-byte lowest", "\xE0\xA0\x80", true},
    {"overlong three-byte", "\xE0\x9F\xBF", false},
    {"last before surrogates", "\xED\x9F\xBF", true},
    {"high surrogate", "\xED\xA0\x80", false},
    {"low surrogate", "\xED\xBF\xBF", false},
    {"after surrogates", "\xEE\x80\x80", true},
    {"U+FFFF", "\xEF\xBF\xBF", true},
    {"four-byte lowest", "\xF0\x90\x80\x80", true},
    {"overlong four-byte", "\xF0\x8F\xBF\xBF", false},
    {"U+10FFFF", "\xF4\x8F\xBF\xBF", true},
    {"above U+10FFFF", "\xF4\x90\x80\x80", false},
    {"lead F5", "\xF5\x80\x80\x80", false},
    {"lead FF", "\xFF", false},
    {"stray continuation", "a\x80z", false},
    {"cut two-byte at end", "ab\xC3", false},
    {"cut three-byte at end", "\xE2\x82", false},
    {"cut four-byte at end", "\xF0\x9F\x98", false},
    {"lead then ascii",
     "\xC3"
     "A",
     false},
    {"continuation beyond range", "\xE2\x82\xC0", false},
    {"zero byte is valid", std::string_view("a\0b", 3), true},
};

TEST(Utf8Strict, AcceptsExactlyWellFormedSequences) {
  for (const Utf8Case& c : kUtf8Cases) {
    std::u16string out = u"junk";
    EXPECT_EQ(decode_utf8_strict(c.bytes, out), c.valid) << c.what;
    EXPECT_EQ(utf8_valid(c.bytes), c.valid) << c.what;
    if (!c.valid) {
      EXPECT_TRUE(out.empty()) << c.what;
    }
  }
}

TEST(Utf8Strict, DecodesToUtf16IncludingSurrogatePairs) {
  std::u16string out;
  ASSERT_TRUE(
      decode_utf8_strict("Kamera \xC5\x82\xC3\xB3\xC5\xBC\xE2\x82\xAC \xF0\x9F\x93\xB7", out));
  EXPECT_EQ(out, u"Kamera łóż€ \U0001F4F7");
  ASSERT_TRUE(decode_utf8_strict("\xF4\x8F\xBF\xBF", out));
  EXPECT_EQ(out, std::u16string({char16_t{0xDBFF}, char16_t{0xDFFF}}));
}

TEST(Windows1252, MapsTheHighControlRangeLikeTheSystemCodePage) {
  struct Case {
    unsigned char byte;
    char16_t expected;
  };
  const Case cases[] = {
      {0x80, 0x20AC}, {0x81, 0x0081}, {0x82, 0x201A}, {0x83, 0x0192}, {0x84, 0x201E},
      {0x85, 0x2026}, {0x86, 0x2020}, {0x87, 0x2021}, {0x88, 0x02C6}, {0x89, 0x2030},
      {0x8A, 0x0160}, {0x8B, 0x2039}, {0x8C, 0x0152}, {0x8D, 0x008D}, {0x8E, 0x017D},
      {0x8F, 0x008F}, {0x90, 0x0090}, {0x91, 0x2018}, {0x92, 0x2019}, {0x93, 0x201C},
      {0x94, 0x201D}, {0x95, 0x2022}, {0x96, 0x2013}, {0x97, 0x2014}, {0x98, 0x02DC},
      {0x99, 0x2122}, {0x9A, 0x0161}, {0x9B, 0x203A}, {0x9C, 0x0153}, {0x9D, 0x009D},
      {0x9E, 0x017E}, {0x9F, 0x0178}, {0x7F, 0x007F}, {0xA0, 0x00A0}, {0xE9, 0x00E9},
      {0xFF, 0x00FF}, {0x41, 0x0041},
  };
  for (const Case& c : cases) {
    const std::string in(1, static_cast<char>(c.byte));
    EXPECT_EQ(decode_windows1252(in), std::u16string(1, c.expected)) << int{c.byte};
  }
}

struct DisplayCase {
  const char* what;
  std::string_view bytes;
  std::u16string_view expected;
};

const DisplayCase kDisplayCases[] = {
    {"empty", "", u""},
    {"plain", "DS-2CD2143G0-I", u"DS-2CD2143G0-I"},
    {"utf-8 polish",
     "Wej\xC5\x9B"
     "cie",
     u"Wejście"},
    {"latin-1 byte falls back to 1252", "Caf\xE9", u"Café"},
    {"1252 euro and quotes", "\x80 \x93x\x94", u"€ “x”"},
    {"C0 controls become spaces", "a\tb\r\nc\x01", u"a b  c "},
    {"NUL becomes space", std::string_view("a\0b", 3), u"a b"},
    {"DEL becomes space",
     "a\x7F"
     "b",
     u"a b"},
    {"C1 from utf-8 becomes space",
     "a\xC2\x85"
     "b\xC2\x9F",
     u"a b "},
    {"undefined 1252 bytes become spaces", "x\x81\x8D\x8F\x90\x9Dy", u"x     y"},
    {"bidi embedding marks",
     "a\xE2\x80\xAA\xE2\x80\xAE"
     "b",
     u"a  b"},
    {"bidi isolates",
     "\xE2\x81\xA6"
     "x\xE2\x81\xA9",
     u" x "},
    {"marks next to the ranges stay", "\xE2\x80\xA9\xE2\x80\xAF\xE2\x81\xA5\xE2\x81\xAA",
     u"\u2029\u202F\u2065\u206A"},
    {"overlong NUL is 1252, not a hidden NUL", "\xC0\x80", u"À€"},
    {"surrogate encoding is 1252", "\xED\xA0\x80", u"í\u00A0€"},
};

TEST(DisplayText, ConvertsAndBlanksControls) {
  for (const DisplayCase& c : kDisplayCases) {
    EXPECT_EQ(to_display_text(c.bytes), c.expected) << c.what;
  }
}

TEST(DisplayText, CutsAt512BytesBeforeDecoding) {
  // 511 ASCII bytes and a two-byte sequence: the cut leaves its lead byte,
  // strict decoding fails and the whole cut value is read as 1252.
  std::string value(511, 'a');
  value += "\xC5\x82tail";
  std::u16string expected(511, u'a');
  expected += u'Å';
  EXPECT_EQ(to_display_text(value), expected);

  // The same sequence ending exactly at byte 512 stays UTF-8.
  std::string fits(510, 'a');
  fits += "\xC5\x82tail";
  std::u16string fits_expected(510, u'a');
  fits_expected += u'ł';
  EXPECT_EQ(to_display_text(fits), fits_expected);

  // A long clean text is cut to 512 characters.
  EXPECT_EQ(to_display_text(std::string(4000, 'z')).size(), 512u);
}

TEST(DisplayText, FourByteSequenceCutAtEveryOffset) {
  for (std::size_t lead = 508; lead <= 511; ++lead) {
    std::string value(lead, 'b');
    value += "\xF0\x9F\x93\xB7";
    const std::u16string text = to_display_text(value);
    if (lead + 4 <= 512) {
      EXPECT_EQ(text.substr(lead), u"\U0001F4F7") << lead;
    } else {
      // Cut: 1252 reading, one character per byte; 0x9F is U+0178, 0x93 U+201C.
      EXPECT_EQ(text.size(), 512u) << lead;
      EXPECT_EQ(text[lead], u'ð') << lead;
    }
  }
}

}  // namespace
}  // namespace norvane
