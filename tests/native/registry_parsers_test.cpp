#include "vendors/registry_parsers.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "model/classify.h"
#include "vendors/vendor_db.h"

namespace norvane {
namespace {

const std::string kCsvHeader = "Registry,Assignment,Organization Name,Organization Address\n";

TEST(CsvRecord, Fields) {
  struct Case {
    const char* what;
    std::string text;
    bool ok;
    CsvRecord fields;
    std::string rest;  // what remains after the record
  };
  const Case cases[] = {
      {"plain, LF", "a,b,c,d\nnext", true, {"a", "b", "c", "d"}, "next"},
      {"plain, CR LF", "a,b,c,d\r\nnext", true, {"a", "b", "c", "d"}, "next"},
      {"plain, lone CR", "a,b,c,d\rnext", true, {"a", "b", "c", "d"}, "next"},
      {"at the end", "a,b,c,d", true, {"a", "b", "c", "d"}, ""},
      {"empty fields", ",,,", true, {"", "", "", ""}, ""},
      {"quoted comma and quotes",
       "MA-L,001BC5,\"Acme, \"\"Best\"\" Co\",addr\n",
       true,
       {"MA-L", "001BC5", "Acme, \"Best\" Co", "addr"},
       ""},
      {"quoted line break", "a,b,\"one\r\ntwo\",d\n", true, {"a", "b", "one\r\ntwo", "d"}, ""},
      {"quoted empty", "\"\",b,c,\"\"", true, {"", "b", "c", ""}, ""},
      {"only a doubled quote", "\"\"\"\",b,c,d", true, {"\"", "b", "c", "d"}, ""},
      {"five fields", "a,b,c,d,e\n", false, {}, ""},
      {"three fields", "a,b,c\n", false, {}, ""},
      {"byte after closing quote", "a,\"b\"x,c,d\n", false, {}, ""},
      {"space after closing quote of the last field", "a,b,c,\"d\" \n", false, {}, ""},
      {"unterminated quote", "a,\"b,c,d\n", false, {}, ""},
      {"quote inside plain field", "a,b\"c,c,d\n", false, {}, ""},
      {"8192-byte field",
       "a,b," + std::string(8192, 'x') + ",d",
       true,
       {"a", "b", std::string(8192, 'x'), "d"},
       ""},
      {"8193-byte field", "a,b," + std::string(8193, 'x') + ",d", false, {}, ""},
      {"8192-byte quoted field",
       "a,b,\"" + std::string(8192, 'x') + "\",d",
       true,
       {"a", "b", std::string(8192, 'x'), "d"},
       ""},
      {"8193-byte quoted field", "a,b,\"" + std::string(8193, 'x') + "\",d", false, {}, ""},
      {"doubled quote past the cap", "a,b,\"" + std::string(8192, 'x') + "\"\"\",d", false, {}, ""},
      {"empty text", "", false, {}, ""},
  };
  for (const Case& c : cases) {
    std::string_view text = c.text;
    CsvRecord fields;
    ASSERT_EQ(read_csv_record(text, fields), c.ok) << c.what;
    if (!c.ok) continue;
    EXPECT_EQ(fields, c.fields) << c.what;
    EXPECT_EQ(text, c.rest) << c.what;
  }
}

struct CsvCase {
  const char* what;
  std::string text;
  unsigned bits;
  bool ok;
  std::size_t entries;  // in the target afterwards (it starts with one)
};

TEST(IeeeCsv, Files) {
  const CsvCase cases[] = {
      {"MA-L", kCsvHeader + "MA-L,001BC5,Acme,addr\nMA-L,bc325f,Dahua,x\n", 24, true, 3},
      {"CR LF line ends",
       "Registry,Assignment,Organization Name,Organization Address\r\n"
       "MA-L,001BC5,Acme,addr\r\nMA-L,BC325F,Dahua,x\r\n",
       24, true, 3},
      {"blank lines between records",
       kCsvHeader + "\n\nMA-L,001BC5,Acme,a\r\n\r\n\nMA-L,BC325F,D,x", 24, true, 3},
      {"byte-order mark", "\xEF\xBB\xBF" + kCsvHeader + "MA-L,001BC5,Acme,a\n", 24, true, 2},
      {"only the header", kCsvHeader, 24, false, 1},
      {"header in other case",
       "Registry,Assignment,Organization name,Organization Address\nMA-L,001BC5,Acme,a\n", 24,
       false, 1},
      {"five fields", kCsvHeader + "MA-L,001BC5,Acme,a,extra\n", 24, false, 1},
      {"empty name skipped", kCsvHeader + "MA-L,001BC5,,a\nMA-L,001BC6,   ,a\nMA-L,001BC7,B,a\n",
       24, true, 2},
      {"only empty names", kCsvHeader + "MA-L,001BC5,,a\n", 24, false, 1},
      // Control bytes become spaces before the trim, so these names are
      // empty too.
      {"names of control bytes skipped",
       kCsvHeader + "MA-L,001BC5,\x01,a\nMA-L,001BC6,\" \x7F\t\x1F \",a\nMA-L,001BC7,B,a\n", 24,
       true, 2},
      {"only a control byte", kCsvHeader + "MA-L,001BC5,\x1F,a\n", 24, false, 1},
      {"assignment trimmed", kCsvHeader + "MA-L, 001BC5 ,Acme,a\n", 24, true, 2},
      {"registry not trimmed", kCsvHeader + "MA-L ,001BC5,Acme,a\n", 24, false, 1},
      {"MA-M", kCsvHeader + "MA-M,70B3D5F,Acme,a\n", 28, true, 2},
      {"MA-M with 6 digits", kCsvHeader + "MA-M,70B3D5,Acme,a\n", 28, false, 1},
      {"MA-M with 8 digits", kCsvHeader + "MA-M,70B3D5F1,Acme,a\n", 28, false, 1},
      {"MA-L record in MA-M file", kCsvHeader + "MA-M,70B3D5F,A,a\nMA-L,70B3D5E,B,a\n", 28, false,
       1},
      {"MA-S", kCsvHeader + "MA-S,70B3D5F2F,A,a\nMA-S,70B3D5F30,B,a\n", 36, true, 3},
      {"IAB", kCsvHeader + "IAB,0050C27D5,A,a\n", 36, true, 2},
      {"IAB then MA-S", kCsvHeader + "IAB,0050C27D5,A,a\nMA-S,70B3D5F2F,B,a\n", 36, false, 1},
      {"MA-S then IAB", kCsvHeader + "MA-S,70B3D5F2F,B,a\nIAB,0050C27D5,A,a\n", 36, false, 1},
      {"unknown 36-bit registry", kCsvHeader + "MA-X,70B3D5F2F,B,a\n", 36, false, 1},
      {"bad prefix length", kCsvHeader + "MA-L,001BC5,Acme,a\n", 32, false, 1},
      {"non-hex assignment", kCsvHeader + "MA-L,00XBC5,Acme,a\n", 24, false, 1},
      {"513-byte name", kCsvHeader + "MA-L,001BC5," + std::string(513, 'n') + ",a\n", 24, false, 1},
      {"invalid UTF-8 name", kCsvHeader + "MA-L,001BC5,Acme \xC4rger,a\n", 24, false, 1},
      {"zero byte", kCsvHeader + std::string("MA-L,001BC5,A\0c,a\n", 18), 24, false, 1},
      {"replaces target's name", kCsvHeader + "MA-L,ABCDEF,New,a\n", 24, true, 1},
  };
  for (const CsvCase& c : cases) {
    VendorTable table;
    table.insert(make_prefix_key(24, 0xABCDEF), "Before");
    EXPECT_EQ(parse_ieee_csv(table, c.text, c.bits), c.ok) << c.what;
    EXPECT_EQ(table.size(), c.entries) << c.what;
    if (!c.ok) {
      EXPECT_EQ(*table.find(make_prefix_key(24, 0xABCDEF)), "Before") << c.what;
    }
  }
}

TEST(IeeeCsv, NamesAreCleanedAndLaterRecordsWin) {
  VendorTable table;
  ASSERT_TRUE(parse_ieee_csv(table,
                             kCsvHeader + "MA-L,001BC5,\"Acme, \"\"Best\"\"\",a\n"
                                          "MA-L,001BC6,\"Two\r\nLines\",a\n"
                                          "MA-L,001BC7,  Tab\there \x7F ,a\n"
                                          "MA-L,001BC8,First,a\nMA-L,001bc8,Second,a\n",
                             24));
  EXPECT_EQ(*table.find(make_prefix_key(24, 0x001BC5)), "Acme, \"Best\"");
  EXPECT_EQ(*table.find(make_prefix_key(24, 0x001BC6)), "Two  Lines");
  // Control bytes become spaces first and the trim drops those at the end.
  EXPECT_EQ(*table.find(make_prefix_key(24, 0x001BC7)), "Tab here");
  EXPECT_EQ(*table.find(make_prefix_key(24, 0x001BC8)), "Second");
}

// Records with the same key anywhere in a file: the last one's name; the
// file's names replace the target's for the same keys and leave its other
// entries alone, whatever order the records come in.
TEST(IeeeCsv, RepeatsAndTheTargetsOwnEntries) {
  struct Case {
    const char* what;
    std::string records;
    std::vector<std::pair<PrefixKey, std::string_view>> want;
  };
  const PrefixKey kept = make_prefix_key(36, 0x70B3D5F2F);
  const PrefixKey replaced = make_prefix_key(36, 0x70B3D5F30);
  const PrefixKey added = make_prefix_key(36, 0x70B3D5F2E);
  const Case cases[] = {
      {"a repeat far apart",
       "MA-S,70B3D5F30,First,a\nMA-S,70B3D5F2E,New,a\nMA-S,70B3D5F30,Last,a\n",
       {{kept, "Kept"}, {replaced, "Last"}, {added, "New"}}},
      {"three times, lower case last",
       "MA-S,70b3d5f30,One,a\nMA-S,70B3D5F2E,New,a\nMA-S,70B3D5F30,Two,a\nMA-S,70b3d5f30,Three,a\n",
       {{kept, "Kept"}, {replaced, "Three"}, {added, "New"}}},
      {"the repeat skipped for its empty name",
       "MA-S,70B3D5F30,Named,a\nMA-S,70B3D5F30,\x01,a\n",
       {{kept, "Kept"}, {replaced, "Named"}}},
  };
  for (const Case& c : cases) {
    VendorTable table;
    table.insert(kept, "Kept");
    table.insert(replaced, "Before");
    ASSERT_TRUE(parse_ieee_csv(table, kCsvHeader + c.records, 36)) << c.what;
    EXPECT_EQ(table.size(), c.want.size()) << c.what;
    for (const auto& [key, name] : c.want) {
      ASSERT_NE(table.find(key), nullptr) << c.what;
      EXPECT_EQ(*table.find(key), name) << c.what;
    }
  }
}

// A registry whose name for a block is only a control byte leaves the block
// out, so the maker comes from the discovery protocol instead of showing as
// a blank.
TEST(IeeeCsv, ANameOfControlBytesLeavesTheMakerToTheProtocol) {
  VendorTable table;
  ASSERT_TRUE(parse_ieee_csv(table, kCsvHeader + "MA-L,001122,\x01,a\nMA-L,001BC5,Acme,a\n", 24));
  EXPECT_EQ(table.find(make_prefix_key(24, 0x001122)), nullptr);
  DeviceRow row;
  row.protocol_names = {"SADP"};
  classify(row, "00:11:22:33:44:55", table);
  EXPECT_EQ(row.columns[kColVendor], u"Hikvision");
  EXPECT_EQ(row.category, kCatHikvision);
}

const std::string kManufHeader = "# This file was generated by TShark 4.2.0\n";
// The three lengths, so that a case only has to break one thing.
const std::string kManufTail =
    "00:1B:C5\tIeeeRegi\tIEEE Registration Authority\n"
    "70:B3:D5:F0:00:00/28\tShort\tMA-M Org\n"
    "00:1B:C5:0A:00:00/36\tShort\tMA-S Org\n";

TEST(Manuf, Files) {
  struct Case {
    const char* what;
    std::string text;
    bool ok;
    std::size_t entries;
  };
  const Case cases[] = {
      {"three lengths", kManufHeader + kManufTail, true, 3},
      {"comments and blank lines", kManufHeader + "#\n  # indented comment\n\n\r\n" + kManufTail,
       true, 3},
      {"CR LF line ends",
       "# This file was generated by TShark 4.2.0\r\n00:1B:C5\tI\tA\r\n"
       "70:B3:D5:F0:00:00/28\tS\tB\r\n00:1B:C5:0A:00:00/36\tS\tC\r\n",
       true, 3},
      {"header without trailing space", "# This file was generated by TShark\n" + kManufTail, false,
       1},
      {"other header", "# This file was generated by running make-manuf.py\n" + kManufTail, false,
       1},
      {"empty", "", false, 1},
      {"no /28", kManufHeader + "00:1B:C5\tI\tA\n00:1B:C5:0A:00:00/36\tS\tC\n", false, 1},
      {"no /36", kManufHeader + "00:1B:C5\tI\tA\n70:B3:D5:F0:00:00/28\tS\tB\n", false, 1},
      {"one tab only", kManufHeader + kManufTail + "00:00:01\tXerox\n", false, 1},
      {"comment only after trimming", kManufHeader + kManufTail + "x#\tA\tB\n", false, 1},
      {"empty name", kManufHeader + kManufTail + "00:00:01\tXerox\t  \n", false, 1},
      {"name of control bytes", kManufHeader + kManufTail + "00:00:01\tXerox\t\x01\x7F\n", false,
       1},
      {"further columns become spaces", kManufHeader + kManufTail + "00:00:01\tX\tA\tB\n", true, 4},
      {"dashes", kManufHeader + kManufTail + "00-50-C2-00-10-00/36\tS\tDash\n", true, 4},
      {"mixed separators", kManufHeader + kManufTail + "00-50:C2\tS\tD\n", false, 1},
      {"dot separator", kManufHeader + kManufTail + "00.50.C2\tS\tD\n", false, 1},
      {"short address for /36", kManufHeader + kManufTail + "00:50:C2:00:1/36\tS\tD\n", false, 1},
      {"trailing bits set", kManufHeader + kManufTail + "00:1B:C5:0A:0F:00/36\tS\tD\n", false, 1},
      {"/24 of six octets", kManufHeader + kManufTail + "00:1B:C6:00:00:00/24\tS\tD\n", true, 4},
      {"bad suffix", kManufHeader + kManufTail + "00:1B:C6:00:00:00/32\tS\tD\n", false, 1},
      {"seven octets", kManufHeader + kManufTail + "00:1B:C6:00:00:00:00/36\tS\tD\n", false, 1},
      {"too few octets", kManufHeader + kManufTail + "00:1B\tS\tD\n", false, 1},
      {"non-hex digit", kManufHeader + kManufTail + "00:1G:C6\tS\tD\n", false, 1},
      {"invalid UTF-8", kManufHeader + kManufTail + "00:1B:C6\tS\t\xFF\n", false, 1},
      {"zero byte", kManufHeader + kManufTail + std::string("00:1B:C6\tS\tA\0\n", 14), false, 1},
  };
  for (const Case& c : cases) {
    VendorTable table;
    table.insert(make_prefix_key(24, 0xABCDEF), "Before");
    EXPECT_EQ(parse_manuf(table, c.text), c.ok) << c.what;
    EXPECT_EQ(table.size(), c.entries) << c.what;
    // Success replaces the whole table; failure leaves it alone.
    EXPECT_EQ(table.find(make_prefix_key(24, 0xABCDEF)) != nullptr, !c.ok) << c.what;
  }
}

TEST(Manuf, KeysAndNames) {
  VendorTable table;
  ASSERT_TRUE(parse_manuf(table, kManufHeader + kManufTail +
                                     "00-50-C2-00-10-00/36\tS\tDash\n"
                                     "00:00:01\tX\tA\tB\n00:00:01\tX\tLater\n"
                                     "  00:1b:c6  \tS\t Spaced name \n"));
  EXPECT_EQ(*table.find(make_prefix_key(36, 0x0050C2001)), "Dash");
  EXPECT_EQ(*table.find(make_prefix_key(28, 0x70B3D5F)), "MA-M Org");
  EXPECT_EQ(*table.find(make_prefix_key(36, 0x001BC50A0)), "MA-S Org");
  EXPECT_EQ(*table.find(make_prefix_key(24, 0x000001)), "Later");
  EXPECT_EQ(*table.find(make_prefix_key(24, 0x001BC6)), "Spaced name");
  EXPECT_EQ(vendor_display_name(table, "00:1B:C5:0A:00:01"), "MA-S Org");
  EXPECT_EQ(vendor_display_name(table, "00:1B:C5:FF:00:01"), "");
}

// The registries that Debian's ieee-data package ships, and the manufacturer
// file of libwireshark-data (with the first line a TShark-generated file
// starts with, and the long-name column that such a file always has).
std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) return {};
  std::string bytes(static_cast<std::size_t>(in.tellg()), '\0');
  in.seekg(0);
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return bytes;
}

