#include <windows.h>

#include <climits>

#include "base/case_fold.h"

namespace norvane {

int compare_ordinal_ignore_case(std::u16string_view a, std::u16string_view b) noexcept {
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

}  // namespace norvane
