// The real window capturing on a veth under Wine (tests/capture_lab.sh
// window): the adapter inventory, the capture control with the Npcap
// back-end, the probe engine with the raw sender, and the device table, while
// the far side sends discovery frames and then floods the link.
// Without the script's environment (NVC_IFACE) every case skips.
// clang-format off
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>
// clang-format on

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/window_win.h"
#include "support/common_controls_win.h"

namespace norvane {
namespace {

using Clock = std::chrono::steady_clock;

std::string env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

using test::to_wide;

const auto* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new test::CommonControlsEnvironment);

// Runs the message loop for `ms`, timing every tick of the window's timer.
struct TickTimes {
  std::vector<double> ms;
  double worst() const { return ms.empty() ? 0 : *std::max_element(ms.begin(), ms.end()); }
};

void pump_for(int ms, TickTimes* ticks = nullptr) {
  const auto end = Clock::now() + std::chrono::milliseconds(ms);
  while (Clock::now() < end) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      const bool tick = msg.message == WM_TIMER && msg.wParam == kTickTimer;
      const auto begin = Clock::now();
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
      if (tick && ticks) {
        ticks->ms.push_back(
            std::chrono::duration<double, std::milli>(Clock::now() - begin).count());
      }
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
}

// Committed private memory (Wine fills PagefileUsage, not PrivateUsage).
std::uint64_t private_bytes() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
  return counters.PagefileUsage;
}

// A counter of the near interface from sysfs, which the namespace's own /sys
// shows to every process in it, Wine's included.
std::uint64_t interface_counter(const char* name) {
  std::ifstream in("Z:\\sys\\class\\net\\" + env("NVC_IFACE") + "\\statistics\\" + name);
  std::uint64_t value = 0;
  in >> value;
  return value;
}

std::wstring windows_path(const std::string& unix_path) {
  std::string path = "Z:" + unix_path;
  std::replace(path.begin(), path.end(), '/', '\\');
  return to_wide(path);
}

class WindowLab : public ::testing::Test {
 protected:
  void SetUp() override {
    if (env("NVC_IFACE").empty()) GTEST_SKIP() << "runs inside tests/capture_lab.sh";
    WindowOptions options;
    options.forced_dpi = 96;
    options.warn = [](std::wstring_view, std::wstring_view) {};
    options.open_address = [](const std::wstring&) { return false; };
    // The system's inventory, reduced to the lab's adapter.
    options.list_adapters = [] {
      std::vector<NetworkAdapter> all = list_adapters();
      std::vector<NetworkAdapter> lab;
      const std::string name = env("NVC_IFACE");
      const std::u16string want(name.begin(), name.end());
      for (const NetworkAdapter& a : all) {
        if (a.description == want || a.display_name == want) lab.push_back(a);
      }
      return lab;
    };
    window_ = std::make_unique<Window>(options);
    ASSERT_NE(window_->create(GetModuleHandleW(nullptr)), nullptr);
    ShowWindow(window_->hwnd(), SW_SHOWNORMAL);
    pump_for(300);  // WM_APP+1: capture starts and the first search goes out
  }
  void TearDown() override {
    if (window_ && window_->hwnd()) DestroyWindow(window_->hwnd());
    pump_for(50);
    window_.reset();
  }

  // The devices of the far side, by MAC, with a protocol they came with
  // (any protocol when empty).
  bool has_device(const std::string& mac, const std::string& protocol) const {
    const auto& index = window_->device_table().index();
    const auto at = index.find(mac);
    if (at == index.end()) return false;
    const auto& names = window_->device_table().row(at->second).protocol_names;
    return protocol.empty() || std::find(names.begin(), names.end(), protocol) != names.end();
  }
  // A bare ARP request teaches an address, not a device; the LLDP frame is
  // filed under its chassis MAC.
  bool arp_learned(const std::string& mac, const std::string& ip) const {
    const auto& cache = window_->device_table().arp_cache();
    const auto at = cache.find(mac);
    return at != cache.end() && at->second == ip;
  }
  bool all_far_devices() const {
    return arp_learned("02:80:00:00:00:01", "10.80.0.2") && has_device("02:80:00:00:00:02", "") &&
           has_device("00:11:22:33:44:55", "LLDP") && has_device("02:80:00:00:00:04", "mDNS") &&
           has_device("02:80:00:00:00:05", "SSDP") && has_device("44:19:B6:12:34:56", "SADP L2");
  }
  std::string table_text() const {
    std::string out;
    for (const auto& [key, row] : window_->device_table().index()) {
      out += key + ":";
      for (const auto& p : window_->device_table().row(row).protocol_names) out += " " + p;
      out += "\n";
    }
    return out;
  }

  // Asks the script's far side for one flood and waits for its end.
  bool flood(const std::string& request, TickTimes& ticks, std::uint64_t& memory_peak,
             std::size_t& queue_peak) {
    std::ofstream(std::filesystem::path(windows_path(request))) << "go\n";
    const std::wstring done = windows_path(request + ".done");
    for (int i = 0; i < 400; ++i) {
      pump_for(100, &ticks);
      memory_peak = std::max(memory_peak, private_bytes());
      queue_peak = std::max(queue_peak, window_->queued_summaries());
      if (GetFileAttributesW(done.c_str()) != INVALID_FILE_ATTRIBUTES) {
        pump_for(1000, &ticks);  // the last frames, and a few ticks to drain
        return true;
      }
    }
    return false;
  }

