#include "vendors/vendor_table.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <utility>

#include "base/ascii.h"
#include "base/display_text.h"

namespace norvane {

namespace {

// The 48-bit address of a MAC text in one of the three notations, told apart
// by length alone; nullopt for anything else.
std::optional<std::uint64_t> parse_mac_value(std::string_view text) noexcept {
  std::array<bool, 17> separator{};
  char sep = 0;
  switch (text.size()) {
    case 12:
      break;
    case 17:
      sep = text[2];
      if (sep != ':' && sep != '-') return std::nullopt;
      for (std::size_t pos : {2, 5, 8, 11, 14}) separator[pos] = true;
      break;
    case 14:
      sep = '.';
      separator[4] = separator[9] = true;
      break;
    default:
      return std::nullopt;
  }
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (separator[i]) {
      if (text[i] != sep) return std::nullopt;
      continue;
    }
    const int digit = hex_digit(text[i]);
    if (digit < 0) return std::nullopt;
    value = (value << 4) | static_cast<std::uint64_t>(digit);
  }
  return value;
}

std::string_view display_text_of(const VendorEntry& entry) noexcept {
  switch (entry.display) {
    case VendorDisplay::kAsStored:
      return entry.name;
    case VendorDisplay::kNone:
      return {};
    case VendorDisplay::kDahua:
      return "Dahua";
    case VendorDisplay::kHikvision:
      return "Hikvision";
    case VendorDisplay::kUbiquiti:
      return "Ubiquiti";
    case VendorDisplay::kMikroTik:
      return "MikroTik";
    case VendorDisplay::kTpLink:
      return "TP-Link";
  }
  return entry.name;
}

}  // namespace

VendorDisplay classify_vendor_name(std::string_view stored) {
  // Names are at most 512 bytes; a stack copy avoids an allocation. A longer
  // name (not produced by any loader) takes the slow path.
  std::array<char, kVendorNameMax> buffer;
  std::string heap;
  char* lower = buffer.data();
  if (stored.size() > buffer.size()) {
    heap.resize(stored.size());
    lower = heap.data();
  }
  for (std::size_t i = 0; i < stored.size(); ++i) lower[i] = ascii_lower(stored[i]);
  const std::string_view l(lower, stored.size());
  if (l == "private" || l == "ieee registration authority") return VendorDisplay::kNone;
  if (l == "dahua" || l.starts_with("zhejiang dahua technology") ||
      l.starts_with("zhejiang dahua zhilian")) {
    return VendorDisplay::kDahua;
  }
  // One pass for the contained words; the earliest rule in the list wins
  // whatever the position of its word.
  struct Word {
    std::string_view text;
    VendorDisplay display;
    int rank;
  };
  static constexpr Word kWords[] = {{"hikvision", VendorDisplay::kHikvision, 0},
                                    {"ubiquiti", VendorDisplay::kUbiquiti, 1},
                                    {"mikrotik", VendorDisplay::kMikroTik, 2},
                                    {"routerboard.com", VendorDisplay::kMikroTik, 2},
                                    {"tp-link", VendorDisplay::kTpLink, 3}};
  int best = 4;
  VendorDisplay found = VendorDisplay::kAsStored;
  for (std::size_t i = 0; i < l.size() && best > 0; ++i) {
    const Word* word = nullptr;
    switch (l[i]) {
      case 'h':
        word = &kWords[0];
        break;
      case 'u':
        word = &kWords[1];
        break;
      case 'm':
        word = &kWords[2];
        break;
      case 'r':
        word = &kWords[3];
        break;
      case 't':
        word = &kWords[4];
        break;
      default:
        continue;
    }
    if (word->rank < best && l.substr(i, word->text.size()) == word->text) {
      best = word->rank;
      found = word->display;
    }
  }
  return found;
}

