#include "base/display_text.h"

#include <array>
#include <cstdint>

namespace norvane {
namespace {

// Decodes one code point starting at bytes[pos]; advances pos. The ranges
// for the second byte follow the well-formed table of Unicode (ch. 3): they
// exclude overlong forms (C0, C1, E0 80..9F, F0 80..8F), the surrogates
// (ED A0..BF) and everything above U+10FFFF (F4 90.., F5..FF).
bool next_code_point(std::string_view bytes, std::size_t& pos, char32_t& cp) noexcept {
  const std::size_t size = bytes.size();
  const auto at = [&](std::size_t i) { return static_cast<std::uint8_t>(bytes[i]); };
  const std::uint8_t b0 = at(pos);
  if (b0 < 0x80) {
    cp = b0;
    pos += 1;
    return true;
  }
  std::size_t length = 0;
  std::uint8_t lo = 0x80;
  std::uint8_t hi = 0xBF;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    length = 2;
    cp = b0 & 0x1Fu;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    length = 3;
    cp = b0 & 0x0Fu;
    if (b0 == 0xE0) lo = 0xA0;
    if (b0 == 0xED) hi = 0x9F;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    length = 4;
    cp = b0 & 0x07u;
    if (b0 == 0xF0) lo = 0x90;
    if (b0 == 0xF4) hi = 0x8F;
  } else {
    return false;
  }
  if (length > size - pos) return false;
  for (std::size_t i = 1; i < length; ++i) {
    const std::uint8_t b = at(pos + i);
    const std::uint8_t min = (i == 1) ? lo : std::uint8_t{0x80};
    const std::uint8_t max = (i == 1) ? hi : std::uint8_t{0xBF};
    if (b < min || b > max) return false;
    cp = (cp << 6) | (b & 0x3Fu);
  }
  pos += length;
  return true;
}

void append_utf16(std::u16string& out, char32_t cp) {
  if (cp < 0x10000) {
    out.push_back(static_cast<char16_t>(cp));
  } else {
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  }
}

// Code page 1252, bytes 0x80..0x9F. The undefined bytes keep their own value
// (U+0081, U+008D, U+008F, U+0090, U+009D), which is what the system's
// conversion returns for them.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80..87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88..8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90..97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98..9F
};

bool blanked(char16_t c) noexcept {
  return c <= 0x1F || (c >= 0x7F && c <= 0x9F) || (c >= 0x202A && c <= 0x202E) ||
         (c >= 0x2066 && c <= 0x2069);
}

}  // namespace

bool decode_utf8_strict(std::string_view bytes, std::u16string& out) {
  out.clear();
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    char32_t cp = 0;
    if (!next_code_point(bytes, pos, cp)) {
      out.clear();
      return false;
    }
    append_utf16(out, cp);
  }
  return true;
}

bool utf8_valid(std::string_view bytes) noexcept {
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    // Vendor files are mostly ASCII: skip it without the full decode.
    if (static_cast<unsigned char>(bytes[pos]) < 0x80) {
      ++pos;
      continue;
    }
    char32_t cp = 0;
    if (!next_code_point(bytes, pos, cp)) return false;
  }
  return true;
}

namespace {

void append_windows1252(std::string_view bytes, std::u16string& out) {
  for (char ch : bytes) {
    const auto b = static_cast<std::uint8_t>(ch);
    out.push_back((b >= 0x80 && b <= 0x9F) ? kCp1252High[b - 0x80] : static_cast<char16_t>(b));
  }
}

}  // namespace

std::u16string decode_windows1252(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  append_windows1252(bytes, out);
  return out;
}

void to_display_text(std::string_view bytes, std::u16string& out) {
  // The cut comes first, even inside a UTF-8 sequence: such a cut value then
  // fails the strict decode and is shown as Windows-1252 as a whole.
  if (bytes.size() > kDisplayTextLimit) bytes = bytes.substr(0, kDisplayTextLimit);
  if (!decode_utf8_strict(bytes, out)) append_windows1252(bytes, out);
  for (char16_t& c : out) {
    if (blanked(c)) c = u' ';
  }
}

std::u16string to_display_text(std::string_view bytes) {
  std::u16string text;
  to_display_text(bytes, text);
  return text;
}

}  // namespace norvane
