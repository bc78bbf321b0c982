#include "vendors/vendor_table.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

#include "base/display_text.h"

namespace norvane {
namespace {

int hex_digit(char c) noexcept {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool is_trim_space(char c) noexcept { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

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

char ascii_lower(char c) noexcept { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

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

constexpr std::size_t kSplitFilterBits = std::size_t{1} << 16;
constexpr std::size_t kNameBlock = std::size_t{1} << 16;
constexpr std::size_t kFirstCapacity = 16;

std::size_t split_filter_bit(std::uint32_t block24) noexcept {
  return static_cast<std::uint32_t>(block24 * 0x9E3779B1u) >> 16;
}

// Keys of neighbouring blocks differ only in their low bits; the
// multiplication spreads them over the whole index before masking.
std::size_t slot_of(PrefixKey key, std::size_t mask) noexcept {
  return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> 32) & mask;
}

}  // namespace

VendorTable::VendorTable(const VendorTable& other) {
  reserve(other.size());
  for (const auto& [key, entry] : other.entries()) insert(key, entry.name);
}

VendorTable& VendorTable::operator=(const VendorTable& other) {
  if (this != &other) {
    VendorTable copy(other);
    swap(copy);
  }
  return *this;
}

void VendorTable::clear() noexcept {
  slots_.clear();
  size_ = 0;
  blocks_.clear();
  block_used_ = 0;
  block_size_ = 0;
  split_filter_.clear();
}

void VendorTable::swap(VendorTable& other) noexcept {
  slots_.swap(other.slots_);
  std::swap(size_, other.size_);
  blocks_.swap(other.blocks_);
  std::swap(block_used_, other.block_used_);
  std::swap(block_size_, other.block_size_);
  split_filter_.swap(other.split_filter_);
}

std::size_t VendorTable::probe(PrefixKey key) const noexcept {
  const std::size_t mask = slots_.size() - 1;
  std::size_t i = slot_of(key, mask);
  while (slots_[i].first != 0 && slots_[i].first != key) i = (i + 1) & mask;
  return i;
}

void VendorTable::grow(std::size_t capacity) {
  std::vector<Entry> old;
  old.swap(slots_);
  slots_.assign(capacity, Entry{});
  for (const Entry& slot : old) {
    if (slot.first != 0) slots_[probe(slot.first)] = slot;
  }
}

void VendorTable::reserve(std::size_t count) {
  std::size_t capacity = slots_.empty() ? kFirstCapacity : slots_.size();
  while (static_cast<float>(count) > static_cast<float>(capacity) * kMaxLoadFactor) capacity *= 2;
  if (capacity != slots_.size()) grow(capacity);
}

std::string_view VendorTable::store_name(std::string_view name) {
  if (name.empty()) return {};
  if (name.size() > block_size_ - block_used_) {
    // Names longer than a block (no loader makes them) get a block of their
    // own size.
    block_size_ = std::max(kNameBlock, name.size());
    blocks_.push_back(std::make_unique<char[]>(block_size_));
    block_used_ = 0;
  }
  char* at = blocks_.back().get() + block_used_;
  std::memcpy(at, name.data(), name.size());
  block_used_ += name.size();
  return {at, name.size()};
}

bool VendorTable::insert(PrefixKey key, std::string_view name) {
  if (key == 0) return false;  // not a valid key: no length
  if (static_cast<float>(size_ + 1) > static_cast<float>(slots_.size()) * kMaxLoadFactor) {
    grow(slots_.empty() ? kFirstCapacity : slots_.size() * 2);
  }
  Entry& slot = slots_[probe(key)];
  if (slot.first == key) return false;
  slot.second = VendorEntry{store_name(name), classify_vendor_name(name)};
  slot.first = key;
  ++size_;
  note_split_block(key);
  return true;
}

void VendorTable::insert_or_assign(PrefixKey key, std::string_view name) {
  if (!slots_.empty() && key != 0) {
    Entry& slot = slots_[probe(key)];
    if (slot.first == key) {
      slot.second = VendorEntry{store_name(name), classify_vendor_name(name)};
      return;
    }
  }
  insert(key, name);
}

void VendorTable::note_split_block(PrefixKey key) {
  const auto bits = static_cast<unsigned>(key >> 36);
  if (bits != 28 && bits != 36) return;
  const auto block = static_cast<std::uint32_t>((key & ((PrefixKey{1} << 36) - 1)) >> (bits - 24));
  if (split_filter_.empty()) split_filter_.assign(kSplitFilterBits / 64, 0);
  const std::size_t bit = split_filter_bit(block);
  split_filter_[bit / 64] |= std::uint64_t{1} << (bit % 64);
}

bool VendorTable::may_have_longer_prefixes(std::uint32_t block24) const noexcept {
  if (split_filter_.empty()) return false;
  const std::size_t bit = split_filter_bit(block24);
  return ((split_filter_[bit / 64] >> (bit % 64)) & 1u) != 0;
}

const VendorEntry* VendorTable::find_entry(PrefixKey key) const noexcept {
  if (slots_.empty() || key == 0) return nullptr;
  const Entry& slot = slots_[probe(key)];
  return slot.first == key ? &slot.second : nullptr;
}

const std::string_view* VendorTable::find(PrefixKey key) const noexcept {
  const VendorEntry* entry = find_entry(key);
  return entry ? &entry->name : nullptr;
}

bool operator==(const VendorTable::Entries& a, const VendorTable::Entries& b) {
  if (a.size() != b.size()) return false;
  for (const auto& [key, entry] : a) {
    const VendorEntry* other = b.table_->find_entry(key);
    if (!other || !(*other == entry)) return false;
  }
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
  // Longest prefix first, so an MA-S or MA-M entry overrides the MA-L entry
  // of the block it lies in; blocks without such entries skip those probes.
  const bool split = table.may_have_longer_prefixes(static_cast<std::uint32_t>(*value >> 24));
  for (unsigned bits : {36u, 28u, 24u}) {
    if (bits != 24 && !split) continue;
    if (const VendorEntry* entry = table.find_entry(make_prefix_key(bits, *value >> (48 - bits)))) {
      return display_text_of(*entry);
    }
  }
  return {};
}

std::string_view trim_space(std::string_view text) noexcept {
  while (!text.empty() && is_trim_space(text.front())) text.remove_prefix(1);
  while (!text.empty() && is_trim_space(text.back())) text.remove_suffix(1);
  return text;
}

std::string clean_vendor_name(std::string_view text) {
  std::string out(trim_space(text));
  for (char& c : out) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x7F) c = ' ';
  }
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
