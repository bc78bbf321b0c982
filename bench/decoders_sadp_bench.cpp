// Throughput of the SADP (frame and XML), DHIP, MNDP and Ubiquiti decoders on
// one realistic answer each, in messages per second. Each iteration clears
// the device fields and decodes again, so the figure includes building the
// summary's strings.
//
// Goal: 1 M messages per second per core or more for every protocol, with no
// allocation beyond the summary's own strings.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "decode/sadp.h"
#include "decode/tlv_discovery.h"
#include "model/packet_summary.h"
#include "support/discovery_tlv.h"
#include "support/message_bytes.h"
#include "support/sample_answers.h"

namespace {

using norvane::test::hex_string;
using norvane::test::le32;
using norvane::test::mndp_tlv;
using norvane::test::ubnt;
using norvane::test::ubnt_tlv;
using norvane::test::zero_padded;

void clear_device_fields(norvane::PacketSummary& s) {
  s.ip.clear();
  s.mac.clear();
  s.name.clear();
  s.model.clear();
  s.protocol.clear();
  s.info.clear();
}

template <typename Decode>
void run(benchmark::State& state, norvane::PacketSummary& s, const std::string& ip,
         const std::string& mac, Decode decode) {
  for (auto _ : state) {
    clear_device_fields(s);
    s.ip = ip;
    s.mac = mac;
    const bool ok = decode(s);
    benchmark::DoNotOptimize(ok);
    if (!ok) state.SkipWithError("message not decoded");
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(s.payload.size() + s.l2_payload.size()));
}

void BM_SadpFrameReply(benchmark::State& state) {
  norvane::PacketSummary s;
  s.source_mac = "44:19:B6:12:34:56";
  s.ether_type = 0x8033;
  s.l2_payload = hex_string(
                     "2101 0242 0000012c 0604 0003e15a 4419b6123456 c0a80140"
                     "ffffff00 c0a80101 00001f40") +
                 zero_padded("DS-2CD2143G0-I20190101AAWR123456789", 52) + std::string(14, '\0') +
                 zero_padded("V5.5.82build 190909", 48);
  run(state, s, "", s.source_mac, norvane::decode_sadp_frame);
}
BENCHMARK(BM_SadpFrameReply);

void BM_SadpXmlReply(benchmark::State& state) {
  norvane::PacketSummary s;
  s.source_port = 37020;
  s.dest_port = 37020;
  s.payload = norvane::test::kSadpReply;
  run(state, s, "192.168.1.64", "", norvane::decode_sadp_xml);
}
BENCHMARK(BM_SadpXmlReply);

void BM_DhipAnnouncement(benchmark::State& state) {
  const std::string& body = norvane::test::kDhipBody;
  norvane::PacketSummary s;
  s.source_port = 37810;
  s.dest_port = 37810;
  const auto size = static_cast<std::uint32_t>(body.size());
  s.payload =
      le32(32) + "DHIP" + std::string(8, '\0') + le32(size) + le32(0) + le32(size) + le32(0) + body;
  run(state, s, "192.168.1.108", "", norvane::decode_dhip);
}
BENCHMARK(BM_DhipAnnouncement);

void BM_MndpAnnouncement(benchmark::State& state) {
  // A RouterOS announcement with every record that RouterOS 6 sends.
  norvane::PacketSummary s;
  s.source_mac = "4C:5E:0C:11:22:33";
  s.source_port = 5678;
  s.dest_port = 5678;
  s.payload = hex_string("00000001") + mndp_tlv(1, hex_string("4c5e0c112233")) +
              mndp_tlv(5, "router1") + mndp_tlv(7, "6.49.7 (stable)") + mndp_tlv(8, "MikroTik") +
              mndp_tlv(10, hex_string("00015180")) + mndp_tlv(11, "ABCD-1234") +
              mndp_tlv(12, "RB750Gr3") + mndp_tlv(14, hex_string("01")) +
              mndp_tlv(15, hex_string("fe800000000000004e5e0cfffe112233")) +
              mndp_tlv(16, "ether2") + mndp_tlv(17, hex_string("c0a85801"));
  run(state, s, "192.168.88.1", s.source_mac,
      [](norvane::PacketSummary& x) { return norvane::decode_tlv_discovery(x, false); });
}
BENCHMARK(BM_MndpAnnouncement);

void BM_UbiquitiAnnouncement(benchmark::State& state) {
  // A UniFi Security Gateway's discovery v2 announcement.
  const std::string tlvs =
      ubnt_tlv(2, hex_string("802aa88d692b c0a80215")) +
      ubnt_tlv(2, hex_string("802aa88d692c c0a80101")) + ubnt_tlv(1, hex_string("802aa88d692b")) +
      ubnt_tlv(10, hex_string("0000de60")) + ubnt_tlv(11, "ubnt") + ubnt_tlv(12, "UGW3") +
      ubnt_tlv(3, "UniFiSecurityGateway.ER-e120.v4.3.33.4936086.161203.2031") +
      ubnt_tlv(22, "4.3.33.4936086") + ubnt_tlv(21, "UGW3") + ubnt_tlv(23, hex_string("00")) +
      ubnt_tlv(24, hex_string("00")) + ubnt_tlv(19, hex_string("802aa88d692b")) +
      ubnt_tlv(18, hex_string("000015cf")) + ubnt_tlv(27, "4.0.0");
  norvane::PacketSummary s;
  s.source_mac = "80:2A:A8:8D:69:2C";
  s.source_port = 34085;
  s.dest_port = 10001;
  s.payload = ubnt(tlvs);
  run(state, s, "192.168.1.1", s.source_mac,
      [](norvane::PacketSummary& x) { return norvane::decode_tlv_discovery(x, true); });
}
BENCHMARK(BM_UbiquitiAnnouncement);

}  // namespace
