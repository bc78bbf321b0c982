// IEEE MAC address-block assignments and the maker-name lookup.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <new>
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

// Storage for names: large blocks that never move, so that views into them
// stay valid for as long as the blocks are owned, whoever owns them.
class VendorNames {
 public:
  std::string_view store(std::string_view name);
  // Makes room to take over count more blocks without allocating.
  void reserve_blocks(std::size_t count);
  // Takes over other's blocks (the views into them stay valid); needs the
  // room that reserve_blocks made.
  void adopt(VendorNames& other) noexcept;
  std::size_t block_count() const noexcept { return blocks_.size(); }
  void clear() noexcept;
  void swap(VendorNames& other) noexcept;

 private:
  std::vector<std::unique_ptr<char[]>> blocks_;
  std::size_t used_ = 0;
  std::size_t size_ = 0;
};

// Storage on 64-byte boundaries: the search keys' groups of eight and the
// 32-byte entries each sit in one cache line. (On the storage rather than
// on the types, which the standard algorithms' buffers would not align.)
template <typename T>
struct CacheLineAllocator {
  using value_type = T;
  static constexpr std::align_val_t kAlign{64};
  CacheLineAllocator() = default;
  template <typename U>
  CacheLineAllocator(const CacheLineAllocator<U>&) noexcept {}
  T* allocate(std::size_t n) { return static_cast<T*>(::operator new(n * sizeof(T), kAlign)); }
  void deallocate(T* p, std::size_t) noexcept { ::operator delete(p, kAlign); }
  friend bool operator==(const CacheLineAllocator&, const CacheLineAllocator&) noexcept {
    return true;
  }
};

// The sorted keys of a table and, above them, every eighth key of the level
// below, up to a level of at most eight: a search reads one aligned group of
// eight keys per level, so it touches one cache line per level whatever the
// keys are (7 levels for a million entries, the upper ones small enough to
// stay in cache). A large table also has an index by the first 16 bits of
// the address, which lets a search start at the lowest level where the
// keys of those bits are eight or fewer: one read of eight keys, for most
// addresses.
class VendorSearchKeys {
 public:
  VendorSearchKeys() = default;
  VendorSearchKeys(const VendorSearchKeys& other) = default;
  VendorSearchKeys& operator=(const VendorSearchKeys& other) = default;
  VendorSearchKeys(VendorSearchKeys&& other) noexcept;
  VendorSearchKeys& operator=(VendorSearchKeys&& other) noexcept;
  ~VendorSearchKeys() = default;

  // Room for count keys, so that assigning them does not allocate.
  void reserve(std::size_t count);
  // The first level, for count keys that the caller writes in ascending
  // order before finish_assign; needs the room that reserve made.
  std::uint64_t* begin_assign(std::size_t count) noexcept;
  void finish_assign() noexcept;
  // How many keys are not above key.
  std::size_t count_not_above(std::uint64_t key) const noexcept;
  // The same in two steps, for a caller that fetches what it will need
  // meanwhile: the first of eight keys among which the count ends (kNoKeys
  // when every key is above key), then the count.
  static constexpr std::size_t kNoKeys = ~std::size_t{0};
  std::size_t window(std::uint64_t key) const noexcept;
  std::size_t count_in_window(std::size_t first, std::uint64_t key) const noexcept;
  std::uint64_t operator[](std::size_t i) const noexcept { return data()[i]; }
  std::size_t size() const noexcept { return size_[0]; }
  void clear() noexcept;
  void swap(VendorSearchKeys& other) noexcept;

 private:
  static constexpr std::size_t kGroup = 8;
  static constexpr std::size_t kMaxLevels = 12;
  static constexpr std::size_t kBuckets = std::size_t{1} << 16;
  static constexpr std::size_t kBucketsFrom = 4096;  // keys
  static std::size_t storage_for(std::size_t count) noexcept;
  static std::size_t level_room(std::size_t count) noexcept;
  void fill_buckets() noexcept;
  const std::uint64_t* data() const noexcept { return storage_.data(); }
  std::uint64_t* data() noexcept { return storage_.data(); }

  // Levels start at multiples of eight keys, each with eight more after its
  // last group, so that eight keys can be read from any of its positions.
  std::vector<std::uint64_t, CacheLineAllocator<std::uint64_t>> storage_;
  std::size_t levels_ = 0;
  std::array<std::size_t, kMaxLevels> offset_{};
  std::array<std::size_t, kMaxLevels> size_{};
  // Empty, or for each value of the address's first 16 bits the position of
  // its first key, and one more entry: the end of the keys in the address
  // space.
  std::vector<std::uint32_t> buckets_;
};

// The vendor table: PrefixKey to vendor name. Entries are kept sorted by
// address (each 24-bit block first, then the 28- and 36-bit blocks inside
// it) and each one knows the entries whose blocks enclose it, so one search
// for the last entry at or before an address finds its longest prefix.
// Nothing is hashed, so no choice of keys can make a load or a lookup more
// expensive than the sort and the fixed number of levels allow.
//
// Single inserts go to a short side list, searched from end to end, that is
// sorted and merged into the main list once it grows past a few times the
// square root of the table; whole files and registries are built with
// VendorTableBuilder in one sort.
class VendorTable {
 public:
  struct Entry {
    PrefixKey first = 0;
    VendorEntry second;
  };
  static_assert(sizeof(Entry) == 32, "two entries to a cache line");
  using EntryList = std::vector<Entry, CacheLineAllocator<Entry>>;

