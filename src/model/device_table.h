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
#include <set>
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
  kColState = 7,
  kColumnCount = 8,
};

inline constexpr std::size_t kMaxRows = 16384;
inline constexpr std::size_t kMaxArpEntries = 16384;
inline constexpr std::size_t kMaxProtocols = 16;
// Addresses whose ARP claimants are kept, and claimants kept per address:
// two different MACs already make a conflict, a few more only name it.
inline constexpr std::size_t kMaxClaimedAddresses = 16384;
inline constexpr std::size_t kMaxClaimsPerAddress = 4;
// Rows seen only as evidence (ARP, plain IP frames, other multicast) kept per
// address: many MACs at one address is a flood or a fault, never that many
// devices, and must not take the table from the devices elsewhere.
inline constexpr std::size_t kMaxEvidenceRowsPerAddress = 16;

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

// What needs an installer's attention on a device, as bits of
// DeviceRow::state, in the order the "Stan" column names them.
enum DeviceState : std::uint8_t {
  kStateNotActivated = 1u << 0,    // the device says it is not activated
  kStateOutsideSubnet = 1u << 1,   // its IPv4 address is outside the adapter's subnet
  kStateIpConflict = 1u << 2,      // another MAC claims its IPv4 address
  kStateMaskDiffers = 1u << 3,     // its mask differs from the adapter's prefix
  kStateGatewayOutside = 1u << 4,  // its gateway lies outside its own subnet
  kStateGone = 1u << 5,            // it said goodbye and has not spoken since
};
inline constexpr int kStateCount = 6;

// The "Stan" texts of the bits, in order: "nieaktywne", "poza podsiecią",
// "konflikt IP", "inna maska", "brama poza podsiecią", "odłączone".
// "konflikt IP" is told only of devices that use the address as their own.
extern const std::array<std::u16string_view, kStateCount> kStateTexts;
// The bits' texts joined with ", ".
std::u16string state_text(std::uint8_t state);
// A state that asks for a look: anything but a plain departure.
inline bool needs_attention(std::uint8_t state) noexcept {
  return (state & ~std::uint8_t{kStateGone}) != 0;
}

// The selected adapter's own IPv4 network, against which states are told.
struct LocalNetwork {
  std::uint32_t ipv4 = 0;  // network byte order; 0: no IPv4 address
  int prefix_length = 0;   // 0 to 32
  std::string mac;         // "00:1A:2B:3C:4D:5E", or empty
  friend bool operator==(const LocalNetwork&, const LocalNetwork&) = default;
};

// The state bits of a device with these settings at `address`, told against
// `local`, given whether another MAC claims the address. Departure is not
// part of it (see DeviceRow::gone).
std::uint8_t settings_state(const AddressKey& address, const DeviceSettings& settings,
                            bool conflict, const LocalNetwork& local) noexcept;

// How much a row has to show, for choosing what a line shows: whether it
// has a MAC, how many of name, model and information it has, whether it has
// a model, their length in characters and the sum of their priorities; the
// lower row index wins a tie.
struct RowRank {
  int mac = 0;
  int filled = 0;
  int has_model = 0;
  std::size_t length = 0;
  std::int64_t priorities = 0;
  std::size_t row = 0;
  friend bool operator==(const RowRank&, const RowRank&) = default;
};
// Orders the better rank first.
struct BetterRank {
  bool operator()(const RowRank& a, const RowRank& b) const noexcept;
};
using RankedRows = std::set<RowRank, BetterRank>;
// Maker categories 0 to 5, as the filter tabs see them (anything else is 5).
inline constexpr std::size_t kRankCategories = 6;
std::size_t rank_category(std::int32_t category) noexcept;

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
  DeviceSettings settings;  // as the device last said them
  NeighbourPort port;       // the port its LLDP or CDP came from
  std::uint8_t state = 0;   // DeviceState bits; column 7 names them
  bool gone = false;        // said goodbye and has not spoken since
  // When it was first and last heard, in milliseconds since the Unix epoch
  // by the merge clock (DeviceTable::set_merge_time); negative: not told.
  std::int64_t first_seen_ms = -1;
  std::int64_t last_seen_ms = -1;
  // Its address came from a neighbour announcement (LLDP, CDP management
  // address), which a box may give for an address it does not answer on.
  bool address_from_neighbour = false;
  // Listed among its group's claimants (see AddressGroup), at this place.
  bool claimant = false;
  std::size_t claimant_slot = 0;
  // A row without MAC whose device moved to another address: it named no
  // device of its own, so it shows nowhere until something answers from its
  // address again.
  bool left_behind = false;
  // The device key the row is indexed under.
  std::string key;
  // Bookkeeping of the table: the row's place in its group's `rows`, where
  // its group ranks it, and its place among the evidence-only rows from the
  // most recently seen to the least.
  std::size_t group_slot = 0;
  enum class Ranked : std::uint8_t { kNo, kDevice, kJoiner } ranked = Ranked::kNo;
  RowRank rank;
  std::size_t rank_category = 0;
  bool evidence = false;  // counted in its group's `evidence`
  bool in_lru = false;
  std::size_t lru_prev = 0;
  std::size_t lru_next = 0;
};

