// Rules of the device list that need no window: which rows are visible under
// the filter tabs, which row an address group shows, the sort order, the
// column widths and the address opened in the browser.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/layout_logic.h"
#include "model/device_table.h"

namespace norvane {

// Filter tabs in their order on screen.
enum FilterTab : std::size_t {
  kTabHikvision = 0,
  kTabDahua = 1,
  kTabUbiquiti = 2,
  kTabMikroTik = 3,
  kTabEspressif = 4,
  kTabIpv6 = 5,
  kTabOther = 6,
};

struct FilterState {
  std::array<bool, kFilterTabCount> checks{true, true, true, true, true, true, true};
  std::array<bool, kFilterTabCount> saved_checks{};  // checks from before a tab went solo
  std::uint64_t solo_index = 0;
  bool solo = false;
};

// True when the two states show the same rows: same checks, same solo flag
// and, while solo, the same tab.
bool same_filter(const FilterState& a, const FilterState& b) noexcept;

bool row_visible(const DeviceRow& row, const FilterState& filter) noexcept;

// A left click toggled tab `tab` to `checked`. Nothing when the tab already
// had that state; otherwise the new state, which always leaves solo mode:
// the solo checks plus the click, or, leaving an "IPv6" solo, every tab
// checked plus the click.
std::optional<FilterState> filter_after_click(const FilterState& now, std::size_t tab,
                                              bool checked) noexcept;

// A right or middle click on tab `tab`: show it alone (a maker together with
// its IPv6 devices when the "IPv6" tab is checked), or, when it already is,
// bring back the checks from before.
FilterState filter_after_solo(const FilterState& now, std::size_t tab) noexcept;

// The member of an address group that its list item shows: the visible row
// with the most of name, model and information, preferring one with a
// model, then more text, then higher field priorities, then the lower index.
std::optional<std::size_t> best_group_row(std::span<const DeviceRow> rows,
                                          std::span<const std::size_t> members,
                                          const FilterState& filter) noexcept;

// The device of an address group whose item the group's other rows join:
// the visible device row that best_group_row picks, else, when no device
// row is visible, the best of all of them; nothing when the group holds no
// device row.
std::optional<std::size_t> primary_device(std::span<const DeviceRow> rows,
                                          std::span<const std::size_t> members,
                                          const FilterState& filter) noexcept;

// What the group's own item shows: among the visible members that are not
// devices of their own (every member but the other device rows) and were
// not left behind by a device that moved, rows with a MAC before rows
// without, then best_group_row's score and index.
std::optional<std::size_t> best_shown_row(std::span<const DeviceRow> rows,
                                          std::span<const std::size_t> members,
                                          std::optional<std::size_t> primary,
                                          const FilterState& filter) noexcept;

// Where the rules below create, rewrite and delete list items: the window's
// list view, or a list kept in memory.
class ItemSink {
 public:
  virtual ~ItemSink() = default;
  // Creates or updates the linked item so that it shows `row`, writing the
  // columns in `mask` (all of them for a new or re-targeted item).
  virtual void set_item(ListItemLink& link, std::size_t row, std::uint32_t mask) = 0;
  // Deletes the linked item, if it still exists, and empties the link.
  virtual void remove_item(ListItemLink& link) = 0;
};

// A row without address: its own item while it is visible.
void present_row(std::span<DeviceRow> rows, std::size_t row, std::uint32_t mask,
                 const FilterState& filter, ItemSink& sink);

// An address group: one item for the primary device together with the rows
// that are no device of their own (the group's link), and one item for each
// other device row (the row's own link). While every device of the group is
// filtered out, the rows that join them are hidden with them. `changed_row` and `mask` say what
// the merge changed; items that show other rows are only re-targeted.
// The group's own rankings choose, so that the cost does not grow with the
// group; only `every_member` (a new filter) looks at each member.
void present_group(std::span<DeviceRow> rows, AddressGroup& group,
                   std::optional<std::size_t> changed_row, std::uint32_t mask,
                   const FilterState& filter, ItemSink& sink, bool every_member = false);

// Every row without address, then every address group, after the filter
// changed: `mask` names the columns to rewrite in items kept as they were.
void present_all(DeviceTable& table, std::uint32_t mask, const FilterState& filter, ItemSink& sink);

// Ordinal comparison of UTF-16 texts ignoring case, in every script: each
// code unit upper-cased on its own, as the system's ordinal comparison does
// (negative, zero or positive).
int compare_ignore_case(std::u16string_view a, std::u16string_view b) noexcept;

// Sort order of two rows in a column: negative when r1 goes first. Empty
// texts go last and rows with an address go before rows without in both
// directions; equal keys keep the order of discovery (row index).
int compare_rows(std::span<const DeviceRow> rows, std::size_t r1, std::size_t r2, int column,
                 bool ascending);

// What compare_rows looks at, taken from a row once so that sorting many
// items compares prepared keys. The text is a view into the row: a key is
// valid only while the rows are unchanged.
struct SortKey {
  std::size_t row = 0;
  bool valid = false;        // the row exists
  bool empty = true;         // the column's text is empty
  bool has_address = false;  // column 0 with a parsable address
  AddressKey address;
  std::u16string_view text;  // compared ignoring case
};

SortKey make_sort_key(std::span<const DeviceRow> rows, std::size_t row, int column);
int compare_sort_keys(const SortKey& a, const SortKey& b, bool ascending) noexcept;

// The positions of `items` (rows shown, in list order) in sorted order.
std::vector<std::size_t> sorted_positions(std::span<const DeviceRow> rows,
                                          std::span<const std::size_t> items, int column,
                                          bool ascending);

// Column widths for a list client width. With reset every column but the
// last ("Stan") starts from its proportional default, otherwise from
// `current`; they are squeezed into the room left for them and the last
// column takes the rest.
std::array<int, kColumnCount> fit_column_widths(int client_width, int dpi, bool reset,
                                                const std::array<int, kColumnCount>& current);

// The address a double click on column 0 opens: "http://" + IPv4 text, or
// "http://[" + IPv6 text + "]"; nothing when the text is neither.
std::optional<std::u16string> browser_address(std::u16string_view ip_text);

// Said when a device's page is opened at an IPv4 address outside the
// adapter's subnet, where the browser may not reach it: "Adres
// 192.168.1.64 jest poza podsiecią karty (10.79.1.1/24)."; nothing for an
// address inside it, an IPv6 address, or while the adapter has no IPv4
// address.
std::optional<std::u16string> outside_subnet_notice(std::u16string_view ip_text,
                                                    const LocalNetwork& local);

}  // namespace norvane
