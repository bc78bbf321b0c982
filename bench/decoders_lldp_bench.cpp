// LLDP and CDP decoding throughput on real switch announcements, as frames
// per second. Goal: 1 M frames/s per core or more for each decoder, and for
// the whole capture path of such a frame.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "decode/frame.h"
#include "decode/lldp_cdp.h"
#include "model/packet_summary.h"
#include "support/pcap_reader.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Frame number (1-based) of one capture file.
Bytes capture_frame(const char* file, std::size_t number) {
  const auto pcap = norvane::test::read_pcap(std::string(NORVANE_CAPTURES_DIR) + "/" + file);
  if (!pcap || number == 0 || number > pcap->frames.size()) return {};
  return pcap->frames[number - 1].data;
}

// Catalyst LLDPDU: chassis MAC, interface alias, TTL, 3-line system
// description, port description, capabilities, two organisation TLVs.
const Bytes& lldp_frame() {
  static const Bytes frame = capture_frame("LLDP_and_CDP.pcap", 3);
  return frame;
}

// Catalyst 3560 CDPv2: 15 TLVs with addresses and management addresses.
const Bytes& cdp_frame() {
  static const Bytes frame = capture_frame("3560_CDP.pcap", 1);
  return frame;
}

constexpr std::size_t kEthernetHeader = 14;

// Decodes the same `length` bytes into a fresh summary on every iteration.
template <auto Decode>
void decode_repeatedly(benchmark::State& state, const std::uint8_t* data, std::size_t length) {
  for (auto _ : state) {
    norvane::PacketSummary summary;
    benchmark::DoNotOptimize(Decode(data, length, summary));
    benchmark::DoNotOptimize(summary);
  }
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(length));
}

void BM_DecodeLldp(benchmark::State& state) {
  const Bytes& frame = lldp_frame();
  if (frame.size() <= kEthernetHeader) {
    state.SkipWithError("capture LLDP_and_CDP.pcap not found");
    return;
  }
  decode_repeatedly<norvane::decode_lldp>(state, frame.data() + kEthernetHeader,
                                          frame.size() - kEthernetHeader);
}
BENCHMARK(BM_DecodeLldp);

void BM_DecodeCdp(benchmark::State& state) {
  const Bytes& frame = cdp_frame();
  if (frame.size() <= kEthernetHeader) {
    state.SkipWithError("capture 3560_CDP.pcap not found");
    return;
  }
  // The 802.3 length field bounds the payload.
  const std::size_t length = static_cast<std::size_t>(frame[12] << 8 | frame[13]);
  if (length > frame.size() - kEthernetHeader) {
    state.SkipWithError("unexpected CDP frame");
    return;
  }
  decode_repeatedly<norvane::decode_cdp>(state, frame.data() + kEthernetHeader, length);
}
BENCHMARK(BM_DecodeCdp);

// The capture callback's whole per-frame path for the same frames.
void BM_SummarizeNeighbourFrames(benchmark::State& state) {
  const Bytes* frames[] = {&lldp_frame(), &cdp_frame()};
  for (const Bytes* f : frames) {
    if (f->size() <= kEthernetHeader) {
      state.SkipWithError("captures not found");
      return;
    }
  }
  std::size_t i = 0;
  for (auto _ : state) {
    const Bytes& frame = *frames[i++ & 1];
    norvane::PacketSummary summary;
    benchmark::DoNotOptimize(norvane::summarize_frame(frame.data(), frame.size(), summary));
    benchmark::DoNotOptimize(summary);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SummarizeNeighbourFrames);

}  // namespace