// A row seen under a MAC address of its own through a discovery protocol
// (priority 2 or more): within an address group it is a device of its own,
// with its own list item. Rows without a MAC and rows seen only as evidence
// (ARP, plain IPv4 or IPv6 frames) may belong to any device at that address.
bool is_device_row(const DeviceRow& row) noexcept;
// A row seen through no discovery protocol at all.
bool is_evidence_row(const DeviceRow& row) noexcept;
RowRank row_rank(const DeviceRow& row, std::size_t index) noexcept;

struct AddressGroup {
  std::vector<std::size_t> rows;
  ListItemLink item;
  // Members that use the address as their own: devices with a MAC that
  // answered from it or for it. With ARP claims and the adapter's own
  // address they tell whether the address is in conflict, which their
  // states then show.
  std::vector<std::size_t> claimants;
  bool conflict = false;
  // The members a line may show, best first, per maker category: the
  // devices of their own, and the rows that join a device's line (not those
  // left behind). Kept up to date as members join, change and leave, so
  // that choosing what the lines show costs no pass over the group.
  std::array<RankedRows, kRankCategories> devices;
  std::array<RankedRows, kRankCategories> joiners;
  std::size_t evidence = 0;  // evidence-only members
  // The device whose line the group's item is, as last presented (written
  // by the list's rules).
  static constexpr std::size_t kNone = ~std::size_t{0};
  std::size_t presented_primary = kNone;
  std::size_t device_count() const noexcept;
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
  // The time the summaries merged next were heard at (milliseconds since
  // the Unix epoch): now for a live run, the frame's for a capture file.
  void set_merge_time(std::int64_t unix_ms) noexcept { merge_time_ = unix_ms; }
  void clear();
  void reclassify_all();

  // The selected adapter's network; the states of every row are told again
  // against it (rows whose "Stan" changes are presented).
  void set_local_network(const LocalNetwork& local);
  const LocalNetwork& local_network() const noexcept { return local_; }

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
  // Places left in the ARP cache.
  std::size_t arp_room() const noexcept { return kMaxArpEntries - arp_cache_.size(); }
  // MACs that claimed an IPv4 address in ARP replies and announcements.
  struct ClaimSet {
    std::array<std::string, kMaxClaimsPerAddress> macs;
    std::size_t count = 0;
  };
  using ClaimMap = std::unordered_map<AddressKey, ClaimSet, AddressKeyHash>;
  const ClaimMap& arp_claims() const noexcept { return claims_; }

 private:
  struct MergeState;
  // True when the slot took the value (whether or not the text changed).
  bool set_field(MergeState& m, int column, std::string_view value, std::int32_t priority);
  static void add_protocol(MergeState& m, std::string_view protocol, int priority);
  void depart(const PacketSummary& summary);
  bool record_claim(const PacketSummary& summary);
  bool is_claimant(const DeviceRow& row) const noexcept;
  bool address_in_conflict(const AddressKey& address, const AddressGroup& group) const;
  // Tells the row's state again; the bit of column 7 when its text changed.
  std::uint32_t refresh_state(DeviceRow& row, bool conflict);
  void set_claimant(AddressGroup& group, std::size_t row_index, bool claimant);
  AddressGroup& join_group(std::size_t row_index);
  void leave_group(AddressGroup& group, std::size_t row_index);
  // The row's place in its group's ranking and evidence count, after a change.
  void rerank(AddressGroup& group, std::size_t row_index);
  void lru_unlink(std::size_t row_index) noexcept;
  void lru_touch(std::size_t row_index) noexcept;
  // Makes room for a new device: gives up the evidence-only row seen least
  // recently. False when there is none.
  bool evict_evidence(std::size_t& freed);
  // Tells the group's conflict again; the claimants whose state changes are
  // presented, but for `skip`, which the caller presents.
  void refresh_group(AddressGroup& group, const AddressKey& address,
                     std::optional<std::size_t> skip);

  const VendorTable& vendors_;
  DevicePresenter* presenter_;
  std::vector<DeviceRow> rows_;
  KeyIndex index_;
  ArpCache arp_cache_;
  GroupMap groups_;
  ClaimMap claims_;
  LocalNetwork local_;
  static constexpr std::size_t kNoRow = ~std::size_t{0};
  std::size_t lru_head_ = kNoRow;  // evidence-only row seen most recently
  std::int64_t merge_time_ = -1;
  std::size_t lru_tail_ = kNoRow;  // and least recently
  std::u16string scratch_;         // conversion buffer reused across merges
};

}  // namespace norvane
