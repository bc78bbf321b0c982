// A DevicePresenter that records every call the device table makes and keeps
// the list links the way the list view does (an item per shown row or group,
// removed items forgotten), so tests can assert exact call sequences.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <utility>
#include <vector>

#include "model/device_table.h"

namespace norvane::testing {

struct PresenterCall {
  enum Kind { kRow, kGroup, kRemove };
  Kind kind = kRow;
  std::size_t row = 0;                            // update_row: the row
  std::optional<std::size_t> changed_row;         // update_group: the changed row
  std::uint32_t mask = 0;                         // update_row / update_group
  std::vector<std::size_t> members;               // update_group: the group's rows
  std::uint32_t item_id = ListItemLink::kNoItem;  // remove_item: the item removed

  friend bool operator==(const PresenterCall&, const PresenterCall&) = default;
};

inline PresenterCall row_call(std::size_t row, std::uint32_t mask) {
  PresenterCall c;
  c.kind = PresenterCall::kRow;
  c.row = row;
  c.mask = mask;
  return c;
}

inline PresenterCall group_call(std::vector<std::size_t> members,
                                std::optional<std::size_t> changed, std::uint32_t mask) {
  PresenterCall c;
  c.kind = PresenterCall::kGroup;
  c.changed_row = changed;
  c.mask = mask;
  c.members = std::move(members);
  return c;
}

inline PresenterCall remove_call(std::uint32_t item_id) {
  PresenterCall c;
  c.kind = PresenterCall::kRemove;
  c.item_id = item_id;
  return c;
}

inline std::ostream& operator<<(std::ostream& os, const PresenterCall& c) {
  switch (c.kind) {
    case PresenterCall::kRow:
      return os << "update_row(" << c.row << ", mask " << c.mask << ")";
    case PresenterCall::kGroup: {
      os << "update_group({";
      for (std::size_t i = 0; i < c.members.size(); ++i) os << (i ? "," : "") << c.members[i];
      os << "}, ";
      if (c.changed_row) {
        os << *c.changed_row;
      } else {
        os << "none";
      }
      return os << ", mask " << c.mask << ")";
    }
    case PresenterCall::kRemove:
      return os << "remove_item(" << c.item_id << ")";
  }
  return os;
}

class RecordingPresenter : public DevicePresenter {
 public:
  explicit RecordingPresenter(DeviceTable& table) : table_(table) {}

  void update_row(std::size_t row, std::uint32_t mask) override {
    calls.push_back(row_call(row, mask));
    ListItemLink& link = table_.row(row).item;
    if (link.empty()) link.item_id = next_id_++;
    link.shown_row = row;
  }

  void update_group(AddressGroup& group, std::optional<std::size_t> changed_row,
                    std::uint32_t mask) override {
    calls.push_back(group_call(group.rows, changed_row, mask));
    if (group.rows.empty()) return;
    if (group.item.empty()) group.item.item_id = next_id_++;
    group.item.shown_row = group.rows.front();
  }

  void remove_item(ListItemLink& item) override {
    calls.push_back(remove_call(item.item_id));
    item = ListItemLink{};
  }

  // The calls so far, forgetting them.
  std::vector<PresenterCall> take() { return std::exchange(calls, {}); }

  std::vector<PresenterCall> calls;

 private:
  DeviceTable& table_;
  std::uint32_t next_id_ = 100;
};

}  // namespace norvane::testing
