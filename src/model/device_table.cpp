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

std::uint32_t host_order(const std::uint8_t* four) noexcept {
  return std::uint32_t{four[0]} << 24 | std::uint32_t{four[1]} << 16 | std::uint32_t{four[2]} << 8 |
         four[3];
}

std::uint32_t prefix_mask(int prefix_length) noexcept {
  if (prefix_length <= 0) return 0;
  if (prefix_length >= 32) return 0xFFFFFFFFu;
  return ~(0xFFFFFFFFu >> prefix_length);
}

// A dotted IPv4 text in host order.
std::optional<std::uint32_t> ipv4_value(std::string_view text) noexcept {
  std::uint8_t b[4];
  if (!parse_ipv4(text, b)) return std::nullopt;
  return host_order(b);
}

bool is_ipv4(const AddressKey& key) noexcept { return key.family == kAfInet; }

// The text that decoders give for an address (and so the key "#" + text of
// the answers without MAC from it).
std::string address_text(const AddressKey& key) {
  return key.family == kAfInet ? format_ipv4(key.bytes.data()) : format_ipv6(key.bytes.data());
}

// LLDP and CDP name a management address, which may belong to another
// interface or lie behind a router: no claim that this MAC answers on it.
bool neighbour_protocol(std::string_view protocol) noexcept {
  return protocol == proto::kLldp || protocol == proto::kCdp;
}

}  // namespace

const std::array<std::u16string_view, kStateCount> kStateTexts = {
    u"nieaktywne", u"poza podsieci\u0105",       u"konflikt IP",
    u"inna maska", u"brama poza podsieci\u0105", u"od\u0142\u0105czone"};

std::u16string state_text(std::uint8_t state) {
  std::u16string text;
  for (int i = 0; i < kStateCount; ++i) {
    if ((state & (1u << i)) == 0) continue;
    if (!text.empty()) text += u", ";
    text += kStateTexts[static_cast<std::size_t>(i)];
  }
  return text;
}

std::uint8_t settings_state(const AddressKey& address, const DeviceSettings& settings,
                            bool conflict, const LocalNetwork& local) noexcept {
  std::uint8_t state = 0;
  if (settings.activated == false) state |= kStateNotActivated;
  if (!is_ipv4(address)) return state;
  const std::uint32_t ip = host_order(address.bytes.data());
  if (local.ipv4 != 0) {
    const std::uint8_t* own = reinterpret_cast<const std::uint8_t*>(&local.ipv4);
    const std::uint32_t net = prefix_mask(local.prefix_length);
    if ((ip & net) != (host_order(own) & net)) state |= kStateOutsideSubnet;
  }
  if (conflict) state |= kStateIpConflict;
  const auto mask = ipv4_value(settings.mask);
  if (mask && local.ipv4 != 0 && *mask != prefix_mask(local.prefix_length)) {
    state |= kStateMaskDiffers;
  }
  // A gateway of 0.0.0.0 is none at all, not a wrong one.
  const auto gateway = ipv4_value(settings.gateway);
  if (mask && gateway && *gateway != 0 && (*gateway & *mask) != (ip & *mask)) {
    state |= kStateGatewayOutside;
  }
  return state;
}

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
  claims_.clear();
  lru_head_ = lru_tail_ = kNoRow;
}

AddressGroup& DeviceTable::join_group(std::size_t row_index) {
  DeviceRow& row = rows_[row_index];
  AddressGroup& group = groups_[row.address];
  row.group_slot = group.rows.size();
  group.rows.push_back(row_index);
  rerank(group, row_index);
  return group;
}

void DeviceTable::leave_group(AddressGroup& group, std::size_t row_index) {
  DeviceRow& row = rows_[row_index];
  // Order within the group does not matter (ties go by row index): the last
  // member takes the leaver's place.
  const std::size_t last = group.rows.back();
  group.rows[row.group_slot] = last;
  rows_[last].group_slot = row.group_slot;
  group.rows.pop_back();
  set_claimant(group, row_index, false);
  if (row.ranked == DeviceRow::Ranked::kDevice) group.devices[row.rank_category].erase(row.rank);
  if (row.ranked == DeviceRow::Ranked::kJoiner) group.joiners[row.rank_category].erase(row.rank);
  row.ranked = DeviceRow::Ranked::kNo;
  if (row.evidence) --group.evidence;
  row.evidence = false;
}

