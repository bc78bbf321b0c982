#include "vendors/vendor_db.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace norvane {
namespace {

namespace fs = std::filesystem;

const std::string kHeader = "# IEEE MAC vendor database v1";

struct ParseCase {
  const char* what;
  std::string content;
  bool ok;
  std::size_t entries;
};

std::string with_header(std::string_view rest) { return kHeader + "\n" + std::string(rest); }

const ParseCase kParseCases[] = {
    {"header and one entry", with_header("001BC5\tAcme\n"), true, 1},
    {"no final line end", with_header("001BC5\tAcme"), true, 1},
    {"CR LF everywhere", kHeader + "\r\n001BC5\tAcme\r\n", true, 1},
    {"byte-order mark", "\xEF\xBB\xBF" + with_header("001BC5\tAcme\n"), true, 1},
    {"three lengths", with_header("001BC5\tA\n001BC50\tB\n001BC50A0\tC\n"), true, 3},
    {"empty and CR-only lines skipped", with_header("\n\r\n001BC5\tA\n\n\n"), true, 1},
    {"only the header", with_header(""), false, 0},
    {"only the header, no line end", kHeader, false, 0},
    {"only blank lines", with_header("\n\n\r\n"), false, 0},
    {"empty file", "", false, 0},
    {"header with trailing space", kHeader + " \n001BC5\tA\n", false, 0},
    {"header in other case", "# IEEE MAC Vendor Database v1\n001BC5\tA\n", false, 0},
    {"space before header", " " + with_header("001BC5\tA\n"), false, 0},
    {"two byte-order marks", "\xEF\xBB\xBF\xEF\xBB\xBF" + with_header("001BC5\tA\n"), false, 0},
    {"same prefix in two cases", with_header("001bc5\tA\n001BC5\tB\n"), false, 0},
    {"same digits, other lengths", with_header("001BC5\tA\n001BC50\tB\n"), true, 2},
    {"tab at position 8", with_header("001BC50A\tA\n"), false, 0},
    {"tab at position 5", with_header("001BC\tA\n"), false, 0},
    {"no tab", with_header("001BC5 Acme\n"), false, 0},
    {"two tabs", with_header("001BC5\tAcme\tX\n"), false, 0},
    {"empty name", with_header("001BC5\t\n"), false, 0},
    {"512-byte name", with_header("001BC5\t" + std::string(512, 'n') + "\n"), true, 1},
    {"513-byte name", with_header("001BC5\t" + std::string(513, 'n') + "\n"), false, 0},
    {"invalid UTF-8 in name", with_header("001BC5\tAcme \xC4rger\n"), false, 0},
    {"overlong in name", with_header("001BC5\t\xC0\xAF\n"), false, 0},
    {"zero byte in name", with_header(std::string("001BC5\tA\0B\n", 11)), false, 0},
    {"zero byte after last line", with_header(std::string("001BC5\tA\n\0", 10)), false, 0},
    {"CR inside name", with_header("001BC5\tA\rB\n"), false, 0},
    {"two CRs before LF", with_header("001BC5\tA\r\r\n"), false, 0},
    {"space before tab", with_header("001BC \tA\n"), false, 0},
    {"non-hex prefix", with_header("0x1BC5\tA\n"), false, 0},
    {"one bad line fails all", with_header("001BC5\tA\nzzzzzz\tB\n"), false, 0},
};

TEST(VendorDbParse, LineRules) {
  for (const ParseCase& c : kParseCases) {
    VendorTable table;
    table.insert(make_prefix_key(24, 0xABCDEF), "Before");
    const bool ok = parse_vendor_db(c.content, table);
    EXPECT_EQ(ok, c.ok) << c.what;
    if (ok) {
      EXPECT_EQ(table.size(), c.entries) << c.what;
      EXPECT_EQ(table.find(make_prefix_key(24, 0xABCDEF)), nullptr) << c.what;
    } else {
      // A failed parse leaves the target exactly as it was.
      ASSERT_EQ(table.size(), 1u) << c.what;
      EXPECT_EQ(*table.find(make_prefix_key(24, 0xABCDEF)), "Before") << c.what;
    }
  }
}

// Any order of lines loads the same table, looked up the same way; a
// prefix written twice fails the load wherever the two lines are.
TEST(VendorDbParse, AnyOrderOfLines) {
  const std::vector<std::string> lines = {
      "001BC5\tOwner\n",   "001BC50\tMedium\n", "001BC50A0\tSmall\n", "001BC5FFF\tLast\n",
      "A0B0C0D\tOrphan\n", "FCFFFF\tTop\n",     "000000\tZero\n",     "000000001\tOne\n",
      "001BC6\tNext\n",    "001bc4\tBefore\n"};
  struct Case {
    const char* what;
    std::vector<std::size_t> order;  // indexes into lines
    std::string extra;               // appended after them
    bool ok;
  };
  const Case cases[] = {
      {"key order", {6, 7, 9, 0, 8, 5, 1, 4, 2, 3}, "", true},
      {"reversed", {3, 2, 4, 1, 5, 8, 0, 9, 7, 6}, "", true},
      {"interleaved", {2, 0, 3, 1, 9, 8, 7, 6, 4, 5}, "", true},
      {"a repeat far from the first", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, "001BC4\tAgain\n", false},
      {"a repeat of a 36-bit prefix", {2, 0, 3, 1, 9, 8, 7, 6, 4, 5}, "001bc50a0\tAgain\n", false},
  };
  for (const Case& c : cases) {
    std::string text = kHeader + "\n";
    for (const std::size_t i : c.order) text += lines[i];
    text += c.extra;
    VendorTable table;
    table.insert(make_prefix_key(24, 0xABCDEF), "Before");
    ASSERT_EQ(parse_vendor_db(text, table), c.ok) << c.what;
    if (!c.ok) {
      EXPECT_EQ(table.size(), 1u) << c.what;
      continue;
    }
    EXPECT_EQ(table.size(), lines.size()) << c.what;
    EXPECT_EQ(vendor_display_name(table, "00:1B:C5:0A:00:01"), "Small") << c.what;
    EXPECT_EQ(vendor_display_name(table, "00:1B:C5:0B:00:01"), "Medium") << c.what;
    EXPECT_EQ(vendor_display_name(table, "00:1B:C5:FF:F0:01"), "Last") << c.what;
    EXPECT_EQ(vendor_display_name(table, "00:1B:C5:FF:E0:01"), "Owner") << c.what;
    EXPECT_EQ(vendor_display_name(table, "A0:B0:C0:D0:00:01"), "Orphan") << c.what;
    EXPECT_EQ(vendor_display_name(table, "00:00:00:00:10:00"), "One") << c.what;
    EXPECT_EQ(vendor_display_name(table, "00:00:00:00:20:00"), "Zero") << c.what;
    EXPECT_EQ(vendor_display_name(table, "FC:FF:FF:00:00:00"), "Top") << c.what;
    // Saved, it comes back in key order whatever order it was read in.
    std::string saved;
    ASSERT_TRUE(format_vendor_db(table, saved)) << c.what;
    EXPECT_EQ(saved, kHeader +
                         "\n000000\tZero\n001BC4\tBefore\n001BC5\tOwner\n001BC6\tNext\n"
                         "FCFFFF\tTop\n001BC50\tMedium\nA0B0C0D\tOrphan\n000000001\tOne\n"
                         "001BC50A0\tSmall\n001BC5FFF\tLast\n")
        << c.what;
  }
}

TEST(VendorDbParse, NamesAreStoredUnchanged) {
  VendorTable table;
  ASSERT_TRUE(parse_vendor_db(with_header("001bc5\t Acme Corp. \n0050C2001\tCtl\x01"
                                          "Byte\nA0B0C0D\t\xC5\x81\xC3\xB3"
                                          "d\xC5\xBA\n"),
                              table));
  EXPECT_EQ(*table.find(make_prefix_key(24, 0x001BC5)), " Acme Corp. ");
  EXPECT_EQ(*table.find(make_prefix_key(36, 0x0050C2001)),
            "Ctl\x01"
            "Byte");
  EXPECT_EQ(*table.find(make_prefix_key(28, 0xA0B0C0D)),
            "\xC5\x81\xC3\xB3"
            "d\xC5\xBA");
}

TEST(VendorDbFormat, SortedUpperCaseLfOnly) {
  VendorTable table;
  table.insert(make_prefix_key(36, 0x0050C2001), "Nine");
  table.insert(make_prefix_key(24, 0xFFFFFF), "Last MA-L");
  table.insert(make_prefix_key(28, 0x000000A), "Seven");
  table.insert(make_prefix_key(24, 0x00ab12), "First MA-L");
  std::string text;
  ASSERT_TRUE(format_vendor_db(table, text));
  EXPECT_EQ(text,
            kHeader + "\n00AB12\tFirst MA-L\nFFFFFF\tLast MA-L\n000000A\tSeven\n0050C2001\tNine\n");

  std::string untouched = "keep";
  EXPECT_FALSE(format_vendor_db(VendorTable{}, untouched));
  EXPECT_EQ(untouched, "keep");
}

TEST(VendorDbFormat, RefusesEntriesTheFileCannotHold) {
  struct Case {
    const char* what;
    PrefixKey key;
    std::string name;
  };
  const Case cases[] = {
      {"line break in name", make_prefix_key(24, 1), "A\nB"},
      {"tab in name", make_prefix_key(24, 1), "A\tB"},
      {"CR in name", make_prefix_key(24, 1), "A\r"},
      {"zero byte in name", make_prefix_key(24, 1), std::string("A\0B", 3)},
      {"empty name", make_prefix_key(24, 1), ""},
      {"513-byte name", make_prefix_key(24, 1), std::string(513, 'x')},
      {"invalid UTF-8", make_prefix_key(24, 1), "\xFF"},
      {"unknown length", make_prefix_key(32, 1), "A"},
      {"value wider than length", make_prefix_key(24, 0x1000000), "A"},
  };
  for (const Case& c : cases) {
    VendorTable table;
    table.insert(make_prefix_key(24, 2), "Good");
    table.insert(c.key, c.name);
    std::string text;
    EXPECT_FALSE(format_vendor_db(table, text)) << c.what;
  }
}

// A table whose file text is exactly `total` bytes long.
VendorTable table_of_size(std::size_t total) {
  VendorTable table;
  std::size_t size = kHeader.size() + 1;
  std::uint64_t prefix = 0;
  while (size < total) {
    // One 36-bit entry is 9 digits, tab, name and LF; the last one takes the
    // rest, and the one before it leaves enough for a last one.
    const std::size_t room = total - size;
    const std::size_t name = room >= 535 ? 512 : (room <= 523 ? room - 11 : 256);
    table.insert(make_prefix_key(36, prefix++), std::string(name, 'v'));
    size += 11 + name;
  }
  return table;
}

TEST(VendorDbFormat, SixteenMebibyteLimit) {
  std::string text;
  ASSERT_TRUE(format_vendor_db(table_of_size(kVendorDbMaxSize), text));
  EXPECT_EQ(text.size(), kVendorDbMaxSize);

  std::string untouched = "keep";
  EXPECT_FALSE(format_vendor_db(table_of_size(kVendorDbMaxSize + 1), untouched));
  EXPECT_EQ(untouched, "keep");
}

class VendorDbFile : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    dir_ = fs::temp_directory_path() /
           ("norvane-vendor-db-" + std::to_string(stamp) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    ASSERT_TRUE(fs::create_directories(dir_));
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  fs::path file(const char* name) const { return dir_ / name; }
  static void write_raw(const fs::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  static std::string read_raw(const fs::path& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    std::string bytes(static_cast<std::size_t>(in.tellg()), '\0');
    in.seekg(0);
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return bytes;
  }

  fs::path dir_;
};

TEST_F(VendorDbFile, SizeLimits) {
  VendorTable before;
  before.insert(make_prefix_key(24, 7), "Before");

  struct Case {
    const char* what;
    std::string content;
    bool ok;
  };
  // Exactly 16 MiB: header, one entry, then blank lines (which are skipped).
  std::string exact = with_header("001BC5\tAcme\n");
  exact.resize(kVendorDbMaxSize, '\n');
  std::string over = exact + "\n";
  const Case cases[] = {
      {"zero bytes", "", false},
      {"exactly 16 MiB", exact, true},
      {"16 MiB plus one", over, false},
  };
  for (const Case& c : cases) {
    const fs::path path = file("size.tsv");
    write_raw(path, c.content);
    VendorTable table = before;
    EXPECT_EQ(load_vendor_db(table, path), c.ok) << c.what;
    EXPECT_EQ(table.size(), 1u) << c.what;
    EXPECT_EQ(table.find(make_prefix_key(24, 7)) != nullptr, !c.ok) << c.what;
  }
}

TEST_F(VendorDbFile, MissingFileEmptyPathAndDirectoryFail) {
  VendorTable table;
  table.insert(make_prefix_key(24, 7), "Before");
  EXPECT_FALSE(load_vendor_db(table, file("absent.tsv")));
  EXPECT_FALSE(load_vendor_db(table, fs::path()));
  EXPECT_FALSE(load_vendor_db(table, dir_));
  EXPECT_EQ(*table.find(make_prefix_key(24, 7)), "Before");
}

TEST_F(VendorDbFile, RoundTripKeepsEntriesAndOrder) {
  VendorTable table;
  table.insert(make_prefix_key(36, 0x0050C2001), "IAB Org \xC3\xA4");
  table.insert(make_prefix_key(28, 0x70B3D5F), "MA-M Org");
  table.insert(make_prefix_key(24, 0xbc325f), "Zhejiang Dahua Technology Co., Ltd.");
  table.insert(make_prefix_key(24, 0x001bc5), "IEEE Registration Authority");
  table.insert(make_prefix_key(36, 0x001BC50A0), " spaced ");
  const fs::path path = file("mac-vendors.tsv");
  ASSERT_TRUE(save_vendor_db(table, path));
  EXPECT_EQ(read_raw(path), kHeader +
                                "\n001BC5\tIEEE Registration Authority\n"
                                "BC325F\tZhejiang Dahua Technology Co., Ltd.\n"
                                "70B3D5F\tMA-M Org\n"
                                "001BC50A0\t spaced \n"
                                "0050C2001\tIAB Org \xC3\xA4\n");
  VendorTable loaded;
  ASSERT_TRUE(load_vendor_db(loaded, path));
  EXPECT_EQ(loaded.entries(), table.entries());
  // The loaded table answers longest-prefix lookups like the original.
  EXPECT_EQ(vendor_display_name(loaded, "00:1B:C5:0A:00:01"), " spaced ");
  EXPECT_EQ(vendor_display_name(loaded, "70:B3:D5:F1:00:01"), "MA-M Org");
}

TEST_F(VendorDbFile, ExactlySixteenMebibytesOfEntriesRoundTrips) {
  const VendorTable table = table_of_size(kVendorDbMaxSize);
  const fs::path path = file("big.tsv");
  ASSERT_TRUE(save_vendor_db(table, path));
  EXPECT_EQ(fs::file_size(path), kVendorDbMaxSize);
  VendorTable loaded;
  ASSERT_TRUE(load_vendor_db(loaded, path));
  EXPECT_EQ(loaded.size(), table.size());
}

TEST_F(VendorDbFile, SaveOverwritesAndEmptyTableLeavesFileAlone) {
  const fs::path path = file("mac-vendors.tsv");
  write_raw(path, "old content that is longer than the new one, to catch a missing truncation");
  VendorTable table;
  table.insert(make_prefix_key(24, 1), "A");
  ASSERT_TRUE(save_vendor_db(table, path));
  EXPECT_EQ(read_raw(path), kHeader + "\n000001\tA\n");

  EXPECT_FALSE(save_vendor_db(VendorTable{}, path));
  EXPECT_EQ(read_raw(path), kHeader + "\n000001\tA\n");
  EXPECT_FALSE(save_vendor_db(table, fs::path()));
  EXPECT_FALSE(save_vendor_db(table, dir_ / "no-such-dir" / "x.tsv"));
}

TEST(VendorDbPath, BesideTheExecutable) {
  const fs::path path = vendor_db_path();
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(path.filename(), fs::path("mac-vendors.tsv"));
  EXPECT_TRUE(fs::is_directory(path.parent_path())) << path;
  // The test executable lives in that directory.
  EXPECT_TRUE(fs::exists(path.parent_path() / "vendor_db_test") ||
              fs::exists(path.parent_path() / "vendor_db_test.exe"))
      << path;
}

}  // namespace
}  // namespace norvane
