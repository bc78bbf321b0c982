#include "terminal_table.h"

#include <gtest/gtest.h>

#include <numeric>
#include <sstream>
#include <string>
#include <vector>

#include "capture/capture_control.h"
#include "vendors/vendor_table.h"

namespace norvane::tool {
namespace {

using Widths = std::array<std::size_t, kColumnCount>;

std::size_t line_width(const Widths& w) {
  return std::accumulate(w.begin(), w.end(), std::size_t{kColumnGap * (kColumnCount - 1)});
}

TEST(TerminalTable, ColumnsFitTheTerminal) {
  // Header and longest cell per column, as a lab's list gives them.
  const Widths lab = {12, 17, 22, 28, 36, 24, 60, 14};
  struct Case {
    const char* what;
    Widths natural;
    std::size_t terminal;
    Widths expected;
  } const cases[] = {
      {"no limit", lab, 0, lab},
      {"wide enough", lab, 250, lab},
      {"exactly wide enough", lab, 227, lab},
      // 80 - 14 gaps = 66: address, MAC and state whole (43); 23 left for
      // five columns that all want more than 4: 4 each, the last 7.
      {"80 columns", lab, 80, {12, 17, 4, 4, 4, 4, 7, 14}},
      // A long state takes what the others' floors leave.
      {"long state", {12, 17, 22, 28, 36, 24, 60, 39}, 80, {12, 17, 3, 3, 3, 3, 3, 22}},
      // 143 left: 22, 24 and 28 fit a fair share; 36 and 60 share the
      // remaining 69.
      {"200 columns", lab, 200, {12, 17, 22, 28, 34, 24, 35, 14}},
      {"short columns keep their width", {8, 17, 6, 5, 5, 4, 80, 4}, 70, {8, 17, 6, 5, 5, 4, 7, 4}},
      {"too narrow for the address and MAC", lab, 40, {3, 5, 3, 3, 3, 3, 3, 3}},
      {"narrower than the gaps", lab, 5, {0, 0, 3, 3, 3, 3, 3, 3}},
  };
  for (const auto& c : cases) {
    const Widths got = fit_columns(c.natural, c.terminal);
    EXPECT_EQ(got, c.expected) << c.what;
    for (std::size_t i = 0; i < kColumnCount; ++i) EXPECT_LE(got[i], c.natural[i]) << c.what;
    if (c.terminal >= kColumnGap * (kColumnCount - 1) + 6 * 3) {
      EXPECT_LE(line_width(got), c.terminal) << c.what;
    }
  }
}

TEST(TerminalTable, TextsAreCutWithoutSplittingACharacter) {
  struct Case {
    const char* text;
    std::size_t width;
    const char* expected;
  } const cases[] = {
      {"Hikvision", 20, "Hikvision"},
      {"Hikvision", 9, "Hikvision"},
      {"Hikvision", 8, "Hikvisi\xE2\x80\xA6"},
      {"Hikvision", 1, "\xE2\x80\xA6"},
      {"Hikvision", 0, ""},
      {"", 0, ""},
      {"Kamera \xC5\xBC\xC3\xB3\xC5\x82ta", 9, "Kamera \xC5\xBC\xE2\x80\xA6"},  // żółta
      {"\xC5\xBC\xC3\xB3\xC5\x82", 3, "\xC5\xBC\xC3\xB3\xC5\x82"},
  };
  for (const auto& c : cases) {
    const std::string got = fit_text(c.text, c.width);
    EXPECT_EQ(got, c.expected) << c.text << " in " << c.width;
    EXPECT_LE(display_width(got), c.width) << c.text;
  }
}

DeviceRow row(std::u16string ip, std::u16string mac, std::u16string vendor, std::u16string name,
              int accent) {
  DeviceRow r;
  r.columns[kColIp] = std::move(ip);
  r.columns[kColMac] = std::move(mac);
  r.columns[kColVendor] = std::move(vendor);
  r.columns[kColName] = std::move(name);
  r.columns[kColModel] = u"DS-2CD2143G2-I";
  r.columns[kColProtocols] = u"SADP, ONVIF";
  r.columns[kColInfo] = u"firmware V5.7.3 build 220112, serial DS-2CD2143G2-I20220101AAWRJ00000";
  r.accent_index = accent;
  return r;
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

TEST(TerminalTable, OneLinePerItemInTheGivenOrderThenTheStatus) {
  const std::vector<DeviceRow> rows = {
      row(u"10.79.1.20", u"44:19:B6:00:00:20", u"Hangzhou Hikvision", u"Kamera wej\u015Bcie", 1),
      row(u"10.79.1.3", u"E4:24:6C:00:00:03", u"Zhejiang Dahua", u"Rejestrator", 2),
      row(u"10.79.1.9", u"02:00:00:00:00:09", u"", u"name\u001B[31mred\u009B", 0),
  };
  const std::vector<std::size_t> order = {1, 0, 2, 7};  // 7: out of range, skipped
  const std::string status =
      "Urz\xC4\x85"
      "dzenia 3";
  struct Case {
    std::size_t width;
    bool colour;
  } const cases[] = {{80, false}, {200, false}, {80, true}, {0, false}, {40, false}};
  for (const auto& c : cases) {
    const std::string text = render_table(rows, order, status, {c.width, c.colour});
    const auto lines = lines_of(text);
    ASSERT_EQ(lines.size(), 5u) << c.width;
    EXPECT_EQ(lines[4], status);
    if (c.width == 0 || c.width >= 80) {
      EXPECT_NE(lines[0].find("Adres IP"), std::string::npos);
      EXPECT_EQ(lines[1].find("10.79.1.3"), c.colour ? lines[1].find('m') + 1 : 0u);
      EXPECT_NE(lines[2].find("10.79.1.20"), std::string::npos);
      EXPECT_NE(lines[3].find("10.79.1.9"), std::string::npos);
    }
    for (const auto& line : lines) {
      // No device text can move the cursor or recolour the terminal.
      EXPECT_EQ(line.find("\x1b[31m"), std::string::npos) << line;
      EXPECT_EQ(line.find("\xC2\x9B"), std::string::npos) << line;
      if (c.width == 0 || c.colour) continue;
      EXPECT_LE(display_width(line), c.width) << line;
      EXPECT_EQ(line.find('\x1b'), std::string::npos) << line;
    }
    if (c.colour) {
      EXPECT_EQ(lines[0].rfind("\x1b[1m", 0), 0u);  // bold header
      // Dahua's accent differs from Hikvision's; the third row has none.
      EXPECT_EQ(lines[1].rfind("\x1b[38;2;", 0), 0u);
      EXPECT_NE(lines[1].substr(0, 20), lines[2].substr(0, 20));
      EXPECT_EQ(lines[3].find("\x1b[38"), std::string::npos);
      EXPECT_EQ(lines[1].substr(lines[1].size() - 4), "\x1b[0m");
    }
  }
  // The MAC stays whole at 80 columns; long texts end in an ellipsis.
  const auto narrow = lines_of(render_table(rows, order, status, {80, false}));
  EXPECT_NE(narrow[1].find("E4:24:6C:00:00:03"), std::string::npos);
  EXPECT_NE(narrow[1].find("\xE2\x80\xA6"), std::string::npos);
  const auto wide = lines_of(render_table(rows, order, status, {200, false}));
  EXPECT_NE(wide[2].find("Kamera wej\xC5\x9B"
                         "cie"),
            std::string::npos);
}

TEST(TerminalTable, StateIsTheLastColumnInTheListsWords) {
  struct Case {
    std::uint8_t state;
    const char* text;
  } const cases[] = {
      {0, ""},
      {kStateNotActivated | kStateIpConflict | kStateGone,
       "nieaktywne, konflikt IP, od\xC5\x82\xC4\x85"
       "czone"},
  };
  std::vector<DeviceRow> rows;
  std::vector<std::size_t> order;
  for (const Case& c : cases) {
    DeviceRow& r = rows.emplace_back(row(u"10.79.1.20", u"44:19:B6:00:00:20", u"", u"", 1));
    r.state = c.state;
    r.columns[kColState] = state_text(c.state);
    order.push_back(order.size());
  }
  const auto lines = lines_of(render_table(rows, order, "", {0, false}));
  ASSERT_EQ(lines.size(), std::size(cases) + 2);
  EXPECT_TRUE(lines[0].ends_with(" Stan")) << lines[0];
  // Every text before the column is ASCII in the rows: bytes are columns.
  const std::size_t column = display_width(lines[0]) - display_width("Stan");
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    // Rows with nothing to say end with the information column.
    const std::string& line = lines[i + 1];
    EXPECT_EQ(line.size() > column ? line.substr(column) : "", cases[i].text) << line;
  }
}

TEST(TerminalTable, EnglishUnlessTheLocaleIsPolish) {
  std::vector<DeviceRow> rows = {row(u"10.79.1.20", u"44:19:B6:00:00:20", u"", u"", 1)};
  rows[0].state = kStateNotActivated | kStateIpConflict;
  rows[0].columns[kColState] = state_text(rows[0].state);
  const std::vector<std::size_t> order = {0};
  TableOptions english{0, true, false, true};
  const auto lines = lines_of(render_table(rows, order, "", english));
  EXPECT_EQ(lines[0].rfind("\x1b[1mIP address  MAC address", 0), 0u) << lines[0];
  EXPECT_EQ(lines[1].rfind("\x1b[38;5;", 0), 0u) << lines[1];  // 256 colours
  EXPECT_TRUE(lines[1].ends_with("not activated, IP conflict\x1b[0m")) << lines[1];
  VendorTable vendors;
  DeviceTable table(vendors);
  const std::vector<std::u16string> messages = {u"", kSendFailedStatus, u"other"};
  EXPECT_EQ(
      status_line(table, 1234567, 89, messages, true),
      "Devices 0 \xC2\xB7 Hikvision 0 \xC2\xB7 Dahua 0 \xC2\xB7 Ubiquiti 0 \xC2\xB7 MikroTik 0 "
      "\xC2\xB7 Espressif 0 \xC2\xB7 Others 0  \xC2\xB7  Packets 1234567 \xC2\xB7 Bytes 89  "
      "\xC2\xB7  sending the requests failed  \xC2\xB7  other");
}

TEST(TerminalTable, StatusLineCountsMakersAndTraffic) {
  VendorTable vendors;
  DeviceTable table(vendors);
  const std::vector<std::u16string> messages = {u"", u"B\u0142\u0105d wysy\u0142ania zapyta\u0144"};
  const std::string line = status_line(table, 1234567, 89, messages);
  EXPECT_EQ(line.rfind("Urz\xC4\x85"
                       "dzenia 0",
                       0),
            0u)
      << line;
  EXPECT_NE(line.find("Hikvision 0"), std::string::npos) << line;
  EXPECT_NE(line.find("Pakiety 1\xE2\x80\xAF"
                      "234\xE2\x80\xAF"
                      "567"),
            std::string::npos)
      << line;
  EXPECT_NE(line.find("Bajty 89"), std::string::npos) << line;
  EXPECT_TRUE(
      line.ends_with("  \xC2\xB7  B\xC5\x82\xC4\x85"
                     "d wysy\xC5\x82"
                     "ania zapyta\xC5\x84"))
      << line;
  EXPECT_EQ(line.find("\xC2\xB7  \xC2\xB7"), std::string::npos);  // the empty message is left out
}

}  // namespace
}  // namespace norvane::tool
