// The text scanners on their own, on the messages the decoders meet most: a
// Hikvision SADP XML reply, an ONVIF ProbeMatch and a Dahua DHIP JSON body.
// Each benchmark makes the calls one decoder makes for one message, so the
// figures add up to the scanning share of that decoder; items are messages.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "decode/scan.h"
#include "support/sample_answers.h"

namespace norvane {
namespace {

using test::kDhipBody;
using test::kProbeMatch;
using test::kSadpReply;

void per_message(benchmark::State& state, std::size_t bytes) {
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes));
}

// One element lookup, by name (argument index into the list).
constexpr std::string_view kSadpNames[] = {"ProbeMatch", "MAC", "IPv4Address", "DeviceDescription",
                                           "SoftwareVersion"};

void BM_ScanXmlElementSadp(benchmark::State& state) {
  const std::string_view pm = xml_element(kSadpReply, "ProbeMatch");
  const std::string_view name = kSadpNames[state.range(0)];
  const std::string_view doc = name == "ProbeMatch" ? std::string_view(kSadpReply) : pm;
  for (auto _ : state) benchmark::DoNotOptimize(xml_element(doc, name));
  state.SetLabel(std::string(name));
  per_message(state, doc.size());
}
BENCHMARK(BM_ScanXmlElementSadp)->DenseRange(0, 4);

// The element lookups and texts of one SADP XML reply.
void BM_ScanSadpReply(benchmark::State& state) {
  for (auto _ : state) {
    const std::string_view pm = xml_element(kSadpReply, "ProbeMatch");
    benchmark::DoNotOptimize(trim(xml_element(pm, "MAC")));
    benchmark::DoNotOptimize(trim(xml_element(pm, "IPv4Address")));
    benchmark::DoNotOptimize(xml_text(xml_element(pm, "DeviceDescription")));
    benchmark::DoNotOptimize(xml_text(xml_element(pm, "DeviceSN")));
    benchmark::DoNotOptimize(xml_text(xml_element(pm, "SoftwareVersion")));
  }
  per_message(state, kSadpReply.size());
}
BENCHMARK(BM_ScanSadpReply);

// The element lookups and the Types text of one ONVIF ProbeMatch.
void BM_ScanProbeMatch(benchmark::State& state) {
  for (auto _ : state) {
    const std::string_view body = xml_element(kProbeMatch, "Body");
    const std::string_view match = xml_element(body, "ProbeMatch");
    benchmark::DoNotOptimize(xml_element(match, "Scopes"));
    benchmark::DoNotOptimize(xml_text(xml_element(match, "Types")));
  }
  per_message(state, kProbeMatch.size());
}
BENCHMARK(BM_ScanProbeMatch);

void BM_ScanJsonValueLength(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(json_value_length(kDhipBody));
  per_message(state, kDhipBody.size());
}
BENCHMARK(BM_ScanJsonValueLength);

// The member at the end of the device information: every member before it
// is measured with json_value_length.
void BM_ScanJsonMemberLast(benchmark::State& state) {
  const std::string_view info = json_member(json_member(kDhipBody, "params"), "deviceInfo");
  for (auto _ : state) benchmark::DoNotOptimize(json_member(info, "VideoOutputChannels"));
  per_message(state, info.size());
}
BENCHMARK(BM_ScanJsonMemberLast);

// The member lookups and strings of one DHIP announcement.
void BM_ScanDhipBody(benchmark::State& state) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(json_value_length(kDhipBody));
    benchmark::DoNotOptimize(json_member(kDhipBody, "method"));
    const std::string_view info = json_member(json_member(kDhipBody, "params"), "deviceInfo");
    benchmark::DoNotOptimize(json_string(json_member(info, "DeviceType")));
    benchmark::DoNotOptimize(json_string(json_member(info, "SerialNo")));
    benchmark::DoNotOptimize(json_string(json_member(kDhipBody, "mac")));
    benchmark::DoNotOptimize(
        json_string(json_member(json_member(info, "IPv4Address"), "IPAddress")));
    benchmark::DoNotOptimize(json_string(json_member(info, "MachineName")));
    benchmark::DoNotOptimize(json_string(json_member(info, "Version")));
  }
  per_message(state, kDhipBody.size());
}
BENCHMARK(BM_ScanDhipBody);

