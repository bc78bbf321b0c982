// The one conversion of protocol bytes to shown text.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace norvane {

inline constexpr std::size_t kDisplayTextLimit = 512;

// First 512 bytes, strict UTF-8, else Windows-1252, else empty; control
// characters and bidirectional embedding/override/isolate marks become
// spaces.
std::u16string to_display_text(std::string_view bytes);
// The same into `out`, reusing its storage (for callers that convert many
// values only to compare them).
void to_display_text(std::string_view bytes, std::u16string& out);

// Strict UTF-8 to UTF-16: rejects overlong forms, surrogate code points,
// code points above U+10FFFF, stray continuation bytes and cut sequences.
// On failure `out` is left empty.
bool decode_utf8_strict(std::string_view bytes, std::u16string& out);

// True when the bytes are strictly valid UTF-8 (same rules as above).
bool utf8_valid(std::string_view bytes) noexcept;

// Windows-1252 to UTF-16, as the system's code page 1252 conversion does it:
// the five bytes the code page leaves undefined (0x81, 0x8D, 0x8F, 0x90,
// 0x9D) map to the C1 control of the same value.
std::u16string decode_windows1252(std::string_view bytes);

}  // namespace norvane
