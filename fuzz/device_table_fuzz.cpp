// One input is a script of merges into one device table: each step takes a
// protocol, a MAC and an IP from small sets (so that rows, ARP entries and
// address groups meet often) and a name and model from the input bytes.
// After every merge the table's structure is checked: every row with an
// address is listed exactly once in its own group, no other row is in any
// group, no group is empty, and the index, protocol lists and texts keep
// their limits. The list's items, kept by the list's own rules in memory,
// are checked too: no item lost or left behind, every device of a group on
// a line of its own, each row on one line at most. Departures, ARP claims,
// settings and the adapter's network come in too: every row's "Stan" must
// match its state, and an address in conflict marks each of its claimants.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>

#include "app/list_model.h"
#include "base/display_text.h"
#include "model/device_table.h"
#include "vendors/vendor_table.h"

namespace {

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "device-table-fuzz: %s\n", what);
  std::abort();
}

constexpr std::string_view kProtocols[] = {
    "SADP", "SADP L2", "Dahua", "Ubiquiti", "MNDP", "ONVIF", "LLDP",
    "CDP",  "mDNS",    "SSDP",  "LLMNR",    "ARP",  "IPv4",  "EtherType 0x8033"};
constexpr std::string_view kMacs[] = {"",
                                      "00:11:22:33:44:55",
                                      "00:11:22:33:44:66",
                                      "BC:32:5F:00:00:01",
                                      "4C:1F:CC:00:00:02",
                                      "00:1B:C5:0A:00:01"};
constexpr std::string_view kIps[] = {"",        "192.168.1.10", "192.168.1.11", "10.0.0.1",
                                     "fe80::1", "fe80::2",      "not an ip",    "::ffff:10.0.0.1"};

