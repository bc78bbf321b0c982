// The exported files read back by Python's csv module, a reader written by
// others: every cell must come back as the list showed it, with only the
// apostrophe of the formula guard in front.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/list_export.h"

namespace norvane {
namespace {

// Reads FILE split by DELIMITER (CSV, or tab-separated text for "tab") and
// prints every cell as hexadecimal UTF-8, one record per line, cells
// separated by spaces ("-" for an empty cell). The BOM must be there for
// CSV; utf-8-sig removes it.
constexpr const char* kReader = R"(
import csv, sys
path, delimiter = sys.argv[1], sys.argv[2]
tsv = delimiter == 'tab'
raw = open(path, 'rb').read()
if not tsv and not raw.startswith(b'\xef\xbb\xbf'):
    sys.exit('no byte order mark')
with open(path, encoding='utf-8-sig' if not tsv else 'utf-8', newline='') as f:
    for record in csv.reader(f, delimiter='\t' if tsv else delimiter):
        print(' '.join(c.encode('utf-8').hex() or '-' for c in record))
)";

std::string hex(const std::string& bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  for (const char b : bytes) {
    const auto u = static_cast<unsigned char>(b);
    out += kDigits[u >> 4];
    out += kDigits[u & 15];
  }
  return out.empty() ? "-" : out;
}

std::string expected_line(const std::array<std::u16string, kColumnCount>& cells) {
  std::string line;
  for (std::size_t i = 0; i < cells.size(); ++i) {
    if (i != 0) line += ' ';
    const std::u16string& text = cells[i];
    line += hex((looks_like_formula(text) ? "'" : "") + utf16_to_utf8(text));
  }
  return line + "\n";
}

class PythonReader : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::system("python3 -c pass >/dev/null 2>&1") != 0) GTEST_SKIP() << "no python3";
    dir_ =
        std::filesystem::temp_directory_path() / ("norvane-export-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir_);
    std::ofstream(dir_ / "reader.py") << kReader;
  }
  void TearDown() override {
    std::error_code ec;
    if (!dir_.empty()) std::filesystem::remove_all(dir_, ec);
  }

  std::string read_back(const std::string& content, const std::string& delimiter) {
    const auto file = dir_ / (delimiter == "tab" ? "list.txt" : "list.csv");
    std::ofstream(file, std::ios::binary) << content;
    const std::string command = "python3 '" + (dir_ / "reader.py").string() + "' '" +
                                file.string() + "' '" + delimiter + "'";
    std::string out;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
      char buffer[4096];
      std::size_t n = 0;
      while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
      EXPECT_EQ(::pclose(pipe), 0) << command;
    } else {
      ADD_FAILURE() << "cannot run " << command;
    }
    return out;
  }

  std::filesystem::path dir_;
};

TEST_F(PythonReader, ReadsBackEveryCell) {
  std::vector<DeviceRow> rows(4);
  rows[0].columns = {u"192.168.1.64",       u"00:11:22:33:44:55",
                     u"Hikvision",          u"Kamera, \"wej\u015Bcie\"; 2",
                     u"DS-2CD2143G0-I",     u"SADP, ONVIF",
                     u"linia 1\r\nlinia 2", u"poza podsieci\u0105, konflikt IP"};
  rows[1].columns = {u"fe80::1", u"", u"", u"=cmd|' /C calc'!A0", u"+48", u"-", u"@SUM(1)", u";"};
  rows[2].columns = {u"",
                     u"00:11:22:33:44:77",
                     u"Za\u017C\u00F3\u0142\u0107 Sp. z o.o.",
                     u"\u76E3\u8996\u30AB\u30E1\u30E9",
                     u"\tx",
                     u"\ry",
                     u"a\nb\tc\"",
                     u"od\u0142\u0105czone"};
  rows[3].columns = {u"", u"", u"", u"", u"", u"", u"", u""};

  const std::vector<std::size_t> order{2, 0, 3, 1};
  std::string expected;
  {
    std::array<std::u16string, kColumnCount> header;
    for (std::size_t i = 0; i < header.size(); ++i) header[i] = std::u16string(kColumnHeaders[i]);
    expected = expected_line(header);
  }
  for (const std::size_t i : order) expected += expected_line(rows[i].columns);

  EXPECT_EQ(read_back(table_csv(rows, order, u','), ","), expected);
  EXPECT_EQ(read_back(table_csv(rows, order, u';'), ";"), expected);
  EXPECT_EQ(read_back(utf16_to_utf8(table_tsv(rows, order)), "tab"), expected);
}

}  // namespace
}  // namespace norvane
