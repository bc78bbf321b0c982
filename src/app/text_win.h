// UTF-16 texts of the portable code as the wide strings of the Windows API
// (both are 16-bit code units on Windows).
#pragma once

#include <string>
#include <string_view>

namespace norvane {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "wide strings are UTF-16 on Windows");

inline const wchar_t* wide(const std::u16string& text) noexcept {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

inline std::wstring_view wide(std::u16string_view text) noexcept {
  return {reinterpret_cast<const wchar_t*>(text.data()), text.size()};
}

inline std::u16string utf16(std::wstring_view text) {
  return {reinterpret_cast<const char16_t*>(text.data()), text.size()};
}

}  // namespace norvane
