// One input is a prefix-length selector byte and an IEEE registry CSV file.
// A failed parse leaves the target as it was; a successful one only adds or
// replaces entries of the selected length.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "registry_fuzz_common.h"
#include "vendors/registry_parsers.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  constexpr unsigned kBits[] = {24, 28, 36, 32};
  const unsigned bits = kBits[data[0] % 4];
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

  norvane::VendorTable table;
  const norvane::PrefixKey sentinel = norvane::make_prefix_key(24, 0xABCDEF);
  table.insert(sentinel, "Before");
  const bool ok = norvane::parse_ieee_csv(table, text, bits);
  if (!ok) {
    if (table.size() != 1 || *table.find(sentinel) != "Before") {
      registry_fuzz::fail("ieee-csv-fuzz", "failed parse changed the target");
    }
    return 0;
  }
  if (bits == 32) registry_fuzz::fail("ieee-csv-fuzz", "accepted a 32-bit registry");
  for (const auto& [key, entry] : table.entries()) {
    if (key != sentinel && (key >> 36) != bits) {
      registry_fuzz::fail("ieee-csv-fuzz", "entry of another length");
    }
  }
  norvane::VendorTable parsed;
  if (!norvane::parse_ieee_csv(parsed, text, bits)) {
    registry_fuzz::fail("ieee-csv-fuzz", "same text failed on an empty target");
  }
  registry_fuzz::check_table("ieee-csv-fuzz", parsed);
  return 0;
}