void DeviceTable::rerank(AddressGroup& group, std::size_t row_index) {
  DeviceRow& row = rows_[row_index];
  const bool evidence = is_evidence_row(row);
  if (evidence != row.evidence) {
    group.evidence = group.evidence + (evidence ? 1 : 0) - (row.evidence ? 1 : 0);
    row.evidence = evidence;
  }
  const DeviceRow::Ranked where = is_device_row(row) ? DeviceRow::Ranked::kDevice
                                  : row.left_behind  ? DeviceRow::Ranked::kNo
                                                     : DeviceRow::Ranked::kJoiner;
  const RowRank rank = row_rank(row, row_index);
  const std::size_t category = rank_category(row.category);
  if (where == row.ranked && rank == row.rank && category == row.rank_category) return;
  const auto sets = [&](DeviceRow::Ranked r) -> std::array<RankedRows, kRankCategories>* {
    if (r == DeviceRow::Ranked::kDevice) return &group.devices;
    if (r == DeviceRow::Ranked::kJoiner) return &group.joiners;
    return nullptr;
  };
  if (auto* from = sets(row.ranked)) (*from)[row.rank_category].erase(row.rank);
  if (auto* to = sets(where)) (*to)[category].insert(rank);
  row.ranked = where;
  row.rank = rank;
  row.rank_category = category;
}

void DeviceTable::lru_unlink(std::size_t i) noexcept {
  DeviceRow& row = rows_[i];
  if (!row.in_lru) return;
  (row.lru_prev == kNoRow ? lru_head_ : rows_[row.lru_prev].lru_next) = row.lru_next;
  (row.lru_next == kNoRow ? lru_tail_ : rows_[row.lru_next].lru_prev) = row.lru_prev;
  row.in_lru = false;
}

void DeviceTable::lru_touch(std::size_t i) noexcept {
  lru_unlink(i);
  DeviceRow& row = rows_[i];
  row.lru_prev = kNoRow;
  row.lru_next = lru_head_;
  if (lru_head_ != kNoRow) rows_[lru_head_].lru_prev = i;
  lru_head_ = i;
  if (lru_tail_ == kNoRow) lru_tail_ = i;
  row.in_lru = true;
}

bool DeviceTable::evict_evidence(std::size_t& freed) {
  if (lru_tail_ == kNoRow) return false;
  const std::size_t victim = lru_tail_;
  lru_unlink(victim);
  DeviceRow& row = rows_[victim];
  index_.erase(row.key);
  if (row.address.family != kAfUnspec) {
    const auto found = groups_.find(row.address);
    if (found != groups_.end()) {
      AddressGroup& group = found->second;
      leave_group(group, victim);
      if (group.rows.empty()) {
        if (presenter_ && !group.item.empty()) presenter_->remove_item(group.item);
        groups_.erase(found);
      } else {
        refresh_group(group, row.address, std::nullopt);
        if (presenter_) presenter_->update_group(group, std::nullopt, 0);
      }
    }
  }
  if (presenter_ && !row.item.empty()) presenter_->remove_item(row.item);
  row = DeviceRow{};
  freed = victim;
  return true;
}

bool BetterRank::operator()(const RowRank& a, const RowRank& b) const noexcept {
  const auto ka = std::tie(a.mac, a.filled, a.has_model, a.length, a.priorities);
  const auto kb = std::tie(b.mac, b.filled, b.has_model, b.length, b.priorities);
  if (ka != kb) return ka > kb;
  return a.row < b.row;
}

std::size_t rank_category(std::int32_t category) noexcept {
  return category < 0 || category >= static_cast<std::int32_t>(kRankCategories)
             ? kRankCategories - 1
             : static_cast<std::size_t>(category);
}

RowRank row_rank(const DeviceRow& row, std::size_t index) noexcept {
  const auto& name = row.columns[kColName];
  const auto& model = row.columns[kColModel];
  const auto& info = row.columns[kColInfo];
  RowRank rank;
  rank.mac = row.columns[kColMac].empty() ? 0 : 1;
  rank.filled = int{!name.empty()} + int{!model.empty()} + int{!info.empty()};
  rank.has_model = model.empty() ? 0 : 1;
  rank.length = name.size() + model.size() + info.size();
  rank.priorities = std::int64_t{row.name_priority} + row.model_priority + row.info_priority;
  rank.row = index;
  return rank;
}

std::size_t AddressGroup::device_count() const noexcept {
  std::size_t n = 0;
  for (const RankedRows& ranked : devices) n += ranked.size();
  return n;
}

