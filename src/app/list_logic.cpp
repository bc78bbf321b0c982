#include "app/list_logic.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <tuple>
#include <utility>

#include "base/address.h"
#include "base/case_fold.h"
#include "model/packet_summary.h"

namespace norvane {

namespace {

constexpr std::size_t kCategoryOther = 5;

bool is_ipv6(const DeviceRow& row) noexcept { return row.address.family == kAfInet6; }

std::size_t category_tab(std::int32_t category) noexcept {
  if (category < 0 || category >= static_cast<std::int32_t>(kCategoryOther)) return kTabOther;
  return static_cast<std::size_t>(category);
}

// Whether a row of maker category `category` (0 to 5) at an address of
// `family` passes the filter: row_visible for every row of a group at once.
bool category_visible(std::size_t category, std::uint32_t family,
                      const FilterState& filter) noexcept {
  if (filter.solo && filter.solo_index == kTabIpv6) return family == kAfInet6;
  if (family == kAfInet6 && !filter.checks[kTabIpv6]) return false;
  return filter.checks[category < kCategoryOther ? category : kTabOther];
}

// The best of the ranked rows in the categories `take` accepts.
template <typename Take>
const RowRank* best_ranked(const std::array<RankedRows, kRankCategories>& ranked,
                           Take take) noexcept {
  const RowRank* best = nullptr;
  for (std::size_t c = 0; c < kRankCategories; ++c) {
    if (ranked[c].empty() || !take(c)) continue;
    const RowRank& first = *ranked[c].begin();
    if (!best || BetterRank{}(first, *best)) best = &first;
  }
  return best;
}

// The member with the highest score among those `take` accepts, a MAC
// counting first when `mac_first` is set; on equal scores the lower index.
template <typename Take>
std::optional<std::size_t> pick_row(std::span<const DeviceRow> rows,
                                    std::span<const std::size_t> members, Take take,
                                    bool mac_first) noexcept {
  std::optional<std::size_t> best;
  std::tuple<int, int, int, std::size_t, std::int64_t> best_score{};
  for (const std::size_t index : members) {
    if (index >= rows.size()) continue;
    const DeviceRow& row = rows[index];
    if (!take(index, row)) continue;
    const RowRank rank = row_rank(row, index);
    const auto score = std::make_tuple(mac_first ? rank.mac : 0, rank.filled, rank.has_model,
                                       rank.length, rank.priorities);
    // Strictly greater: on a tie the row met first (lower index, since rows
    // join their group in index order) keeps its place.
    if (!best || score > best_score || (score == best_score && index < *best)) {
      best = index;
      best_score = score;
    }
  }
  return best;
}

}  // namespace

bool same_filter(const FilterState& a, const FilterState& b) noexcept {
  if (a.checks != b.checks || a.solo != b.solo) return false;
  return !a.solo || a.solo_index == b.solo_index;
}

bool row_visible(const DeviceRow& row, const FilterState& filter) noexcept {
  if (filter.solo && filter.solo_index == kTabIpv6) return is_ipv6(row);
  if (is_ipv6(row) && !filter.checks[kTabIpv6]) return false;
  return filter.checks[category_tab(row.category)];
}

std::optional<FilterState> filter_after_click(const FilterState& now, std::size_t tab,
                                              bool checked) noexcept {
  if (tab >= kFilterTabCount || now.checks[tab] == checked) return std::nullopt;
  FilterState next = now;
  // The "IPv6" solo shows the IPv6 devices of every maker, which its lone
  // check mark cannot say: leaving it starts from every maker and IPv6.
  if (now.solo && now.solo_index == kTabIpv6) next.checks.fill(true);
  next.checks[tab] = checked;
  next.solo = false;
  next.solo_index = 0;
  return next;
}

FilterState filter_after_solo(const FilterState& now, std::size_t tab) noexcept {
  FilterState next = now;
  if (tab >= kFilterTabCount) return next;
  if (now.solo && now.solo_index == tab) {
    next.checks = now.saved_checks;
    next.solo = false;
    next.solo_index = 0;
    return next;
  }
  // Only the first solo remembers the checks, so that leaving a chain of
  // solo clicks restores what the user had chosen by hand.
  if (!now.solo) next.saved_checks = now.checks;
  next.checks.fill(false);
  next.checks[tab] = true;
  // A maker shown alone keeps its IPv6 devices as the "IPv6" tab had them:
  // capture often knows a device only by its IPv6 address at first.
  if (tab != kTabIpv6) next.checks[kTabIpv6] = now.checks[kTabIpv6];
  next.solo = true;
  next.solo_index = tab;
  return next;
}

std::optional<std::size_t> best_group_row(std::span<const DeviceRow> rows,
                                          std::span<const std::size_t> members,
                                          const FilterState& filter) noexcept {
  return pick_row(
      rows, members, [&](std::size_t, const DeviceRow& row) { return row_visible(row, filter); },
      false);
}

std::optional<std::size_t> primary_device(std::span<const DeviceRow> rows,
                                          std::span<const std::size_t> members,
                                          const FilterState& filter) noexcept {
  const auto visible = pick_row(
      rows, members,
      [&](std::size_t, const DeviceRow& row) {
        return is_device_row(row) && row_visible(row, filter);
      },
      false);
  if (visible) return visible;
  // Every device is filtered out: the rows without a device of their own
  // still need one item to join, which shows them if they are visible.
  return pick_row(
      rows, members, [](std::size_t, const DeviceRow& row) { return is_device_row(row); }, false);
}

std::optional<std::size_t> best_shown_row(std::span<const DeviceRow> rows,
                                          std::span<const std::size_t> members,
                                          std::optional<std::size_t> primary,
                                          const FilterState& filter) noexcept {
  return pick_row(
      rows, members,
      [&](std::size_t index, const DeviceRow& row) {
        if (index != primary && is_device_row(row)) return false;
        return !row.left_behind && row_visible(row, filter);
      },
      true);
}

void present_row(std::span<DeviceRow> rows, std::size_t row, std::uint32_t mask,
                 const FilterState& filter, ItemSink& sink) {
  if (row >= rows.size()) return;
  DeviceRow& r = rows[row];
  if (!row_visible(r, filter)) {
    if (!r.item.empty()) sink.remove_item(r.item);
    return;
  }
  if (mask != 0 || r.item.empty()) sink.set_item(r.item, row, mask);
}

void present_group(std::span<DeviceRow> rows, AddressGroup& group,
                   std::optional<std::size_t> changed_row, std::uint32_t mask,
                   const FilterState& filter, ItemSink& sink, bool every_member) {
  if (group.rows.empty() || group.rows.front() >= rows.size()) return;
  // Every member shares the address, so a category says whether a member
  // is visible; the group ranks its members per category, so nothing here
  // walks the group unless every member is to be seen to.
  const AddressKey address = rows[group.rows.front()].address;
  const auto in_group = [&](std::size_t row) {
    return row < rows.size() && rows[row].address == address;
  };
  const auto visible = [&](std::size_t c) { return category_visible(c, address.family, filter); };
  const RowRank* device = best_ranked(group.devices, visible);
  if (!device) device = best_ranked(group.devices, [](std::size_t) { return true; });
  const std::size_t primary = device ? device->row : AddressGroup::kNone;

  if (device) {
    // Lines keep the device they show when the primary device changes: the
    // group's item stays with the device it showed, as that device's own
    // item, and the new primary brings its own item to the group, if it had
    // one. Only an item that showed no device of its own is given up.
    const std::uint64_t shown = group.item.shown_row;
    const bool shown_device = !group.item.empty() && shown != primary &&
                              in_group(static_cast<std::size_t>(shown)) &&
                              is_device_row(rows[static_cast<std::size_t>(shown)]) &&
                              rows[static_cast<std::size_t>(shown)].item.empty();
    if (shown_device) {
      rows[static_cast<std::size_t>(shown)].item =
          std::exchange(group.item, std::exchange(rows[primary].item, {}));
    } else if (!rows[primary].item.empty()) {
      ListItemLink former = std::exchange(group.item, std::exchange(rows[primary].item, {}));
      if (!former.empty()) sink.remove_item(former);
    }
  }

  const auto mask_for = [&](std::size_t row) {
    return !changed_row || *changed_row == row ? mask : 0u;
  };
  // What the group's item shows: the primary device, or a row that joins
  // it with more to show (a MAC first); nothing while every device is
  // filtered out, so that an answer without MAC does not show up as a
  // maker of its own; without devices, the best visible row.
  std::optional<std::size_t> best;
  if (!device || row_visible(rows[primary], filter)) {
    const RowRank* joiner = best_ranked(group.joiners, visible);
    const RowRank* shown = device;
    if (joiner && (!shown || BetterRank{}(*joiner, *shown))) shown = joiner;
    if (shown) best = shown->row;
  }
  if (!best) {
    if (!group.item.empty()) sink.remove_item(group.item);
  } else {
    const std::uint32_t m = mask_for(*best);
    if (m != 0 || group.item.empty() || *best != group.item.shown_row) {
      sink.set_item(group.item, *best, m);
    }
  }

  // The devices of their own: the one that changed and the one that was
  // primary before, or all of them.
  const auto present_device = [&](std::size_t index) {
    if (!in_group(index) || index == primary) return;
    DeviceRow& row = rows[index];
    if (!is_device_row(row) || !row_visible(row, filter)) {
      if (!row.item.empty()) sink.remove_item(row.item);
      return;
    }
    const std::uint32_t m = mask_for(index);
    if (m != 0 || row.item.empty() || row.item.shown_row != index) {
      sink.set_item(row.item, index, m);
    }
  };
  if (every_member) {
    for (const std::size_t index : group.rows) present_device(index);
  } else {
    if (changed_row) present_device(*changed_row);
    if (group.presented_primary != AddressGroup::kNone &&
        (!changed_row || group.presented_primary != *changed_row)) {
      present_device(group.presented_primary);
    }
  }
  group.presented_primary = primary;
}

void present_all(DeviceTable& table, std::uint32_t mask, const FilterState& filter,
                 ItemSink& sink) {
  const std::span<DeviceRow> rows = table.mutable_rows();
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (rows[i].address.family == kAfUnspec) present_row(rows, i, mask, filter, sink);
  }
  for (auto& entry : table.groups()) {
    present_group(rows, entry.second, std::nullopt, mask, filter, sink, true);
  }
}

