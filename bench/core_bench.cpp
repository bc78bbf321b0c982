// Throughput of the per-frame path (capture keep rule), of the device table
// merge and of the vendor lookup. Every figure is items per second.
//
// Goals: the reject path (unicast TCP) at 15 M frames/s per core or more,
// merges into existing rows at 2 M/s or more, vendor lookups well under
// 100 ns each.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "decode/frame.h"
#include "model/device_table.h"
#include "model/packet_summary.h"
#include "vendors/vendor_table.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// --- frame builders -----------------------------------------------------------

void put(Bytes& out, std::initializer_list<int> bytes) {
  for (const int b : bytes) out.push_back(static_cast<std::uint8_t>(b));
}
void put16(Bytes& out, unsigned v) {
  put(out, {static_cast<int>(v >> 8), static_cast<int>(v & 0xFF)});
}
void put_text(Bytes& out, std::string_view text) {
  out.insert(out.end(), text.begin(), text.end());
}

void ethernet(Bytes& out, const std::uint8_t (&dst)[6], const std::uint8_t (&src)[6],
              unsigned type) {
  out.insert(out.end(), dst, dst + 6);
  out.insert(out.end(), src, src + 6);
  put16(out, type);
}

constexpr std::uint8_t kHost[6] = {0x00, 0xAA, 0xBB, 0xCC, 0xDD, 0x01};
constexpr std::uint8_t kPeer[6] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
constexpr std::uint8_t kBroadcast[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
constexpr std::uint8_t kMdnsGroup[6] = {0x01, 0x00, 0x5E, 0x00, 0x00, 0xFB};
constexpr std::uint8_t kSsdpGroup[6] = {0x01, 0x00, 0x5E, 0x7F, 0xFF, 0xFA};
constexpr std::uint8_t kLldpGroup[6] = {0x01, 0x80, 0xC2, 0x00, 0x00, 0x0E};

void ipv4_header(Bytes& out, unsigned protocol, std::size_t payload, std::uint32_t src,
                 std::uint32_t dst) {
  put(out, {0x45, 0x00});
  put16(out, static_cast<unsigned>(20 + payload));
  put(out, {0x12, 0x34, 0x40, 0x00, 64, static_cast<int>(protocol), 0, 0});
  for (const std::uint32_t a : {src, dst}) {
    put(out, {static_cast<int>(a >> 24), static_cast<int>((a >> 16) & 0xFF),
              static_cast<int>((a >> 8) & 0xFF), static_cast<int>(a & 0xFF)});
  }
}

constexpr std::uint32_t ip4(int a, int b, int c, int d) {
  return (static_cast<std::uint32_t>(a) << 24) | (static_cast<std::uint32_t>(b) << 16) |
         (static_cast<std::uint32_t>(c) << 8) | static_cast<std::uint32_t>(d);
}

// 64 bytes: Ethernet, IPv4, TCP ACK, padding (the minimum frame a switch
// forwards, and the most common one on a busy segment).
Bytes unicast_tcp(unsigned port) {
  Bytes f;
  ethernet(f, kHost, kPeer, 0x0800);
  ipv4_header(f, 6, 20, ip4(192, 168, 1, 64), ip4(192, 168, 1, 2));
  put16(f, port);
  put16(f, 50000);
  put(f, {0, 0, 0, 1, 0, 0, 0, 0, 0x50, 0x10, 0xFF, 0xFF, 0, 0, 0, 0});
  f.resize(64, 0);
  return f;
}

Bytes udp(const std::uint8_t (&dst_mac)[6], std::uint32_t src, std::uint32_t dst, unsigned sport,
          unsigned dport, std::string_view payload) {
  Bytes f;
  ethernet(f, dst_mac, kPeer, 0x0800);
  ipv4_header(f, 17, 8 + payload.size(), src, dst);
  put16(f, sport);
  put16(f, dport);
  put16(f, static_cast<unsigned>(8 + payload.size()));
  put(f, {0, 0});
  put_text(f, payload);
  if (f.size() < 60) f.resize(60, 0);
  return f;
}

Bytes arp_reply() {
  Bytes f;
  ethernet(f, kHost, kPeer, 0x0806);
  put(f, {0x00, 0x01, 0x08, 0x00, 6, 4, 0x00, 0x02});
  f.insert(f.end(), kPeer, kPeer + 6);
  put(f, {192, 168, 1, 64});
  f.insert(f.end(), kHost, kHost + 6);
  put(f, {192, 168, 1, 2});
  f.resize(60, 0);
  return f;
}

Bytes arp_request() {
  Bytes f;
  ethernet(f, kBroadcast, kPeer, 0x0806);
  put(f, {0x00, 0x01, 0x08, 0x00, 6, 4, 0x00, 0x01});
  f.insert(f.end(), kPeer, kPeer + 6);
  put(f, {192, 168, 1, 64, 0, 0, 0, 0, 0, 0, 192, 168, 1, 1});
  f.resize(60, 0);
  return f;
}

std::string mdns_response() {
  Bytes m;
  put(m, {0, 0, 0x84, 0x00, 0, 0, 0, 1, 0, 0, 0, 0});  // response, one answer
  put(m, {5});
  put_text(m, "cam-1");
  put(m, {5});
  put_text(m, "local");
  put(m, {0, 0x00, 0x01, 0x80, 0x01, 0, 0, 0, 120, 0, 4, 192, 168, 1, 64});  // A, IN flush
  return std::string(m.begin(), m.end());
}

constexpr std::string_view kSsdpNotify =
    "NOTIFY * HTTP/1.1\r\n"
    "HOST: 239.255.255.250:1900\r\n"
    "CACHE-CONTROL: max-age=1800\r\n"
    "LOCATION: http://192.168.1.64:80/description.xml\r\n"
    "NT: upnp:rootdevice\r\n"
    "NTS: ssdp:alive\r\n"
    "SERVER: Linux/3.10 UPnP/1.0 IPCamera/1.0\r\n"
    "USN: uuid:0d2b5c6e-1a2b-3c4d-5e6f-001122334455::upnp:rootdevice\r\n\r\n";

void lldp_tlv(Bytes& f, unsigned type, std::initializer_list<int> head, std::string_view text) {
  put16(f, (type << 9) | static_cast<unsigned>(head.size() + text.size()));
  put(f, head);
  put_text(f, text);
}

Bytes lldp() {
  Bytes f;
  ethernet(f, kLldpGroup, kPeer, 0x88CC);
  lldp_tlv(f, 1, {4, 0x00, 0x11, 0x22, 0x33, 0x44, 0x55}, "");     // chassis: MAC
  lldp_tlv(f, 2, {5}, "ge-0/0/12");                                // port: interface name
  lldp_tlv(f, 3, {0, 120}, "");                                    // TTL
  lldp_tlv(f, 5, {}, "access-switch-3");                           // system name
  lldp_tlv(f, 6, {}, "Switch OS 8.2.1, build 1423");               // system description
  lldp_tlv(f, 8, {5, 1, 192, 168, 1, 254, 2, 0, 0, 0, 1, 0}, "");  // management address
  put(f, {0, 0});                                                  // end
  return f;
}

std::vector<Bytes> realistic_mix() {
  std::vector<Bytes> mix;
  // 80 %: ordinary unicast traffic, all rejected from the headers.
  for (unsigned i = 0; i < 10; ++i) mix.push_back(unicast_tcp(443 + i));
  for (unsigned i = 0; i < 6; ++i) {
    mix.push_back(udp(kHost, ip4(192, 168, 1, 64), ip4(192, 168, 1, 2), 53 + i * 1000, 40000,
                      "unicast datagram payload"));
  }
  // 20 %: what the tool is there for.
  mix.push_back(arp_request());
  mix.push_back(
      udp(kMdnsGroup, ip4(192, 168, 1, 64), ip4(224, 0, 0, 251), 5353, 5353, mdns_response()));
  mix.push_back(
      udp(kSsdpGroup, ip4(192, 168, 1, 64), ip4(239, 255, 255, 250), 1900, 1900, kSsdpNotify));
  mix.push_back(lldp());
  return mix;
}

void run_frames(benchmark::State& state, const std::vector<Bytes>& frames) {
  std::size_t i = 0;
  std::int64_t kept = 0;
  for (auto _ : state) {
    const Bytes& f = frames[i];
    if (++i == frames.size()) i = 0;
    norvane::PacketSummary summary;  // one per frame, as the capture callback does
    kept += norvane::summarize_frame(f.data(), f.size(), summary) ? 1 : 0;
    benchmark::DoNotOptimize(summary);
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["kept"] =
      benchmark::Counter(static_cast<double>(kept) / static_cast<double>(state.iterations()));
}

void BM_SummarizeUnicastTcp(benchmark::State& state) {
  const std::vector<Bytes> frames = {unicast_tcp(443)};
  run_frames(state, frames);
}
BENCHMARK(BM_SummarizeUnicastTcp);

void BM_SummarizeArp(benchmark::State& state) {
  const std::vector<Bytes> frames = {arp_reply()};
  run_frames(state, frames);
}
BENCHMARK(BM_SummarizeArp);

void BM_SummarizeRealisticMix(benchmark::State& state) { run_frames(state, realistic_mix()); }
BENCHMARK(BM_SummarizeRealisticMix);

void BM_SummarizeMdns(benchmark::State& state) {
  const std::vector<Bytes> frames = {
      udp(kMdnsGroup, ip4(192, 168, 1, 64), ip4(224, 0, 0, 251), 5353, 5353, mdns_response())};
  run_frames(state, frames);
}
BENCHMARK(BM_SummarizeMdns);

void BM_SummarizeSsdp(benchmark::State& state) {
  const std::vector<Bytes> frames = {
      udp(kSsdpGroup, ip4(192, 168, 1, 64), ip4(239, 255, 255, 250), 1900, 1900, kSsdpNotify)};
  run_frames(state, frames);
}
BENCHMARK(BM_SummarizeSsdp);

void BM_SummarizeLldp(benchmark::State& state) {
  const std::vector<Bytes> frames = {lldp()};
  run_frames(state, frames);
}
BENCHMARK(BM_SummarizeLldp);

// --- device table -------------------------------------------------------------

std::string mac_of(std::uint32_t n) {
  char text[18];
  std::snprintf(text, sizeof text, "00:1B:%02X:%02X:%02X:%02X", (n >> 24) & 0xFF, (n >> 16) & 0xFF,
                (n >> 8) & 0xFF, n & 0xFF);
  return text;
}

// What a camera's SADP answer carries; n makes the device distinct.
norvane::PacketSummary camera_summary(std::uint32_t n) {
  norvane::PacketSummary s;
  s.mac = mac_of(n);
  s.source_mac = s.mac;
  s.ip = "10." + std::to_string((n >> 16) & 0xFF) + "." + std::to_string((n >> 8) & 0xFF) + "." +
         std::to_string(n & 0xFF);
  s.protocol = "SADP";
  s.name = "DS-2CD2143G2-I" + std::to_string(n);
  s.model = "DS-2CD2143G2-I";
  s.info = "V5.7.3 build 220112";
  return s;
}

// ~42000 assignments shaped like the IEEE registries: MA-L blocks, a few
// hundred of them split into sixteen MA-M blocks each, and a few split into
// MA-S blocks (as the registration authority's own blocks are), with names
// of realistic length.
const norvane::VendorTable& big_vendor_table() {
  static const norvane::VendorTable table = [] {
    norvane::VendorTable t;
    std::mt19937_64 rng(20240611);
    // A random globally administered unicast 24-bit block.
    const auto random_oui = [&] { return rng() & 0xFCFFFFu; };
    const auto name = [](std::size_t n) {
      return "Example Electronics Technology Co., Ltd. " + std::to_string(n);
    };
    std::size_t n = 0;
    while (t.size() < 33000) t.insert(norvane::make_prefix_key(24, random_oui()), name(n++));
    for (int block = 0; block < 320; ++block) {
      const std::uint64_t oui = random_oui();
      t.insert(norvane::make_prefix_key(24, oui), "IEEE Registration Authority");
      for (std::uint64_t sub = 0; sub < 16; ++sub) {
        t.insert(norvane::make_prefix_key(28, (oui << 4) | sub), name(n++));
      }
    }
    for (int block = 0; block < 4; ++block) {
      const std::uint64_t oui = random_oui();
      t.insert(norvane::make_prefix_key(24, oui), "IEEE Registration Authority");
      for (std::uint64_t sub = 0; sub < 1000; ++sub) {
        t.insert(norvane::make_prefix_key(36, (oui << 12) | (sub * 4)), name(n++));
      }
    }
    // The block the benchmarks' devices use, with a name that normalises.
    t.insert(norvane::make_prefix_key(24, 0x001B00),
             "Hangzhou Hikvision Digital Technology Co.,Ltd.");
    // Merged whole, as a loaded database is: single inserts leave the
    // latest ones in the table's side list.
    norvane::VendorTable whole;
    whole.insert_or_assign_all(std::move(t));
    return whole;
  }();
  return table;
}

// Merges into rows that exist: the steady state while devices keep
// announcing themselves.
void BM_MergeExistingRows(benchmark::State& state) {
  const auto rows = static_cast<std::uint32_t>(state.range(0));
  norvane::DeviceTable table(big_vendor_table());
  std::vector<norvane::PacketSummary> summaries;
  for (std::uint32_t n = 0; n < rows; ++n) summaries.push_back(camera_summary(n));
  for (const auto& s : summaries) table.merge(s);
  std::size_t i = 0;
  for (auto _ : state) {
    table.merge(summaries[i]);
    if (++i == summaries.size()) i = 0;
  }
  benchmark::DoNotOptimize(table.size());
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_MergeExistingRows)->Arg(1)->Arg(256)->Arg(16384);

// Merges that create rows, up to the 16384-row cap; the table is emptied
// outside the timed region when it is full.
void BM_MergeNewRows(benchmark::State& state) {
  norvane::DeviceTable table(big_vendor_table());
  std::vector<norvane::PacketSummary> summaries;
  for (std::uint32_t n = 0; n < norvane::kMaxRows; ++n) summaries.push_back(camera_summary(n));
  std::size_t i = 0;
  for (auto _ : state) {
    table.merge(summaries[i]);
    if (++i == summaries.size()) {
      state.PauseTiming();
      table.clear();
      i = 0;
      state.ResumeTiming();
    }
  }
  benchmark::DoNotOptimize(table.size());
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_MergeNewRows);

// --- vendor lookup --------------------------------------------------------------

std::vector<std::string> lookup_addresses(bool known) {
  const norvane::VendorTable& table = big_vendor_table();
  std::vector<std::string> out;
  std::mt19937_64 rng(7);
  if (known) {
    for (const auto& [key, entry] : table.entries()) {
      const unsigned bits = static_cast<unsigned>(key >> 36);
      const std::uint64_t prefix = key & ((std::uint64_t{1} << 36) - 1);
      const std::uint64_t mac =
          (prefix << (48 - bits)) | (rng() & ((std::uint64_t{1} << (48 - bits)) - 1));
      char text[18];
      std::snprintf(
          text, sizeof text, "%02X:%02X:%02X:%02X:%02X:%02X",
          static_cast<unsigned>((mac >> 40) & 0xFF), static_cast<unsigned>((mac >> 32) & 0xFF),
          static_cast<unsigned>((mac >> 24) & 0xFF), static_cast<unsigned>((mac >> 16) & 0xFF),
          static_cast<unsigned>((mac >> 8) & 0xFF), static_cast<unsigned>(mac & 0xFF));
      out.emplace_back(text);
      if (out.size() == 4096) break;
    }
  } else {
    while (out.size() < 4096) {
      const std::uint64_t mac = rng() & 0xFCFFFFFFFFFFull;  // unicast, globally administered
      const unsigned b0 = static_cast<unsigned>(mac >> 40);
      char text[18];
      std::snprintf(text, sizeof text, "%02x-%02x-%02x-%02x-%02x-%02x", b0,
                    static_cast<unsigned>((mac >> 32) & 0xFF),
                    static_cast<unsigned>((mac >> 24) & 0xFF),
                    static_cast<unsigned>((mac >> 16) & 0xFF),
                    static_cast<unsigned>((mac >> 8) & 0xFF), static_cast<unsigned>(mac & 0xFF));
      out.emplace_back(text);
    }
  }
  return out;
}

void run_lookups(benchmark::State& state, const std::vector<std::string>& addresses) {
  const norvane::VendorTable& table = big_vendor_table();
  std::size_t i = 0;
  std::size_t found = 0;
  for (auto _ : state) {
    // The view is what classification converts for display; the owning
    // vendor_display_name adds one copy of the name on top.
    const std::string_view name = norvane::vendor_display_view(table, addresses[i]);
    found += name.empty() ? 0 : 1;
    benchmark::DoNotOptimize(name.data());
    if (++i == addresses.size()) i = 0;
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["found"] =
      benchmark::Counter(static_cast<double>(found) / static_cast<double>(state.iterations()));
  state.counters["entries"] = static_cast<double>(table.size());
}

void BM_VendorLookupKnown(benchmark::State& state) { run_lookups(state, lookup_addresses(true)); }
BENCHMARK(BM_VendorLookupKnown);

void BM_VendorLookupRandom(benchmark::State& state) { run_lookups(state, lookup_addresses(false)); }
BENCHMARK(BM_VendorLookupRandom);

// The devices of one segment looked up again and again (classification on
// every model or protocol change): the table's lines for them stay in cache,
// so this is the lookup's own cost without memory latency.
void BM_VendorLookupWarm(benchmark::State& state) {
  std::vector<std::string> addresses = lookup_addresses(true);
  addresses.resize(32);
  run_lookups(state, addresses);
}
BENCHMARK(BM_VendorLookupWarm);

}  // namespace