// The same lookups with one walk per object (json_members).
void BM_ScanDhipBodyOneWalk(benchmark::State& state) {
  static constexpr std::string_view kTop[] = {"method", "params", "mac"};
  static constexpr std::string_view kInfo[] = {"DeviceType", "SerialNo", "IPv4Address",
                                               "MachineName", "Version"};
  for (auto _ : state) {
    benchmark::DoNotOptimize(json_value_length(kDhipBody));
    std::string_view top[3];
    json_members(kDhipBody, kTop, top);
    std::string_view info[5];
    json_members(json_member(top[1], "deviceInfo"), kInfo, info);
    benchmark::DoNotOptimize(json_string(info[0]));
    benchmark::DoNotOptimize(json_string(info[1]));
    benchmark::DoNotOptimize(json_string(top[2]));
    benchmark::DoNotOptimize(json_string(json_member(info[2], "IPAddress")));
    benchmark::DoNotOptimize(json_string(info[3]));
    benchmark::DoNotOptimize(json_string(info[4]));
  }
  per_message(state, kDhipBody.size());
}
BENCHMARK(BM_ScanDhipBodyOneWalk);

// One walk per object, nested lengths from an index of the body.
void BM_ScanDhipBodyIndexed(benchmark::State& state) {
  static constexpr std::string_view kTop[] = {"method", "params", "mac"};
  static constexpr std::string_view kInfo[] = {"DeviceType", "SerialNo", "IPv4Address",
                                               "MachineName", "Version"};
  for (auto _ : state) {
    const JsonIndex index(kDhipBody);
    benchmark::DoNotOptimize(index.length());
    std::string_view top[3];
    json_members(kDhipBody, kTop, top, index);
    std::string_view info[5];
    json_members(json_member(top[1], "deviceInfo", index), kInfo, info, index);
    benchmark::DoNotOptimize(json_string(info[0]));
    benchmark::DoNotOptimize(json_string(info[1]));
    benchmark::DoNotOptimize(json_string(top[2]));
    benchmark::DoNotOptimize(json_string(json_member(info[2], "IPAddress", index)));
    benchmark::DoNotOptimize(json_string(info[3]));
    benchmark::DoNotOptimize(json_string(info[4]));
  }
  per_message(state, kDhipBody.size());
}
BENCHMARK(BM_ScanDhipBodyIndexed);

void BM_ScanJsonString(benchmark::State& state) {
  const std::string raw = R"("Kamera \"Brama\" wjazd p\u00f3\u0142nocny, 2.800.0000000.25.R")";
  for (auto _ : state) benchmark::DoNotOptimize(json_string(raw));
  per_message(state, raw.size());
}
BENCHMARK(BM_ScanJsonString);

void BM_ScanXmlText(benchmark::State& state) {
  const std::string content = "  Kamera &quot;Brama&quot; &amp; wjazd p\xC3\xB3\xC5\x82nocny\r\n";
  for (auto _ : state) benchmark::DoNotOptimize(xml_text(content));
  per_message(state, content.size());
}
BENCHMARK(BM_ScanXmlText);

// A long field: only the first 192 bytes after the leading whitespace count.
void BM_ScanCleanTextLong(benchmark::State& state) {
  const std::string text = "  " + std::string(4000, 'x');
  for (auto _ : state) benchmark::DoNotOptimize(clean_text(text));
  per_message(state, text.size());
}
BENCHMARK(BM_ScanCleanTextLong);

}  // namespace
}  // namespace norvane
