// Properties every table accepted from a registry must have, whatever the
// input: well-formed keys, names the database file can hold, and a file
// text that reads back to the same entries.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "vendors/vendor_db.h"
#include "vendors/vendor_table.h"

namespace registry_fuzz {

[[noreturn]] inline void fail(const char* target, const char* what) {
  std::fprintf(stderr, "%s: %s\n", target, what);
  std::abort();
}

inline void check_table(const char* target, const norvane::VendorTable& table) {
  if (table.empty()) fail(target, "accepted without entries");
  for (const auto& [key, entry] : table.entries()) {
    const auto bits = static_cast<unsigned>(key >> 36);
    if (bits != 24 && bits != 28 && bits != 36) fail(target, "key with an unknown length");
    if (((key & ((norvane::PrefixKey{1} << 36) - 1)) >> bits) != 0) {
      fail(target, "key value wider than its length");
    }
    const std::string_view name = entry.name;
    if (!norvane::vendor_name_valid(name)) fail(target, "name not valid UTF-8 of 1..512 bytes");
    for (const char c : name) {
      const auto b = static_cast<unsigned char>(c);
      if (b < 0x20 || b == 0x7F) fail(target, "control byte left in a name");
    }
  }
  std::string text;
  if (!norvane::format_vendor_db(table, text)) {
    // Only a table beyond the file's 16 MiB may not format.
    if (table.size() * 11 < norvane::kVendorDbMaxSize / 2) fail(target, "table does not format");
    return;
  }
  norvane::VendorTable again;
  if (!norvane::parse_vendor_db(text, again)) fail(target, "formatted table does not load");
  if (again.entries() != table.entries()) fail(target, "round trip changed the entries");
}

}  // namespace registry_fuzz
