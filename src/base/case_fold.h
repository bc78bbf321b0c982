// Upper-casing of UTF-16 text as the system's ordinal comparison that
// ignores case does it: one code unit at a time, by the case pairs of the
// Unicode character database (a table generated from it at build time).
#pragma once

#include <string_view>

namespace norvane {

// The upper case of one code unit when the two are a case pair (the upper
// case lower-cases back to the unit); otherwise the unit itself, as for a
// final sigma, a dotless i or a surrogate.
char16_t upper_case_unit(char16_t unit) noexcept;

// Ordinal comparison of the upper-cased code units, the shorter text first
// when one is the start of the other: negative, zero or positive.
int compare_upper_case_units(std::u16string_view a, std::u16string_view b) noexcept;

// The same order as the system gives it: on Windows the system's ordinal
// ignore-case comparison (ASCII letters, which fold alike everywhere, are
// folded in place), compare_upper_case_units elsewhere.
int compare_ordinal_ignore_case(std::u16string_view a, std::u16string_view b) noexcept;

}  // namespace norvane
