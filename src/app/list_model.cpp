#include "app/list_model.h"

#include <algorithm>

namespace norvane {

void ListModel::update_row(std::size_t row, std::uint32_t mask) {
  present_row(table_.mutable_rows(), row, mask, filter_, *this);
}

void ListModel::update_group(AddressGroup& group, std::optional<std::size_t> changed_row,
                             std::uint32_t mask) {
  present_group(table_.mutable_rows(), group, changed_row, mask, filter_, *this,
                !changed_row && mask != 0);
}

void ListModel::remove_item(ListItemLink& link) {
  if (!link.empty()) rows_.erase(link.item_id);
  link = ListItemLink{};
}

void ListModel::set_item(ListItemLink& link, std::size_t row, std::uint32_t) {
  if (row >= table_.size()) return;
  const auto item = link.empty() ? rows_.end() : rows_.find(link.item_id);
  if (item == rows_.end()) {
    // The identifier space is 32 bits and the all-ones value means "none";
    // a model lives for one run, far below either.
    link.item_id = next_id_++;
    rows_[link.item_id] = row;
  } else {
    item->second = row;
  }
  link.shown_row = row;
}

void ListModel::set_filter(const FilterState& filter) {
  filter_ = filter;
  present_all(table_, 0, filter_, *this);
}

void ListModel::clear() noexcept { rows_.clear(); }

std::vector<std::size_t> ListModel::shown_rows(int sort_column, bool ascending) const {
  std::vector<std::pair<std::uint32_t, std::size_t>> items(rows_.begin(), rows_.end());
  // Creation order first, as the list view appends new items, so that the
  // sort's ties fall as in the window.
  std::sort(items.begin(), items.end());
  std::vector<std::size_t> rows;
  rows.reserve(items.size());
  for (const auto& item : items) rows.push_back(item.second);
  const auto order = sorted_positions(table_.rows(), rows, sort_column, ascending);
  std::vector<std::size_t> out;
  out.reserve(order.size());
  for (const std::size_t position : order) out.push_back(rows[position]);
  return out;
}

}  // namespace norvane