bool is_evidence_row(const DeviceRow& row) noexcept {
  return row.protocol_names.empty() || protocol_priority(row.protocol_names.front()) < 2;
}

bool is_device_row(const DeviceRow& row) noexcept {
  // The protocols are kept highest priority first.
  return !row.columns[kColMac].empty() && !row.protocol_names.empty() &&
         protocol_priority(row.protocol_names.front()) >= 2;
}

bool DeviceTable::is_claimant(const DeviceRow& row) const noexcept {
  // A device with a MAC that answered through a discovery protocol (the
  // highest is kept first) from or for the address; one that left does not
  // hold it any more.
  return is_device_row(row) && !row.address_from_neighbour && !row.gone;
}

bool DeviceTable::address_in_conflict(const AddressKey& address, const AddressGroup& group) const {
  if (!is_ipv4(address)) return false;
  // Distinct MACs that use the address: the group's claimant rows (each row
  // has a MAC of its own), the ARP claimants that are not among them, and
  // the adapter itself when the address is its own.
  std::size_t distinct = group.claimants.size();
  const auto counted = [&](std::string_view mac) {
    const auto found = index_.find(mac);
    if (found == index_.end()) return false;
    const DeviceRow& r = rows_[found->second];
    return r.claimant && r.address == address;
  };
  std::string_view claims[kMaxClaimsPerAddress + 1];
  std::size_t n = 0;
  if (const auto c = claims_.find(address); c != claims_.end()) {
    for (std::size_t i = 0; i < c->second.count; ++i) claims[n++] = c->second.macs[i];
  }
  if (local_.ipv4 != 0 && std::memcmp(&local_.ipv4, address.bytes.data(), 4) == 0) {
    // Our own address: frames from our own MAC never become rows.
    claims[n++] = local_.mac.empty() ? std::string_view("#self") : std::string_view(local_.mac);
  }
  for (std::size_t i = 0; i < n && distinct < 2; ++i) {
    if (counted(claims[i])) continue;
    if (std::find(claims, claims + i, claims[i]) != claims + i) continue;
    ++distinct;
  }
  return distinct >= 2;
}

std::uint32_t DeviceTable::refresh_state(DeviceRow& row, bool conflict) {
  std::uint8_t state = settings_state(row.address, row.settings, conflict, local_);
  if (row.gone) state |= kStateGone;
  if (state == row.state) return 0;
  // Other bits name other texts.
  row.state = state;
  row.columns[kColState] = state_text(state);
  return bit(kColState);
}

void DeviceTable::set_claimant(AddressGroup& group, std::size_t row_index, bool claimant) {
  DeviceRow& row = rows_[row_index];
  if (row.claimant == claimant) return;
  if (claimant) {
    row.claimant_slot = group.claimants.size();
    group.claimants.push_back(row_index);
  } else {
    const std::size_t last = group.claimants.back();
    group.claimants[row.claimant_slot] = last;
    rows_[last].claimant_slot = row.claimant_slot;
    group.claimants.pop_back();
  }
  row.claimant = claimant;
}

void DeviceTable::refresh_group(AddressGroup& group, const AddressKey& address,
                                std::optional<std::size_t> skip) {
  const bool conflict = address_in_conflict(address, group);
  if (conflict == group.conflict) return;
  group.conflict = conflict;
  // Only the claimants show a conflict, and an address enters or leaves one
  // while it has two claimant rows at most: no pass over the group.
  for (const std::size_t r : group.claimants) {
    if (r == skip) continue;
    const std::uint32_t mask = refresh_state(rows_[r], conflict);
    if (mask != 0 && presenter_) presenter_->update_group(group, r, mask);
  }
}

void DeviceTable::set_local_network(const LocalNetwork& local) {
  if (local == local_) return;
  local_ = local;
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    if (rows_[i].address.family != kAfUnspec) continue;
    const std::uint32_t mask = refresh_state(rows_[i], false);
    if (mask != 0 && presenter_) presenter_->update_row(i, mask);
  }
  for (auto& [address, group] : groups_) {
    group.conflict = address_in_conflict(address, group);
    for (const std::size_t r : group.rows) {
      const std::uint32_t mask = refresh_state(rows_[r], group.conflict && rows_[r].claimant);
      if (mask != 0 && presenter_) presenter_->update_group(group, r, mask);
    }
  }
}