int compare_ignore_case(std::u16string_view a, std::u16string_view b) noexcept {
  return compare_ordinal_ignore_case(a, b);
}

SortKey make_sort_key(std::span<const DeviceRow> rows, std::size_t row, int column) {
  SortKey key;
  key.row = row;
  if (row >= rows.size() || column < 0 || column >= kColumnCount) return key;
  key.valid = true;
  const DeviceRow& r = rows[row];
  const std::u16string& text = r.columns[static_cast<std::size_t>(column)];
  key.empty = text.empty();
  if (key.empty) return key;
  if (column == kColIp && r.address.family != kAfUnspec) {
    key.has_address = true;
    key.address = r.address;
    return key;
  }
  key.text = text;
  return key;
}

int compare_sort_keys(const SortKey& a, const SortKey& b, bool ascending) noexcept {
  const auto tie = [&] { return a.row < b.row ? -1 : (a.row > b.row ? 1 : 0); };
  if (!a.valid || !b.valid) return tie();
  if (a.empty != b.empty) return a.empty ? 1 : -1;
  if (a.empty) return tie();
  if (a.has_address != b.has_address) return a.has_address ? -1 : 1;
  int result = 0;
  if (a.has_address) {
    if (a.address.family != b.address.family) {
      result = a.address.family < b.address.family ? -1 : 1;
    } else {
      result = std::memcmp(a.address.bytes.data(), b.address.bytes.data(), a.address.bytes.size());
      result = result < 0 ? -1 : (result > 0 ? 1 : 0);
    }
  } else {
    result = compare_ignore_case(a.text, b.text);
  }
  if (result == 0) return tie();
  return ascending ? result : -result;
}

