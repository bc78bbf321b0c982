#include "app/list_export.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace norvane {
namespace {

using Order = std::vector<std::size_t>;

DeviceRow row_of(std::array<std::u16string, kColumnCount> columns) {
  DeviceRow row;
  row.columns = std::move(columns);
  return row;
}

DeviceRow named(std::u16string name) {
  DeviceRow row;
  row.columns[kColName] = std::move(name);
  return row;
}

// What follows the header line.
std::string csv_records(const std::vector<DeviceRow>& rows, const std::vector<std::size_t>& order) {
  const std::string csv = table_csv(rows, order, u',');
  const std::size_t end = csv.find("\r\n");
  return end == std::string::npos ? std::string() : csv.substr(end + 2);
}

std::u16string tsv_records(const std::vector<DeviceRow>& rows,
                           const std::vector<std::size_t>& order) {
  const std::u16string tsv = table_tsv(rows, order);
  const std::size_t end = tsv.find(u"\r\n");
  return end == std::u16string::npos ? std::u16string() : tsv.substr(end + 2);
}

// One name cell through both writers: the record is ",,,CELL,,,,".
TEST(ListExport, CellQuotingAndFormulaGuard) {
  struct Case {
    std::u16string name;
    std::string csv;     // the cell in the CSV file (UTF-8)
    std::u16string tsv;  // the cell in the clipboard text
  };
  const Case cases[] = {
      {u"", "", u""},
      {u"DS-2CD2143G0-I", "DS-2CD2143G0-I", u"DS-2CD2143G0-I"},
      {u"Kamera, wej\u015Bcie",
       "\"Kamera, wej\xC5\x9B"
       "cie\"",
       u"Kamera, wej\u015Bcie"},
      {u"Cam \"A\"", "\"Cam \"\"A\"\"\"", u"\"Cam \"\"A\"\"\""},
      {u"\"", "\"\"\"\"", u"\"\"\"\""},
      {u"a\r\nb", "\"a\r\nb\"", u"\"a\r\nb\""},
      {u"a\nb", "\"a\nb\"", u"\"a\nb\""},
      {u"a\tb", "a\tb", u"\"a\tb\""},
      // the guard, on every leading character that starts a formula
      {u"=HYPERLINK(\"x\")", "\"'=HYPERLINK(\"\"x\"\")\"", u"\"'=HYPERLINK(\"\"x\"\")\""},
      {u"=1+1", "'=1+1", u"'=1+1"},
      {u"+48 22", "'+48 22", u"'+48 22"},
      {u"-1", "'-1", u"'-1"},
      {u"@SUM(A1)", "'@SUM(A1)", u"'@SUM(A1)"},
      {u"\tx", "'\tx", u"\"'\tx\""},
      {u"\rx", "\"'\rx\"", u"\"'\rx\""},
      {u"=a,b", "\"'=a,b\"", u"'=a,b"},
      // not formulas: the guard looks at the first character only
      {u" =1", " =1", u" =1"},
      {u"a=1", "a=1", u"a=1"},
      {u"'=1", "'=1", u"'=1"},
      {u"\"=1\"", "\"\"\"=1\"\"\"", u"\"\"\"=1\"\"\""},
      {u"\uFF1D1",
       "\xEF\xBC\x9D"
       "1",
       u"\uFF1D1"},
      // non-ASCII text: Polish letters, CJK, a character beyond the BMP and
      // an unpaired surrogate (which UTF-8 cannot carry)
      {u"Za\u017C\u00F3\u0142\u0107 g\u0119\u015Bl\u0105",
       "Za\xC5\xBC\xC3\xB3\xC5\x82\xC4\x87 g\xC4\x99\xC5\x9Bl\xC4\x85",
       u"Za\u017C\u00F3\u0142\u0107 g\u0119\u015Bl\u0105"},
      {u"\u76E3\u8996\u30AB\u30E1\u30E9",
       "\xE7\x9B\xA3\xE8\xA6\x96\xE3\x82\xAB\xE3\x83\xA1\xE3\x83\xA9",
       u"\u76E3\u8996\u30AB\u30E1\u30E9"},
      {u"\U0001F4F7", "\xF0\x9F\x93\xB7", u"\U0001F4F7"},
      {std::u16string(1, char16_t{0xD800}) + u"x", "\xEF\xBF\xBDx",
       std::u16string(1, char16_t{0xD800}) + u"x"},
  };
  for (const Case& c : cases) {
    const std::vector<DeviceRow> rows{named(c.name)};
    EXPECT_EQ(csv_records(rows, {0}), ",,," + c.csv + ",,,,\r\n") << testing::PrintToString(c.csv);
    EXPECT_EQ(tsv_records(rows, {0}), u"\t\t\t" + c.tsv + u"\t\t\t\t\r\n")
        << testing::PrintToString(c.csv);
  }
}

TEST(ListExport, WholeFilesInTheGivenOrder) {
  const std::vector<DeviceRow> rows{
      row_of({u"192.168.1.64", u"00:11:22:33:44:55", u"Hikvision", u"Kamera", u"DS-2CD2143G0-I",
              u"SADP, ONVIF", u"V5.6.5", u"poza podsieci\u0105, konflikt IP"}),
      row_of({u"", u"00:11:22:33:44:77", u"", u"switch", u"", u"LLDP", u"", u""}),
      row_of({u"fe80::1", u"", u"", u"", u"", u"mDNS", u"-", u"od\u0142\u0105czone"}),
  };

  const std::string header =
      "Adres IP,Adres MAC,VENDOR,Nazwa,Model / opis,Protok\xC3\xB3\xC5\x82,Informacje,Stan\r\n";
  EXPECT_EQ(table_csv(rows, Order{2, 0, 1}, u','),
            "\xEF\xBB\xBF" + header +
                "fe80::1,,,,,mDNS,'-,od\xC5\x82\xC4\x85\x63zone\r\n"
                "192.168.1.64,00:11:22:33:44:55,Hikvision,Kamera,DS-2CD2143G0-I,\"SADP, ONVIF\","
                "V5.6.5,\"poza podsieci\xC4\x85, konflikt IP\"\r\n"
                ",00:11:22:33:44:77,,switch,,LLDP,,\r\n");
  EXPECT_EQ(table_tsv(rows, Order{1, 0}),
            u"Adres IP\tAdres MAC\tVENDOR\tNazwa\tModel / opis\tProtok\u00F3\u0142\tInformacje\t"
            u"Stan\r\n"
            u"\t00:11:22:33:44:77\t\tswitch\t\tLLDP\t\t\r\n"
            u"192.168.1.64\t00:11:22:33:44:55\tHikvision\tKamera\tDS-2CD2143G0-I\tSADP, ONVIF\t"
            u"V5.6.5\tpoza podsieci\u0105, konflikt IP\r\n");

  // No items: the header alone. Indices that name no row are skipped, and a
  // row listed twice is written twice (the caller's order is the truth).
  EXPECT_EQ(table_csv(rows, {}, u','), "\xEF\xBB\xBF" + header);
  EXPECT_EQ(table_csv({}, Order{0, 7}, u','), "\xEF\xBB\xBF" + header);
  EXPECT_EQ(csv_records(rows, {9, 1, 1}),
            ",00:11:22:33:44:77,,switch,,LLDP,,\r\n,00:11:22:33:44:77,,switch,,LLDP,,\r\n");

  // The guard applies to every column, not only to names.
  DeviceRow odd;
  for (auto& text : odd.columns) text = u"@x";
  EXPECT_EQ(csv_records({odd}, {0}), "'@x,'@x,'@x,'@x,'@x,'@x,'@x,'@x\r\n");
}

// Under regional settings whose list separator is not a comma (";" in
// Polish) the file is split by that separator, and cells holding it are
// the ones quoted.
TEST(ListExport, SeparatorOfTheRegionalSettings) {
  struct Case {
    std::u16string list_separator;
    char16_t want;
  };
  const Case cases[] = {
      {u";", u';'},
      {u",", u','},
      {u"|", u'|'},
      {u"\u00A6", u'\u00A6'},
      {u"", u','},
      {u";;", u','},
      {u"\"", u','},
      {u"\t", u','},
      {u"\n", u','},
      {u"\u0085", u','},
      {std::u16string(1, char16_t{0xD800}), u','},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(csv_separator(c.list_separator), c.want) << testing::PrintToString(c.want);
  }

  const std::vector<DeviceRow> rows{row_of({u"10.0.0.1", u"", u"", u"a;b", u"x, y", u"\"q\"", u"",
                                            u"poza podsieci\u0105, konflikt IP"})};
  EXPECT_EQ(
      table_csv(rows, Order{0}, u';'),
      "\xEF\xBB\xBF"
      "Adres IP;Adres MAC;VENDOR;Nazwa;Model / opis;Protok\xC3\xB3\xC5\x82;Informacje;Stan\r\n"
      "10.0.0.1;;;\"a;b\";x, y;\"\"\"q\"\"\";;poza podsieci\xC4\x85, konflikt IP\r\n");
  // A separator that cannot be one is written as a comma.
  EXPECT_EQ(table_csv(rows, Order{0}, u'"'), table_csv(rows, Order{0}, u','));
}

TEST(ListExport, FileNameAndSaveWarning) {
  EXPECT_EQ(csv_file_name(2026, 12, 9), u"urzadzenia-2026-12-09.csv");
  EXPECT_EQ(csv_file_name(2027, 1, 31), u"urzadzenia-2027-01-31.csv");
  EXPECT_EQ(csv_file_name(99, 7, 4), u"urzadzenia-0099-07-04.csv");

  struct Case {
    std::u16string system;
    std::uint32_t code;
    std::u16string message;
  };
  const std::u16string base = u"Nie uda\u0142o si\u0119 zapisa\u0107 pliku CSV";
  const Case cases[] = {
      {u"Odmowa dost\u0119pu.\r\n", 5, base + u": Odmowa dost\u0119pu (kod 5)."},
      {u"Access denied. ", 5, base + u": Access denied (kod 5)."},
      {u"Brak miejsca na dysku", 112, base + u": Brak miejsca na dysku (kod 112)."},
      {u"", 32, base + u" (kod 32)."},
      {u" .\r\n", 4294967295u, base + u" (kod 4294967295)."},
  };
  for (const Case& c : cases) EXPECT_EQ(csv_save_failure(c.system, c.code), c.message);
}

TEST(ListExport, Utf16ToUtf8) {
  EXPECT_EQ(utf16_to_utf8(u""), "");
  EXPECT_EQ(utf16_to_utf8(u"a\u00FF\u0142\u20AC\U00010348"),
            "a\xC3\xBF\xC5\x82\xE2\x82\xAC\xF0\x90\x8D\x88");
  // a low surrogate alone, a high one at the end, two highs in a row
  EXPECT_EQ(utf16_to_utf8(std::u16string{char16_t{0xDC00}, u'a', char16_t{0xD83D}}),
            "\xEF\xBF\xBD"
            "a\xEF\xBF\xBD");
  EXPECT_EQ(utf16_to_utf8(std::u16string{char16_t{0xD83D}, char16_t{0xD83D}, char16_t{0xDCF7}}),
            "\xEF\xBF\xBD\xF0\x9F\x93\xB7");
}

}  // namespace
}  // namespace norvane