namespace {

constexpr std::size_t kNameBlock = std::size_t{1} << 16;

// A key's place in address order: the first 36-bit address of its block,
// shifted left by two, with the length's code (24: 0, 28: 1, 36: 2) below
// it, so that a block comes right before the blocks inside it. A key that
// names no block of the address space (a length other than 24, 28 or 36,
// or a value wider than its length) is placed after every block, by its
// own value with bit 63 set: such keys can be stored, never looked up by
// address.
constexpr std::uint64_t kUnplaced = std::uint64_t{1} << 63;
constexpr std::uint64_t kValueMask = (std::uint64_t{1} << 36) - 1;

constexpr bool storable(PrefixKey key) noexcept { return key != 0 && (key & kUnplaced) == 0; }

std::uint64_t order_of(PrefixKey key) noexcept {
  const std::uint64_t bits = key >> 36;
  const std::uint64_t value = key & kValueMask;
  std::uint64_t code = 0;
  switch (bits) {
    case 24:
      code = 0;
      break;
    case 28:
      code = 1;
      break;
    case 36:
      code = 2;
      break;
    default:
      return kUnplaced | key;
  }
  if ((value >> bits) != 0) return kUnplaced | key;
  return (value << (36 - bits) << 2) | code;
}

constexpr unsigned kCodeBits[] = {24, 28, 36, 0};

PrefixKey key_of(std::uint64_t order) noexcept {
  if ((order & kUnplaced) != 0) return order & ~kUnplaced;
  const unsigned bits = kCodeBits[order & 3];
  return make_prefix_key(bits, (order >> 2) >> (36 - bits));
}

// Whether the block at order holds the 36-bit address prefix m36.
bool covers(std::uint64_t order, std::uint64_t m36) noexcept {
  const unsigned bits = kCodeBits[order & 3];
  return ((m36 - (order >> 2)) >> (36 - bits)) == 0;
}

bool by_order(const VendorTable::Entry& a, const VendorTable::Entry& b) noexcept {
  return order_of(a.first) < order_of(b.first);
}

// How long the side list may grow before it is merged: an insert compares
// its key with the whole list, and a merge moves and indexes the whole
// table, several times the work per entry; a few times the square root of
// the table balances the two.
std::size_t side_limit(std::size_t sorted) noexcept {
  return 32 + static_cast<std::size_t>(4.0 * std::sqrt(static_cast<double>(sorted)));
}

}  // namespace

// ---------------------------------------------------------------------------
// Names

std::string_view VendorNames::store(std::string_view name) {
  if (name.empty()) return {};
  if (name.size() > size_ - used_) {
    // Names longer than a block (no loader makes them) get a block of their
    // own size.
    const std::size_t size = std::max(kNameBlock, name.size());
    blocks_.push_back(std::make_unique<char[]>(size));
    size_ = size;
    used_ = 0;
  }
  char* at = blocks_.back().get() + used_;
  std::memcpy(at, name.data(), name.size());
  used_ += name.size();
  return {at, name.size()};
}

void VendorNames::reserve_blocks(std::size_t count) { blocks_.reserve(blocks_.size() + count); }

void VendorNames::adopt(VendorNames& other) noexcept {
  for (auto& block : other.blocks_) blocks_.push_back(std::move(block));
  other.clear();
  // The last block is now one of other's, partly used: the next name
  // starts a block of its own.
  used_ = 0;
  size_ = 0;
}

void VendorNames::clear() noexcept {
  blocks_.clear();
  used_ = 0;
  size_ = 0;
}

void VendorNames::swap(VendorNames& other) noexcept {
  blocks_.swap(other.blocks_);
  std::swap(used_, other.used_);
  std::swap(size_, other.size_);
}

// ---------------------------------------------------------------------------
// Search keys

namespace {

constexpr std::size_t round_to_group(std::size_t n) noexcept { return (n + 7) / 8 * 8; }

}  // namespace

std::size_t VendorSearchKeys::level_room(std::size_t count) noexcept {
  return round_to_group(count) + kGroup;
}

