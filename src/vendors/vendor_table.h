// IEEE MAC address-block assignments and the maker-name lookup.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace norvane {

// Prefix length in bits (24, 28 or 36) in bits 36..63, the prefix value
// right-aligned in bits 0..35.
using PrefixKey = std::uint64_t;

constexpr PrefixKey make_prefix_key(unsigned bits, std::uint64_t value) noexcept {
  return (static_cast<PrefixKey>(bits) << 36) | value;
}

// How a stored name is shown: decided once when the entry is inserted, so a
// lookup does not lower-case and search the name every time.
enum class VendorDisplay : std::uint8_t {
  kAsStored,  // the name as stored
  kNone,      // "Private", "IEEE Registration Authority": no vendor shown
  kDahua,
  kHikvision,
  kUbiquiti,
  kMikroTik,
  kTpLink,
};

VendorDisplay classify_vendor_name(std::string_view stored);

struct VendorEntry {
  std::string_view name;  // held by the table that holds the entry
  VendorDisplay display = VendorDisplay::kAsStored;
  friend bool operator==(const VendorEntry&, const VendorEntry&) = default;
};

// A hash map from PrefixKey to vendor name: open addressing over the
// integer keys (linear probing, at most one entry per two slots), each slot
// holding its key and entry so that a lookup touches one slot, and the
// names in large blocks of their own, so that a load allocates a handful of
// blocks rather than one node and one string per entry.
class VendorTable {
 public:
  // One slot: key 0 marks an empty one (every valid key carries its length).
  struct alignas(32) Entry {
    PrefixKey first = 0;
    VendorEntry second;
  };

  class Iterator {
   public:
    using value_type = Entry;
    using difference_type = std::ptrdiff_t;
    using reference = const Entry&;
    using pointer = const Entry*;
    using iterator_category = std::forward_iterator_tag;
    Iterator() = default;
    Iterator(const Entry* at, const Entry* end) noexcept : at_(at), end_(end) { skip(); }
    reference operator*() const noexcept { return *at_; }
    pointer operator->() const noexcept { return at_; }
    Iterator& operator++() noexcept {
      ++at_;
      skip();
      return *this;
    }
    Iterator operator++(int) noexcept {
      Iterator old = *this;
      ++*this;
      return old;
    }
    friend bool operator==(const Iterator& a, const Iterator& b) noexcept { return a.at_ == b.at_; }

   private:
    void skip() noexcept {
      while (at_ != end_ && at_->first == 0) ++at_;
    }
    const Entry* at_ = nullptr;
    const Entry* end_ = nullptr;
  };

  // The entries in slot order; equal when both hold the same keys with the
  // same names, in whatever order.
  class Entries {
   public:
    explicit Entries(const VendorTable& table) noexcept : table_(&table) {}
    Iterator begin() const noexcept {
      const Entry* data = table_->slots_.data();
      return Iterator(data, data + table_->slots_.size());
    }
    Iterator end() const noexcept {
      const Entry* end = table_->slots_.data() + table_->slots_.size();
      return Iterator(end, end);
    }
    std::size_t size() const noexcept { return table_->size_; }
    friend bool operator==(const Entries& a, const Entries& b);

   private:
    const VendorTable* table_;
  };

  static constexpr float kMaxLoadFactor = 0.5f;

  VendorTable() = default;
  VendorTable(const VendorTable& other);
  VendorTable& operator=(const VendorTable& other);
  VendorTable(VendorTable&& other) noexcept { swap(other); }
  VendorTable& operator=(VendorTable&& other) noexcept {
    VendorTable moved(std::move(other));
    swap(moved);
    return *this;
  }
  ~VendorTable() = default;

  // False when the key is already present (the table is unchanged).
  bool insert(PrefixKey key, std::string_view name);
  // Inserts, or replaces the name of a key already present.
  void insert_or_assign(PrefixKey key, std::string_view name);
  // Room for count entries without growing the index.
  void reserve(std::size_t count);
  const std::string_view* find(PrefixKey key) const noexcept;
  const VendorEntry* find_entry(PrefixKey key) const noexcept;
  std::size_t size() const noexcept { return size_; }
  bool empty() const noexcept { return size_ == 0; }
  float max_load_factor() const noexcept { return kMaxLoadFactor; }
  float load_factor() const noexcept {
    return slots_.empty() ? 0.0f : static_cast<float>(size_) / static_cast<float>(slots_.size());
  }
  void clear() noexcept;
  void swap(VendorTable& other) noexcept;
  Entries entries() const noexcept { return Entries(*this); }

  // False only when no 28- or 36-bit entry lies inside the 24-bit block;
  // true may be a false positive.
  bool may_have_longer_prefixes(std::uint32_t block24) const noexcept;

 private:
  // The slot holding key, or the empty slot where it would go.
  std::size_t probe(PrefixKey key) const noexcept;
  void grow(std::size_t capacity);
  std::string_view store_name(std::string_view name);
  void note_split_block(PrefixKey key);

  std::vector<Entry> slots_;  // a power of two in size, or empty
  std::size_t size_ = 0;
  // Name storage: blocks that never move, so the views stay valid.
  std::vector<std::unique_ptr<char[]>> blocks_;
  std::size_t block_used_ = 0;
  std::size_t block_size_ = 0;
  // One bit per hashed 24-bit block that holds 28- or 36-bit entries (a few
  // hundred blocks in the IEEE data), so that most lookups need one hash
  // probe instead of three. Fixed size: inserts stay O(1) whatever the data;
  // a false positive only costs the two probes. Empty until needed.
  std::vector<std::uint64_t> split_filter_;
};

// The maker of a MAC address text (12, 14 or 17 characters), normalised for
// display, or empty.
std::string vendor_display_name(const VendorTable& table, std::string_view mac);
// The same without a copy: a view into the table (or a literal), valid until
// the table changes.
std::string_view vendor_display_view(const VendorTable& table, std::string_view mac) noexcept;

inline constexpr std::size_t kVendorNameMax = 512;

// Without leading and trailing space, tab, CR and LF.
std::string_view trim_space(std::string_view text) noexcept;
// Trimmed, with bytes below 0x20 and 0x7F replaced by spaces (UTF-8 passes).
std::string clean_vendor_name(std::string_view text);
// 1 to 512 bytes of strictly valid UTF-8.
bool vendor_name_valid(std::string_view text) noexcept;
// Exactly bits/4 hexadecimal digits (either case) for bits 24, 28 or 36.
std::optional<PrefixKey> parse_prefix_hex(std::string_view text, unsigned bits) noexcept;
// Removes and returns the text up to the next LF; drops one trailing CR.
std::string_view next_line(std::string_view& text) noexcept;
std::string_view skip_bom(std::string_view text) noexcept;

}  // namespace norvane
