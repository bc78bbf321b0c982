// The export of a full list (16384 items with every column filled, some
// cells quoted or guarded, non-ASCII names): the clipboard text of "Kopiuj
// wszystko" and the file of "Zapisz jako CSV…" are built on the UI thread
// at one click, so they must stay well under a tick.
#include <benchmark/benchmark.h>

#include <numeric>
#include <string>
#include <vector>

#include "app/list_export.h"
#include "model/device_table.h"

namespace norvane {
namespace {

constexpr std::size_t kRows = 16384;

std::u16string ascii(const std::string& s) { return std::u16string(s.begin(), s.end()); }

std::vector<DeviceRow> full_rows() {
  std::vector<DeviceRow> rows(kRows);
  for (std::size_t i = 0; i < kRows; ++i) {
    auto& c = rows[i].columns;
    c[kColIp] = ascii("10.0." + std::to_string(i >> 8) + "." + std::to_string(i & 0xFF));
    c[kColMac] = ascii("00:11:22:33:" + std::to_string(10 + (i >> 8) % 90) + ":" +
                       std::to_string(10 + i % 90));
    c[kColVendor] = u"Hangzhou Hikvision Digital Technology Co.,Ltd.";
    c[kColName] = i % 3 == 0
                      ? u"Kamera wej\u015Bcie \"p\u00F3\u0142noc\"" + ascii(std::to_string(i))
                  : i % 3 == 1 ? u"=HYPERLINK(\"x\")" + ascii(std::to_string(i))
                               : u"\u76E3\u8996\u30AB\u30E1\u30E9-" + ascii(std::to_string(i));
    c[kColModel] = u"DS-2CD2143G0-I";
    c[kColProtocols] = u"SADP, ONVIF, SSDP, ARP";
    c[kColInfo] = u"V5.6.5 build 190923, http://10.0.0.1/doc/page/login.asp";
  }
  return rows;
}

std::vector<std::size_t> all_items() {
  std::vector<std::size_t> order(kRows);
  std::iota(order.begin(), order.end(), std::size_t{0});
  return order;
}

void BM_ExportClipboardText(benchmark::State& state) {
  const auto rows = full_rows();
  const auto order = all_items();
  std::size_t units = 0;
  for (auto _ : state) {
    const std::u16string text = table_tsv(rows, order);
    units = text.size();
    benchmark::DoNotOptimize(text.data());
  }
  state.counters["bytes"] = static_cast<double>(units * sizeof(char16_t));
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kRows));
}
BENCHMARK(BM_ExportClipboardText)->Unit(benchmark::kMillisecond);

void BM_ExportCsvFile(benchmark::State& state) {
  const auto rows = full_rows();
  const auto order = all_items();
  std::size_t bytes = 0;
  for (auto _ : state) {
    const std::string csv = table_csv(rows, order, u',');
    bytes = csv.size();
    benchmark::DoNotOptimize(csv.data());
  }
  state.counters["bytes"] = static_cast<double>(bytes);
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kRows));
}
BENCHMARK(BM_ExportCsvFile)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace norvane
