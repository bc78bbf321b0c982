#include "base/case_fold.h"

namespace norvane {

int compare_ordinal_ignore_case(std::u16string_view a, std::u16string_view b) noexcept {
  return compare_upper_case_units(a, b);
}

}  // namespace norvane
