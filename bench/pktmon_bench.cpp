// The Packet Monitor data callback's own work per packet: the descriptor
// checks, and the 802.11 to Ethernet II conversion into the fixed buffer.
// Figures are packets per second (and bytes per second for the conversion).
//
// Goal: far above any Wi-Fi adapter's packet rate (well over 10 M packets/s
// for the checks, and several M/s for converting full-size frames), so that
// the callback's cost is the frame callback's, not this.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <iterator>
#include <vector>

#include "capture/pktmon_logic.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using norvane::pktmon::kFrameBufferSize;

// QoS data from an access point with LLC/SNAP and an IPv4 payload, `size`
// bytes in all.
Bytes qos_data(std::size_t size) {
  static constexpr std::uint8_t kHeader[] = {
      0x88, 0x02, 0x00, 0x00,                          // frame control, duration
      0x01, 0x00, 0x5e, 0x00, 0x00, 0xfb,              // A1: destination
      0x00, 0xaa, 0xbb, 0xcc, 0xdd, 0xee,              // A2: BSSID
      0x00, 0x11, 0x22, 0x33, 0x44, 0x55,              // A3: source
      0x10, 0x00, 0x00, 0x00,                          // sequence, QoS control
      0xaa, 0xaa, 0x03, 0x00, 0x00, 0x00, 0x08, 0x00,  // LLC/SNAP, IPv4
  };
  Bytes f(std::max(size, sizeof kHeader), 0x45);
  std::copy(std::begin(kHeader), std::end(kHeader), f.begin());
  return f;
}

// Stream data: 16 bytes of metadata (status 0, `type`) and the packet.
Bytes stream_data(std::uint16_t type, const Bytes& packet) {
  Bytes data(16, 0);
  data[14] = static_cast<std::uint8_t>(type);
  data.insert(data.end(), packet.begin(), packet.end());
  return data;
}

void BM_WifiToEthernet(benchmark::State& state) {
  const Bytes frame = qos_data(static_cast<std::size_t>(state.range(0)));
  std::array<std::uint8_t, kFrameBufferSize> out{};
  for (auto _ : state) {
    benchmark::DoNotOptimize(norvane::pktmon::wifi_to_ethernet(frame, out));
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(frame.size()));
}
BENCHMARK(BM_WifiToEthernet)->Arg(64)->Arg(512)->Arg(1500)->Arg(8000);

void BM_WifiRejectProtected(benchmark::State& state) {
  Bytes frame = qos_data(1500);
  frame[1] |= 0x40;
  std::array<std::uint8_t, kFrameBufferSize> out{};
  for (auto _ : state) benchmark::DoNotOptimize(norvane::pktmon::wifi_to_ethernet(frame, out));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_WifiRejectProtected);

// The whole callback path without the frame callback: Ethernet (a view, no
// copy) and 802.11 (converted).
void BM_StreamFrame(benchmark::State& state) {
  const bool wifi = state.range(0) == 2;
  Bytes packet = qos_data(1500);
  if (!wifi) packet.erase(packet.begin(), packet.begin() + 20);  // any 1480 bytes
  const Bytes data = stream_data(static_cast<std::uint16_t>(state.range(0)), packet);
  const norvane::pktmon::StreamDataDescriptor descriptor{
      data.data(), static_cast<std::uint32_t>(data.size()), 0, 16,
      static_cast<std::uint32_t>(packet.size())};
  std::array<std::uint8_t, kFrameBufferSize> scratch{};
  for (auto _ : state) {
    benchmark::DoNotOptimize(norvane::pktmon::stream_frame(&descriptor, scratch));
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_StreamFrame)->Arg(1)->Arg(2)->ArgName("type");

}  // namespace
