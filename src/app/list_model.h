// The device list's items kept in memory, without a window: the same rules
// as the list view (one item per row without address, one per device of an
// address group, the filter tabs, the list's order), for the command-line
// tools and for tests of what a user would see.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <unordered_map>
#include <vector>

#include "app/list_logic.h"
#include "model/device_table.h"

namespace norvane {

class ListModel final : public DevicePresenter, public ItemSink {
 public:
  // Give the model to the table as its presenter; the table outlives it or
  // drops it first.
  explicit ListModel(DeviceTable& table) : table_(table) {}

  // DevicePresenter
  void update_row(std::size_t row, std::uint32_t mask) override;
  void update_group(AddressGroup& group, std::optional<std::size_t> changed_row,
                    std::uint32_t mask) override;
  void remove_item(ListItemLink& link) override;
  // ItemSink
  void set_item(ListItemLink& link, std::size_t row, std::uint32_t mask) override;

  // A new filter; every row and group is shown again under it.
  void set_filter(const FilterState& filter);
  const FilterState& filter() const noexcept { return filter_; }
  // Forgets every item: call it when the table is cleared.
  void clear() noexcept;

  std::size_t item_count() const noexcept { return rows_.size(); }
  // The rows the items show, in the list's order for a sort column (0 to
  // 6) and direction.
  std::vector<std::size_t> shown_rows(int sort_column = kColIp, bool ascending = true) const;

 private:
  DeviceTable& table_;
  FilterState filter_;
  // Item identifier -> row it shows; identifiers are never reused.
  std::unordered_map<std::uint32_t, std::size_t> rows_;
  std::uint32_t next_id_ = 0;
};

}  // namespace norvane