std::size_t VendorSearchKeys::storage_for(std::size_t count) noexcept {
  if (count == 0) return 0;
  std::size_t total = level_room(count);
  for (std::size_t n = count; n > kGroup;) {
    n = (n + kGroup - 1) / kGroup;
    total += level_room(n);
  }
  return total;
}

// Moves leave an empty index behind, not sizes without storage.
VendorSearchKeys::VendorSearchKeys(VendorSearchKeys&& other) noexcept { swap(other); }

VendorSearchKeys& VendorSearchKeys::operator=(VendorSearchKeys&& other) noexcept {
  VendorSearchKeys moved(std::move(other));
  swap(moved);
  return *this;
}

void VendorSearchKeys::reserve(std::size_t count) {
  if (storage_for(count) > storage_.size()) storage_.resize(storage_for(count));
  if (count >= kBucketsFrom && buckets_.empty()) {
    // Searches use the index as soon as it exists: it must describe the
    // keys already there.
    buckets_.resize(kBuckets + 1);
    fill_buckets();
  }
}

void VendorSearchKeys::fill_buckets() noexcept {
  // Keys outside the address space (bit 63 set) come after every bucket.
  const std::uint64_t* d = data();
  std::size_t at = 0;
  for (std::size_t b = 0; b <= kBuckets; ++b) {
    while (at < size_[0] && (d[at] >> 22) < b) ++at;
    buckets_[b] = static_cast<std::uint32_t>(at);
  }
}

std::uint64_t* VendorSearchKeys::begin_assign(std::size_t count) noexcept {
  levels_ = 0;
  size_.fill(0);
  offset_.fill(0);
  if (count == 0) return nullptr;
  std::size_t at = 0;
  for (std::size_t n = count;; n = (n + kGroup - 1) / kGroup) {
    offset_[levels_] = at;
    size_[levels_] = n;
    at += level_room(n);
    ++levels_;
    if (n <= kGroup) break;
  }
  return data();
}

void VendorSearchKeys::finish_assign() noexcept {
  std::uint64_t* d = data();
  for (std::size_t l = 0; l < levels_; ++l) {
    std::uint64_t* level = d + offset_[l];
    if (l > 0) {
      const std::uint64_t* below = d + offset_[l - 1];
      for (std::size_t i = 0; i < size_[l]; ++i) level[i] = below[i * kGroup];
    }
    // After the last key: above every key, so that a search can compare
    // whole groups.
    std::fill(level + size_[l], level + level_room(size_[l]), ~std::uint64_t{0});
  }
  if (!buckets_.empty()) fill_buckets();
}

namespace {

// How many of the eight keys of a group are not above key: eight
// independent comparisons added pairwise, not one running count that each
// comparison would have to wait for.
inline std::size_t group_count(const std::uint64_t* g, std::uint64_t key) noexcept {
  const auto le = [key](std::uint64_t k) noexcept { return static_cast<std::size_t>(k <= key); };
  return ((le(g[0]) + le(g[1])) + (le(g[2]) + le(g[3]))) +
         ((le(g[4]) + le(g[5])) + (le(g[6]) + le(g[7])));
}

}  // namespace

std::size_t VendorSearchKeys::window(std::uint64_t key) const noexcept {
  if (levels_ == 0) return kNoKeys;
  const std::uint64_t* d = data();
  std::size_t level = levels_ - 1;
  std::size_t count = 0;
  bool counted = false;
  // Keys in the address space are below 2^38: 36 bits of address, 2 of
  // length. The keys of one bucket lie together, those before it not above
  // key and those after it above, so the count lies within the bucket's
  // positions; one level up, within those divided by eight (rounded up).
  // The search starts at the lowest level where that is eight keys or
  // fewer.
  if (!buckets_.empty() && (key >> 38) == 0) {
    std::size_t lo = buckets_[key >> 22];
    std::size_t hi = buckets_[(key >> 22) + 1];
    for (std::size_t l = 0; l < levels_; ++l) {
      if (hi - lo <= kGroup) {
        if (l == 0) return lo;
        level = l;
        count = std::min(lo + group_count(d + offset_[l] + lo, key), size_[l]);
        counted = true;
        break;
      }
      lo = (lo + kGroup - 1) / kGroup;
      hi = (hi + kGroup - 1) / kGroup;
    }
  }
  if (!counted) {
    if (level == 0) return 0;
    count = std::min(group_count(d + offset_[level], key), size_[level]);
  }
  // count keys of a level are not above key; the level below them holds
  // key number 8 * count - 8 (not above key, it was copied up) and key
  // number 8 * count (above it, or past the end), so the answer lies in the
  // aligned group that starts with the first. The padding after the last
  // key counts only for the largest keys, hence the limit.
  while (level-- > 1) {
    if (count == 0) return kNoKeys;
    const std::size_t first = kGroup * (count - 1);
    count = std::min(first + group_count(d + offset_[level] + first, key), size_[level]);
  }
  return count == 0 ? kNoKeys : kGroup * (count - 1);
}

