// Per-frame cost of the capture callback (CaptureControl::on_frame: the
// checks, the counters, the keep rule and the queue) under the floods of a
// job site, between two drains of the queue. Every figure is frames per
// second on one core.
//
// Goals: a flood frame whose source is already queued at 2 M frames/s or
// more; with both rooms of the queue full, a frame costs its counting only
// (20 M frames/s or more).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "capture/capture_control.h"
#include "support/quiet_capture.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using norvane::MacBytes;

using QuietHost = norvane::test::QuietCaptureHost;

constexpr MacBytes kOwn = {0x00, 0xAA, 0xBB, 0xCC, 0xDD, 0x01};

void put16(Bytes& b, std::size_t at, unsigned v) {
  b[at] = static_cast<std::uint8_t>(v >> 8);
  b[at + 1] = static_cast<std::uint8_t>(v);
}

// The storm: one 60-byte ARP request from station n, again and again.
Bytes storm_frame(unsigned n) {
  Bytes f(60, 0);
  for (int i = 0; i < 6; ++i) f[static_cast<std::size_t>(i)] = 0xFF;
  const std::uint8_t source[6] = {
      0x02, 0x5F, 0x00, 0x00, static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n)};
  std::copy(source, source + 6, f.begin() + 6);
  put16(f, 12, 0x0806);
  put16(f, 14, 1);
  put16(f, 16, 0x0800);
  f[18] = 6;
  f[19] = 4;
  put16(f, 20, 1);
  std::copy(source, source + 6, f.begin() + 22);
  const std::uint8_t sender[4] = {10, 79, 1, 254}, target[4] = {10, 79, 1, 253};
  std::copy(sender, sender + 4, f.begin() + 28);
  std::copy(target, target + 4, f.begin() + 38);
  return f;
}

// Multicast video: camera n's 1316-byte UDP datagram to its group.
Bytes video_frame(unsigned n) {
  Bytes f(14 + 20 + 8 + 1316, 0);
  const std::uint8_t group[6] = {0x01, 0x00, 0x5E, 0x01, 0x01, static_cast<std::uint8_t>(1 + n)};
  const std::uint8_t source[6] = {0x02, 0x5F, 0x00, 0x00, 0x01, static_cast<std::uint8_t>(n)};
  std::copy(group, group + 6, f.begin());
  std::copy(source, source + 6, f.begin() + 6);
  put16(f, 12, 0x0800);
  f[14] = 0x45;
  put16(f, 16, 20 + 8 + 1316);
  f[22] = 16;
  f[23] = 17;
  const std::uint8_t from[4] = {10, 79, 1, static_cast<std::uint8_t>(40 + n)};
  const std::uint8_t to[4] = {239, 1, 1, static_cast<std::uint8_t>(1 + n)};
  std::copy(from, from + 4, f.begin() + 26);
  std::copy(to, to + 4, f.begin() + 30);
  put16(f, 34, 5004);
  put16(f, 36, 5004);
  put16(f, 38, 8 + 1316);
  return f;
}

void run(benchmark::State& state, const std::vector<Bytes>& frames,
         const std::vector<Bytes>& before = {}) {
  QuietHost host;
  norvane::SilentProbeEngine engine;
  norvane::CaptureControl control(host, host, engine);
  // What is already waiting when the measured frames come.
  for (const Bytes& f : before) control.on_frame(kOwn, f.data(), f.size());
  for (const Bytes& f : frames) control.on_frame(kOwn, f.data(), f.size());
  std::size_t i = 0;
  for (auto _ : state) {
    const Bytes& f = frames[i];
    if (++i == frames.size()) i = 0;
    control.on_frame(kOwn, f.data(), f.size());
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["queued"] = static_cast<double>(control.queued_summaries());
}

// A cabling loop: the same broadcast frame from one source.
void BM_OnFrameStormSourceQueued(benchmark::State& state) { run(state, {storm_frame(1)}); }
BENCHMARK(BM_OnFrameStormSourceQueued);

// An unmanaged switch: 24 cameras' video to 24 groups, in turn.
void BM_OnFrameVideoSourcesQueued(benchmark::State& state) {
  std::vector<Bytes> frames;
  for (unsigned n = 0; n < 24; ++n) frames.push_back(video_frame(n));
  run(state, frames);
}
BENCHMARK(BM_OnFrameVideoSourcesQueued);

// Thousands of sources: the evidence room fills, the answers' room does not,
// so each new source is still parsed and then turned away.
void BM_OnFrameManySourcesEvidenceFull(benchmark::State& state) {
  std::vector<Bytes> frames;
  for (unsigned n = 0; n < 8192; ++n) frames.push_back(storm_frame(n));
  run(state, frames);
}
BENCHMARK(BM_OnFrameManySourcesEvidenceFull);

// Both rooms full: answers from 4096 devices and evidence from 4096 more
// wait, and a storm goes on.
void BM_OnFrameBothRoomsFull(benchmark::State& state) {
  QuietHost host;
  norvane::SilentProbeEngine engine;
  norvane::CaptureControl control(host, host, engine);
  for (unsigned n = 0; n < 4096; ++n) {
    norvane::PacketSummary s;
    s.mac = "44:19:B6:00:" + std::to_string(n);
    s.protocol = "mDNS";
    control.queue_summary(std::move(s), control.queue_generation());
  }
  for (unsigned n = 0; n < 4096; ++n) {
    const Bytes f = storm_frame(n);
    control.on_frame(kOwn, f.data(), f.size());
  }
  const Bytes storm = storm_frame(9000);
  for (auto _ : state) control.on_frame(kOwn, storm.data(), storm.size());
  state.SetItemsProcessed(state.iterations());
  state.counters["queued"] = static_cast<double>(control.queued_summaries());
}
BENCHMARK(BM_OnFrameBothRoomsFull);

}  // namespace
