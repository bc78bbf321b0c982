// One row per device, merged from decoded summaries; rows sharing an IP
// address form one address group. The list shows a group as one item per
// device in it (several new cameras at one factory address are several
// devices), with the rows that name no device of their own joining one.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/keyed_hash.h"
#include "model/packet_summary.h"

namespace norvane {

class VendorTable;

// Column numbers; a change mask has bit n set when column n changed.
enum Column : int {
  kColIp = 0,
  kColMac = 1,
  kColVendor = 2,
  kColName = 3,
  kColModel = 4,
  kColProtocols = 5,
  kColInfo = 6,
  kColumnCount = 7,
};

inline constexpr std::size_t kMaxRows = 16384;
inline constexpr std::size_t kMaxArpEntries = 16384;
inline constexpr std::size_t kMaxProtocols = 16;

inline constexpr std::uint32_t kAfUnspec = 0;
inline constexpr std::uint32_t kAfInet = 2;
inline constexpr std::uint32_t kAfInet6 = 23;  // the Windows numbering

struct AddressKey {
  std::uint32_t family = kAfUnspec;
  std::array<std::uint8_t, 16> bytes{};
  friend bool operator==(const AddressKey&, const AddressKey&) = default;
};

// Addresses come from the wire: keyed per process (base/keyed_hash.h), so
// that no choice of addresses can pile the groups into one bucket.
struct AddressKeyHash {
  std::size_t operator()(const AddressKey& key) const noexcept;
};

// Parses a column 0 text: IPv4, else IPv6, else family 0.
AddressKey address_key_from_text(std::u16string_view text);

// The list item showing a row or group: a row's own link is used while the
// row has no address, or while it is one of several devices of its group;
// a group's link is the item of the group's other rows.
struct ListItemLink {
  static constexpr std::uint32_t kNoItem = 0xFFFFFFFFu;
  static constexpr std::uint64_t kNoRow = ~std::uint64_t{0};
  std::uint32_t item_id = kNoItem;
  std::uint64_t shown_row = kNoRow;
  bool empty() const noexcept { return item_id == kNoItem; }
};

struct DeviceRow {
  std::array<std::u16string, kColumnCount> columns;
  AddressKey address;
  std::vector<std::string> protocol_names;
  ListItemLink item;
  std::int32_t category = 5;
  std::int32_t accent_index = 0;
  std::int32_t ip_priority = 0;
  std::int32_t name_priority = 0;
  std::int32_t model_priority = 0;
  std::int32_t info_priority = 0;
};

struct AddressGroup {
  std::vector<std::size_t> rows;
  ListItemLink item;
};

// What the device table tells the list. The list view implements it; tests
// record the calls.
class DevicePresenter {
 public:
  virtual ~DevicePresenter() = default;
  virtual void update_row(std::size_t row, std::uint32_t mask) = 0;
  virtual void update_group(AddressGroup& group, std::optional<std::size_t> changed_row,
                            std::uint32_t mask) = 0;
  virtual void remove_item(ListItemLink& item) = 0;
};

class DeviceTable {
 public:
  // The vendor table is read by classification; both are owned by the window
  // and outlive the device table. The presenter may be null.
  explicit DeviceTable(const VendorTable& vendors, DevicePresenter* presenter = nullptr);

  void set_presenter(DevicePresenter* presenter) noexcept { presenter_ = presenter; }

  void merge(const PacketSummary& summary);
  void clear();
  void reclassify_all();

  std::size_t size() const noexcept { return rows_.size(); }
  const DeviceRow& row(std::size_t index) const { return rows_[index]; }
  DeviceRow& row(std::size_t index) { return rows_[index]; }
  const std::vector<DeviceRow>& rows() const noexcept { return rows_; }
  // The rows with their list links, for the list that keeps those links.
  std::span<DeviceRow> mutable_rows() noexcept { return rows_; }

  using GroupMap = std::unordered_map<AddressKey, AddressGroup, AddressKeyHash>;
  const GroupMap& groups() const noexcept { return groups_; }
  GroupMap& groups() noexcept { return groups_; }
  const AddressGroup* find_group(const AddressKey& key) const;
  AddressGroup* find_group(const AddressKey& key);

  // Device keys and ARP-learned MACs come from the wire: keyed hashes.
  using KeyIndex = std::unordered_map<std::string, std::size_t, KeyedTextHash, std::equal_to<>>;
  using ArpCache = std::unordered_map<std::string, std::string, KeyedTextHash, std::equal_to<>>;
  const KeyIndex& index() const noexcept { return index_; }
  const ArpCache& arp_cache() const noexcept { return arp_cache_; }

 private:
  struct MergeState;
  void set_field(MergeState& m, int column, std::string_view value, std::int32_t priority);
  static void add_protocol(MergeState& m, std::string_view protocol, int priority);

  const VendorTable& vendors_;
  DevicePresenter* presenter_;
  std::vector<DeviceRow> rows_;
  KeyIndex index_;
  ArpCache arp_cache_;
  GroupMap groups_;
  std::u16string scratch_;  // conversion buffer reused across merges
};

}  // namespace norvane