std::size_t VendorSearchKeys::count_in_window(std::size_t first, std::uint64_t key) const noexcept {
  return std::min(first + group_count(data() + first, key), size_[0]);
}

std::size_t VendorSearchKeys::count_not_above(std::uint64_t key) const noexcept {
  const std::size_t first = window(key);
  return first == kNoKeys ? 0 : count_in_window(first, key);
}

void VendorSearchKeys::clear() noexcept {
  storage_.clear();
  buckets_.clear();
  levels_ = 0;
  offset_.fill(0);
  size_.fill(0);
}

void VendorSearchKeys::swap(VendorSearchKeys& other) noexcept {
  storage_.swap(other.storage_);
  buckets_.swap(other.buckets_);
  std::swap(levels_, other.levels_);
  std::swap(offset_, other.offset_);
  std::swap(size_, other.size_);
}

// ---------------------------------------------------------------------------
// The table

VendorTable::VendorTable(const VendorTable& other)
    : sorted_(other.sorted_),
      keys_(other.keys_),
      enclosing_(other.enclosing_),
      recent_(other.recent_) {
  for (Entry& entry : sorted_) entry.second.name = names_.store(entry.second.name);
  for (Entry& entry : recent_) entry.second.name = names_.store(entry.second.name);
}

VendorTable& VendorTable::operator=(const VendorTable& other) {
  if (this != &other) {
    VendorTable copy(other);
    swap(copy);
  }
  return *this;
}

void VendorTable::clear() noexcept {
  sorted_.clear();
  keys_.clear();
  enclosing_.clear();
  recent_.clear();
  names_.clear();
}

void VendorTable::swap(VendorTable& other) noexcept {
  sorted_.swap(other.sorted_);
  keys_.swap(other.keys_);
  enclosing_.swap(other.enclosing_);
  recent_.swap(other.recent_);
  names_.swap(other.names_);
}

void VendorTable::reserve_index(std::size_t count) {
  keys_.reserve(count);
  enclosing_.reserve(count);
}

void VendorTable::reserve(std::size_t count) {
  sorted_.reserve(count);
  reserve_index(count);
}

void VendorTable::index_sorted() noexcept {
  std::uint64_t* keys = keys_.begin_assign(sorted_.size());
  enclosing_.resize(sorted_.size());  // within the reserved room
  // The last 24-bit and 28-bit entries seen: the ones that enclose the
  // current entry, if their blocks hold its start.
  std::uint32_t open24 = kNone;
  std::uint32_t open28 = kNone;
  for (std::size_t i = 0; i < sorted_.size(); ++i) {
    const std::uint64_t order = order_of(sorted_[i].first);
    keys[i] = order;
    enclosing_[i] = (std::uint64_t{kNone} << 32) | kNone;
    if ((order & kUnplaced) != 0) continue;
    const std::uint64_t start = order >> 2;
    if (open24 != kNone && !covers(keys[open24], start)) open24 = kNone;
    if (open28 != kNone && !covers(keys[open28], start)) open28 = kNone;
    enclosing_[i] = (std::uint64_t{open28} << 32) | open24;
    if ((order & 3) == 0) open24 = static_cast<std::uint32_t>(i);
    if ((order & 3) == 1) open28 = static_cast<std::uint32_t>(i);
  }
  keys_.finish_assign();
}

