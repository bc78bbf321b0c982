// IEEE MAC address-block assignments and the maker-name lookup.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace norvane {

// Prefix length in bits (24, 28 or 36) in bits 36..63, the prefix value
// right-aligned in bits 0..35.
using PrefixKey = std::uint64_t;

constexpr PrefixKey make_prefix_key(unsigned bits, std::uint64_t value) noexcept {
  return (static_cast<PrefixKey>(bits) << 36) | value;
}

struct PrefixKeyHash {
  std::size_t operator()(PrefixKey key) const noexcept { return static_cast<std::size_t>(key); }
};

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
  std::string name;
  VendorDisplay display = VendorDisplay::kAsStored;
  friend bool operator==(const VendorEntry&, const VendorEntry&) = default;
};

class VendorTable {
 public:
  using Map = std::unordered_map<PrefixKey, VendorEntry, PrefixKeyHash>;

  VendorTable();

  // False when the key is already present (the table is unchanged).
  bool insert(PrefixKey key, std::string name);
  // Inserts, or replaces the name of a key already present.
  void insert_or_assign(PrefixKey key, std::string name);
  const std::string* find(PrefixKey key) const;
  const VendorEntry* find_entry(PrefixKey key) const;
  std::size_t size() const noexcept { return map_.size(); }
  bool empty() const noexcept { return map_.empty(); }
  void clear() noexcept {
    map_.clear();
    split_filter_.clear();
  }
  void swap(VendorTable& other) noexcept {
    map_.swap(other.map_);
    split_filter_.swap(other.split_filter_);
  }
  const Map& entries() const noexcept { return map_; }

  // False only when no 28- or 36-bit entry lies inside the 24-bit block;
  // true may be a false positive.
  bool may_have_longer_prefixes(std::uint32_t block24) const noexcept;

 private:
  void note_split_block(PrefixKey key);

  Map map_;
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
