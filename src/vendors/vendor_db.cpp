#include "vendors/vendor_db.h"

#include <algorithm>
#include <vector>

namespace norvane {
namespace {

constexpr char kHexUpper[] = "0123456789ABCDEF";

// A name the loader would refuse must not reach the file either: one bad
// entry would make the whole saved database unreadable, and a name with a
// line break would forge entries.
bool name_fits_file(std::string_view name) noexcept {
  return vendor_name_valid(name) &&
         name.find_first_of(std::string_view("\t\r\n\0", 4)) == std::string_view::npos;
}

}  // namespace

bool parse_vendor_db(std::string_view content, VendorTable& target) {
  if (content.empty() || content.size() > kVendorDbMaxSize) return false;
  if (content.find('\0') != std::string_view::npos) return false;
  std::string_view text = skip_bom(content);
  if (next_line(text) != kVendorDbHeader) return false;

  // Collected, then sorted once, so that no choice of keys makes the load
  // slower than the sort. About 30 bytes per line in real databases.
  VendorTableBuilder table;
  table.reserve(text.size() / 24);
  while (!text.empty()) {
    const std::string_view line = next_line(text);
    if (line.empty()) continue;
    const std::size_t tab = line.find('\t');
    if (tab != 6 && tab != 7 && tab != 9) return false;
    const std::string_view name = line.substr(tab + 1);
    // The name is kept exactly as written; only the bytes that would break
    // the line format are refused.
    if (!vendor_name_valid(name) || name.find_first_of("\t\r\n") != std::string_view::npos) {
      return false;
    }
    const std::optional<PrefixKey> key =
        parse_prefix_hex(line.substr(0, tab), static_cast<unsigned>(tab * 4));
    if (!key) return false;
    if (!table.add(*key, name)) return false;
  }
  if (table.size() == 0) return false;
  // A prefix written twice fails the whole load.
  return table.build(target, VendorTableBuilder::Repeats::kRefuse);
}

bool format_vendor_db(const VendorTable& table, std::string& out) {
  if (table.empty()) return false;
  // The table keeps address order (each block before the blocks inside
  // it); the file lists keys in numeric order.
  std::vector<const VendorTable::Entry*> entries;
  entries.reserve(table.size());
  for (const auto& entry : table.entries()) entries.push_back(&entry);
  std::sort(entries.begin(), entries.end(),
            [](const auto* a, const auto* b) { return a->first < b->first; });

  std::string text;
  text.append(kVendorDbHeader);
  text.push_back('\n');
  for (const VendorTable::Entry* entry : entries) {
    const PrefixKey key = entry->first;
    const unsigned bits = static_cast<unsigned>(key >> 36);
    const std::size_t digits = bits / 4;
    const std::string_view name = entry->second.name;
    const PrefixKey value = key & ((PrefixKey{1} << 36) - 1);
    if ((bits != 24 && bits != 28 && bits != 36) || (value >> bits) != 0 || !name_fits_file(name)) {
      return false;
    }
    // Every check is on sizes already bounded by the current text (at most
    // 16 MiB) and one name, so the sum cannot overflow.
    if (text.size() + digits + name.size() + 2 > kVendorDbMaxSize) return false;
    for (std::size_t i = digits; i-- > 0;) {
      text.push_back(kHexUpper[(key >> (4 * i)) & 0xFu]);
    }
    text.push_back('\t');
    text.append(name);
    text.push_back('\n');
  }
  out = std::move(text);
  return true;
}

bool load_vendor_db(VendorTable& target, const std::filesystem::path& path) {
  if (path.empty()) return false;
  std::string content;
  // The file is closed again before the content is parsed.
  if (!read_small_file(path, kVendorDbMaxSize, content)) return false;
  return parse_vendor_db(content, target);
}

bool save_vendor_db(const VendorTable& table, const std::filesystem::path& path) {
  if (path.empty()) return false;
  std::string text;
  if (!format_vendor_db(table, text)) return false;
  return write_file_flushed(path, text);
}

}  // namespace norvane
