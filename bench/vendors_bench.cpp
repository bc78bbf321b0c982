// The vendor database on the real IEEE registries of Debian's ieee-data:
// parsing the MA-L registry (the update worker's largest step), loading and
// saving the full database file (start-up and the end of every update), and
// lookups over the full table with the table and the addresses out of cache
// and in it. Then the worst file for the table: 700,000 prefixes chosen to
// cost the most, against as many random ones.
// Goals: the load under 30 ms, a cold lookup under 100 ns, the crafted
// 700,000 within 3x of the random 700,000.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
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

// The same table with the devices of one segment looked up again and again:
// the lookup's own cost, its memory in cache.
void BM_LookupWarmFullTable(benchmark::State& state) {
  const VendorTable& table = full_table();
  if (table.empty()) {
    state.SkipWithError("ieee-data is not installed");
    return;
  }
  // 32 entries from all over the table.
  std::vector<std::array<char, 18>> addresses;
  std::size_t n = 0;
  for (const auto& [key, entry] : table.entries()) {
    if (n++ % (table.size() / 32) != 0 || addresses.size() == 32) continue;
    const unsigned bits = static_cast<unsigned>(key >> 36);
    const std::uint64_t mac = (key & ((std::uint64_t{1} << 36) - 1)) << (48 - bits) | 0x42;
    auto& text = addresses.emplace_back();
    std::snprintf(text.data(), text.size(), "%012llX", static_cast<unsigned long long>(mac));
  }
  std::size_t i = 0;
  for (auto _ : state) {
    const std::string_view name =
        vendor_display_view(table, std::string_view(addresses[i].data(), 12));
    benchmark::DoNotOptimize(name.data());
    i = (i + 1) % addresses.size();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LookupWarmFullTable);

// --- the worst file ----------------------------------------------------------

constexpr std::size_t kCraftedCount = 700000;

std::string prefix_line(PrefixKey key, std::string_view name) {
  const unsigned bits = static_cast<unsigned>(key >> 36);
  std::string line;
  for (unsigned shift = bits; shift > 0;) {
    shift -= 4;
    line.push_back("0123456789ABCDEF"[(key >> shift) & 0xF]);
  }
  line.push_back('\t');
  line.append(name);
  line.push_back('\n');
  return line;
}

// 700,000 random MA-S prefixes with short random names, in the order the
// program saves them.
const std::string& random_file() {
  static const std::string text = [] {
    std::mt19937_64 rng(1);
    std::set<PrefixKey> keys;
    while (keys.size() < kCraftedCount) keys.insert(make_prefix_key(36, rng() >> 28));
    std::string out(kVendorDbHeader);
    out.push_back('\n');
    std::string name(10, 'a');
    for (const PrefixKey key : keys) {
      for (char& c : name) c = static_cast<char>('a' + rng() % 26);
      out += prefix_line(key, name);
    }
    return out;
  }();
  return text;
}

// What costs this table the most: every block split three deep (its 24-bit
// entry, four MA-M blocks and sixteen MA-S blocks inside and around them),
// so the file's order is far from the address order and every entry has
// enclosing ones to find; the lines shuffled, so the sort gets no help; and
// names that keep the display classification comparing at every byte.
const std::string& crafted_file() {
  static const std::string text = [] {
    std::mt19937_64 rng(2);
    std::set<std::uint64_t> blocks;
    std::vector<std::string> lines;
    lines.reserve(kCraftedCount);
    const std::string name = "hikvisiohi";
    while (lines.size() < kCraftedCount) {
      const std::uint64_t block = rng() & 0xFCFFFF;
      if (!blocks.insert(block).second) continue;
      lines.push_back(prefix_line(make_prefix_key(24, block), name));
      for (std::uint64_t m : {0x0u, 0x5u, 0xAu, 0xFu}) {
        lines.push_back(prefix_line(make_prefix_key(28, block << 4 | m), name));
      }
      for (std::uint64_t s = 0; s < 16; ++s) {
        lines.push_back(prefix_line(make_prefix_key(36, block << 12 | s * 0xFF), name));
      }
    }
    lines.resize(kCraftedCount);
    std::shuffle(lines.begin(), lines.end(), rng);
    std::string out(kVendorDbHeader);
    out.push_back('\n');
    for (const std::string& line : lines) out += line;
    return out;
  }();
  return text;
}

void load_file(benchmark::State& state, const std::string& text) {
  std::size_t entries = 0;
  for (auto _ : state) {
    VendorTable table;
    if (!parse_vendor_db(text, table)) {
      state.SkipWithError("the file does not load");
      return;
    }
    entries = table.size();
  }
  state.counters["entries"] = static_cast<double>(entries);
  state.counters["MiB"] = static_cast<double>(text.size()) / (1024.0 * 1024.0);
}

void BM_LoadRandomPrefixes(benchmark::State& state) { load_file(state, random_file()); }
BENCHMARK(BM_LoadRandomPrefixes)->Unit(benchmark::kMillisecond);

void BM_LoadCraftedPrefixes(benchmark::State& state) { load_file(state, crafted_file()); }
BENCHMARK(BM_LoadCraftedPrefixes)->Unit(benchmark::kMillisecond);

// Lookups over the two tables of 700,000, out of cache: the search reads
// the same number of levels whatever the keys, so the crafted table costs
// what any table of its size does.
void lookup_cold_in_file(benchmark::State& state, const std::string& file) {
  VendorTable table;
  if (!parse_vendor_db(file, table)) {
    state.SkipWithError("the file does not load");
    return;
  }
  std::vector<PrefixKey> keys;
  for (const auto& [key, entry] : table.entries()) keys.push_back(key);
  std::mt19937_64 rng(9);
  constexpr std::size_t kCount = std::size_t{1} << 16;
  std::vector<std::array<char, 13>> addresses(kCount);
  for (auto& text : addresses) {
    const PrefixKey key = keys[rng() % keys.size()];
    const unsigned bits = static_cast<unsigned>(key >> 36);
    const std::uint64_t mac = (key & ((std::uint64_t{1} << 36) - 1)) << (48 - bits) |
                              (rng() & ((std::uint64_t{1} << (48 - bits)) - 1));
    std::snprintf(text.data(), text.size(), "%012llX", static_cast<unsigned long long>(mac));
  }
  std::size_t i = 0;
  for (auto _ : state) {
    const std::string_view name =
        vendor_display_view(table, std::string_view(addresses[i].data(), 12));
    benchmark::DoNotOptimize(name.data());
    i = (i + 2654435761u) & (kCount - 1);
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_LookupColdRandomTable(benchmark::State& state) {
  lookup_cold_in_file(state, random_file());
}
BENCHMARK(BM_LookupColdRandomTable);

void BM_LookupColdCraftedTable(benchmark::State& state) {
  lookup_cold_in_file(state, crafted_file());
}
BENCHMARK(BM_LookupColdCraftedTable);

}  // namespace
}  // namespace norvane
