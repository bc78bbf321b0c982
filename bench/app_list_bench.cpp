// The portable half of one timer tick on a full table: working out the list
// order of 16384 items (the list view then only applies it) and counting
// the shown devices for the status band. The whole tick with the real list
// view is measured under Wine by norvane-tick-bench (bench/windows).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <numeric>
#include <string>
#include <vector>

#include "app/list_logic.h"
#include "app/list_model.h"
#include "app/status_text.h"
#include "model/device_table.h"
#include "vendors/vendor_table.h"

namespace norvane {
namespace {

constexpr std::size_t kRows = 16384;

std::vector<DeviceRow> full_rows() {
  std::vector<DeviceRow> rows(kRows);
  for (std::size_t i = 0; i < kRows; ++i) {
    const std::size_t n = i * 7919 % kRows;
    const std::string ip = "10.0." + std::to_string(n >> 8) + "." + std::to_string(n & 0xFF);
    rows[i].columns[kColIp] = std::u16string(ip.begin(), ip.end());
    rows[i].address = address_key_from_text(rows[i].columns[kColIp]);
    const std::string name = "Kamera-" + std::to_string(n * 104729 % 100003);
    rows[i].columns[kColName] = std::u16string(name.begin(), name.end());
  }
  return rows;
}

void BM_SortPositions(benchmark::State& state) {
  const auto rows = full_rows();
  std::vector<std::size_t> items(kRows);
  std::iota(items.begin(), items.end(), std::size_t{0});
  const int column = static_cast<int>(state.range(0));
  for (auto _ : state) {
    benchmark::DoNotOptimize(sorted_positions(rows, items, column, true));
  }
}
BENCHMARK(BM_SortPositions)->Arg(kColIp)->Arg(kColName)->Unit(benchmark::kMillisecond);

// The list already in order: one pass, no sort.
void BM_SortPositionsInOrder(benchmark::State& state) {
  const auto rows = full_rows();
  std::vector<std::size_t> items(kRows);
  std::iota(items.begin(), items.end(), std::size_t{0});
  const std::vector<std::size_t> order = sorted_positions(rows, items, kColName, true);
  std::vector<std::size_t> sorted_items;
  for (const std::size_t p : order) sorted_items.push_back(items[p]);
  for (auto _ : state) {
    benchmark::DoNotOptimize(sorted_positions(rows, sorted_items, kColName, true));
  }
}
BENCHMARK(BM_SortPositionsInOrder)->Unit(benchmark::kMillisecond);

void BM_CountShownDevices(benchmark::State& state) {
  VendorTable vendors;
  DeviceTable table(vendors);
  for (std::size_t i = 0; i < kRows; ++i) {
    PacketSummary s;
    s.mac = "00:11:22:" + std::to_string(10 + i / 10000 % 90) + ":" +
            std::to_string(10 + i / 100 % 90) + ":" + std::to_string(10 + i % 90);
    s.ip = "10.1." + std::to_string(i >> 8) + "." + std::to_string(i & 0xFF);
    s.protocol = "SADP";
    table.merge(s);
  }
  for (auto& [key, group] : table.groups()) group.item = {1, group.rows.front()};
  for (auto _ : state) benchmark::DoNotOptimize(count_shown_devices(table));
}
BENCHMARK(BM_CountShownDevices)->Unit(benchmark::kMillisecond);

// A flood at one address: answers from ever new MACs (devices of their own,
// which no bound per address holds) merged into one growing group and
// presented in the in-memory list: the last tick's 4096 merges, which fill
// the table. The time per merge must not grow with the group (beyond the
// hash maps' and arrays' own growth): the range is the group's size when the
// measured merges begin.
void BM_MergeIntoOneCrowdedAddress(benchmark::State& state) {
  const auto group_size = static_cast<unsigned>(state.range(0));
  const auto summary = [](unsigned i) {
    PacketSummary s;
    char mac[18];
    std::snprintf(mac, sizeof mac, "02:%02X:%02X:%02X:00:01", (i >> 16) & 0xFF, (i >> 8) & 0xFF,
                  i & 0xFF);
    s.mac = mac;
    s.ip = "10.0.0.9";
    s.protocol = "SADP";
    s.name = "SN" + std::to_string(i);
    s.model = "DS-2CD2143G0-I";
    return s;
  };
  for (auto _ : state) {
    state.PauseTiming();
    VendorTable vendors;
    DeviceTable table(vendors);
    ListModel list(table);
    table.set_presenter(&list);
    for (unsigned i = 0; i < group_size; ++i) table.merge(summary(i));
    std::vector<PacketSummary> batch;
    for (unsigned i = 0; i < 4096; ++i) batch.push_back(summary(group_size + i));
    state.ResumeTiming();
    for (const PacketSummary& s : batch) table.merge(s);
    benchmark::DoNotOptimize(list.item_count());
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * 4096);
}
BENCHMARK(BM_MergeIntoOneCrowdedAddress)
    ->Arg(0)
    ->Arg(12288)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

}  // namespace
}  // namespace norvane
