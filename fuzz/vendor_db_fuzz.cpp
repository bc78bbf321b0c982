// One input is one vendor database file. An accepted file must format back
// to a file that parses to the same entries, and every name in it must be
// one the file format can hold. The same bytes go through the display
// conversion and the MAC lookup, whose outputs have fixed properties.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "base/display_text.h"
#include "vendors/vendor_db.h"
#include "vendors/vendor_table.h"

namespace {

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "vendor-db-fuzz: %s\n", what);
  std::abort();
}

void check_display_text(std::string_view bytes) {
  const std::u16string text = norvane::to_display_text(bytes);
  if (text.size() > norvane::kDisplayTextLimit) fail("display text longer than 512 units");
  for (char16_t c : text) {
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F) || (c >= 0x202A && c <= 0x202E) ||
        (c >= 0x2066 && c <= 0x2069)) {
      fail("control or bidi mark left in display text");
    }
  }
  if (bytes.empty() != text.empty()) fail("display text empty for non-empty input");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  check_display_text(bytes);

  norvane::VendorTable table;
  if (norvane::parse_vendor_db(bytes, table)) {
    for (const auto& [key, entry] : table.entries()) {
      const std::string_view name = entry.name;
      if (!norvane::vendor_name_valid(name) ||
          name.find_first_of(std::string_view("\t\r\n\0", 4)) != std::string_view::npos) {
        fail("accepted a name the file cannot hold");
      }
    }
    std::string text;
    if (!norvane::format_vendor_db(table, text)) fail("accepted table does not format");
    norvane::VendorTable again;
    if (!norvane::parse_vendor_db(text, again)) fail("formatted file does not parse");
    if (again.entries() != table.entries()) fail("round trip changed the entries");
    // Lookups over the parsed table with the input's first bytes as address.
    const std::string name = norvane::vendor_display_name(table, bytes.substr(0, 17));
    if (name.size() > norvane::kVendorNameMax) fail("lookup result too long");
  }
  return 0;
}
