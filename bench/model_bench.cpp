// The vendor database parse (start-up and every reload after an update) and
// the display conversion that every merged value goes through. Merges and
// lookups are measured in core_bench.cpp.
#include <benchmark/benchmark.h>

#include <string>

#include "base/display_text.h"
#include "vendors/vendor_db.h"
#include "vendors/vendor_table.h"

namespace norvane {
namespace {

// About the size of the four IEEE registries together.
VendorTable registry_sized_table() {
  VendorTable table;
  for (std::uint64_t i = 0; i < 38000; ++i) {
    table.insert(make_prefix_key(24, i * 397 % 0x1000000), "Manufacturer Name Co., Ltd.");
  }
  for (std::uint64_t i = 0; i < 6000; ++i) {
    table.insert(make_prefix_key(28, i * 7919 % 0x10000000), "Medium Block Holder Inc.");
  }
  for (std::uint64_t i = 0; i < 11000; ++i) {
    table.insert(make_prefix_key(36, i * 104729 % 0x1000000000), "Small Block Holder GmbH");
  }
  return table;
}

void BM_ParseVendorDb(benchmark::State& state) {
  std::string text;
  if (!format_vendor_db(registry_sized_table(), text)) {
    state.SkipWithError("format failed");
    return;
  }
  for (auto _ : state) {
    VendorTable table;
    benchmark::DoNotOptimize(parse_vendor_db(text, table));
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_ParseVendorDb)->Unit(benchmark::kMillisecond);

// The worst file the loader accepts: 16 MiB of 36-bit entries with one-byte
// names, every one in its own 24-bit block (about 1.4 million entries).
void BM_ParseVendorDbWorstCase(benchmark::State& state) {
  std::string text(kVendorDbHeader);
  text.push_back('\n');
  constexpr char kHex[] = "0123456789ABCDEF";
  for (std::uint64_t i = 0; text.size() + 12 <= kVendorDbMaxSize; ++i) {
    const std::uint64_t value = (i * 0x9E3779B1ull % 0xFFFFFF) << 12;
    for (int d = 8; d >= 0; --d) text.push_back(kHex[(value >> (4 * d)) & 0xF]);
    text += "\tx\n";
  }
  for (auto _ : state) {
    VendorTable table;
    if (!parse_vendor_db(text, table)) {
      state.SkipWithError("parse failed");
      return;
    }
    state.counters["entries"] = static_cast<double>(table.size());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_ParseVendorDbWorstCase)->Unit(benchmark::kMillisecond);

void BM_DisplayText(benchmark::State& state) {
  const std::string utf8 =
      "Kamera zewn\xC4\x99trzna IP DS-2CD2143G0-I \xE2\x80\x93 wej\xC5\x9B"
      "cie";
  const std::string latin1 =
      "Cam\xE9ra ext\xE9rieure IP DS-2CD2143G0-I \x96 entr\xE9"
      "e 1";
  for (auto _ : state) {
    benchmark::DoNotOptimize(to_display_text(utf8));
    benchmark::DoNotOptimize(to_display_text(latin1));
  }
  state.SetItemsProcessed(state.iterations() * 2);
}
BENCHMARK(BM_DisplayText);

}  // namespace
}  // namespace norvane