bool DeviceTable::record_claim(const PacketSummary& s) {
  if (!s.arp_claim || s.mac.empty() || s.ip.empty()) return false;
  AddressKey address;
  if (!parse_ipv4(s.ip, address.bytes.data())) return false;
  address.family = kAfInet;
  auto found = claims_.find(address);
  if (found == claims_.end()) {
    if (claims_.size() >= kMaxClaimedAddresses) return false;
    found = claims_.emplace(address, ClaimSet{}).first;
  }
  ClaimSet& set = found->second;
  const auto end = set.macs.begin() + static_cast<std::ptrdiff_t>(set.count);
  if (std::find(set.macs.begin(), end, s.mac) != end) return false;
  // A flood of claimants for one address: the first few already tell.
  if (set.count >= kMaxClaimsPerAddress) return false;
  set.macs[set.count++] = s.mac;
  return true;
}

void DeviceTable::depart(const PacketSummary& s) {
  // By MAC when the frame gave one; probing alone, the answer's address is
  // all there is: the row of the answers without MAC from it.
  std::string ip_key;
  if (s.mac.empty()) ip_key = "#" + s.ip;
  const auto found = index_.find(s.mac.empty() ? std::string_view(ip_key) : s.mac);
  if (found == index_.end()) return;
  const std::size_t row_index = found->second;
  DeviceRow& row = rows_[row_index];
  if (row.gone) return;
  row.gone = true;
  AddressGroup* group = row.address.family != kAfUnspec ? find_group(row.address) : nullptr;
  if (group) {
    set_claimant(*group, row_index, is_claimant(row));
    refresh_group(*group, row.address, row_index);
  }
  const std::uint32_t mask = refresh_state(row, group && group->conflict && row.claimant);
  if (!presenter_ || mask == 0) return;
  if (group) {
    presenter_->update_group(*group, row_index, mask);
  } else {
    presenter_->update_row(row_index, mask);
  }
}

void DeviceTable::reclassify_all() {
  for (const auto& [key, row_index] : index_) {
    classify(rows_[row_index], key, vendors_);
  }
  // The makers may have changed: where each group ranks its members.
  for (auto& [address, group] : groups_) {
    for (const std::size_t r : group.rows) rerank(group, r);
  }
}

// State of one merge: the row, its change mask and whether any field
// priority moved (which can change the member a group shows).
struct DeviceTable::MergeState {
  DeviceRow& row;
  std::uint32_t mask = 0;
  bool priority_changed = false;
};