const VendorTable::Entry* VendorTable::find_sorted(std::uint64_t order) const noexcept {
  const std::size_t count = keys_.count_not_above(order);
  return count != 0 && keys_[count - 1] == order ? &sorted_[count - 1] : nullptr;
}

const VendorTable::Entry* VendorTable::find_recent(PrefixKey key) const noexcept {
  for (const Entry& entry : recent_) {
    if (entry.first == key) return &entry;
  }
  return nullptr;
}

VendorTable::Entry* VendorTable::find_recent(PrefixKey key) noexcept {
  return const_cast<Entry*>(std::as_const(*this).find_recent(key));
}

void VendorTable::settle() {
  if (recent_.empty()) return;
  const std::size_t total = sorted_.size() + recent_.size();
  // Growing by half at least, so that a run of inserts reallocates rarely.
  if (total > sorted_.capacity()) reserve(std::max(total, sorted_.capacity() / 2 * 3));
  std::sort(recent_.begin(), recent_.end(), by_order);
  // Nothing below allocates: the side list is merged from its end into the
  // room just made, each run of main entries moving in one copy to its
  // place (found with the search keys, which still describe the main list).
  std::size_t main = sorted_.size();
  std::size_t out = total;
  sorted_.resize(total);
  for (std::size_t side = recent_.size(); side > 0;) {
    const Entry& entry = recent_[--side];
    const std::size_t below = std::min(keys_.count_not_above(order_of(entry.first)), main);
    std::copy_backward(sorted_.begin() + static_cast<std::ptrdiff_t>(below),
                       sorted_.begin() + static_cast<std::ptrdiff_t>(main),
                       sorted_.begin() + static_cast<std::ptrdiff_t>(out));
    out -= main - below;
    main = below;
    sorted_[--out] = entry;
  }
  recent_.clear();
  index_sorted();
}

bool VendorTable::insert(PrefixKey key, std::string_view name) {
  if (!storable(key)) return false;
  const std::uint64_t order = order_of(key);
  if (find_sorted(order) != nullptr || find_recent(key) != nullptr) return false;
  recent_.push_back(Entry{key, VendorEntry{names_.store(name), classify_vendor_name(name)}});
  if (recent_.size() > side_limit(sorted_.size())) settle();
  return true;
}

void VendorTable::insert_or_assign(PrefixKey key, std::string_view name) {
  if (!storable(key)) return;
  const std::uint64_t order = order_of(key);
  Entry* entry = const_cast<Entry*>(find_sorted(order));
  if (entry == nullptr) entry = find_recent(key);
  if (entry == nullptr) {
    insert(key, name);
    return;
  }
  entry->second = VendorEntry{names_.store(name), classify_vendor_name(name)};
}

void VendorTable::insert_or_assign_all(VendorTable&& other) {
  if (&other == this) return;
  settle();
  other.settle();
  // With one side empty the merge is the other side as it stands: no copy
  // and no second index (a registry parsed into the update's empty table,
  // its first step).
  if (other.empty()) return;
  if (empty()) {
    swap(other);
    other.clear();
    return;
  }
  VendorTable merged;
  merged.reserve(sorted_.size() + other.sorted_.size());
  merged.names_.reserve_blocks(names_.block_count() + other.names_.block_count());
  auto mine = sorted_.begin();
  auto theirs = other.sorted_.begin();
  while (mine != sorted_.end() || theirs != other.sorted_.end()) {
    if (theirs == other.sorted_.end() || (mine != sorted_.end() && by_order(*mine, *theirs))) {
      merged.sorted_.push_back(*mine++);
    } else {
      // The same key in both: the other table's name replaces this one's.
      if (mine != sorted_.end() && !by_order(*theirs, *mine)) ++mine;
      merged.sorted_.push_back(*theirs++);
    }
  }
  merged.index_sorted();
  merged.names_.adopt(names_);
  merged.names_.adopt(other.names_);
  swap(merged);
  other.clear();
}

