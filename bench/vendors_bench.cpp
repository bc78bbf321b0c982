// The vendor database on the real IEEE registries of Debian's ieee-data:
// parsing the MA-L registry (the update worker's largest step), loading and
// saving the full database file (start-up and the end of every update), and
// lookups over the full table with the table and the addresses out of cache.
// Goals: the load under 30 ms, a cold lookup under 100 ns.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "vendors/registry_parsers.h"
#include "vendors/vendor_db.h"
#include "vendors/vendor_table.h"

namespace norvane {
namespace {

const std::filesystem::path kIeeeData = "/usr/share/ieee-data";

std::string read_registry(const char* name) {
  std::ifstream in(kIeeeData / name, std::ios::binary | std::ios::ate);
  if (!in) return {};
  std::string bytes(static_cast<std::size_t>(in.tellg()), '\0');
  in.seekg(0);
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return bytes;
}

// The four registries as the worker merges them; empty without ieee-data.
const VendorTable& full_table() {
  static const VendorTable table = [] {
    VendorTable t;
    const std::pair<const char*, unsigned> files[] = {
        {"oui.csv", 24}, {"mam.csv", 28}, {"oui36.csv", 36}, {"iab.csv", 36}};
    for (const auto& [name, bits] : files) {
      if (!parse_ieee_csv(t, read_registry(name), bits)) return VendorTable{};
    }
    return t;
  }();
  return table;
}

std::filesystem::path bench_file(const char* name) {
  return std::filesystem::temp_directory_path() /
         (std::string("norvane-bench-") + std::to_string(::getpid()) + "-" + name);
}

void BM_ParseIeeeMaL(benchmark::State& state) {
  const std::string text = read_registry("oui.csv");
  if (text.empty()) {
    state.SkipWithError("ieee-data is not installed");
    return;
  }
  for (auto _ : state) {
    VendorTable table;
    if (!parse_ieee_csv(table, text, 24)) {
      state.SkipWithError("parse failed");
      return;
    }
    benchmark::DoNotOptimize(table.size());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_ParseIeeeMaL)->Unit(benchmark::kMillisecond);

// Start-up: the whole file read and parsed into the window's table.
void BM_LoadFullDatabase(benchmark::State& state) {
  if (full_table().empty()) {
    state.SkipWithError("ieee-data is not installed");
    return;
  }
  const auto path = bench_file("load.tsv");
  if (!save_vendor_db(full_table(), path)) {
    state.SkipWithError("save failed");
    return;
  }
  for (auto _ : state) {
    VendorTable table;
    if (!load_vendor_db(table, path)) {
      state.SkipWithError("load failed");
      break;
    }
    benchmark::DoNotOptimize(table.size());
  }
  state.counters["entries"] = static_cast<double>(full_table().size());
  std::filesystem::remove(path);
}
BENCHMARK(BM_LoadFullDatabase)->Unit(benchmark::kMillisecond);

// Format, write and flush to disk.
void BM_SaveFullDatabase(benchmark::State& state) {
  if (full_table().empty()) {
    state.SkipWithError("ieee-data is not installed");
    return;
  }
  const auto path = bench_file("save.tsv");
  for (auto _ : state) {
    if (!save_vendor_db(full_table(), path)) {
      state.SkipWithError("save failed");
      break;
    }
  }
  std::filesystem::remove(path);
}
BENCHMARK(BM_SaveFullDatabase)->Unit(benchmark::kMillisecond);

// Random addresses, half of them in assigned blocks, visited in an order
// that jumps across the whole table (index and entries together about
// 3.5 MB, beyond the L2 cache): 64 Ki address texts (1.2 MB) against about
// 47000 entries, so nearly every lookup misses on the table itself.
void BM_LookupColdFullTable(benchmark::State& state) {
  const VendorTable& table = full_table();
  if (table.empty()) {
    state.SkipWithError("ieee-data is not installed");
    return;
  }
  std::vector<PrefixKey> keys;
  keys.reserve(table.size());
  for (const auto& [key, entry] : table.entries()) keys.push_back(key);
  std::mt19937_64 rng(99);
  constexpr std::size_t kCount = std::size_t{1} << 16;
  std::vector<std::array<char, 18>> addresses(kCount);
  for (auto& text : addresses) {
    std::uint64_t mac = rng() & 0xFCFFFFFFFFFFull;
    if (rng() & 1) {
      const PrefixKey key = keys[rng() % keys.size()];
      const unsigned bits = static_cast<unsigned>(key >> 36);
      const std::uint64_t prefix = key & ((std::uint64_t{1} << 36) - 1);
      mac = (prefix << (48 - bits)) | (mac & ((std::uint64_t{1} << (48 - bits)) - 1));
    }
    std::snprintf(
        text.data(), text.size(), "%02X:%02X:%02X:%02X:%02X:%02X",
        static_cast<unsigned>((mac >> 40) & 0xFF), static_cast<unsigned>((mac >> 32) & 0xFF),
        static_cast<unsigned>((mac >> 24) & 0xFF), static_cast<unsigned>((mac >> 16) & 0xFF),
        static_cast<unsigned>((mac >> 8) & 0xFF), static_cast<unsigned>(mac & 0xFF));
  }
  std::size_t i = 0;
  std::size_t found = 0;
  for (auto _ : state) {
    const std::string_view name =
        vendor_display_view(table, std::string_view(addresses[i].data(), 17));
    found += name.empty() ? 0 : 1;
    benchmark::DoNotOptimize(name.data());
    // A large odd stride: consecutive lookups touch unrelated memory.
    i = (i + 2654435761u) & (kCount - 1);
  }
  benchmark::DoNotOptimize(found);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LookupColdFullTable);

}  // namespace
}  // namespace norvane