bool DeviceTable::set_field(MergeState& m, int column, std::string_view value,
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
      return false;
  }
  if (value.empty() || priority < *slot) return false;
  // Most merges repeat what the row already shows: convert into a reused
  // buffer and copy only when the cell really changes.
  to_display_text(value, scratch_);
  if (only_spaces(scratch_)) return false;
  if (*slot != priority) m.priority_changed = true;
  *slot = priority;
  std::u16string& cell = m.row.columns[static_cast<std::size_t>(column)];
  if (scratch_ == cell) return true;
  cell = scratch_;
  m.mask |= bit(column);
  if (column == kColIp) m.row.address = address_key_from_text(cell);
  return true;
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
  if (s.departure) {
    depart(s);
    return;
  }
  // An ARP claim may put an address into conflict, whether or not its
  // sender has a row.
  if (record_claim(s)) {
    AddressKey address;
    parse_ipv4(s.ip, address.bytes.data());
    address.family = kAfInet;
    if (AddressGroup* g = find_group(address)) refresh_group(*g, address, std::nullopt);
  }
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
    const bool discovery = protocol_priority(s.protocol) >= 2;
    if (!discovery) {
      // Evidence of yet another MAC at an address that has plenty: a flood
      // (a misbehaving box, or someone's packet tool), no new device.
      std::string_view ip = s.ip;
      if (ip.empty() && !s.mac.empty()) {
        if (const auto cached = arp_cache_.find(s.mac); cached != arp_cache_.end()) {
          ip = cached->second;
        }
      }
      if (!ip.empty()) {
        std::u16string text(ip.begin(), ip.end());
        const AddressGroup* g = find_group(address_key_from_text(text));
        if (g && g->evidence >= kMaxEvidenceRowsPerAddress) return;
      }
    }
    if (rows_.size() < kMaxRows) {
      row_index = rows_.size();
      rows_.emplace_back();
    } else if (!discovery || !evict_evidence(row_index)) {
      // A full table takes no new evidence; an answer to a search takes the
      // place of the evidence-only row seen least recently.
      return;
    }
    index_.emplace(key, row_index);
    rows_[row_index].key = key;
    rows_[row_index].columns[kColMac] = to_display_text(s.mac);
    is_new = true;
    mask = bit(kColMac);
  }

  DeviceRow& row = rows_[row_index];
  MergeState m{row, mask, false};
  if (is_new) row.first_seen_ms = merge_time_;
  row.last_seen_ms = merge_time_;

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
      if (set_field(m, kColIp, entry->second, 11)) row.address_from_neighbour = false;
      add_protocol(m, proto::kArp, 1);
      // The MAC now has a row that holds the address; an entry found under
      // the frame's source MAC belongs to another device and stays.
      if (own_entry) arp_cache_.erase(entry);
    }
  }

  // 7. Fields and protocol.
  const int p = protocol_priority(s.protocol);
  const bool ipv6 = s.ip.find(':') != std::string::npos;
  if (set_field(m, kColIp, s.ip, ipv6 ? p : p + 10)) {
    row.address_from_neighbour = neighbour_protocol(s.protocol);
  }
  set_field(m, kColName, s.name, p);
  set_field(m, kColModel, s.model, p);
  set_field(m, kColInfo, s.info, p);
  add_protocol(m, s.protocol, p);
  take_settings(row.settings, s.settings);
  if (!s.port.id.empty()) row.port.id = s.port.id;
  if (!s.port.description.empty()) row.port.description = s.port.description;
  if (s.port.vlan != 0) row.port.vlan = s.port.vlan;
  // Whoever speaks is there.
  row.gone = false;
  if (row.left_behind) {
    row.left_behind = false;
    m.priority_changed = true;  // shown again: the group chooses anew
  }

  // 8. Classification.
  if (is_new || (m.mask & (bit(kColModel) | bit(kColProtocols))) != 0) {
    m.mask |= classify(row, s.mac, vendors_);
  }

  // 9. Address change.
  const bool claimant = is_claimant(row);
  if (row.address != old_address) {
    if (old_address.family != kAfUnspec) {
      const auto old_group = groups_.find(old_address);
      if (old_group != groups_.end()) {
        AddressGroup& old = old_group->second;
        const bool was_device = row.ranked == DeviceRow::Ranked::kDevice;
        leave_group(old, row_index);
        // The last device leaves: what was answered without MAC from the
        // old address stays there, but is no device of its own to list.
        if (was_device && old.device_count() == 0 && !old.rows.empty()) {
          std::string leftover = address_text(old_address);
          leftover.insert(leftover.begin(), '#');
          if (const auto found = index_.find(leftover); found != index_.end()) {
            DeviceRow& left = rows_[found->second];
            if (left.address == old_address) {
              left.left_behind = true;
              rerank(old, found->second);
            }
          }
        }
        if (old.rows.empty()) {
          if (presenter_ && !old.item.empty()) presenter_->remove_item(old.item);
          groups_.erase(old_group);
        } else {
          // The members left behind may be out of conflict now.
          refresh_group(old, old_address, std::nullopt);
          if (presenter_) presenter_->update_group(old, std::nullopt, 0);
        }
      }
    }
    // A row without address had an item of its own, and so had a device
    // that shared its old address with other devices; from now on the row
    // is shown through the group of its new address.
    if (presenter_ && !row.item.empty()) presenter_->remove_item(row.item);
    if (row.address.family != kAfUnspec) join_group(row_index);
  }
  AddressGroup* group = row.address.family != kAfUnspec ? &groups_.at(row.address) : nullptr;
  if (group) {
    set_claimant(*group, row_index, claimant);
    rerank(*group, row_index);
  }
  if (is_evidence_row(row)) {
    lru_touch(row_index);
  } else {
    lru_unlink(row_index);
  }

  // The state, told again: the row's own settings, and whether its address
  // is in conflict, which may change the other claimants' states too.
  if (group) refresh_group(*group, row.address, row_index);
  m.mask |= refresh_state(row, group && group->conflict && row.claimant);

  // 10. Presentation.
  if (!presenter_) return;
  if (group) {
    if (m.mask != 0 || m.priority_changed) presenter_->update_group(*group, row_index, m.mask);
  } else if (m.mask != 0) {
    presenter_->update_row(row_index, m.mask);
  }
}

}  // namespace norvane
