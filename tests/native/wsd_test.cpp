#include "decode/wsd.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "support/sample_answers.h"
#include "support/summaries.h"

namespace norvane {
namespace {

using namespace std::string_literals;

// ---------------------------------------------------------------------------
// Messages as devices send them.

// ProbeMatch of a Hikvision-style camera answering a Probe: ONVIF scopes
// (percent-encoded name, hardware model), two types, two XAddrs.
const std::string kCameraProbeMatch = R"(<?xml version="1.0" encoding="UTF-8"?>
<env:Envelope xmlns:env="http://www.w3.org/2003/05/soap-envelope" xmlns:soapenc="http://www.w3.org/2003/05/soap-encoding" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance" xmlns:xs="http://www.w3.org/2001/XMLSchema" xmlns:tt="http://www.onvif.org/ver10/schema" xmlns:tds="http://www.onvif.org/ver10/device/wsdl" xmlns:dn="http://www.onvif.org/ver10/network/wsdl" xmlns:wsadis="http://schemas.xmlsoap.org/ws/2004/08/addressing" xmlns:d="http://schemas.xmlsoap.org/ws/2005/04/discovery"><env:Header><wsadis:MessageID>urn:uuid:3a7f1c2e-1dd2-11b2-a105-c056e3a1b2c3</wsadis:MessageID><wsadis:RelatesTo>uuid:7d1a5e2b-4b3c-4a8e-9f5d-2c1b0a9e8d7f</wsadis:RelatesTo><wsadis:To>http://schemas.xmlsoap.org/ws/2004/08/addressing/role/anonymous</wsadis:To><wsadis:Action>http://schemas.xmlsoap.org/ws/2005/04/discovery/ProbeMatches</wsadis:Action><d:AppSequence InstanceId="1702301822" MessageNumber="4"/></env:Header><env:Body><d:ProbeMatches><d:ProbeMatch><wsadis:EndpointReference><wsadis:Address>urn:uuid:3a7f1c2e-1dd2-11b2-a105-c056e3a1b2c3</wsadis:Address></wsadis:EndpointReference><d:Types>dn:NetworkVideoTransmitter tds:Device</d:Types><d:Scopes>onvif://www.onvif.org/type/video_encoder onvif://www.onvif.org/Profile/Streaming onvif://www.onvif.org/MediaSourceConfigurationToken/VideoSourceToken onvif://www.onvif.org/Profile/G onvif://www.onvif.org/Profile/T onvif://www.onvif.org/hardware/DS-2CD2143G0-I onvif://www.onvif.org/name/Front%20Door onvif://www.onvif.org/location/city/hangzhou</d:Scopes><d:XAddrs>http://192.168.1.64/onvif/device_service http://[fe80::c256:e3ff:fea1:b2c3]/onvif/device_service</d:XAddrs><d:MetadataVersion>10</d:MetadataVersion></d:ProbeMatch></d:ProbeMatches></env:Body></env:Envelope>
)";

// Hello of a Linux host's WS-Discovery daemon (file server): no Scopes, the
// device-profile types, no XAddrs in the Hello itself.
const std::string kHostHello =
    R"(<?xml version="1.0" encoding="utf-8"?>)"
    R"(<soap:Envelope xmlns:soap="http://www.w3.org/2003/05/soap-envelope" xmlns:wsa="http://schemas.xmlsoap.org/ws/2004/08/addressing" xmlns:wsd="http://schemas.xmlsoap.org/ws/2005/04/discovery" xmlns:wsdp="http://schemas.xmlsoap.org/ws/2006/02/devprof" xmlns:pub="http://schemas.microsoft.com/windows/pub/2005/07">)"
    R"(<soap:Header><wsa:To>urn:schemas-xmlsoap-org:ws:2005:04:discovery</wsa:To><wsa:Action>http://schemas.xmlsoap.org/ws/2005/04/discovery/Hello</wsa:Action><wsa:MessageID>urn:uuid:0c5ab5a2-8c3b-4f0a-9a53-6e2f3b1c0d4e</wsa:MessageID><wsd:AppSequence InstanceId="1700000000" SequenceId="urn:uuid:51a9b3a0-1c2d-4e5f-8a9b-0c1d2e3f4a5b" MessageNumber="1" /></soap:Header>)"
    R"(<soap:Body><wsd:Hello><wsa:EndpointReference><wsa:Address>urn:uuid:0f1e2d3c-4b5a-5968-8776-a5b4c3d2e1f0</wsa:Address></wsa:EndpointReference><wsd:Types>wsdp:Device pub:Computer</wsd:Types><wsd:MetadataVersion>1</wsd:MetadataVersion></wsd:Hello></soap:Body></soap:Envelope>)";

// Hello of a network printer: print-device type, http scopes, no ONVIF.
const std::string kPrinterHello =
    R"(<?xml version="1.0" encoding="UTF-8"?><SOAP-ENV:Envelope xmlns:SOAP-ENV="http://www.w3.org/2003/05/soap-envelope" xmlns:wsa="http://schemas.xmlsoap.org/ws/2004/08/addressing" xmlns:wsd="http://schemas.xmlsoap.org/ws/2005/04/discovery" xmlns:wprt="http://schemas.microsoft.com/windows/2006/08/wdp/print" xmlns:wsdp="http://schemas.xmlsoap.org/ws/2006/02/devprof">)"
    R"(<SOAP-ENV:Header><wsa:Action>http://schemas.xmlsoap.org/ws/2005/04/discovery/Hello</wsa:Action></SOAP-ENV:Header>)"
    R"(<SOAP-ENV:Body><wsd:Hello><wsa:EndpointReference><wsa:Address>urn:uuid:16a65700-007c-1000-bb49-30055c1a2b3c</wsa:Address></wsa:EndpointReference>)"
    R"(<wsd:Types>wsdp:Device wprt:PrintDeviceType</wsd:Types>)"
    R"(<wsd:Scopes>http://schemas.xmlsoap.org/ws/2006/02/devprof/device http://printer.local/office</wsd:Scopes>)"
    R"(<wsd:XAddrs>http://192.168.1.31:80/WebServices/Device</wsd:XAddrs><wsd:MetadataVersion>3</wsd:MetadataVersion></wsd:Hello></SOAP-ENV:Body></SOAP-ENV:Envelope>)";

// Builds a SOAP message whose Body holds the given text.
std::string envelope(std::string_view body) {
  return R"(<?xml version="1.0"?><s:Envelope xmlns:s="http://www.w3.org/2003/05/soap-envelope" xmlns:d="http://schemas.xmlsoap.org/ws/2005/04/discovery"><s:Header/><s:Body>)"s +
         std::string(body) + "</s:Body></s:Envelope>";
}

// SSDP alive announcement of a DLNA media server: "NT:value" with no space.
const std::string kMediaServerNotify =
    "NOTIFY * HTTP/1.1\r\n"
    "HOST: 239.255.255.250:1900\r\n"
    "CACHE-CONTROL: max-age=1810\r\n"
    "LOCATION: http://192.168.1.50:8200/rootDesc.xml\r\n"
    "SERVER: 4.19.0 DLNADOC/1.50 UPnP/1.0 MiniDLNA/1.3.0\r\n"
    "NT:urn:schemas-upnp-org:device:MediaServer:1\r\n"
    "USN:uuid:4d696e69-444c-164e-9d41-b827eb3c1f2a::urn:schemas-upnp-org:device:MediaServer:1\r\n"
    "NTS:ssdp:alive\r\n"
    "\r\n";

std::string camera_notify(std::string_view nts) {
  return "NOTIFY * HTTP/1.1\r\nHOST: 239.255.255.250:1900\r\nCACHE-CONTROL: max-age=1800\r\n"
         "LOCATION: http://192.168.1.64:49152/description.xml\r\nNT: upnp:rootdevice\r\n"
         "NTS: "s +
         std::string(nts) +
         "\r\nSERVER: Linux/3.10 UPnP/1.0 IPCam/1.0\r\n"
         "USN: uuid:5f1b2c3d-4e5f-6a7b-8c9d-0e1f2a3b4c5d::upnp:rootdevice\r\n\r\n";
}

// ---------------------------------------------------------------------------
// Helpers.

using test::expect_clean;
using test::expect_unchanged;
using test::kKeptInfo;
using test::kKeptModel;
using test::kKeptName;
using test::kRouterResponse;

// A summary as the intake leaves it, with values that a decoder must not
// overwrite with empty ones.
PacketSummary prepared(std::string payload) {
  return test::prepared_summary(std::move(payload), "192.168.1.64", "C0:56:E3:A1:B2:C3", 3702);
}

struct Expected {
  bool ok;
  std::string protocol;  // expected values; "earlier ..." means left alone
  std::string name;
  std::string model;
  std::string info;
  bool departure = false;
};

void check(bool (*decoder)(PacketSummary&), const std::string& label, const std::string& payload,
           const Expected& want) {
  SCOPED_TRACE(label);
  PacketSummary s = prepared(payload);
  const PacketSummary before = s;
  ASSERT_EQ(decoder(s), want.ok);
  if (!want.ok) {
    expect_unchanged(s, before);
    return;
  }
  EXPECT_EQ(s.protocol, want.protocol);
  EXPECT_EQ(s.name, want.name);
  EXPECT_EQ(s.model, want.model);
  EXPECT_EQ(s.info, want.info);
  EXPECT_EQ(s.departure, want.departure);
  // Neither decoder ever touches the addresses or the frame data.
  EXPECT_EQ(s.ip, before.ip);
  EXPECT_EQ(s.mac, before.mac);
  EXPECT_EQ(s.payload, before.payload);
}

const Expected kRejected{false, "", "", "", ""};

// A goodbye: the protocol and the departure, nothing else.
Expected goodbye(std::string protocol) {
  return {true, std::move(protocol), kKeptName, kKeptModel, kKeptInfo, true};
}

// ---------------------------------------------------------------------------
// WS-Discovery.

TEST(DecodeWsd, Messages) {
  struct Case {
    std::string label;
    std::string payload;
    Expected want;
  };
  const std::string onvif = "onvif://www.onvif.org/";
  const Case cases[] = {
      {"camera ProbeMatch",
       kCameraProbeMatch,
       {true, "ONVIF", "Front Door", "DS-2CD2143G0-I", "dn:NetworkVideoTransmitter tds:Device"}},
      {"host Hello without scopes",
       kHostHello,
       {true, "WS-Discovery", kKeptName, kKeptModel, "wsdp:Device pub:Computer"}},
      {"printer Hello",
       kPrinterHello,
       {true, "WS-Discovery", kKeptName, kKeptModel, "wsdp:Device wprt:PrintDeviceType"}},
      {"only XAddrs",
       envelope("<d:Hello><d:Scopes></d:Scopes><d:Types></d:Types>"
                "<d:XAddrs>http://192.168.1.9/x</d:XAddrs></d:Hello>"),
       {true, "WS-Discovery", kKeptName, kKeptModel, kKeptInfo}},
      {"video transmitter type without ONVIF scopes",
       envelope("<d:ProbeMatches><d:ProbeMatch><d:Types>tdn:NetworkVideoTransmitter</d:Types>"
                "<d:Scopes>http://example.com/scope</d:Scopes></d:ProbeMatch></d:ProbeMatches>"),
       {true, "ONVIF", kKeptName, kKeptModel, "tdn:NetworkVideoTransmitter"}},
      {"ONVIF scope without the video type",
       envelope("<d:Hello><d:Types>tds:Device</d:Types><d:Scopes>" + onvif +
                "type/Network_Video_Storage " + onvif + "name/NVR%2016</d:Scopes></d:Hello>"),
       {true, "ONVIF", "NVR 16", kKeptModel, "tds:Device"}},
      {"prefix in another letter case is not ONVIF",
       envelope("<d:Hello><d:Types>tds:Device</d:Types><d:Scopes>ONVIF://www.onvif.org/name/"
                "Cam</d:Scopes></d:Hello>"),
       {true, "WS-Discovery", kKeptName, kKeptModel, "tds:Device"}},
      {"Hello wins over a later ProbeMatch",
       envelope("<d:Hello><d:Types>a:First</d:Types></d:Hello>"
                "<d:ProbeMatch><d:Types>b:Second</d:Types></d:ProbeMatch>"),
       {true, "WS-Discovery", kKeptName, kKeptModel, "a:First"}},
      {"entities in Types decoded once",
       envelope("<d:Hello><d:Types>a:B&amp;C a:&amp;amp; a:&#65;</d:Types></d:Hello>"),
       {true, "WS-Discovery", kKeptName, kKeptModel, "a:B&C a:&amp; a:&#65;"}},
      {"control bytes in Types become spaces",
       envelope("<d:Hello><d:Types>\n\ta:One\ta:Two\r\n</d:Types></d:Hello>"),
       {true, "WS-Discovery", kKeptName, kKeptModel, "a:One a:Two"}},
      {"empty-element Scopes",
       envelope("<d:Hello><d:Types>dn:NetworkVideoTransmitter</d:Types><d:Scopes /></d:Hello>"),
       {true, "ONVIF", kKeptName, kKeptModel, "dn:NetworkVideoTransmitter"}},
      {"unusual prefixes",
       "<SOAP-ENV:Envelope><SOAP-ENV:Body><wsdd:ProbeMatches><wsdd:ProbeMatch>"
       "<wsdd:Types>dn:NetworkVideoTransmitter</wsdd:Types><wsdd:Scopes>" +
           onvif + "hardware/IPC-HDW2431T " + onvif +
           "name/IPC</wsdd:Scopes></wsdd:ProbeMatch></wsdd:ProbeMatches></SOAP-ENV:Body>"
           "</SOAP-ENV:Envelope>",
       {true, "ONVIF", "IPC", "IPC-HDW2431T", "dn:NetworkVideoTransmitter"}},
      {"camera Bye", envelope("<d:Bye><d:Types>dn:NetworkVideoTransmitter</d:Types></d:Bye>"),
       goodbye("ONVIF")},
      {"host Bye: its endpoint only", envelope("<d:Bye><a:EndpointReference/></d:Bye>"),
       goodbye("WS-Discovery")},
      {"empty Bye", envelope("<d:Bye/>"), kRejected},
      {"Probe", envelope("<d:Probe><d:Types>dn:NetworkVideoTransmitter</d:Types></d:Probe>"),
       kRejected},
      {"ProbeMatches without ProbeMatch",
       envelope("<d:ProbeMatches><d:Types>dn:NetworkVideoTransmitter</d:Types></d:ProbeMatches>"),
       kRejected},
      {"Hello without any of the three",
       envelope("<d:Hello><d:MetadataVersion>1</d:MetadataVersion></d:Hello>"), kRejected},
      {"Scopes outside Hello",
       "<s:Envelope><s:Header><d:Scopes>" + onvif +
           "name/X</d:Scopes></s:Header><s:Body><d:Hello></d:Hello></s:Body></s:Envelope>",
       kRejected},
      {"no Body", "<d:Hello><d:Types>dn:NetworkVideoTransmitter</d:Types></d:Hello>", kRejected},
      {"Body not closed", kCameraProbeMatch.substr(0, kCameraProbeMatch.find("</env:Body>")),
       kRejected},
      {"empty payload", "", kRejected},
      {"not XML", "M-SEARCH * HTTP/1.1\r\n\r\n", kRejected},
  };
  for (const Case& c : cases) check(decode_wsd, c.label, c.payload, c.want);
}

TEST(ScopeValue, Decoding) {
  struct Case {
    std::string label;
    std::string scopes;
    std::string want;
  };
  const std::string name = "onvif://www.onvif.org/name/";
  const Case cases[] = {
      {"percent-encoded space", name + "Front%20Door", "Front Door"},
      {"lower-case hex digits", name + "caf%c3%a9", "caf\xc3\xa9"},
      {"first matching scope wins", name + "First " + name + "Second", "First"},
      {"later in the list", "onvif://www.onvif.org/type/video " + name + "Lobby", "Lobby"},
      {"separated by tab, CR and LF", "a\tb\r\n" + name + "Cam\r\nc", "Cam"},
      {"leading and trailing whitespace", "  \n" + name + "Cam  \n", "Cam"},
      {"percent with one hex digit at the end", name + "Cam%4", "Cam%4"},
      {"percent at the very end", name + "Cam%", "Cam%"},
      {"percent with non-hex digits", name + "100%zz", "100%zz"},
      {"plus stays a plus", name + "Front+Door", "Front+Door"},
      {"encoded control byte becomes a space", name + "A%09B", "A B"},
      {"encoded zero cuts the text", name + "A%00B", "A"},
      {"prefix must start the token", "http://x/" + name + "Cam", ""},
      {"inside a token, then at the start of one", "x" + name + "No " + name + "Yes", "Yes"},
      {"prefix twice in one token", name + "A" + name + "B", "Aonvif://www.onvif.org/name/B"},
      {"prefix is case-sensitive", "ONVIF://www.onvif.org/name/Cam", ""},
      {"prefix alone gives empty", name, ""},
      {"empty scopes", "", ""},
      {"whitespace only", " \t\r\n", ""},
      {"no match", "onvif://www.onvif.org/hardware/X onvif://www.onvif.org/type/Y", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(scope_value(c.scopes, name), c.want) << c.label;
  }
}

TEST(ScopeValue, EmptyPrefixGivesTheFirstToken) {
  EXPECT_EQ(scope_value("  first%20one second", ""), "first one");
  EXPECT_EQ(scope_value(" \t ", ""), "");
}

TEST(ScopeValue, OutputIsCappedAt192Bytes) {
  const std::string name = "onvif://www.onvif.org/name/";
  // 300 encoded bytes decode to 300 bytes; only the first 192 are kept.
  std::string encoded;
  for (int i = 0; i < 300; ++i) encoded += "%41";
  EXPECT_EQ(scope_value(name + encoded, name), std::string(192, 'A'));
  EXPECT_EQ(scope_value(name + std::string(500, 'b'), name), std::string(192, 'b'));
}

// ---------------------------------------------------------------------------
// SSDP.

TEST(DecodeSsdp, Messages) {
  struct Case {
    std::string label;
    std::string payload;
    Expected want;
  };
  const Case cases[] = {
      {"media server NOTIFY without spaces",
       kMediaServerNotify,
       {true, "SSDP", kKeptName, kKeptModel, "4.19.0 DLNADOC/1.50 UPnP/1.0 MiniDLNA/1.3.0"}},
      {"router search response",
       kRouterResponse,
       {true, "SSDP", kKeptName, kKeptModel, "OpenWRT/22.03 UPnP/1.1 MiniUPnPd/2.3.0"}},
      {"camera alive",
       camera_notify("ssdp:alive"),
       {true, "SSDP", kKeptName, kKeptModel, "Linux/3.10 UPnP/1.0 IPCam/1.0"}},
      {"camera byebye", camera_notify("ssdp:byebye"), goodbye("SSDP")},
      {"camera byebye in capitals", camera_notify("SSDP:BYEBYE"), goodbye("SSDP")},
      {"byebye without USN", "NOTIFY * HTTP/1.1\r\nNT: a\r\nNTS: ssdp:byebye\r\n\r\n", kRejected},
      {"line feeds only",
       "NOTIFY * HTTP/1.1\nNT: upnp:rootdevice\nUSN: uuid:1\nSERVER: S\n\n",
       {true, "SSDP", kKeptName, kKeptModel, "S"}},
      {"header names in any case",
       "HTTP/1.1 200 OK\r\nst: upnp:rootdevice\r\nusn: uuid:1\r\nServer: Box/1\r\n\r\n",
       {true, "SSDP", kKeptName, kKeptModel, "Box/1"}},
      {"no SERVER: target instead",
       "HTTP/1.1 200 OK\r\nST: urn:schemas-upnp-org:device:Basic:1\r\nUSN: uuid:1\r\n\r\n",
       {true, "SSDP", kKeptName, kKeptModel, "urn:schemas-upnp-org:device:Basic:1"}},
      {"empty SERVER: target instead",
       "HTTP/1.1 200 OK\r\nSERVER:\r\nST: upnp:rootdevice\r\nUSN: uuid:1\r\n\r\n",
       {true, "SSDP", kKeptName, kKeptModel, "upnp:rootdevice"}},
      {"later header wins",
       "HTTP/1.1 200 OK\r\nSERVER: Old\r\nST: a\r\nUSN: uuid:1\r\nSERVER: New\r\n\r\n",
       {true, "SSDP", kKeptName, kKeptModel, "New"}},
      {"a response's NTS does not count",
       "HTTP/1.1 200 OK\r\nST: a\r\nUSN: uuid:1\r\nNTS: ssdp:byebye\r\n\r\n",
       {true, "SSDP", kKeptName, kKeptModel, "a"}},
      {"lines without a colon are skipped",
       "HTTP/1.1 200 OK\r\ngarbage\r\nST: a\r\nUSN: u\r\n\r\n",
       {true, "SSDP", kKeptName, kKeptModel, "a"}},
      {"value keeps later colons",
       "HTTP/1.1 200 OK\r\nST: urn:x:y\r\nUSN: u\r\nSERVER :  A: B  \r\n\r\n",
       {true, "SSDP", kKeptName, kKeptModel, "A: B"}},
      {"control bytes in SERVER",
       "HTTP/1.1 200 OK\r\nST: a\r\nUSN: u\r\nSERVER: A\x01\x7f"
       "B\r\n\r\n",
       {true, "SSDP", kKeptName, kKeptModel, "A  B"}},
      {"M-SEARCH request", "M-SEARCH * HTTP/1.1\r\nST: ssdp:all\r\nUSN: u\r\n\r\n", kRejected},
      {"200 without reason phrase", "HTTP/1.1 200\r\nST: a\r\nUSN: u\r\n\r\n", kRejected},
      {"other status", "HTTP/1.1 404 Not Found\r\nST: a\r\nUSN: u\r\n\r\n", kRejected},
      {"lower-case NOTIFY", "notify * HTTP/1.1\r\nNT: a\r\nUSN: u\r\n\r\n", kRejected},
      {"NOTIFY without USN", "NOTIFY * HTTP/1.1\r\nNT: a\r\nNTS: ssdp:alive\r\n\r\n", kRejected},
      {"NOTIFY with an empty USN", "NOTIFY * HTTP/1.1\r\nNT: a\r\nUSN:  \r\n\r\n", kRejected},
      {"empty USN after a full one", "NOTIFY * HTTP/1.1\r\nNT: a\r\nUSN: u\r\nUSN:\r\n\r\n",
       kRejected},
      {"NOTIFY with ST only", "NOTIFY * HTTP/1.1\r\nST: a\r\nUSN: u\r\n\r\n", kRejected},
      {"response with NT only", "HTTP/1.1 200 OK\r\nNT: a\r\nUSN: u\r\n\r\n", kRejected},
      {"headers after the empty line do not count", "HTTP/1.1 200 OK\r\nUSN: u\r\n\r\nST: a\r\n",
       kRejected},
      {"no line feed", "HTTP/1.1 200 OK", kRejected},
      {"empty payload", "", kRejected},
  };
  for (const Case& c : cases) check(decode_ssdp, c.label, c.payload, c.want);
}

// ---------------------------------------------------------------------------
// Hostile input.

// Every prefix of a valid message either decodes to clean texts or leaves the
// summary exactly as it was.
void truncate_everywhere(bool (*decoder)(PacketSummary&), const std::string& message) {
  for (std::size_t n = 0; n <= message.size(); ++n) {
    PacketSummary s = prepared(message.substr(0, n));
    const PacketSummary before = s;
    if (decoder(s)) {
      expect_clean(s.name);
      expect_clean(s.model);
      expect_clean(s.info);
      EXPECT_FALSE(s.protocol.empty());
    } else {
      expect_unchanged(s, before);
    }
  }
}

TEST(Hostile, TruncatedAtEveryByte) {
  truncate_everywhere(decode_wsd, kCameraProbeMatch);
  truncate_everywhere(decode_wsd, kHostHello);
  truncate_everywhere(decode_ssdp, kMediaServerNotify);
  truncate_everywhere(decode_ssdp, kRouterResponse);
  // A message cut inside its Body is never decoded (the Body must close).
  PacketSummary s = prepared(kCameraProbeMatch.substr(0, kCameraProbeMatch.find("</env:Body>")));
  EXPECT_FALSE(decode_wsd(s));
}

TEST(Hostile, ZeroBytesAndHugeValues) {
  // A zero byte in a value ends the text there.
  PacketSummary s = prepared("HTTP/1.1 200 OK\r\nST: a\r\nUSN: u\r\nSERVER: Box\0junk\r\n\r\n"s);
  ASSERT_TRUE(decode_ssdp(s));
  EXPECT_EQ(s.info, "Box");

  // Long values are cut at 192 bytes.
  s = prepared("HTTP/1.1 200 OK\r\nST: a\r\nUSN: u\r\nSERVER: " + std::string(16000, 'x') +
               "\r\n\r\n");
  ASSERT_TRUE(decode_ssdp(s));
  EXPECT_EQ(s.info, std::string(192, 'x'));

  s = prepared(envelope("<d:Hello><d:Types>" + std::string(16000, 't') + "</d:Types></d:Hello>"));
  ASSERT_TRUE(decode_wsd(s));
  EXPECT_EQ(s.info, std::string(192, 't'));

  // Many unterminated tags: scanned without trouble, nothing decoded.
  std::string tags;
  for (int i = 0; i < 2000; ++i) tags += "<d:Hello ";
  s = prepared(envelope(tags));
  EXPECT_FALSE(decode_wsd(s));
}

// ---------------------------------------------------------------------------
// Real capture: WS-Discovery Resolve requests from a Windows client, which
// are not device answers. The file is pcapng.

struct UdpPayload {
  std::uint16_t source_port = 0;
  std::uint16_t dest_port = 0;
  std::string payload;
};

std::uint32_t le32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return std::uint32_t{b[at]} | (std::uint32_t{b[at + 1]} << 8) | (std::uint32_t{b[at + 2]} << 16) |
         (std::uint32_t{b[at + 3]} << 24);
}
std::uint16_t be16(const std::uint8_t* p) { return static_cast<std::uint16_t>((p[0] << 8) | p[1]); }

// UDP payload of an Ethernet frame carrying IPv4 or IPv6 (no extension
// headers), bounded by both the UDP length and the captured bytes.
bool udp_of_frame(const std::uint8_t* f, std::size_t n, UdpPayload& out) {
  if (n < 14) return false;
  const std::uint16_t type = be16(f + 12);
  std::size_t udp = 0;
  if (type == 0x0800) {
    if (n < 34 || (f[14] >> 4) != 4 || f[23] != 17) return false;
    udp = 14 + std::size_t{4} * (f[14] & 0x0F);
  } else if (type == 0x86DD) {
    if (n < 54 || f[20] != 17) return false;
    udp = 54;
  } else {
    return false;
  }
  if (n < udp + 8) return false;
  const std::size_t length = be16(f + udp + 4);
  if (length < 8) return false;
  const std::size_t available = n - udp - 8;
  out.source_port = be16(f + udp);
  out.dest_port = be16(f + udp + 2);
  out.payload.assign(reinterpret_cast<const char*>(f + udp + 8), std::min(length - 8, available));
  return true;
}

// Enhanced packet blocks of a little-endian pcapng file with Ethernet links.
std::vector<UdpPayload> read_pcapng_udp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<std::uint8_t> b((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
  std::vector<UdpPayload> out;
  std::size_t at = 0;
  while (b.size() - at >= 12) {
    const std::uint32_t type = le32(b, at);
    const std::uint32_t length = le32(b, at + 4);
    if (length < 12 || length % 4 != 0 || length > b.size() - at) break;
    if (type == 6 && length >= 32) {
      const std::uint32_t captured = le32(b, at + 20);
      if (captured <= length - 32) {
        UdpPayload u;
        if (udp_of_frame(b.data() + at + 28, captured, u)) out.push_back(std::move(u));
      }
    }
    at += length;
  }
  return out;
}

TEST(Captures, ResolveRequestsAreNotAnswers) {
  const std::vector<UdpPayload> datagrams =
      read_pcapng_udp(std::string(NORVANE_CAPTURES_DIR) + "/upnp.pcap");
  ASSERT_EQ(datagrams.size(), 14u);
  for (const UdpPayload& d : datagrams) {
    EXPECT_EQ(d.dest_port, 3702);
    PacketSummary s = prepared(d.payload);
    const PacketSummary before = s;
    EXPECT_FALSE(decode_wsd(s));
    EXPECT_FALSE(decode_ssdp(s));
    expect_unchanged(s, before);
    // Each prefix, too, is rejected without touching the summary.
    for (std::size_t n = 0; n < d.payload.size(); n += 7) {
      PacketSummary p = prepared(d.payload.substr(0, n));
      EXPECT_FALSE(decode_wsd(p));
      EXPECT_FALSE(decode_ssdp(p));
    }
  }
}

}  // namespace
}  // namespace norvane
