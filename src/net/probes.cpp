#include "net/probes.h"

#include "net/byte_order.h"

namespace norvane {

const WsdNamespaces kWsd2005 = {"http://schemas.xmlsoap.org/ws/2004/08/addressing",
                                "http://schemas.xmlsoap.org/ws/2005/04/discovery",
                                "urn:schemas-xmlsoap-org:ws:2005:04:discovery"};
const WsdNamespaces kWsd2009 = {"http://www.w3.org/2005/08/addressing",
                                "http://docs.oasis-open.org/ws-dd/ns/discovery/2009/01",
                                "urn:docs-oasis-open-org:ws-dd:ns:discovery:2009:01"};

namespace {

constexpr std::string_view kSoapEnvelope = "http://www.w3.org/2003/05/soap-envelope";

std::string sadp_inquiry(std::string_view uuid) {
  std::string s = R"(<?xml version="1.0" encoding="utf-8"?><Probe><Uuid>)";
  s += uuid;
  s += "</Uuid><Types>inquiry</Types></Probe>";
  return s;
}

}  // namespace

std::string dhip_search(int uni) {
  std::string json = R"({"method":"DHDiscover.search","params":{"mac":"","uni":)";
  json += uni == 0 ? '0' : '1';
  json += "}}";
  const auto length = static_cast<std::uint32_t>(json.size());
  std::string out;
  out.reserve(32 + json.size());
  append_le32(out, 32);
  out += "DHIP";
  out.append(8, '\0');
  append_le32(out, length);
  append_le32(out, 0);
  append_le32(out, length);
  append_le32(out, 0);
  out += json;
  return out;
}

std::string wsd_probe(std::string_view addressing, std::string_view discovery,
                      std::string_view target, std::string_view uuid) {
  std::string s = R"(<?xml version="1.0" encoding="utf-8"?><s:Envelope xmlns:s=")";
  s += kSoapEnvelope;
  s += R"(" xmlns:a=")";
  s += addressing;
  s += R"(" xmlns:d=")";
  s += discovery;
  s += R"("><s:Header><a:Action>)";
  s += discovery;
  s += "/Probe</a:Action><a:MessageID>urn:uuid:";
  s += uuid;
  s += "</a:MessageID><a:To>";
  s += target;
  s += "</a:To></s:Header><s:Body><d:Probe/></s:Body></s:Envelope>";
  return s;
}

std::string_view ssdp_search() {
  return "M-SEARCH * HTTP/1.1\r\n"
         "HOST: 239.255.255.250:1900\r\n"
         "MAN: \"ssdp:discover\"\r\n"
         "MX: 1\r\n"
         "ST: upnp:rootdevice\r\n"
         "USER-AGENT: Windows/10.0 UPnP/1.1 Norvane/1.0\r\n"
         "\r\n";
}

std::vector<Probe> build_probes(const UuidSource& uuid) {
  const auto next_uuid = [&]() { return uuid ? uuid() : std::string(); };
  std::vector<Probe> probes;
  probes.reserve(11);
  const std::string group_sadp(kSadpGroup);
  const std::string group_dhip(kDhipGroup);

  if (const std::string u1 = next_uuid(); !u1.empty()) {
    const std::string inquiry = sadp_inquiry(u1);
    probes.push_back({group_sadp, kSadpPort, inquiry, true});
    probes.push_back({"", kSadpPort, inquiry, true});
  }
  probes.push_back({group_dhip, kDhipPort, dhip_search(1), false});
  probes.push_back({"", kDhipPort, dhip_search(1), false});
  probes.push_back({group_dhip, kDhipPort, dhip_search(0), true});
  probes.push_back({"", kUbiquitiPort, std::string("\x01\x00\x00\x00", 4), true});
  probes.push_back({"", kUbiquitiPort, std::string("\x02\x08\x00\x00", 4), true});
  probes.push_back({"", kMndpPort, std::string(4, '\0'), true});
  for (const WsdNamespaces* ns : {&kWsd2005, &kWsd2009}) {
    const std::string u = next_uuid();
    if (u.empty()) continue;
    probes.push_back(
        {group_sadp, kWsdPort, wsd_probe(ns->addressing, ns->discovery, ns->target, u), false});
  }
  probes.push_back({group_sadp, kSsdpPort, std::string(ssdp_search()), false});
  return probes;
}

}  // namespace norvane
