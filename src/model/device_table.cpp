#include "model/device_table.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "base/address.h"
#include "base/display_text.h"
#include "model/classify.h"

namespace norvane {
namespace {

constexpr std::uint32_t bit(int column) { return 1u << column; }

bool only_spaces(std::u16string_view text) {
  return text.find_first_not_of(u' ') == std::u16string_view::npos;
}

}  // namespace

std::size_t AddressKeyHash::operator()(const AddressKey& key) const noexcept {
  std::array<std::uint8_t, 20> bytes{};
  std::memcpy(bytes.data(), &key.family, sizeof key.family);
  std::memcpy(bytes.data() + 4, key.bytes.data(), key.bytes.size());
  return static_cast<std::size_t>(keyed_hash(bytes, process_hash_key()));
}

AddressKey address_key_from_text(std::u16string_view text) {
  AddressKey key;
  // Address texts are ASCII; anything else simply does not parse.
  std::string narrow;
  narrow.reserve(text.size());
  for (char16_t c : text) {
    if (c == 0 || c > 0x7F) return key;
    narrow.push_back(static_cast<char>(c));
  }
  if (parse_ipv4(narrow, key.bytes.data())) {
    key.family = kAfInet;
  } else if (parse_ipv6(narrow, key.bytes.data())) {
    key.family = kAfInet6;
  } else {
    key.bytes.fill(0);
  }
  return key;
}

DeviceTable::DeviceTable(const VendorTable& vendors, DevicePresenter* presenter)
    : vendors_(vendors), presenter_(presenter) {}

const AddressGroup* DeviceTable::find_group(const AddressKey& key) const {
  const auto it = groups_.find(key);
  return it == groups_.end() ? nullptr : &it->second;
}

AddressGroup* DeviceTable::find_group(const AddressKey& key) {
  const auto it = groups_.find(key);
  return it == groups_.end() ? nullptr : &it->second;
}

void DeviceTable::clear() {
  rows_.clear();
  index_.clear();
  arp_cache_.clear();
  groups_.clear();
}

void DeviceTable::reclassify_all() {
  for (const auto& [key, row_index] : index_) {
    classify(rows_[row_index], key, vendors_);
  }
}

// State of one merge: the row, its change mask and whether any field
// priority moved (which can change the member a group shows).
struct DeviceTable::MergeState {
  DeviceRow& row;
  std::uint32_t mask = 0;
  bool priority_changed = false;
};

void DeviceTable::set_field(MergeState& m, int column, std::string_view value,
                            std::int32_t priority) {
  std::int32_t* slot = nullptr;
  switch (column) {
    case kColIp:
      slot = &m.row.ip_priority;
      break;
    case kColName:
      slot = &m.row.name_priority;
      break;
    case kColModel:
      slot = &m.row.model_priority;
      break;
    case kColInfo:
      slot = &m.row.info_priority;
      break;
    default:
      return;
  }
  if (value.empty() || priority < *slot) return;
  // Most merges repeat what the row already shows: convert into a reused
  // buffer and copy only when the cell really changes.
  to_display_text(value, scratch_);
  if (only_spaces(scratch_)) return;
  if (*slot != priority) m.priority_changed = true;
  *slot = priority;
  std::u16string& cell = m.row.columns[static_cast<std::size_t>(column)];
  if (scratch_ == cell) return;
  cell = scratch_;
  m.mask |= bit(column);
  if (column == kColIp) m.row.address = address_key_from_text(cell);
}

void DeviceTable::add_protocol(MergeState& m, std::string_view protocol, int priority) {
  std::vector<std::string>& names = m.row.protocol_names;
  if (protocol.empty() || names.size() >= kMaxProtocols) return;
  if (std::find(names.begin(), names.end(), protocol) != names.end()) return;
  const auto at = std::find_if(names.begin(), names.end(), [priority](const std::string& p) {
    return protocol_priority(p) < priority;
  });
  names.insert(at, std::string(protocol));
  std::u16string joined;
  for (const std::string& p : names) {
    if (!joined.empty()) joined += u", ";
    joined += to_display_text(p);
  }
  m.row.columns[kColProtocols] = std::move(joined);
  m.mask |= bit(kColProtocols);
}

void DeviceTable::merge(const PacketSummary& s) {
  // 1. Key: the MAC text, else "#" and the IP text.
  if (s.mac.empty() && s.ip.empty()) return;
  std::string ip_key;
  if (s.mac.empty()) ip_key = "#" + s.ip;
  const std::string& key = s.mac.empty() ? ip_key : s.mac;

  // 2-4. Find or create the row.
  std::size_t row_index = 0;
  bool is_new = false;
  std::uint32_t mask = 0;
  if (const auto found = index_.find(key); found != index_.end()) {
    row_index = found->second;
  } else {
    if (s.protocol == proto::kArp && s.name.empty() && s.model.empty() && s.info.empty()) {
      // A bare ARP observation only teaches an address for later. Without a
      // sender MAC there is nothing to file it under: an entry keyed by the
      // empty text would hand this address to every row without MAC.
      if (s.ip.empty() || s.mac.empty()) return;
      const auto cached = arp_cache_.find(s.mac);
      if (cached != arp_cache_.end()) {
        cached->second = s.ip;
      } else if (arp_cache_.size() < kMaxArpEntries) {
        arp_cache_.emplace(s.mac, s.ip);
      }
      return;
    }
    if (rows_.size() >= kMaxRows) return;
    row_index = rows_.size();
    index_.emplace(key, row_index);
    rows_.emplace_back();
    rows_.back().columns[kColMac] = to_display_text(s.mac);
    is_new = true;
    mask = bit(kColMac);
  }

  DeviceRow& row = rows_[row_index];
  MergeState m{row, mask, false};

  // 5. Remember the address.
  const AddressKey old_address = row.address;

  // 6. ARP fill.
  if (is_new || row.ip_priority <= 10) {
    auto entry = arp_cache_.end();
    bool own_entry = false;
    if (!s.mac.empty()) {
      entry = arp_cache_.find(s.mac);
      own_entry = entry != arp_cache_.end();
    }
    if (entry == arp_cache_.end() && s.ip.empty() && !s.source_mac.empty() &&
        s.source_mac != s.mac) {
      entry = arp_cache_.find(s.source_mac);
    }
    if (entry != arp_cache_.end()) {
      set_field(m, kColIp, entry->second, 11);
      add_protocol(m, proto::kArp, 1);
      // The MAC now has a row that holds the address; an entry found under
      // the frame's source MAC belongs to another device and stays.
      if (own_entry) arp_cache_.erase(entry);
    }
  }

  // 7. Fields and protocol.
  const int p = protocol_priority(s.protocol);
  const bool ipv6 = s.ip.find(':') != std::string::npos;
  set_field(m, kColIp, s.ip, ipv6 ? p : p + 10);
  set_field(m, kColName, s.name, p);
  set_field(m, kColModel, s.model, p);
  set_field(m, kColInfo, s.info, p);
  add_protocol(m, s.protocol, p);

  // 8. Classification.
  if (is_new || (m.mask & (bit(kColModel) | bit(kColProtocols))) != 0) {
    m.mask |= classify(row, s.mac, vendors_);
  }

  // 9. Address change.
  if (row.address != old_address) {
    if (old_address.family != kAfUnspec) {
      const auto old_group = groups_.find(old_address);
      if (old_group != groups_.end()) {
        std::vector<std::size_t>& members = old_group->second.rows;
        members.erase(std::remove(members.begin(), members.end(), row_index), members.end());
        if (members.empty()) {
          if (presenter_ && !old_group->second.item.empty()) {
            presenter_->remove_item(old_group->second.item);
          }
          groups_.erase(old_group);
        } else if (presenter_) {
          presenter_->update_group(old_group->second, std::nullopt, 0);
        }
      }
    }
    // A row without address had an item of its own, and so had a device
    // that shared its old address with other devices; from now on the row
    // is shown through the group of its new address.
    if (presenter_ && !row.item.empty()) presenter_->remove_item(row.item);
    if (row.address.family != kAfUnspec) {
      groups_[row.address].rows.push_back(row_index);
    }
  }

  // 10. Presentation.
  if (!presenter_) return;
  if (row.address.family != kAfUnspec) {
    if (m.mask != 0 || m.priority_changed) {
      presenter_->update_group(groups_.at(row.address), row_index, m.mask);
    }
  } else if (m.mask != 0) {
    presenter_->update_row(row_index, m.mask);
  }
}

}  // namespace norvane
