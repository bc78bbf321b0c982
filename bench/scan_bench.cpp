// The text scanners on their own, on the messages the decoders meet most: a
// Hikvision SADP XML reply, an ONVIF ProbeMatch and a Dahua DHIP JSON body.
// Each benchmark makes the calls one decoder makes for one message, so the
// figures add up to the scanning share of that decoder; items are messages.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "decode/scan.h"

namespace norvane {
namespace {

const std::string kSadpReply =
    R"(<?xml version="1.0" encoding="UTF-8"?>)"
    "<ProbeMatch><Uuid>5B2B8C4D-1A2B-4C3D-9E8F-0123456789AB</Uuid><Types>inquiry</Types>"
    "<DeviceType>139267</DeviceType><DeviceDescription>DS-2CD2143G0-I</DeviceDescription>"
    "<DeviceSN>DS-2CD2143G0-I20190101AAWRC12345678</DeviceSN><CommandPort>8000</CommandPort>"
    "<HttpPort>80</HttpPort><MAC>44-19-b6-12-34-56</MAC><IPv4Address>192.168.1.64</IPv4Address>"
    "<IPv4SubnetMask>255.255.255.0</IPv4SubnetMask><IPv4Gateway>192.168.1.1</IPv4Gateway>"
    "<IPv6Address>::</IPv6Address><IPv6Gateway>::</IPv6Gateway><IPv6MaskLen>64</IPv6MaskLen>"
    "<DHCP>false</DHCP><AnalogChannelNum>0</AnalogChannelNum>"
    "<DigitalChannelNum>1</DigitalChannelNum><SoftwareVersion>V5.5.82build 190909"
    "</SoftwareVersion><DSPVersion>V7.3 build 190905</DSPVersion>"
    "<BootTime>2020-01-01 00:00:00</BootTime><Encrypt>true</Encrypt>"
    "<ResetAbility>false</ResetAbility><DiskNumber>0</DiskNumber>"
    "<Activated>true</Activated><PasswordResetAbility>true</PasswordResetAbility>"
    "</ProbeMatch>";

const std::string kProbeMatch =
    R"(<?xml version="1.0" encoding="UTF-8"?>)"
    R"(<env:Envelope xmlns:env="http://www.w3.org/2003/05/soap-envelope" xmlns:soapenc="http://www.w3.org/2003/05/soap-encoding" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance" xmlns:xs="http://www.w3.org/2001/XMLSchema" xmlns:tt="http://www.onvif.org/ver10/schema" xmlns:tds="http://www.onvif.org/ver10/device/wsdl" xmlns:dn="http://www.onvif.org/ver10/network/wsdl" xmlns:wsadis="http://schemas.xmlsoap.org/ws/2004/08/addressing" xmlns:d="http://schemas.xmlsoap.org/ws/2005/04/discovery">)"
    R"(<env:Header><wsadis:MessageID>urn:uuid:3a7f1c2e-1dd2-11b2-a105-c056e3a1b2c3</wsadis:MessageID><wsadis:RelatesTo>uuid:7d1a5e2b-4b3c-4a8e-9f5d-2c1b0a9e8d7f</wsadis:RelatesTo><wsadis:To>http://schemas.xmlsoap.org/ws/2004/08/addressing/role/anonymous</wsadis:To><wsadis:Action>http://schemas.xmlsoap.org/ws/2005/04/discovery/ProbeMatches</wsadis:Action><d:AppSequence InstanceId="1702301822" MessageNumber="4"/></env:Header>)"
    R"(<env:Body><d:ProbeMatches><d:ProbeMatch><wsadis:EndpointReference><wsadis:Address>urn:uuid:3a7f1c2e-1dd2-11b2-a105-c056e3a1b2c3</wsadis:Address></wsadis:EndpointReference><d:Types>dn:NetworkVideoTransmitter tds:Device</d:Types>)"
    R"(<d:Scopes>onvif://www.onvif.org/type/video_encoder onvif://www.onvif.org/Profile/Streaming onvif://www.onvif.org/MediaSourceConfigurationToken/VideoSourceToken onvif://www.onvif.org/Profile/G onvif://www.onvif.org/Profile/T onvif://www.onvif.org/hardware/DS-2CD2143G0-I onvif://www.onvif.org/name/Front%20Door onvif://www.onvif.org/location/city/hangzhou</d:Scopes>)"
    R"(<d:XAddrs>http://192.168.1.64/onvif/device_service http://[fe80::c256:e3ff:fea1:b2c3]/onvif/device_service</d:XAddrs><d:MetadataVersion>10</d:MetadataVersion></d:ProbeMatch></d:ProbeMatches></env:Body></env:Envelope>)";

const std::string kDhipBody =
    R"({"mac":"3c:ef:8c:11:22:33","method":"client.notifyDevInfo","params":{"deviceInfo":{)"
    R"("AlarmInputChannels":2,"AlarmOutputChannels":1,"DeviceClass":"IPC",)"
    R"("DeviceType":"IPC-HFW2431S-S-S2","HttpPort":80,"IPv4Address":{)"
    R"("DefaultGateway":"192.168.1.1","DhcpEnable":false,"IPAddress":"192.168.1.108",)"
    R"("SubnetMask":"255.255.255.0"},"IPv6Address":{"DefaultGateway":"",)"
    R"("IPAddress":"fe80::3eef:8cff:fe11:2233/64","LinkLocalAddress":""},)"
    R"("MachineName":"Brama","Manufacturer":"Private","Port":37777,)"
    R"("SerialNo":"5J0ABCDEFG12345","Vendor":"Private","Version":"2.800.0000000.25.R",)"
    R"("VideoInputChannels":1,"VideoOutputChannels":0}}})";

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