const VendorEntry* VendorTable::find_entry(PrefixKey key) const noexcept {
  if (!storable(key)) return nullptr;
  const std::uint64_t order = order_of(key);
  const Entry* entry = find_sorted(order);
  if (entry == nullptr) entry = find_recent(key);
  return entry ? &entry->second : nullptr;
}

const std::string_view* VendorTable::find(PrefixKey key) const noexcept {
  const VendorEntry* entry = find_entry(key);
  return entry ? &entry->name : nullptr;
}

const VendorEntry* VendorTable::find_longest(std::uint64_t address) const noexcept {
  const std::uint64_t m36 = (address >> 12) & kValueMask;
  const VendorEntry* best = nullptr;
  unsigned best_bits = 0;
  // The last block that starts at or before the address holds it, or one of
  // the blocks around that block does: blocks nest or lie apart, so any
  // block holding the address also holds the start of that last one. Those
  // are its 28-bit and 24-bit blocks, which start where it does with the
  // lower bits cleared.
  const std::uint64_t query = (m36 << 2) | 3;
  const std::size_t first = keys_.window(query);
  std::size_t count = 0;
  if (first != VendorSearchKeys::kNoKeys) {
    // The entry found is most likely one of the eight from first on: their
    // cache lines load while the keys are compared, not after.
    const Entry* candidates = sorted_.data() + first;
    const std::size_t end = std::min<std::size_t>(8, sorted_.size() - first);
    for (std::size_t i = 0; i < end; i += 2) __builtin_prefetch(candidates + i);
    count = keys_.count_in_window(first, query);
  }
  if (count != 0) {
    const std::size_t at = count - 1;
    const std::uint64_t order = keys_[at];
    const std::uint64_t apart = m36 ^ (order >> 2);
    if (covers(order, m36)) {
      best = &sorted_[at].second;
      best_bits = kCodeBits[order & 3];
    } else if ((apart >> 12) == 0) {
      const std::uint64_t around = enclosing_[at];
      const auto in28 = static_cast<std::uint32_t>(around >> 32);
      const auto in24 = static_cast<std::uint32_t>(around);
      if (in28 != kNone && (apart >> 8) == 0) {
        best = &sorted_[in28].second;
        best_bits = 28;
      } else if (in24 != kNone) {
        best = &sorted_[in24].second;
        best_bits = 24;
      }
    }
  }
  if (!recent_.empty()) {
    for (unsigned bits : {36u, 28u, 24u}) {
      if (bits <= best_bits) break;
      const Entry* entry = find_recent(make_prefix_key(bits, address >> (48 - bits)));
      if (entry != nullptr) return &entry->second;
    }
  }
  return best;
}

bool operator==(const VendorTable::Entries& a, const VendorTable::Entries& b) {
  if (a.size() != b.size()) return false;
  for (const auto& [key, entry] : a) {
    const VendorEntry* other = b.table_->find_entry(key);
    if (!other || !(*other == entry)) return false;
  }
  return true;
}

// ---------------------------------------------------------------------------
// Building a table at once

bool VendorTableBuilder::add(PrefixKey key, std::string_view name) {
  if (!storable(key)) return false;
  entries_.push_back(VendorTable::Entry{key, VendorEntry{names_.store(name)}});
  return true;
}

