#include "app/list_logic.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <numeric>
#include <string>
#include <vector>

namespace norvane {
namespace {

DeviceRow row_with(std::u16string ip, std::int32_t category = 5) {
  DeviceRow r;
  r.columns[kColIp] = ip;
  r.address = address_key_from_text(ip);
  r.category = category;
  return r;
}

DeviceRow named(std::u16string name, std::u16string model = u"", std::u16string info = u"") {
  DeviceRow r = row_with(u"192.168.1.10");
  r.columns[kColName] = std::move(name);
  r.columns[kColModel] = std::move(model);
  r.columns[kColInfo] = std::move(info);
  return r;
}

TEST(Visibility, TabsByCategoryAndIpv6) {
  FilterState all;
  const DeviceRow hik = row_with(u"10.0.0.1", 0);
  const DeviceRow other = row_with(u"10.0.0.2", 5);
  const DeviceRow hik6 = row_with(u"fe80::1", 0);
  EXPECT_TRUE(row_visible(hik, all));
  EXPECT_TRUE(row_visible(hik6, all));

  FilterState no_v6 = all;
  no_v6.checks[kTabIpv6] = false;
  EXPECT_FALSE(row_visible(hik6, no_v6));  // whatever its maker
  EXPECT_TRUE(row_visible(hik, no_v6));

  FilterState no_other = all;
  no_other.checks[kTabOther] = false;  // category 5 uses the last tab
  EXPECT_FALSE(row_visible(other, no_other));
  EXPECT_TRUE(row_visible(hik, no_other));

  const FilterState v6_solo = filter_after_solo(all, kTabIpv6);
  EXPECT_TRUE(row_visible(hik6, v6_solo));
  EXPECT_FALSE(row_visible(hik, v6_solo));
  EXPECT_FALSE(row_visible(other, v6_solo));
}

TEST(FilterTransitions, SoloAndRestore) {
  FilterState start;
  start.checks[kTabMikroTik] = false;  // a hand-made choice to come back to

  const FilterState dahua = filter_after_solo(start, kTabDahua);
  EXPECT_TRUE(dahua.solo);
  EXPECT_EQ(dahua.solo_index, kTabDahua);
  for (std::size_t i = 0; i < kFilterTabCount; ++i) {
    EXPECT_EQ(dahua.checks[i], i == kTabDahua || i == kTabIpv6) << i;
  }
  EXPECT_EQ(dahua.saved_checks, start.checks);

  // Solo on the same tab again restores the checks from before.
  const FilterState back = filter_after_solo(dahua, kTabDahua);
  EXPECT_FALSE(back.solo);
  EXPECT_EQ(back.checks, start.checks);

  // Solo moves from Dahua to Ubiquiti; leaving it restores the first checks.
  const FilterState ubnt = filter_after_solo(dahua, kTabUbiquiti);
  EXPECT_EQ(ubnt.solo_index, kTabUbiquiti);
  EXPECT_EQ(ubnt.saved_checks, start.checks);
  EXPECT_TRUE(ubnt.checks[kTabUbiquiti]);
  EXPECT_FALSE(ubnt.checks[kTabDahua]);
  EXPECT_EQ(filter_after_solo(ubnt, kTabUbiquiti).checks, start.checks);
}

// Rows of two makers and the rest, each once with IPv4 and once with IPv6,
// through a sequence of clicks: the checks, the solo state and which rows
// are visible afterwards.
TEST(FilterTransitions, SequencesOfClicksAndSolos) {
  const std::vector<DeviceRow> rows = {row_with(u"10.0.0.1", 0), row_with(u"fe80::1", 0),
                                       row_with(u"10.0.0.2", 1), row_with(u"fe80::2", 1),
                                       row_with(u"10.0.0.5", 5), row_with(u"fe80::5", 5)};
  struct Step {
    bool solo;  // a right click; else a left click that set the tab to `checked`
    std::size_t tab;
    bool checked = false;
  };
  struct Case {
    const char* what;
    std::vector<Step> steps;
    const char* checks;   // tabs H D U M E 6 O
    int solo;             // solo tab, -1 for none
    const char* visible;  // rows in order
  };
  const std::vector<Case> cases = {
      {"a maker solo keeps the maker's IPv6 devices", {{true, kTabDahua}}, "0100010", 1, "001100"},
      {"a maker solo with IPv6 unchecked keeps them hidden",
       {{false, kTabIpv6, false}, {true, kTabDahua}},
       "0100000",
       1,
       "001000"},
      {"solo moves to another maker, IPv6 still as it was",
       {{true, kTabDahua}, {true, kTabHikvision}},
       "1000010",
       0,
       "110000"},
      {"an IPv6 solo shows the IPv6 devices of every maker",
       {{true, kTabIpv6}},
       "0000010",
       5,
       "010101"},
      {"a maker click ends an IPv6 solo with every maker and IPv6",
       {{true, kTabIpv6}, {false, kTabHikvision, true}},
       "1111111",
       -1,
       "111111"},
      {"unchecking IPv6 ends its solo with every maker's IPv4 devices",
       {{true, kTabIpv6}, {false, kTabIpv6, false}},
       "1111101",
       -1,
       "101010"},
      {"a maker solo after an IPv6 solo shows all of that maker",
       {{true, kTabIpv6}, {true, kTabDahua}},
       "0100010",
       1,
       "001100"},
      {"leaving that chain restores the checks from before the first solo",
       {{false, kTabOther, false}, {true, kTabIpv6}, {true, kTabDahua}, {true, kTabDahua}},
       "1111110",
       -1,
       "111100"},
      {"a click ending a maker solo keeps the solo checks plus the click",
       {{true, kTabDahua}, {false, kTabOther, true}},
       "0100011",
       -1,
       "001111"},
  };
  for (const auto& c : cases) {
    FilterState state;
    for (const auto& step : c.steps) {
      if (step.solo) {
        state = filter_after_solo(state, step.tab);
      } else if (const auto next = filter_after_click(state, step.tab, step.checked)) {
        state = *next;
      }
    }
    std::string checks;
    for (const bool on : state.checks) checks += on ? '1' : '0';
    std::string visible;
    for (const auto& row : rows) visible += row_visible(row, state) ? '1' : '0';
    EXPECT_EQ(checks, c.checks) << c.what;
    EXPECT_EQ(state.solo ? static_cast<int>(state.solo_index) : -1, c.solo) << c.what;
    EXPECT_EQ(visible, c.visible) << c.what;
  }
}

TEST(FilterTransitions, ClickLeavesSoloKeepingTheSoloSelection) {
  const FilterState solo = filter_after_solo(FilterState{}, kTabDahua);
  EXPECT_FALSE(filter_after_click(solo, kTabDahua, true));  // no change in check state
  const auto clicked = filter_after_click(solo, kTabHikvision, true);
  ASSERT_TRUE(clicked);
  EXPECT_FALSE(clicked->solo);
  EXPECT_TRUE(clicked->checks[kTabDahua]);
  EXPECT_TRUE(clicked->checks[kTabHikvision]);
  EXPECT_FALSE(clicked->checks[kTabUbiquiti]);
  EXPECT_FALSE(filter_after_click(FilterState{}, 99, false));
}

TEST(FilterTransitions, SameFilterComparesSoloIndexOnlyWhileSolo) {
  FilterState a;
  FilterState b;
  b.solo_index = 3;  // ignored while not solo
  EXPECT_TRUE(same_filter(a, b));
  a.solo = b.solo = true;
  EXPECT_FALSE(same_filter(a, b));
  // Solo on a tab whose check set happens to match still counts as a change.
  FilterState only;
  only.checks.fill(false);
  only.checks[kTabDahua] = true;
  EXPECT_FALSE(same_filter(only, filter_after_solo(only, kTabDahua)));
}

TEST(GroupBestRow, ScoresInOrder) {
  struct Case {
    const char* what;
    std::vector<DeviceRow> rows;
    std::size_t want;
  };
  std::vector<Case> cases;
  cases.push_back({"more filled fields win", {named(u"cam"), named(u"cam", u"DS-2")}, 1});
  cases.push_back({"a model wins over info", {named(u"a", u"", u"info"), named(u"a", u"m")}, 1});
  cases.push_back({"longer texts win", {named(u"ab"), named(u"abcd")}, 1});
  {
    DeviceRow low = named(u"ab");
    DeviceRow high = named(u"cd");
    high.name_priority = 6;
    low.name_priority = 2;
    cases.push_back({"higher priorities win", {low, high}, 1});
  }
  cases.push_back({"equal scores keep the lower index", {named(u"ab"), named(u"cd")}, 0});
  for (const auto& c : cases) {
    std::vector<std::size_t> members(c.rows.size());
    std::iota(members.begin(), members.end(), std::size_t{0});
    EXPECT_EQ(best_group_row(c.rows, members, FilterState{}), c.want) << c.what;
  }
}

TEST(GroupBestRow, FilteredOutRowsAreSkipped) {
  std::vector<DeviceRow> rows = {named(u"cam", u"DS-2"), named(u"cam")};
  rows[0].category = kTabDahua;  // the better row, hidden below
  const std::vector<std::size_t> members = {0, 1};
  FilterState no_dahua;
  no_dahua.checks[kTabDahua] = false;
  EXPECT_EQ(best_group_row(rows, members, FilterState{}), 0u);
  EXPECT_EQ(best_group_row(rows, members, no_dahua), 1u);
  no_dahua.checks[kTabOther] = false;
  EXPECT_FALSE(best_group_row(rows, members, no_dahua));
  const std::vector<std::size_t> stale = {7};
  EXPECT_FALSE(best_group_row(rows, stale, FilterState{}));
}

std::vector<std::size_t> sorted_rows(const std::vector<DeviceRow>& rows, int column,
                                     bool ascending) {
  std::vector<std::size_t> items(rows.size());
  std::iota(items.begin(), items.end(), std::size_t{0});
  const auto order = sorted_positions(rows, items, column, ascending);
  // Same answer as the pairwise comparison.
  std::vector<std::size_t> check = items;
  std::sort(check.begin(), check.end(), [&](std::size_t a, std::size_t b) {
    return compare_rows(rows, a, b, column, ascending) < 0;
  });
  EXPECT_EQ(order, check);
  return order;
}

TEST(Sorting, AddressesInNumericOrderIpv4First) {
  const std::vector<DeviceRow> rows = {row_with(u"10.0.0.10"),      row_with(u"fe80::1"),
                                       row_with(u"10.0.0.2"),       row_with(u""),
                                       row_with(u"not-an-address"), row_with(u"2001:db8::1")};
  EXPECT_EQ(sorted_rows(rows, kColIp, true), (std::vector<std::size_t>{2, 0, 5, 1, 4, 3}));
  // Descending reverses the addresses; unparsable and empty texts stay last.
  EXPECT_EQ(sorted_rows(rows, kColIp, false), (std::vector<std::size_t>{1, 5, 0, 2, 4, 3}));
}

TEST(Sorting, EmptyLastAndDiscoveryOrderOnTies) {
  std::vector<DeviceRow> rows(5);
  rows[0].columns[kColName] = u"beta";
  rows[1].columns[kColName] = u"";
  rows[2].columns[kColName] = u"Alpha";
  rows[3].columns[kColName] = u"BETA";  // equal to row 0 ignoring case
  rows[4].columns[kColName] = u"";
  EXPECT_EQ(sorted_rows(rows, kColName, true), (std::vector<std::size_t>{2, 0, 3, 1, 4}));
  EXPECT_EQ(sorted_rows(rows, kColName, false), (std::vector<std::size_t>{0, 3, 2, 1, 4}));
}

TEST(Sorting, IgnoresCaseForPolishAndCyrillicLetters) {
  EXPECT_EQ(compare_ignore_case(u"\u0141\u00F3d\u017A", u"\u0142\u00D3D\u0179"), 0);
  EXPECT_EQ(compare_ignore_case(u"\u043A\u0430\u043C\u0435\u0440\u0430",
                                u"\u041A\u0410\u041C\u0415\u0420\u0410"),
            0);
  EXPECT_LT(compare_ignore_case(u"abc", u"ABD"), 0);
  EXPECT_LT(compare_ignore_case(u"ab", u"abc"), 0);
  // Ordinal after upper-casing: "_" (0x5F) comes after both "Z" and "a".
  EXPECT_LT(compare_ignore_case(u"Z", u"_"), 0);
  EXPECT_LT(compare_ignore_case(u"a", u"_"), 0);
}

TEST(Sorting, OutOfRangeRowsFallBackToIndexOrder) {
  const std::vector<DeviceRow> rows(2);
  EXPECT_LT(compare_rows(rows, 0, 9, kColName, true), 0);
  EXPECT_GT(compare_rows(rows, 9, 0, kColName, false), 0);
  EXPECT_LT(compare_rows(rows, 0, 1, 42, true), 0);
}

int sum(const std::array<int, kColumnCount>& w) {
  int total = 0;
  for (int v : w) total += v;
  return total;
}

TEST(ColumnFit, ResetUsesProportionsAndFillsTheList) {
  using Widths = std::array<int, kColumnCount>;
  const Widths none{};
  // W 1000 at 96 DPI: D 1000; w0 130, w1 150, w2 100, R 620: 111, 142, 86,
  // 99; "Stan" the rest.
  const auto w = fit_column_widths(1000, 96, true, none);
  EXPECT_EQ(w, (Widths{130, 150, 100, 111, 142, 86, 99, 182}));
  EXPECT_EQ(sum(w), 1000);

  // The list at the default window width (990 at 96 DPI less the frame,
  // the margins and a vertical scroll bar), and narrower than S(730):
  // everything shrinks by W / D, the last column keeps at least the room
  // left; every column keeps a share.
  for (const int width : {933, 500}) {
    const auto fitted = fit_column_widths(width, 96, true, none);
    EXPECT_EQ(sum(fitted), width);
    EXPECT_GE(fitted[kColState], 100) << width;
    for (int i = 0; i < kColState; ++i) EXPECT_GT(fitted[static_cast<std::size_t>(i)], 0);
  }
  const auto default_width = fit_column_widths(933, 96, true, none);
  EXPECT_GE(default_width[kColIp], 120);     // "192.168.100.200"
  EXPECT_GE(default_width[kColMac], 150);    // "00:1A:2B:3C:4D:5E"
  EXPECT_GE(default_width[kColState], 160);  // "brama poza podsiecią"
  EXPECT_GE(default_width[kColInfo], 80);
}

TEST(ColumnFit, DraggedWidthsSurviveButAreSqueezed) {
  using Widths = std::array<int, kColumnCount>;
  Widths current = {100, 100, 100, 100, 100, 100, 100, 50};
  // They fit: kept, the last column takes the rest.
  const auto kept = fit_column_widths(1000, 96, false, current);
  EXPECT_EQ(kept, (Widths{100, 100, 100, 100, 100, 100, 100, 300}));
  // Dragged too wide: 1800 squeezed into 1000 - 100 proportionally.
  current = {400, 200, 200, 200, 200, 200, 400, 10};
  const auto squeezed = fit_column_widths(1000, 96, false, current);
  EXPECT_EQ(squeezed, (Widths{200, 100, 100, 100, 100, 100, 200, 100}));
}

TEST(ColumnFit, DegenerateWidths) {
  const std::array<int, kColumnCount> current = {10, 10, 10, 10, 10, 10, 10, 10};
  EXPECT_EQ(fit_column_widths(0, 96, true, current), current);
  EXPECT_EQ(fit_column_widths(-5, 96, false, current), current);
  const auto one = fit_column_widths(1, 96, false, current);
  EXPECT_EQ(sum(one), 1);
  for (int v : one) EXPECT_GE(v, 0);
  const std::array<int, kColumnCount> zero{};
  EXPECT_EQ(fit_column_widths(300, 96, false, zero)[kColState], 300);
}

TEST(BrowserAddress, OnlyParsedAddresses) {
  EXPECT_EQ(browser_address(u"192.168.1.64"), u"http://192.168.1.64");
  EXPECT_EQ(browser_address(u"fe80::1"), u"http://[fe80::1]");
  for (const char16_t* bad : {u"", u"example.com", u"192.168.1.64/x", u"javascript:alert(1)",
                              u"192.168.1.256", u"1.2.3.4 --x", u"file://c:/"}) {
    EXPECT_FALSE(browser_address(bad))
        << std::string(bad, bad + std::char_traits<char16_t>::length(bad));
  }
}

TEST(BrowserAddress, NoticeOutsideTheAdaptersSubnet) {
  const auto local = [](std::array<std::uint8_t, 4> ip, int prefix) {
    LocalNetwork n;
    std::memcpy(&n.ipv4, ip.data(), 4);
    n.prefix_length = prefix;
    return n;
  };
  struct Case {
    std::u16string ip;
    LocalNetwork local;
    std::optional<std::u16string> notice;
  };
  const Case cases[] = {
      {u"192.168.1.64", local({10, 79, 1, 1}, 24),
       u"Adres 192.168.1.64 jest poza podsieci\u0105 karty (10.79.1.1/24)."},
      {u"10.80.0.1", local({10, 79, 1, 1}, 16),
       u"Adres 10.80.0.1 jest poza podsieci\u0105 karty (10.79.1.1/16)."},
      {u"10.79.1.200", local({10, 79, 1, 1}, 24), std::nullopt},
      {u"192.168.1.64", local({0, 0, 0, 0}, 0), std::nullopt},  // no IPv4 on the adapter
      {u"fe80::1", local({10, 79, 1, 1}, 24), std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(outside_subnet_notice(c.ip, c.local), c.notice)
        << std::string(c.ip.begin(), c.ip.end());
  }
}

}  // namespace
}  // namespace norvane
