// Decoding speed of the WS-Discovery, SSDP, mDNS and LLMNR decoders on one
// realistic answer each. Every iteration decodes into the same summary after
// dropping the previous results, so the result strings are built anew each
// time, as they are for every captured frame.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "decode/dns.h"
#include "decode/wsd.h"
#include "support/message_bytes.h"
#include "support/sample_answers.h"

namespace norvane {
namespace {

using test::hex_string;
using test::kRouterResponse;

// A camera's mDNS announcement: PTR, SRV, TXT, A, AAAA (see the dns tests for
// the fields).
const std::string kCameraAnnouncement = hex_string(
    "000084000000000500000000"
    "055f68747470045f746370056c6f63616c00000c000100001194000c"
    "0943616d657261203031c00cc02800218001000000780012000000000050"
    "0963616d6572612d3031c017c02800108001000011940014"
    "09706174683d2f776562096d6f64656c3d433031c046000180010000007800"
    "04c0a80114c046001c8001000000780010fe80000000000000021122fffe334455");

// An LLMNR answer with two AAAA records.
const std::string kLlmnrAnswer = hex_string(
    "123480000001000200000000056e76722d3700001c0001c00c001c00010000001e0010"
    "fd00000000000000a8bbccfffedd0011c00c001c00010000001e0010"
    "fe80000000000000a8bbccfffedd0011");

PacketSummary summary_for(const std::string& payload, std::string ip) {
  PacketSummary s;
  s.ip = std::move(ip);
  s.mac = "C0:56:E3:A1:B2:C3";
  s.source_mac = s.mac;
  s.payload = payload;
  return s;
}

void drop_results(PacketSummary& s) {
  s.name = std::string();
  s.model = std::string();
  s.protocol = std::string();
  s.info = std::string();
}

// Decodes one message into the same summary on every iteration. The last
// result's `field` must read `want`: a figure for a rejected message would
// measure only the rejection.
template <typename Decode>
void decode_repeatedly(benchmark::State& state, const std::string& payload, std::string ip,
                       Decode decode, std::string PacketSummary::*field, std::string_view want) {
  PacketSummary s = summary_for(payload, std::move(ip));
  for (auto _ : state) {
    drop_results(s);
    benchmark::DoNotOptimize(decode(s));
  }
  if (s.*field != want) state.SkipWithError("not decoded");
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(s.payload.size()));
}

void BM_DecodeWsdProbeMatch(benchmark::State& state) {
  decode_repeatedly(
      state, test::kProbeMatch, "192.168.1.64", [](PacketSummary& s) { return decode_wsd(s); },
      &PacketSummary::protocol, "ONVIF");
}
BENCHMARK(BM_DecodeWsdProbeMatch);

void BM_DecodeSsdpResponse(benchmark::State& state) {
  decode_repeatedly(
      state, kRouterResponse, "192.168.1.1", [](PacketSummary& s) { return decode_ssdp(s); },
      &PacketSummary::protocol, "SSDP");
}
BENCHMARK(BM_DecodeSsdpResponse);

void BM_DecodeMdnsAnnouncement(benchmark::State& state) {
  decode_repeatedly(
      state, kCameraAnnouncement, "192.168.1.20",
      [](PacketSummary& s) { return decode_dns_response(s, "mDNS"); }, &PacketSummary::name,
      "camera-01.local");
}
BENCHMARK(BM_DecodeMdnsAnnouncement);

void BM_DecodeLlmnrAnswer(benchmark::State& state) {
  decode_repeatedly(
      state, kLlmnrAnswer, "fe80::a8bb:ccff:fedd:11",
      [](PacketSummary& s) { return decode_dns_response(s, "LLMNR"); }, &PacketSummary::name,
      "nvr-7");
}
BENCHMARK(BM_DecodeLlmnrAnswer);

}  // namespace
}  // namespace norvane