bool VendorTableBuilder::build(VendorTable& target, Repeats repeats) {
  // Sorted by address order held in place of the key while sorting, so that
  // a comparison is one integer compare; stable, so that the last of equal
  // keys stays last. Files saved by the table come in key order (24-bit
  // entries, then 28, then 36), which is address order within each length.
  for (VendorTable::Entry& entry : entries_) entry.first = order_of(entry.first);
  const auto less = [](const VendorTable::Entry& a, const VendorTable::Entry& b) noexcept {
    return a.first < b.first;
  };
  const auto same = [](const VendorTable::Entry& a, const VendorTable::Entry& b) noexcept {
    return a.first == b.first;
  };
  const auto restore_keys = [this] {
    for (VendorTable::Entry& entry : entries_) entry.first = key_of(entry.first);
  };
  // Neither throws: the sort falls back to working in place when it cannot
  // get a buffer.
  if (!std::is_sorted(entries_.begin(), entries_.end(), less)) {
    std::stable_sort(entries_.begin(), entries_.end(), less);
  }
  if (repeats == Repeats::kRefuse) {
    if (std::adjacent_find(entries_.begin(), entries_.end(), same) != entries_.end()) {
      restore_keys();
      return false;
    }
  } else {
    // The last of each run of equal keys.
    std::size_t kept = 0;
    for (std::size_t i = 0; i < entries_.size(); ++i) {
      if (i + 1 < entries_.size() && entries_[i + 1].first == entries_[i].first) continue;
      entries_[kept++] = entries_[i];
    }
    entries_.resize(kept);
  }
  restore_keys();
  for (VendorTable::Entry& entry : entries_) {
    entry.second.display = classify_vendor_name(entry.second.name);
  }
  VendorTable table;
  table.reserve_index(entries_.size());
  table.sorted_.swap(entries_);
  table.index_sorted();
  table.names_.swap(names_);
  target.swap(table);
  return true;
}

std::string vendor_display_name(const VendorTable& table, std::string_view mac) {
  return std::string(vendor_display_view(table, mac));
}

std::string_view vendor_display_view(const VendorTable& table, std::string_view mac) noexcept {
  const std::optional<std::uint64_t> value = parse_mac_value(trim_space(mac));
  if (!value || *value == 0) return {};
  // Group (bit 40) and locally administered (bit 41) addresses carry no
  // assignment.
  if ((*value >> 40) & 0x3u) return {};
  // The longest prefix decides, so an MA-S or MA-M entry overrides the MA-L
  // entry of the block it lies in.
  const VendorEntry* entry = table.find_longest(*value);
  return entry ? display_text_of(*entry) : std::string_view();
}

std::string_view trim_space(std::string_view text) noexcept {
  while (!text.empty() && is_ascii_space(text.front())) text.remove_prefix(1);
  while (!text.empty() && is_ascii_space(text.back())) text.remove_suffix(1);
  return text;
}

std::string clean_vendor_name(std::string_view text) {
  // Cleaned first and trimmed after: a control byte at either end becomes a
  // space that the trim then drops, so a name of nothing but blanks and
  // control bytes is empty and the caller's fallback applies.
  std::string out(text);
  for (char& c : out) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x7F) c = ' ';
  }
  // Tab, CR and LF are spaces by now: only spaces are left to trim.
  const std::size_t first = out.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  out.erase(out.find_last_not_of(' ') + 1);
  out.erase(0, first);
  return out;
}

bool vendor_name_valid(std::string_view text) noexcept {
  return !text.empty() && text.size() <= kVendorNameMax && utf8_valid(text);
}

std::optional<PrefixKey> parse_prefix_hex(std::string_view text, unsigned bits) noexcept {
  if (bits != 24 && bits != 28 && bits != 36) return std::nullopt;
  if (text.size() != bits / 4) return std::nullopt;
  std::uint64_t value = 0;
  for (char c : text) {
    const int digit = hex_digit(c);
    if (digit < 0) return std::nullopt;
    value = (value << 4) | static_cast<std::uint64_t>(digit);
  }
  return make_prefix_key(bits, value);
}

std::string_view next_line(std::string_view& text) noexcept {
  const std::size_t lf = text.find('\n');
  std::string_view line = text.substr(0, lf);
  text.remove_prefix(lf == std::string_view::npos ? text.size() : lf + 1);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

std::string_view skip_bom(std::string_view text) noexcept {
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  return text;
}

}  // namespace norvane