int compare_rows(std::span<const DeviceRow> rows, std::size_t r1, std::size_t r2, int column,
                 bool ascending) {
  return compare_sort_keys(make_sort_key(rows, r1, column), make_sort_key(rows, r2, column),
                           ascending);
}

std::vector<std::size_t> sorted_positions(std::span<const DeviceRow> rows,
                                          std::span<const std::size_t> items, int column,
                                          bool ascending) {
  struct Entry {
    SortKey key;
    std::size_t position;
  };
  std::vector<Entry> entries;
  entries.reserve(items.size());
  for (std::size_t i = 0; i < items.size(); ++i) {
    entries.push_back({make_sort_key(rows, items[i], column), i});
  }
  // The keys end in the row index, so the order is total and the same
  // whichever algorithm sorts by it. The entries themselves are sorted, so
  // that the comparisons read neighbouring memory; a list that is still in
  // order (the usual case between two ticks) costs one pass.
  const auto before = [&](const Entry& x, const Entry& y) {
    const int c = compare_sort_keys(x.key, y.key, ascending);
    return c < 0 || (c == 0 && x.position < y.position);
  };
  if (!std::is_sorted(entries.begin(), entries.end(), before)) {
    std::sort(entries.begin(), entries.end(), before);
  }
  std::vector<std::size_t> order;
  order.reserve(entries.size());
  for (const auto& e : entries) order.push_back(e.position);
  return order;
}