class Script {
 public:
  Script(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool done() const { return pos_ >= size_; }
  std::uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  std::string text() {
    const std::size_t length = std::min<std::size_t>(byte() % 40, size_ - std::min(pos_, size_));
    std::string out(reinterpret_cast<const char*>(data_ + pos_), length);
    pos_ += length;
    return out;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

void check(const norvane::DeviceTable& table) {
  using norvane::kAfUnspec;
  if (table.size() > norvane::kMaxRows || table.index().size() != table.size()) {
    fail("index and rows disagree");
  }
  if (table.arp_cache().size() > norvane::kMaxArpEntries) fail("ARP cache over its limit");
  std::size_t grouped = 0;
  for (const auto& [key, group] : table.groups()) {
    if (group.rows.empty()) fail("empty group kept");
    if (key.family == kAfUnspec) fail("group without address");
    for (std::size_t r : group.rows) {
      if (r >= table.size() || !(table.row(r).address == key)) fail("row in a foreign group");
      if (std::count(group.rows.begin(), group.rows.end(), r) != 1) fail("row twice in group");
    }
    grouped += group.rows.size();
  }
  std::size_t with_address = 0;
  for (const norvane::DeviceRow& row : table.rows()) {
    if (row.address.family != kAfUnspec) ++with_address;
    if (row.protocol_names.size() > norvane::kMaxProtocols) fail("too many protocols");
    for (int c = 0; c < norvane::kColumnCount; ++c) {
      if (c != norvane::kColProtocols &&
          row.columns[static_cast<std::size_t>(c)].size() > norvane::kDisplayTextLimit) {
        fail("column text too long");
      }
    }
  }
  if (grouped != with_address) fail("rows with address not all grouped");
  for (const norvane::DeviceRow& row : table.rows()) {
    if (row.columns[norvane::kColState] != norvane::state_text(row.state)) fail("stale state");
    if (((row.state & norvane::kStateGone) != 0) != row.gone) fail("departure not in the state");
  }
  if (table.arp_claims().size() > norvane::kMaxClaimedAddresses) fail("too many claims");
  for (const auto& [key, group] : table.groups()) {
    std::size_t claimants = 0;
    for (const std::size_t r : group.rows) {
      const norvane::DeviceRow& row = table.row(r);
      claimants += row.claimant ? 1 : 0;
      if (row.claimant && group.claimants[row.claimant_slot] != r) fail("claimant list off");
      const bool shown = (row.state & norvane::kStateIpConflict) != 0;
      if (shown != (group.conflict && row.claimant)) fail("conflict not on its claimants");
    }
    if (claimants != group.claimants.size()) fail("claimant count off");
  }
}

// The items after a merge: each link names a live item of its own, shows a
// row that exists and passes the filter; with nothing filtered out, a group
// has one line per device row (or one, without any), on which each of its
// devices appears exactly once.
void check_items(const norvane::DeviceTable& table, const norvane::ListModel& list) {
  using norvane::ListItemLink;
  std::unordered_set<std::uint32_t> ids;
  const auto link_ok = [&](const ListItemLink& link) {
    if (link.empty()) return;
    if (!ids.insert(link.item_id).second) fail("one item on two links");
    if (link.shown_row >= table.size()) fail("item shows no row");
    if (!norvane::row_visible(table.row(static_cast<std::size_t>(link.shown_row)), list.filter())) {
      fail("item shows a filtered row");
    }
  };
  for (std::size_t i = 0; i < table.size(); ++i) {
    const ListItemLink& own = table.row(i).item;
    link_ok(own);
    if (!own.empty() && own.shown_row != i) fail("a row's own item shows another row");
  }
  for (const auto& [key, group] : table.groups()) {
    link_ok(group.item);
    // The group's rankings choose what a walk over its members would.
    const auto primary = norvane::primary_device(table.rows(), group.rows, list.filter());
    std::optional<std::size_t> best;
    if (!primary || norvane::row_visible(table.row(*primary), list.filter())) {
      best = norvane::best_shown_row(table.rows(), group.rows, primary, list.filter());
    }
    if (best.has_value() != !group.item.empty() || (best && group.item.shown_row != *best)) {
      fail("the group's line shows another row than its members' best");
    }
    std::size_t ranked = 0, evidence = 0;
    for (const auto& set : group.devices) ranked += set.size();
    for (const auto& set : group.joiners) ranked += set.size();
    for (const std::size_t r : group.rows) {
      const norvane::DeviceRow& row = table.row(r);
      if (row.group_slot >= group.rows.size() || group.rows[row.group_slot] != r) {
        fail("group slot off");
      }
      evidence += norvane::is_evidence_row(row) ? 1 : 0;
      const bool should = norvane::is_device_row(row) || !row.left_behind;
      if (should != (row.ranked != norvane::DeviceRow::Ranked::kNo)) fail("rank missing");
      if (!(row.rank == norvane::row_rank(row, r))) fail("stale rank");
      ranked -= should ? 1 : 0;
    }
    if (ranked != 0) fail("ranked rows outside the group");
    if (evidence != group.evidence) fail("evidence count off");
  }
  if (ids.size() != list.item_count() || list.shown_rows().size() != ids.size()) {
    fail("items lost or left behind");
  }
  if (!norvane::same_filter(list.filter(), norvane::FilterState{})) return;
  for (const auto& [key, group] : table.groups()) {
    const auto primary = norvane::primary_device(table.rows(), group.rows, list.filter());
    std::size_t devices = 0;
    std::size_t items = group.item.empty() ? 0 : 1;
    for (const std::size_t r : group.rows) {
      const norvane::DeviceRow& row = table.row(r);
      if (norvane::is_device_row(row)) {
        ++devices;
        // The primary device is the group's line; every other has its own.
        if ((r == primary) == !row.item.empty()) fail("a device on no line or on two");
      } else if (!row.item.empty()) {
        fail("a row that is no device has a line of its own");
      }
      items += row.item.empty() ? 0 : 1;
    }
    // Without a device, the group is one line unless all that is left was
    // left behind by a device that moved away.
    const bool anything = std::any_of(group.rows.begin(), group.rows.end(),
                                      [&](std::size_t r) { return !table.row(r).left_behind; });
    if (items != (devices > 0 ? devices : (anything ? 1 : 0))) fail("not one line per device");
  }
  for (std::size_t i = 0; i < table.size(); ++i) {
    if (table.row(i).address.family == norvane::kAfUnspec && table.row(i).item.empty()) {
      fail("a row without address has no line");
    }
  }
}

// Checks each call against the table: rows shown on their own have no
// address, a group that is told about a changed row holds it, and only
// existing items are removed. The list's rules then keep the items.
class CheckingPresenter : public norvane::DevicePresenter {
 public:
  explicit CheckingPresenter(norvane::DeviceTable& table) : table_(table), list_(table) {}
  norvane::ListModel& list() { return list_; }
  void update_row(std::size_t row, std::uint32_t mask) override {
    if (row >= table_.size() || table_.row(row).address.family != norvane::kAfUnspec) {
      fail("update_row for a row with address");
    }
    if (mask == 0 || mask >= (1u << norvane::kColumnCount)) fail("update_row with bad mask");
    list_.update_row(row, mask);
  }
  void update_group(norvane::AddressGroup& group, std::optional<std::size_t> changed,
                    std::uint32_t mask) override {
    if (changed && std::find(group.rows.begin(), group.rows.end(), *changed) == group.rows.end()) {
      fail("update_group for a row outside the group");
    }
    if (group.rows.empty()) fail("update_group on an empty group");
    if (mask >= (1u << norvane::kColumnCount)) fail("update_group with bad mask");
    list_.update_group(group, changed, mask);
  }
  void remove_item(norvane::ListItemLink& item) override {
    if (item.empty()) fail("remove_item without item");
    list_.remove_item(item);
  }

 private:
  norvane::DeviceTable& table_;
  norvane::ListModel list_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  norvane::VendorTable vendors;
  vendors.insert(norvane::make_prefix_key(24, 0xBC325F), "Zhejiang Dahua Technology Co., Ltd.");
  norvane::DeviceTable table(vendors);
  CheckingPresenter presenter(table);
  table.set_presenter(&presenter);
  Script script(data, size);
  while (!script.done()) {
    norvane::PacketSummary s;
    const std::uint8_t op = script.byte();
    if (op == 0xFF) {
      table.clear();
      presenter.list().clear();
      continue;
    }
    if (op == 0xFD) {
      // A filter tab clicked (even bytes) or shown alone (odd bytes).
      const std::uint8_t tab = script.byte();
      const norvane::FilterState& now = presenter.list().filter();
      norvane::FilterState next = now;
      if (tab & 1) {
        next = norvane::filter_after_solo(now, (tab >> 1) % norvane::kFilterTabCount);
      } else if (const auto clicked = norvane::filter_after_click(
                     now, (tab >> 1) % norvane::kFilterTabCount,
                     !now.checks[(tab >> 1) % norvane::kFilterTabCount])) {
        next = *clicked;
      }
      presenter.list().set_filter(next);
      check_items(table, presenter.list());
      continue;
    }
    if (op == 0xFE) {
      table.reclassify_all();
      continue;
    }
    if (op == 0xFC) {
      // The adapter's network: 192.168.1.11/24 or none.
      norvane::LocalNetwork local;
      if (script.byte() & 1) {
        const std::uint8_t own[4] = {192, 168, 1, 11};
        std::memcpy(&local.ipv4, own, 4);
        local.prefix_length = 24;
        local.mac = "02:00:00:00:00:01";
      }
      table.set_local_network(local);
      check(table);
      check_items(table, presenter.list());
      continue;
    }
    s.protocol = kProtocols[op % std::size(kProtocols)];
    const std::uint8_t who = script.byte();
    s.mac = kMacs[who % std::size(kMacs)];
    s.ip = kIps[(who / 8) % std::size(kIps)];
    s.source_mac = kMacs[(who / 64) % std::size(kMacs)];
    const std::uint8_t fields = script.byte();
    if (fields & 1) s.name = script.text();
    if (fields & 2) s.model = script.text();
    if (fields & 4) s.info = script.text();
    s.departure = (fields & 8) != 0;
    s.arp_claim = (fields & 16) != 0;
    if (fields & 32) {
      constexpr std::string_view kMasks[] = {"255.255.255.0", "255.255.0.0", "255.0.255.0"};
      constexpr std::string_view kGateways[] = {"192.168.1.1", "10.0.0.1", "0.0.0.0"};
      s.settings.activated = (fields & 64) != 0;
      s.settings.mask = kMasks[(fields >> 6) % 3];
      s.settings.gateway = kGateways[who % 3];
    }
    table.merge(s);
    check(table);
    check_items(table, presenter.list());
  }
  return 0;
}
