#include "vendors/vendor_table.h"

#include <array>
#include <utility>

#include "model/display_text.h"

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
  if (l.find("hikvision") != std::string_view::npos) return VendorDisplay::kHikvision;
  if (l.find("ubiquiti") != std::string_view::npos) return VendorDisplay::kUbiquiti;
  if (l.find("mikrotik") != std::string_view::npos ||
      l.find("routerboard.com") != std::string_view::npos) {
    return VendorDisplay::kMikroTik;
  }
  if (l.find("tp-link") != std::string_view::npos) return VendorDisplay::kTpLink;
  return VendorDisplay::kAsStored;
}

VendorTable::VendorTable() { map_.max_load_factor(1.0f); }

bool VendorTable::insert(PrefixKey key, std::string name) {
  const VendorDisplay display = classify_vendor_name(name);
  if (!map_.try_emplace(key, VendorEntry{std::move(name), display}).second) return false;
  note_split_block(key);
  return true;
}

void VendorTable::insert_or_assign(PrefixKey key, std::string name) {
  const VendorDisplay display = classify_vendor_name(name);
  map_.insert_or_assign(key, VendorEntry{std::move(name), display});
  note_split_block(key);
}

namespace {

constexpr std::size_t kSplitFilterBits = std::size_t{1} << 16;

std::size_t split_filter_bit(std::uint32_t block24) noexcept {
  return static_cast<std::uint32_t>(block24 * 0x9E3779B1u) >> 16;
}

}  // namespace

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

const VendorEntry* VendorTable::find_entry(PrefixKey key) const {
  const auto it = map_.find(key);
  return it == map_.end() ? nullptr : &it->second;
}

const std::string* VendorTable::find(PrefixKey key) const {
  const VendorEntry* entry = find_entry(key);
  return entry ? &entry->name : nullptr;
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