  // The entries: the main list in address order, then the side list.
  class Iterator {
   public:
    using value_type = Entry;
    using difference_type = std::ptrdiff_t;
    using reference = const Entry&;
    using pointer = const Entry*;
    using iterator_category = std::forward_iterator_tag;
    Iterator() = default;
    Iterator(const Entry* at, const Entry* end, const Entry* next, const Entry* next_end) noexcept
        : at_(at), end_(end), next_(next), next_end_(next_end) {
      hop();
    }
    reference operator*() const noexcept { return *at_; }
    pointer operator->() const noexcept { return at_; }
    Iterator& operator++() noexcept {
      ++at_;
      hop();
      return *this;
    }
    Iterator operator++(int) noexcept {
      Iterator old = *this;
      ++*this;
      return old;
    }
    friend bool operator==(const Iterator& a, const Iterator& b) noexcept { return a.at_ == b.at_; }

   private:
    void hop() noexcept {
      if (at_ == end_ && next_ != next_end_) {
        at_ = next_;
        end_ = next_end_;
        next_ = next_end_;
      }
    }
    const Entry* at_ = nullptr;
    const Entry* end_ = nullptr;
    const Entry* next_ = nullptr;
    const Entry* next_end_ = nullptr;
  };

  // Equal when both hold the same keys with the same names, in whatever
  // order.
  class Entries {
   public:
    explicit Entries(const VendorTable& table) noexcept : table_(&table) {}
    Iterator begin() const noexcept {
      const auto& m = table_->sorted_;
      const auto& r = table_->recent_;
      return Iterator(m.data(), m.data() + m.size(), r.data(), r.data() + r.size());
    }
    Iterator end() const noexcept {
      const auto& last = table_->recent_.empty() ? table_->sorted_ : table_->recent_;
      const Entry* end = last.data() + last.size();
      return Iterator(end, end, nullptr, nullptr);
    }
    std::size_t size() const noexcept { return table_->size(); }
    friend bool operator==(const Entries& a, const Entries& b);

   private:
    const VendorTable* table_;
  };

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

  // False when the key is already present (the table is unchanged), and for
  // key 0 and keys with bit 63 set, which no table holds.
  bool insert(PrefixKey key, std::string_view name);
  // Inserts, or replaces the name of a key already present.
  void insert_or_assign(PrefixKey key, std::string_view name);
  // Every entry of other, replacing the names of keys already here: one
  // pass over both tables. On an exception this table is unchanged.
  void insert_or_assign_all(VendorTable&& other);
  // Room for count entries, so that merging the side list allocates nothing.
  void reserve(std::size_t count);
  const std::string_view* find(PrefixKey key) const noexcept;
  const VendorEntry* find_entry(PrefixKey key) const noexcept;
  // The entry of the longest prefix (36, 28, then 24 bits) that holds the
  // 48-bit address, or null.
  const VendorEntry* find_longest(std::uint64_t address) const noexcept;
  std::size_t size() const noexcept { return sorted_.size() + recent_.size(); }
  bool empty() const noexcept { return size() == 0; }
  void clear() noexcept;
  void swap(VendorTable& other) noexcept;
  Entries entries() const noexcept { return Entries(*this); }

 private:
  friend class VendorTableBuilder;

  // An entry's enclosing entries: the index of the 28-bit one in the high
  // half, of the 24-bit one in the low half, kNone where there is none.
  static constexpr std::uint32_t kNone = 0xFFFFFFFFu;

  // The entry in the main list (by address order) or in the side list (by
  // key), or null.
  const Entry* find_sorted(std::uint64_t order) const noexcept;
  Entry* find_recent(PrefixKey key) noexcept;
  const Entry* find_recent(PrefixKey key) const noexcept;
  // Merges the side list into the main list.
  void settle();
  // Makes the search keys and the enclosing entries match sorted_; needs
  // the room that reserve_index made.
  void index_sorted() noexcept;
  void reserve_index(std::size_t count);

  EntryList sorted_;                      // main list, in address order
  VendorSearchKeys keys_;                 // the address order of sorted_
  std::vector<std::uint64_t> enclosing_;  // of each entry of sorted_
  EntryList recent_;                      // side list, in insertion order
  VendorNames names_;
};

// Collects entries in any order and turns them into a table at once.
class VendorTableBuilder {
 public:
  enum class Repeats { kRefuse, kLastWins };

  void reserve(std::size_t count) { entries_.reserve(count); }
  // Copies the name; false for a key no table holds.
  bool add(PrefixKey key, std::string_view name);
  std::size_t size() const noexcept { return entries_.size(); }
  // Replaces target's contents with the entries and leaves the builder
  // empty. A key added more than once keeps its last name, or, when
  // repeats are refused, makes the build fail with target unchanged.
  bool build(VendorTable& target, Repeats repeats);

 private:
  VendorTable::EntryList entries_;
  VendorNames names_;
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
// Bytes below 0x20 and 0x7F replaced by spaces (UTF-8 passes), then trimmed,
// so that a name of blanks and control bytes comes out empty.
std::string clean_vendor_name(std::string_view text);
// 1 to 512 bytes of strictly valid UTF-8.
bool vendor_name_valid(std::string_view text) noexcept;
// Exactly bits/4 hexadecimal digits (either case) for bits 24, 28 or 36.
std::optional<PrefixKey> parse_prefix_hex(std::string_view text, unsigned bits) noexcept;
// Removes and returns the text up to the next LF; drops one trailing CR.
std::string_view next_line(std::string_view& text) noexcept;
std::string_view skip_bom(std::string_view text) noexcept;

}  // namespace norvane
