// Frames per second from pcap_next_ex through the Npcap back-end's thread to
// a bounded queue, under Wine on a veth while the far side floods it
// (tests/capture_lab.sh throughput). The callback does what the capture
// control's does per frame: the length and own-address checks, the counters,
// the keep rule and the append under a mutex to a queue of at most 4096
// summaries, which a second thread drains every 200 ms like the timer tick.
//
//   norvane-capture-bench.exe INTERFACE SECONDS [count]
// INTERFACE is the adapter's friendly name; with "count" the callback only
// counts, which separates the library's and the thread's share from the
// keep rule's.
// clang-format off
#include <winsock2.h>
#include <ws2ipdef.h>
#include <iphlpapi.h>
// clang-format on

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "capture/npcap_capture_win.h"
#include "decode/frame.h"

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

  std::atomic<std::uint64_t> frames{0}, bytes{0}, kept{0}, dropped{0};
  std::mutex lock;
  std::deque<norvane::PacketSummary> queue;
  std::size_t high_water = 0;

  norvane::FrameCallback on_frame = [&](const std::uint8_t* frame, std::uint64_t length) {
    if (!frame || length < 14) return;
    frames.fetch_add(1, std::memory_order_relaxed);
    bytes.fetch_add(length, std::memory_order_relaxed);
    if (count_only) return;
    norvane::PacketSummary summary;
    if (!norvane::summarize_frame(frame, length, summary)) return;
    std::lock_guard<std::mutex> guard(lock);
    if (queue.size() < 4096) {
      queue.push_back(std::move(summary));
      high_water = std::max(high_water, queue.size());
      kept.fetch_add(1, std::memory_order_relaxed);
    } else {
      dropped.fetch_add(1, std::memory_order_relaxed);
    }
  };
  std::atomic<int> failures{0};
  std::unique_ptr<norvane::NpcapCapture> capture;
  if (!norvane::NpcapCapture::start(capture, adapter, on_frame, [&] { ++failures; })) {
    std::fprintf(stderr, "capture did not start on %s\n", adapter.c_str());
    return 1;
  }

  std::atomic<bool> done{false};
  std::thread drain([&] {
    while (!done.load()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      std::deque<norvane::PacketSummary> taken;
      std::lock_guard<std::mutex> guard(lock);
      taken.swap(queue);
    }
  });

  const auto begin = std::chrono::steady_clock::now();
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  capture.reset();
  const double elapsed =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  done.store(true);
  drain.join();

  std::printf("captured %llu frames, %llu bytes in %.2f s: %.0f frames/s, %.1f MB/s\n",
              static_cast<unsigned long long>(frames.load()),
              static_cast<unsigned long long>(bytes.load()), elapsed, frames.load() / elapsed,
              bytes.load() / elapsed / 1e6);
  std::printf("queued %llu, dropped at the 4096 cap %llu, queue high water %zu, failures %d\n",
              static_cast<unsigned long long>(kept.load()),
              static_cast<unsigned long long>(dropped.load()), high_water, failures.load());
  return failures.load() == 0 ? 0 : 1;
}
