// One input is a manufacturer file. A failed parse leaves the target as it
// was; a successful one replaces it with a table holding all three prefix
// lengths.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "registry_fuzz_common.h"
#include "vendors/registry_parsers.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  norvane::VendorTable table;
  const norvane::PrefixKey sentinel = norvane::make_prefix_key(24, 0xABCDEF);
  table.insert(sentinel, "Before");
  if (!norvane::parse_manuf(table, text)) {
    if (table.size() != 1 || *table.find(sentinel) != "Before") {
      registry_fuzz::fail("manuf-fuzz", "failed parse changed the target");
    }
    return 0;
  }
  bool lengths[3] = {false, false, false};
  for (const auto& [key, entry] : table.entries()) {
    const auto bits = key >> 36;
    lengths[bits == 24 ? 0 : bits == 28 ? 1 : 2] = true;
  }
  if (!lengths[0] || !lengths[1] || !lengths[2]) {
    registry_fuzz::fail("manuf-fuzz", "accepted without all three lengths");
  }
  registry_fuzz::check_table("manuf-fuzz", table);
  return 0;
}