  std::unique_ptr<Window> window_;
};

TEST_F(WindowLab, CapturedFramesBecomeDevicesThenAFloodStaysBounded) {
  const CaptureControl& capture = window_->capture();
  ASSERT_TRUE(capture.running());
  EXPECT_TRUE(capture.has_npcap());  // no Packet Monitor under Wine
  EXPECT_FALSE(capture.pktmon_active());
  EXPECT_FALSE(capture.udp_only());
  EXPECT_TRUE(capture.probe_engine_open());
  EXPECT_EQ(capture.search_status(), u"");

  for (int i = 0; i < 75 && !all_far_devices(); ++i) pump_for(200);
  EXPECT_TRUE(all_far_devices()) << table_text();
  EXPECT_GT(window_->traffic().packet_count.load(), 0u);

  // The flood: the script's far side sends broadcast and ARP frames as fast
  // as the veth takes them, the discovery frames still among them.
  const std::string request = env("NVC_FLOOD_FILE");
  if (request.empty()) return;
  window_->clear_devices();
  pump_for(400);
  std::uint64_t packets_before = window_->traffic().packet_count.load();
  std::uint64_t received_before = interface_counter("rx_packets");
  const std::uint64_t memory_before = private_bytes();
  TickTimes ticks;
  std::uint64_t memory_peak = memory_before;
  std::size_t queue_peak = 0;
  ASSERT_TRUE(flood(request, ticks, memory_peak, queue_peak)) << "the flood did not end";
  std::uint64_t counted = window_->traffic().packet_count.load() - packets_before;
  std::uint64_t received = interface_counter("rx_packets") - received_before;
  std::printf(
      "flood: %llu frames received by the interface, %llu counted (%.1f%%); %zu ticks, worst "
      "%.1f ms; queue peak %zu; committed memory %.1f MB before, %.1f MB peak\n",
      static_cast<unsigned long long>(received), static_cast<unsigned long long>(counted),
      received ? 100.0 * static_cast<double>(counted) / static_cast<double>(received) : 0.0,
      ticks.ms.size(), ticks.worst(), queue_peak, memory_before / 1e6, memory_peak / 1e6);
  EXPECT_LE(queue_peak, kMaxQueuedSummaries);
  EXPECT_LT(memory_peak - memory_before, 64u << 20);  // bounded by the queue, not the flood
  EXPECT_GT(ticks.ms.size(), 20u);                    // the window kept ticking
  // The capture keeps up with the flood: it reads again within a
  // millisecond while frames flow, into a kernel buffer that holds seconds
  // of them. Nothing is counted twice; the one batch of the far side's
  // discovery frames (six, every 200 ms) that may wait in the buffer when
  // the counters are first read is the only slack.
  EXPECT_LE(counted, received + 6);
  EXPECT_GE(counted, received * 99 / 100);
  EXPECT_TRUE(all_far_devices()) << table_text();

  // At a rate the capture keeps up with, every frame is counted once. The
  // far side's discovery frames stop first, so that no frame is on its way
  // while the counters are read.
  const std::string paced = env("NVC_PACED_FILE");
  const std::string quiet = env("NVC_QUIET_FILE");
  if (paced.empty() || quiet.empty()) return;
  std::ofstream(std::filesystem::path(windows_path(quiet))) << "quiet\n";
  pump_for(1500);
  packets_before = window_->traffic().packet_count.load();
  received_before = interface_counter("rx_packets");
  ASSERT_TRUE(flood(paced, ticks, memory_peak, queue_peak)) << "the paced flood did not end";
  counted = window_->traffic().packet_count.load() - packets_before;
  received = interface_counter("rx_packets") - received_before;
  std::printf("paced: %llu frames received by the interface, %llu counted\n",
              static_cast<unsigned long long>(received), static_cast<unsigned long long>(counted));
  EXPECT_EQ(counted, received);
  EXPECT_LE(queue_peak, kMaxQueuedSummaries);
}

// Last: the script removes the interface when asked. The capture thread's
// read error is reported once; the next tick skips Npcap and restarts, which
// finds the adapter gone.
TEST_F(WindowLab, RemovedInterfaceEndsCaptureAtTheNextTick) {
  const std::string request = env("NVC_DOWN_FILE");
  if (request.empty()) GTEST_SKIP() << "needs the script's interface watcher";
  ASSERT_TRUE(window_->capture().has_npcap());
  EXPECT_EQ(window_->capture().search_status(), u"");
  std::ofstream(std::filesystem::path(windows_path(request))) << "remove\n";
  for (int i = 0; i < 50 && !window_->capture().npcap_failed(); ++i) pump_for(200);
  EXPECT_TRUE(window_->capture().npcap_failed());
  EXPECT_FALSE(window_->capture().has_npcap());
  EXPECT_FALSE(window_->capture().capture_failed());  // cleared by the restart
  pump_for(1000);
  EXPECT_FALSE(window_->capture().has_npcap());
  EXPECT_FALSE(window_->capture().running());  // no adapter left to run on
}

}  // namespace
}  // namespace norvane