constexpr const char* kIeeeData = "/usr/share/ieee-data";

TEST(RealRegistries, AllFourParseWithPlausibleCounts) {
  struct Source {
    const char* file;
    unsigned bits;
    std::size_t at_least;
  };
  const Source sources[] = {{"oui.csv", 24, 25000},
                            {"mam.csv", 28, 3000},
                            {"oui36.csv", 36, 3000},
                            {"iab.csv", 36, 3000}};
  VendorTable table;
  for (const Source& s : sources) {
    const std::string text = read_file(std::filesystem::path(kIeeeData) / s.file);
    if (text.empty()) GTEST_SKIP() << "ieee-data is not installed";
    const std::size_t before = table.size();
    ASSERT_TRUE(parse_ieee_csv(table, text, s.bits)) << s.file;
    EXPECT_GE(table.size() - before, s.at_least) << s.file;
  }
  EXPECT_LT(table.size(), 200000u);
  // Well-known assignments resolve through the normalised names.
  EXPECT_EQ(vendor_display_name(table, "BC:32:5F:00:00:01"), "Dahua");
  EXPECT_EQ(vendor_display_name(table, "44:19:B6:01:02:03"), "Hikvision");

  const auto dir = std::filesystem::temp_directory_path() /
                   ("norvane-registries-" +
                    std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
  std::filesystem::create_directories(dir);
  const auto path = dir / "mac-vendors.tsv";
  ASSERT_TRUE(save_vendor_db(table, path));
  VendorTable loaded;
  ASSERT_TRUE(load_vendor_db(loaded, path));
  EXPECT_EQ(loaded.entries(), table.entries());
  std::filesystem::remove_all(dir);
}

TEST(RealRegistries, WiresharkManufFile) {
  const std::string original = read_file("/usr/share/wireshark/manuf");
  if (original.empty()) GTEST_SKIP() << "libwireshark-data is not installed";
  std::string text = "# This file was generated by TShark 4.0.17\n";
  std::string_view rest = original;
  next_line(rest);  // the original first line
  while (!rest.empty()) {
    std::string line(next_line(rest));
    const std::size_t tab = line.find('\t');
    if (!line.empty() && line[0] != '#' && tab != std::string::npos &&
        line.find('\t', tab + 1) == std::string::npos) {
      line += "\t" + line.substr(tab + 1);
    }
    text += line + "\n";
  }
  VendorTable table;
  ASSERT_TRUE(parse_manuf(table, text));
  EXPECT_GT(table.size(), 40000u);
  EXPECT_EQ(vendor_display_name(table, "BC:32:5F:00:00:01"), "Dahua");
  EXPECT_EQ(vendor_display_name(table, "00:1B:C5:00:00:01"), "Converging Systems Inc.");
}

}  // namespace
}  // namespace norvane
