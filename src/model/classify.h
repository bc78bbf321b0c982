// Decides a device row's vendor text, maker category and accent colour.
#pragma once

#include <cstdint>
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

// Updates column 2, category and accent; returns 4 (the column 2 bit) when
// any of them changed, else 0.
std::uint32_t classify(DeviceRow& row, std::string_view key, const VendorTable& vendors);

}  // namespace norvane
