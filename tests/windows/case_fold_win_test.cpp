// The upper-case table generated from the Unicode data against the system's
// ordinal ignore-case comparison (CompareStringOrdinal), over every UTF-16
// code unit.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <numeric>
#include <string>
#include <vector>

#include "base/case_fold.h"

namespace norvane {
namespace {

int system_sign(const std::u16string& a, const std::u16string& b) {
  const int r = CompareStringOrdinal(
      reinterpret_cast<const wchar_t*>(a.data()), static_cast<int>(a.size()),
      reinterpret_cast<const wchar_t*>(b.data()), static_cast<int>(b.size()), TRUE);
  return r == CSTR_LESS_THAN ? -1 : (r == CSTR_EQUAL ? 0 : (r == CSTR_GREATER_THAN ? 1 : 99));
}

int table_sign(const std::u16string& a, const std::u16string& b) {
  const int r = compare_upper_case_units(a, b);
  return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

// What the list sorts with: ASCII folded in place, the system asked from
// the first differing unit that is not ASCII.
int sorting_sign(const std::u16string& a, const std::u16string& b) {
  const int r = compare_ordinal_ignore_case(a, b);
  return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

std::string hex(char16_t c) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "%04X", static_cast<unsigned>(c));
  return buffer;
}

// Every code unit sorted by the table; the system then has to find each
// neighbour equal where the table does and smaller where the table does.
// Both orders being total preorders, agreement on all neighbours means they
// put every pair of units, and so every pair of texts, in the same order.
TEST(CaseFoldSystem, EveryCodeUnitSortsAsTheSystemSortsIt) {
  std::vector<char16_t> units(0x10000);
  std::iota(units.begin(), units.end(), char16_t{0});
  std::stable_sort(units.begin(), units.end(),
                   [](char16_t a, char16_t b) { return upper_case_unit(a) < upper_case_unit(b); });
  std::vector<std::string> differences;
  for (std::size_t i = 1; i < units.size(); ++i) {
    const std::u16string a(1, units[i - 1]);
    const std::u16string b(1, units[i]);
    const int want = table_sign(a, b);
    const int got = system_sign(a, b);
    if (want != got || sorting_sign(a, b) != got) {
      differences.push_back(hex(a[0]) + " vs " + hex(b[0]) + ": table " + std::to_string(want) +
                            ", sorting " + std::to_string(sorting_sign(a, b)) + ", system " +
                            std::to_string(got));
    }
  }
  std::string shown;
  for (std::size_t i = 0; i < differences.size() && i < 40; ++i) shown += differences[i] + "\n";
  EXPECT_TRUE(differences.empty()) << differences.size() << " differences:\n" << shown;
}

// Texts of several units in the scripts device names come in: the order of
// every pair, both ways.
TEST(CaseFoldSystem, TextsInManyScriptsPairwise) {
  const std::vector<std::u16string> texts = {
      u"",
      u"kamera",
      u"KAMERA-01",
      u"\u017C\u00F3\u0142\u0107",  // Polish
      u"\u017B\u00D3\u0141\u0106",
      u"\u01C6\u0180\u023F",  // Latin Extended-B
      u"\u01C5\u0243\u2C7E",
      u"\u0561\u0562\u0563",  // Armenian
      u"\u0531\u0532\u0533",
      u"\u10D0\u10D1",  // Georgian
      u"\u1C90\u1C91",
      u"\u2D00",
      u"\u10A0",
      u"\uFF43\uFF41\uFF4D",  // full-width
      u"\uFF23\uFF21\uFF2D",
      u"\u03BA\u03AC\u03BC\u03B5\u03C1\u03B1\u03C2",  // Greek
      u"\u039A\u0386\u039C\u0395\u03A1\u0391\u03A3",
      u"\u043A\u0430\u043C\u0435\u0440\u0430 \u0451",  // Cyrillic
      u"\u041A\u0410\u041C\u0415\u0420\u0410 \u0401",
      u"\U0001F4F7 cam",  // a surrogate pair
      u"\U00010428",      // Deseret small and capital
      u"\U00010400",
      u"\u00DF",
      u"SS",
      u"Kamera \u017C",  // ASCII case first, then Polish
      u"KAMERA \u017B",
      u"kamera-\u0131",  // dotless i against I
      u"KAMERA-I",
      u"kamera-\u0130",
  };
  for (const auto& a : texts) {
    for (const auto& b : texts) {
      EXPECT_EQ(table_sign(a, b), system_sign(a, b))
          << std::string(a.begin(), a.end()) << " / " << std::string(b.begin(), b.end());
      EXPECT_EQ(sorting_sign(a, b), system_sign(a, b))
          << std::string(a.begin(), a.end()) << " / " << std::string(b.begin(), b.end());
    }
  }
}

}  // namespace
}  // namespace norvane
