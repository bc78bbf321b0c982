// Frames per second from pcap_next_ex through the Npcap back-end's thread to
// the capture queue, under Wine on a veth while the far side floods it
// (tests/capture_lab.sh throughput). The callback is the capture control's
// own (CaptureControl::on_frame: the checks, the counters, the keep rule
// and the queue), and a second thread drains the queue every 200 ms like
// the timer tick.
//
//   norvane-capture-bench.exe INTERFACE SECONDS [count]
// INTERFACE is the adapter's friendly name; with "count" the callback only
// counts, which separates the library's and the thread's share from the
// capture control's.
// clang-format off
#include <winsock2.h>
#include <ws2ipdef.h>
#include <iphlpapi.h>
// clang-format on

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "capture/capture_control.h"
#include "capture/npcap_capture_win.h"
#include "support/quiet_capture.h"

namespace {

// "{GUID}" of the adapter whose friendly name is `name`; empty when none.
std::string adapter_named(const std::string& name) {
  ULONG size = 64 * 1024;
  std::vector<std::uint8_t> buffer(size);
  auto* list = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data());
  if (GetAdaptersAddresses(AF_UNSPEC, 0, nullptr, list, &size) != NO_ERROR) return {};
  for (auto* a = list; a; a = a->Next) {
    const std::wstring friendly = a->FriendlyName ? a->FriendlyName : L"";
    if (std::string(friendly.begin(), friendly.end()) == name) return a->AdapterName;
  }
  return {};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 && argc != 4) {
    std::fprintf(stderr, "usage: norvane-capture-bench INTERFACE SECONDS [count]\n");
    return 2;
  }
  const std::string adapter = adapter_named(argv[1]);
  const int seconds = std::atoi(argv[2]);
  const bool count_only = argc == 4 && std::string(argv[3]) == "count";

  norvane::test::QuietCaptureHost host;
  norvane::SilentProbeEngine engine;
  norvane::CaptureControl control(host, host, engine);
  std::atomic<std::uint64_t> counted{0}, counted_bytes{0};
  const norvane::FrameCallback whole = control.frame_callback(norvane::MacBytes{});
  norvane::FrameCallback on_frame = whole;
  if (count_only) {
    on_frame = [&](const std::uint8_t* frame, std::uint64_t length) {
      if (!frame || length < 14) return;
      counted.fetch_add(1, std::memory_order_relaxed);
      counted_bytes.fetch_add(length, std::memory_order_relaxed);
    };
  }
  std::atomic<int> failures{0};
  std::unique_ptr<norvane::NpcapCapture> capture;
  if (!norvane::NpcapCapture::start(capture, adapter, on_frame, [&] { ++failures; })) {
    std::fprintf(stderr, "capture did not start on %s\n", adapter.c_str());
    return 1;
  }
  const int kernel_buffer = capture->kernel_buffer();

  std::atomic<bool> done{false};
  std::size_t high_water = 0, taken = 0;
  std::thread drain([&] {
    std::vector<norvane::PacketSummary> batch;
    while (!done.load()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      control.take_queue(batch);
      high_water = std::max(high_water, batch.size());
      taken += batch.size();
      batch.clear();
    }
  });

  const auto begin = std::chrono::steady_clock::now();
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  capture.reset();
  const double elapsed =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  done.store(true);
  drain.join();

  const std::uint64_t frames = count_only ? counted.load() : control.traffic().packet_count.load();
  const std::uint64_t bytes =
      count_only ? counted_bytes.load() : control.traffic().byte_count.load();
  std::printf("captured %llu frames, %llu bytes in %.2f s: %.0f frames/s, %.1f MB/s\n",
              static_cast<unsigned long long>(frames), static_cast<unsigned long long>(bytes),
              elapsed, static_cast<double>(frames) / elapsed,
              static_cast<double>(bytes) / elapsed / 1e6);
  std::printf("kernel buffer %d bytes; queued %zu in all, at most %zu per 200 ms; failures %d\n",
              kernel_buffer, taken, high_water, failures.load());
  return failures.load() == 0 ? 0 : 1;
}
