#include <windows.h>

#include <algorithm>
#include <climits>
#include <cstddef>

#include "base/case_fold.h"

namespace norvane {

namespace {

int system_compare(std::u16string_view a, std::u16string_view b) noexcept {
  if (a.size() <= INT_MAX && b.size() <= INT_MAX) {
    switch (CompareStringOrdinal(
        reinterpret_cast<const wchar_t*>(a.data()), static_cast<int>(a.size()),
        reinterpret_cast<const wchar_t*>(b.data()), static_cast<int>(b.size()), TRUE)) {
      case CSTR_LESS_THAN:
        return -1;
      case CSTR_EQUAL:
        return 0;
      case CSTR_GREATER_THAN:
        return 1;
      default:
        break;  // refused: the same order from the table
    }
  }
  return compare_upper_case_units(a, b);
}

char16_t ascii_upper(char16_t c) noexcept {
  return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - (u'a' - u'A')) : c;
}

}  // namespace

int compare_ordinal_ignore_case(std::u16string_view a, std::u16string_view b) noexcept {
  // ASCII letters fold alike in every upper-case table, and most names are
  // ASCII: the system, whose call costs more than such a whole comparison
  // (several times more under Wine), decides from the first differing unit
  // that is not ASCII. The texts before it are equal either way.
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    if (a[i] == b[i]) continue;
    if (a[i] >= 0x80 || b[i] >= 0x80) return system_compare(a.substr(i), b.substr(i));
    const char16_t ua = ascii_upper(a[i]);
    const char16_t ub = ascii_upper(b[i]);
    if (ua != ub) return ua < ub ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

}  // namespace norvane
