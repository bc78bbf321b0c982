#include "net/probes.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace norvane {
namespace {

// UUIDs "U1", "U2", ... in order of request; `fail` lists the calls (1-based)
// that give none.
UuidSource counting_uuids(std::set<int> fail = {}) {
  auto n = std::make_shared<int>(0);
  return [n, fail]() -> std::string {
    ++*n;
    if (fail.count(*n)) return {};
    std::string u = "U";
    u += std::to_string(*n);
    return u;
  };
}

struct Expected {
  const char* destination;
  std::uint16_t port;
  bool own_port;
  const char* payload_start;
};

void expect_probes(const std::vector<Probe>& probes, const std::vector<Expected>& expected) {
  ASSERT_EQ(probes.size(), expected.size());
  for (std::size_t i = 0; i < probes.size(); ++i) {
    EXPECT_EQ(probes[i].destination, expected[i].destination) << i;
    EXPECT_EQ(probes[i].port, expected[i].port) << i;
    EXPECT_EQ(probes[i].own_port, expected[i].own_port) << i;
    const std::string start = expected[i].payload_start;
    EXPECT_EQ(probes[i].payload.substr(0, start.size()), start) << i;
  }
}

const char kSadpStart[] = R"(<?xml version="1.0" encoding="utf-8"?><Probe><Uuid>)";
const char kDhipStart[] =
    "\x20\x00\x00\x00"
    "DHIP";
const char kXmlStart[] = R"(<?xml version="1.0" encoding="utf-8"?><s:Envelope)";

TEST(Probes, ElevenInSendOrder) {
  const auto probes = build_probes(counting_uuids());
  expect_probes(probes, {
                            {"239.255.255.250", 37020, true, kSadpStart},
                            {"", 37020, true, kSadpStart},
                            {"239.255.255.251", 37810, false, kDhipStart},
                            {"", 37810, false, kDhipStart},
                            {"239.255.255.251", 37810, true, kDhipStart},
                            {"", 10001, true, "\x01"},
                            {"", 10001, true, "\x02\x08"},
                            {"", 5678, true, ""},
                            {"239.255.255.250", 3702, false, kXmlStart},
                            {"239.255.255.250", 3702, false, kXmlStart},
                            {"239.255.255.250", 1900, false, "M-SEARCH * HTTP/1.1\r\n"},
                        });
  ASSERT_EQ(probes.size(), 11u);
  // Both SADP probes carry the first UUID; each WS-Discovery probe its own.
  std::string sadp = kSadpStart;
  sadp += "U1</Uuid><Types>inquiry</Types></Probe>";
  EXPECT_EQ(probes[0].payload, sadp);
  EXPECT_EQ(probes[1].payload, sadp);
  EXPECT_NE(probes[8].payload.find("urn:uuid:U2<"), std::string::npos);
  EXPECT_NE(probes[9].payload.find("urn:uuid:U3<"), std::string::npos);
  EXPECT_EQ(probes[4].payload, dhip_search(0));
  EXPECT_EQ(probes[2].payload, dhip_search(1));
  EXPECT_EQ(probes[5].payload, std::string("\x01\x00\x00\x00", 4));
  EXPECT_EQ(probes[6].payload, std::string("\x02\x08\x00\x00", 4));
  EXPECT_EQ(probes[7].payload, std::string(4, '\0'));
}

TEST(Probes, MissingUuidsDropOnlyTheirProbes) {
  struct Case {
    std::set<int> fail;
    std::vector<std::uint16_t> ports;
  } const cases[] = {
      {{1, 2, 3}, {37810, 37810, 37810, 10001, 10001, 5678, 1900}},
      {{1}, {37810, 37810, 37810, 10001, 10001, 5678, 3702, 3702, 1900}},
      {{2}, {37020, 37020, 37810, 37810, 37810, 10001, 10001, 5678, 3702, 1900}},
      {{3}, {37020, 37020, 37810, 37810, 37810, 10001, 10001, 5678, 3702, 1900}},
  };
  for (const auto& c : cases) {
    std::vector<std::uint16_t> ports;
    for (const auto& p : build_probes(counting_uuids(c.fail))) ports.push_back(p.port);
    EXPECT_EQ(ports, c.ports);
  }
  EXPECT_EQ(build_probes(UuidSource{}).size(), 7u);
}

TEST(Probes, DhipSearchBytes) {
  const std::string json1 = R"({"method":"DHDiscover.search","params":{"mac":"","uni":1}})";
  ASSERT_EQ(json1.size(), 58u);
  const std::string header(
      "\x20\x00\x00\x00"
      "DHIP"
      "\0\0\0\0\0\0\0\0"
      "\x3A\x00\x00\x00"
      "\0\0\0\0"
      "\x3A\x00\x00\x00"
      "\0\0\0\0",
      32);
  std::string one = header;
  one += json1;
  EXPECT_EQ(dhip_search(1), one);
  std::string zero = one;
  zero[zero.size() - 3] = '0';
  EXPECT_EQ(dhip_search(0), zero);
  EXPECT_EQ(dhip_search(0).size(), 90u);
}

TEST(Probes, WsDiscoveryEnvelopes) {
  EXPECT_EQ(
      wsd_probe(kWsd2005.addressing, kWsd2005.discovery, kWsd2005.target, "AB-CD"),
      R"(<?xml version="1.0" encoding="utf-8"?>)"
      R"(<s:Envelope xmlns:s="http://www.w3.org/2003/05/soap-envelope")"
      R"( xmlns:a="http://schemas.xmlsoap.org/ws/2004/08/addressing")"
      R"( xmlns:d="http://schemas.xmlsoap.org/ws/2005/04/discovery">)"
      R"(<s:Header><a:Action>http://schemas.xmlsoap.org/ws/2005/04/discovery/Probe</a:Action>)"
      R"(<a:MessageID>urn:uuid:AB-CD</a:MessageID>)"
      R"(<a:To>urn:schemas-xmlsoap-org:ws:2005:04:discovery</a:To></s:Header>)"
      R"(<s:Body><d:Probe/></s:Body></s:Envelope>)");
  const std::string v2009 =
      wsd_probe(kWsd2009.addressing, kWsd2009.discovery, kWsd2009.target, "X");
  for (const char* part : {R"(xmlns:a="http://www.w3.org/2005/08/addressing")",
                           R"(xmlns:d="http://docs.oasis-open.org/ws-dd/ns/discovery/2009/01")",
                           "<a:Action>http://docs.oasis-open.org/ws-dd/ns/discovery/2009/01/Probe<",
                           "<a:To>urn:docs-oasis-open-org:ws-dd:ns:discovery:2009:01</a:To>"}) {
    EXPECT_NE(v2009.find(part), std::string::npos) << part;
  }
  EXPECT_EQ(v2009.find_first_of(" \t\r\n", v2009.find("?>")),
            v2009.find(" xmlns:s"));  // the only spaces separate attributes
}

TEST(Probes, SsdpSearchEndsWithEmptyLine) {
  const std::string_view s = ssdp_search();
  EXPECT_EQ(
      s,
      "M-SEARCH * HTTP/1.1\r\nHOST: 239.255.255.250:1900\r\nMAN: \"ssdp:discover\"\r\n"
      "MX: 1\r\nST: upnp:rootdevice\r\nUSER-AGENT: Windows/10.0 UPnP/1.1 Norvane/1.0\r\n\r\n");
  EXPECT_EQ(s.find('\0'), std::string_view::npos);
}

TEST(Probes, UuidTextIsFreshUpperCaseGuidText) {
  const auto guid_form = [](const std::string& u) {
    if (u.size() != 36) return false;
    for (std::size_t i = 0; i < u.size(); ++i) {
      const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
      const char c = u[i];
      if (dash != (c == '-')) return false;
      if (!dash && !((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
    }
    return true;
  };
  std::set<std::string> seen;
  for (int i = 0; i < 200; ++i) {
    const std::string u = uuid_text();
    EXPECT_TRUE(guid_form(u)) << u;
    seen.insert(u);
  }
  EXPECT_EQ(seen.size(), 200u);
  // A new search uses new UUIDs throughout.
  EXPECT_NE(build_probes()[0].payload, build_probes()[0].payload);
}

}  // namespace
}  // namespace norvane