std::array<int, kColumnCount> fit_column_widths(int client_width, int dpi, bool reset,
                                                const std::array<int, kColumnCount>& current) {
  const auto s = [&](int v) { return scale_px(v, dpi); };
  const int w = client_width;
  std::array<int, kColumnCount> out = current;
  if (w <= 0) return out;
  const int design = std::max(w, s(730));
  constexpr std::size_t kFitted = kColumnCount - 1;  // the last column takes the rest

  std::array<int, kFitted> widths{};
  if (reset) {
    // Address, MAC and vendor hold texts of a known length: a share of the
    // design width, at least what their usual texts need. The free texts
    // share the rest; "Informacje" (firmware and service texts, cut by
    // their ellipsis anyway) gives way to "Stan", which keeps close to a
    // third of it for a state such as "brama poza podsiecią" whole.
    widths[kColIp] = std::max(s(120), design * 13 / 100);
    widths[kColMac] = std::max(s(150), design * 15 / 100);
    widths[kColVendor] = std::max(s(95), design * 10 / 100);
    const int rest = design - widths[kColIp] - widths[kColMac] - widths[kColVendor];
    widths[kColName] = rest * 18 / 100;
    widths[kColModel] = rest * 23 / 100;
    widths[kColProtocols] = rest * 14 / 100;
    widths[kColInfo] = rest * 16 / 100;
  } else {
    for (std::size_t i = 0; i < kFitted; ++i) widths[i] = std::max(current[i], 0);
  }
  int total = 0;
  for (const int v : widths) total += v;

  // Room for the fitted columns: the last column keeps at least a fifth of
  // the list (at most S(100)); a reset also keeps the proportions of the
  // design width when the list is narrower than it.
  int room = w - std::max(std::min(s(100), w / 5), 1);
  if (reset) room = std::min(room, mul_div(total, w, design));
  room = std::max(room, 0);

  int sum = 0;
  int previous_edge = 0;
  for (std::size_t i = 0; i < kFitted; ++i) {
    sum += widths[i];
    const int edge = total > room ? mul_div(sum, room, total) : sum;
    out[i] = edge - previous_edge;
    previous_edge = edge;
  }
  out[kFitted] = w - previous_edge;
  return out;
}

std::optional<std::u16string> browser_address(std::u16string_view ip_text) {
  if (ip_text.empty()) return std::nullopt;
  const AddressKey key = address_key_from_text(ip_text);
  if (key.family == kAfInet) return u"http://" + std::u16string(ip_text);
  if (key.family == kAfInet6) return u"http://[" + std::u16string(ip_text) + u"]";
  return std::nullopt;
}

std::optional<std::u16string> outside_subnet_notice(std::u16string_view ip_text,
                                                    const LocalNetwork& local) {
  const AddressKey key = address_key_from_text(ip_text);
  // The same test that gives the row its "poza podsiecią".
  if (key.family != kAfInet || local.ipv4 == 0 ||
      (settings_state(key, DeviceSettings{}, false, local) & kStateOutsideSubnet) == 0) {
    return std::nullopt;
  }
  std::uint8_t own[4];
  std::memcpy(own, &local.ipv4, sizeof own);  // network order: the bytes as written
  std::u16string text = u"Adres ";
  text += ip_text;
  text += u" jest poza podsieci\u0105 karty (";
  for (const char c : format_ipv4(own)) text += static_cast<char16_t>(c);
  text += u'/';
  for (const char c : std::to_string(local.prefix_length)) text += static_cast<char16_t>(c);
  text += u").";
  return text;
}

}  // namespace norvane
