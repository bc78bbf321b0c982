#include "base/case_fold.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace norvane {

namespace {

#include "base/upper_case_table.inc"

}  // namespace

char16_t upper_case_unit(char16_t unit) noexcept {
  const std::uint8_t block = kUpperStage1[unit >> 8];
  return static_cast<char16_t>(unit + kUpperStage2[block][unit & 0xFF]);
}

int compare_upper_case_units(std::u16string_view a, std::u16string_view b) noexcept {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    if (a[i] == b[i]) continue;
    const char16_t ua = upper_case_unit(a[i]);
    const char16_t ub = upper_case_unit(b[i]);
    if (ua != ub) return ua < ub ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

}  // namespace norvane
