// The discovery engine natively on the test lab's veth (run it inside the
// lab, as root: tests/netns/lab.sh test run -- build/bench/bench/norvane-scan-bench):
//   StartToFullList  from the start of capture and the first search until
//                    every simulated device is a list item with the MAC of
//                    its frames (the program shows it at its next 200 ms tick);
//   CaptureRate      frames per second libpcap hands to the capture control
//                    while the lab's far side floods the adapter.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <utility>

#include "app/list_model.h"
#include "capture/backends.h"
#include "capture/capture_control.h"
#include "capture/pcap_capture_posix.h"
#include "decode/frame.h"
#include "model/device_table.h"
#include "net/adapter.h"
#include "net/probe_engine.h"
#include "net/socket_api.h"
#include "vendors/vendor_table.h"

namespace norvane {
namespace {

using Clock = std::chrono::steady_clock;

std::string lab_file(const char* name) {
  const char* dir = std::getenv("NORVANE_LAB_DIR");
  return dir ? std::string(dir) + "/" + name : std::string();
}

// The value of "key" in one flat JSON line of the simulator's --expect.
std::string member(const std::string& line, const std::string& key) {
  const std::string head = "\"" + key + "\":\"";
  const auto at = line.find(head);
  if (at == std::string::npos) return {};
  const auto end = line.find('"', at + head.size());
  return end == std::string::npos ? std::string()
                                  : line.substr(at + head.size(), end - at - head.size());
}

std::set<std::pair<std::u16string, std::u16string>> wanted_items() {
  std::set<std::pair<std::u16string, std::u16string>> want;
  std::ifstream in(lab_file("expect.jsonl"));
  for (std::string line; std::getline(in, line);) {
    if (member(line, "path") != "udp") continue;
    const std::string ip = member(line, "wire_ip");
    const std::string mac = member(line, "wire_mac");
    want.emplace(std::u16string(ip.begin(), ip.end()), std::u16string(mac.begin(), mac.end()));
  }
  return want;
}

std::optional<NetworkAdapter> lab_adapter() {
  for (const NetworkAdapter& a : list_adapters()) {
    if (a.adapter_name == "nvs0") return a;
  }
  return std::nullopt;
}

class BenchHost final : public CaptureSource, public CaptureHost {
 public:
  BenchHost(NetworkAdapter adapter, DeviceTable& table, ListModel& list)
      : adapter_(std::move(adapter)), table_(table), list_(list) {}
  std::optional<NetworkAdapter> selected_adapter() override { return adapter_; }
  std::unique_ptr<CaptureBackend> start_pktmon(const NetworkAdapter&, FrameCallback,
                                               std::u16string&) override {
    return nullptr;
  }
  std::unique_ptr<CaptureBackend> start_npcap(const NetworkAdapter& adapter, FrameCallback frame,
                                              FailureCallback failed) override {
    return start_npcap_backend(adapter, std::move(frame), std::move(failed));
  }
  void on_probe_reply(const DiscoveryReply&) override {}
  void clear_device_list() override {
    table_.clear();
    list_.clear();
  }
  void refresh_status() override {}
  std::uint64_t now_ms() override { return system_sockets().now_ms(); }

 private:
  NetworkAdapter adapter_;
  DeviceTable& table_;
  ListModel& list_;
};

// The engine as norvane-scan runs it on the lab's adapter: the device
// table with the list's rules, the probe engine and libpcap capture.
struct LabEngine {
  LabEngine(const VendorTable& vendors, const NetworkAdapter& adapter)
      : table(vendors),
        list(table),
        host(adapter, table, list),
        engine(system_sockets()),
        control(host, host, engine) {
    table.set_presenter(&list);
  }
  DeviceTable table;
  ListModel list;
  BenchHost host;
  ProbeEngine engine;
  CaptureControl control;
};

void StartToFullList(benchmark::State& state) {
  const auto adapter = lab_adapter();
  const auto want = wanted_items();
  if (!adapter || want.empty() || !has_capture_rights()) {
    state.SkipWithError("run inside tests/netns/lab.sh test run, as root");
    return;
  }
  VendorTable vendors;
  for (auto _ : state) {
    LabEngine lab(vendors, *adapter);
    DeviceTable& table = lab.table;
    CaptureControl& control = lab.control;
    const auto started = Clock::now();
    control.start_capture();
    std::size_t found = 0;
    while (Clock::now() - started < std::chrono::seconds(10)) {
      for (const PacketSummary& s : control.take_queue()) table.merge(s);
      found = 0;
      for (const std::size_t row : lab.list.shown_rows()) {
        const auto& columns = table.row(row).columns;
        found += want.count({columns[kColIp], columns[kColMac]});
      }
      if (found == want.size()) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - started).count());
    if (found != want.size()) state.SkipWithError("the list never held every device");
    control.stop_capture();
    // The simulated devices answer each search; let the last answers pass.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
  }
  state.counters["devices"] = static_cast<double>(want.size());
}
BENCHMARK(StartToFullList)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

void CaptureRate(benchmark::State& state) {
  const auto adapter = lab_adapter();
  const char* ns = std::getenv("NORVANE_LAB_NS");
  const char* source = std::getenv("NORVANE_SOURCE_DIR");
  if (!adapter || !ns || !source || !has_capture_rights()) {
    state.SkipWithError("run inside tests/netns/lab.sh test run, as root, with NORVANE_SOURCE_DIR");
    return;
  }
  const std::string far = std::string(ns).substr(0, std::string(ns).rfind('-')) + "-far";
  const int seconds = static_cast<int>(state.range(0));
  const std::string result = lab_file("flood-bench.txt");
  const std::string flood = "ip netns exec " + far + " python3 " + source +
                            "/tests/capture/far_frames.py flood up0 " + std::to_string(seconds) +
                            " " + result;
  VendorTable vendors;
  for (auto _ : state) {
    LabEngine lab(vendors, *adapter);
    DeviceTable& table = lab.table;
    CaptureControl& control = lab.control;
    control.start_capture();
    const auto before = control.traffic().packet_count.load();
    const auto started = Clock::now();
    const int status = std::system(flood.c_str());
    // Let the ring drain, draining the queue as the tick does.
    for (int i = 0; i < 10; ++i) {
      for (const PacketSummary& s : control.take_queue()) table.merge(s);
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    const double elapsed = std::chrono::duration<double>(Clock::now() - started).count();
    state.SetIterationTime(elapsed);
    control.stop_capture();
    const auto counted = control.traffic().packet_count.load() - before;
    std::ifstream in(result);
    double sent = 0;
    in >> sent;
    if (status != 0 || sent <= 0) state.SkipWithError("the far side did not flood");
    state.counters["sent"] = sent;
    state.counters["counted"] = static_cast<double>(counted);
    state.counters["sent_per_s"] = sent / seconds;
    state.counters["counted_share"] = sent > 0 ? static_cast<double>(counted) / sent : 0;
  }
}
BENCHMARK(CaptureRate)->Arg(4)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
}  // namespace norvane
