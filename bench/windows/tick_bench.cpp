// One timer tick of the real main window under load: the capture queue is
// full (4096 summaries) and the device table holds or reaches 16384 rows;
// the tick merges, updates the list view, sorts once, fits the columns and
// refreshes the status band. Google Benchmark is not available for the
// Windows build, so this measures with the steady clock and prints the
// median, minimum and maximum of several runs. Goal: under 50 ms.
//
// Usage: norvane-tick-bench [runs] [rows]
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/window_win.h"

namespace {

using norvane::PacketSummary;
using norvane::Window;

std::string mac_text(unsigned n) {
  char text[18];
  std::snprintf(text, sizeof text, "02:00:%02X:%02X:%02X:%02X", (n >> 24) & 0xFF, (n >> 16) & 0xFF,
                (n >> 8) & 0xFF, n & 0xFF);
  return text;
}

PacketSummary device(unsigned n, const char* protocol, const std::string& name) {
  PacketSummary s;
  s.mac = mac_text(n);
  s.ip = "10." + std::to_string((n >> 16) & 0xFF) + "." + std::to_string((n >> 8) & 0xFF) + "." +
         std::to_string(n & 0xFF);
  s.protocol = protocol;
  s.name = name;
  s.model = n % 3 == 0 ? "DS-2CD2143G0-I" : "";
  s.info = "V5.5." + std::to_string(n % 97);
  return s;
}

void feed(Window& window, unsigned first, unsigned count, const char* protocol,
          const std::string& prefix) {
  const auto generation = window.queue_generation();
  for (unsigned n = first; n < first + count; ++n) {
    window.queue_summary(device(n, protocol, prefix + std::to_string(n * 7919u % 100003u)),
                         generation);
  }
}

void pump() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

struct Stats {
  double median = 0, min = 0, max = 0;
};

Stats stats(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return {v[v.size() / 2], v.front(), v.back()};
}

template <typename Setup, typename Timed>
Stats measure(int runs, Setup setup, Timed timed) {
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) {
    setup();
    const auto start = std::chrono::steady_clock::now();
    timed();
    const auto end = std::chrono::steady_clock::now();
    times.push_back(std::chrono::duration<double, std::milli>(end - start).count());
    pump();
  }
  return stats(times);
}

void report(const char* name, const Window& window, const Stats& s) {
  (void)window;
  std::printf("%-44s median %8.2f ms   min %8.2f ms   max %8.2f ms\n", name, s.median, s.min,
              s.max);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const int runs = argc > 1 ? std::max(1, _wtoi(argv[1])) : 7;
  const unsigned kRows =
      argc > 2 ? static_cast<unsigned>(std::clamp(_wtoi(argv[2]), 4096, 16384)) : 16384u;
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);
  HINSTANCE instance = GetModuleHandleW(nullptr);
  if (!Window::register_class(instance, nullptr, nullptr)) return 1;

  norvane::WindowOptions options;
  options.forced_dpi = 96;
  options.list_adapters = [] { return std::vector<norvane::NetworkAdapter>{}; };
  options.warn = [](std::wstring_view, std::wstring_view) {};
  options.open_address = [](const std::wstring&) { return true; };
  Window window(options);
  if (!window.create(instance)) return 1;
  ShowWindow(window.hwnd(), SW_SHOWNORMAL);
  pump();

  constexpr unsigned kBatch = 4096;
  const auto fill = [&](unsigned rows) {
    window.clear_devices();
    for (unsigned first = 0; first < rows; first += kBatch) {
      feed(window, first, std::min(kBatch, rows - first), "SADP", "cam-");
      window.update();
    }
  };

  // New devices: 12288 rows are there, the tick adds the last 4096 items.
  const Stats grow = measure(
      runs,
      [&] {
        fill(kRows - kBatch);
        feed(window, kRows - kBatch, kBatch, "SADP", "cam-");
      },
      [&] { window.update(); });
  report("tick: 4096 new devices, table reaches rows", window, grow);

  // Known devices: the table is full, 4096 rows change their name (sorted by
  // name, so the tick re-sorts once).
  fill(kRows);
  window.device_list().sort_by(norvane::kColName);
  unsigned round = 0;
  const Stats rename = measure(
      runs,
      [&] {
        ++round;
        feed(window, (round * kBatch) % kRows, kBatch, "SADP",
             "renamed-" + std::to_string(round) + "-");
      },
      [&] { window.update(); });
  report("tick: 4096 renamed devices in full table", window, rename);

  std::printf("list items: %d, table rows: %zu\n",
              static_cast<int>(SendMessageW(window.list_view(), LVM_GETITEMCOUNT, 0, 0)),
              window.device_table().size());
  DestroyWindow(window.hwnd());
  pump();
  return 0;
}
