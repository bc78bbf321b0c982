// Case-insensitive ordinal order of UTF-16 texts in many scripts. Under Wine
// compare_ordinal_ignore_case is the system's comparison, so the same table
// checks both it and the table generated from the Unicode data.
#include "base/case_fold.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace norvane {
namespace {

int sign(int v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }

struct Case {
  const char* what;
  std::u16string a;
  std::u16string b;
  int want;  // sign of the comparison
};

const std::vector<Case>& cases() {
  static const std::vector<Case> table = {
      {"ASCII letters", u"kamera", u"KAMERA", 0},
      {"ASCII order after upper-casing", u"abc", u"ABD", -1},
      {"a prefix goes first", u"ab", u"ABC", -1},
      {"'_' sorts after the upper-case letters", u"a", u"_", -1},
      {"Polish", u"\u017C\u00F3\u0142\u0107 \u0105\u0119\u015B\u0144\u017A",
       u"\u017B\u00D3\u0141\u0106 \u0104\u0118\u015A\u0143\u0179", 0},
      {"Polish letters sort by code after upper-casing", u"\u0105", u"b", 1},
      {"Latin-1 y with diaeresis", u"\u00FF", u"\u0178", 0},
      {"Latin Extended-B: stroke and hook letters", u"\u0180\u0188\u01A1\u01B4",
       u"\u0243\u0187\u01A0\u01B3", 0},
      {"Latin Extended-B: dz digraphs, small to capital", u"\u01C6", u"\u01C4", 0},
      {"Latin Extended-B: title-case dz keeps its own code", u"\u01C5", u"\u01C4", 1},
      {"Latin Extended-B: letters whose capital is far away", u"\u023F\u0250", u"\u2C7E\u2C6F", 0},
      {"Armenian", u"\u0561\u0562\u0563\u0586", u"\u0531\u0532\u0533\u0556", 0},
      {"Armenian ligature has no single capital", u"\u0587", u"\u0535", 1},
      {"Georgian Mkhedruli to Mtavruli", u"\u10D0\u10D1\u10FA", u"\u1C90\u1C91\u1CBA", 0},
      {"Georgian Nuskhuri to Asomtavruli", u"\u2D00\u2D25", u"\u10A0\u10C5", 0},
      {"full-width Latin", u"\uFF41\uFF42\uFF5A", u"\uFF21\uFF22\uFF3A", 0},
      {"full-width letters sort after ASCII ones", u"\uFF41", u"B", 1},
      {"Greek with tonos", u"\u03AC\u03B2\u03C3", u"\u0386\u0392\u03A3", 0},
      {"Greek final sigma keeps its own code", u"\u03C2", u"\u03A3", 1},
      {"the micro sign is no Greek mu", u"\u00B5", u"\u039C", -1},
      {"dotless i and long s keep their own codes", u"\u0131\u017F", u"IS", 1},
      {"Cyrillic", u"\u043A\u0430\u043C\u0435\u0440\u0430 \u0451\u0463\u049D",
       u"\u041A\u0410\u041C\u0415\u0420\u0410 \u0401\u0462\u049C", 0},
      {"Cherokee small letters to capitals", u"\uAB70\u13F8", u"\u13A0\u13F0", 0},
      {"sharp s has no single capital", u"\u00DF", u"\u1E9E", -1},
      {"digits and punctuation compare as they are", u"cam-01", u"CAM-02", -1},
      {"code units past a surrogate pair still fold", u"\U0001F4F7a", u"\U0001F4F7A", 0},
  };
  return table;
}

TEST(CaseFold, TableAcrossScripts) {
  for (const auto& c : cases()) {
    EXPECT_EQ(sign(compare_upper_case_units(c.a, c.b)), c.want) << c.what;
    EXPECT_EQ(sign(compare_upper_case_units(c.b, c.a)), -c.want) << c.what;
    EXPECT_EQ(sign(compare_ordinal_ignore_case(c.a, c.b)), c.want) << c.what << " (system)";
    EXPECT_EQ(sign(compare_ordinal_ignore_case(c.b, c.a)), -c.want) << c.what << " (system)";
  }
}

TEST(CaseFold, UpperCaseOfSingleUnits) {
  struct Unit {
    char16_t in;
    char16_t out;
  };
  const Unit units[] = {
      {u'a', u'A'},           {u'Z', u'Z'},           {u'0', u'0'},
      {u'\u0142', u'\u0141'}, {u'\u01C5', u'\u01C5'}, {u'\u0561', u'\u0531'},
      {u'\u10D0', u'\u1C90'}, {u'\uFF41', u'\uFF21'}, {u'\u03C2', u'\u03C2'},
      {u'\u0131', u'\u0131'}, {u'\u00DF', u'\u00DF'}, {char16_t{0xD83D}, char16_t{0xD83D}},
      {u'\uFFFF', u'\uFFFF'}, {u'\u0000', u'\u0000'},
  };
  for (const auto& u : units) {
    EXPECT_EQ(static_cast<int>(upper_case_unit(u.in)), static_cast<int>(u.out))
        << std::hex << static_cast<int>(u.in);
  }
}

TEST(CaseFold, UpperCaseIsStableOnEveryUnit) {
  // Upper-casing twice changes nothing, so sorting by it is a total order.
  int unstable = 0;
  for (unsigned c = 0; c <= 0xFFFF; ++c) {
    const char16_t once = upper_case_unit(static_cast<char16_t>(c));
    if (upper_case_unit(once) != once) ++unstable;
  }
  EXPECT_EQ(unstable, 0);
}

}  // namespace
}  // namespace norvane
