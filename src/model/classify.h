// Decides a device row's vendor text, maker category and accent colour.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "model/device_table.h"

namespace norvane {

enum Category : std::int32_t {
  kCatHikvision = 0,
  kCatDahua = 1,
  kCatUbiquiti = 2,
  kCatMikroTik = 3,
  kCatEspressif = 4,
  kCatOther = 5,
};

// Accent of each category's filter tab; category 5 uses 1 for cameras and 0
// for everything else.
inline constexpr std::int32_t kCategoryAccent[] = {1, 2, 4, 3, 5};

// Updates column 2, category and accent; returns 4 (the column 2 bit) when
// any of them changed, else 0.
std::uint32_t classify(DeviceRow& row, std::string_view key, const VendorTable& vendors);

// Each UTF-16 unit lower-cased on its own: ASCII, Latin-1, Latin Extended-A,
// basic Greek and Cyrillic capitals; everything else is kept.
char16_t lower_char(char16_t c) noexcept;
std::u16string lower_text(std::u16string_view text);

}  // namespace norvane
