#include "sim_reply.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

#include "base/address.h"
#include "net/probes.h"
#include "net/raw_sender.h"

namespace norvane::sim {
namespace {

constexpr std::string_view kSoap12 = "http://www.w3.org/2003/05/soap-envelope";
constexpr std::string_view kAddressing2004 = "http://schemas.xmlsoap.org/ws/2004/08/addressing";
constexpr std::string_view kDiscovery2005 = "http://schemas.xmlsoap.org/ws/2005/04/discovery";
constexpr std::string_view kAddressing10 = "http://www.w3.org/2005/08/addressing";
constexpr std::string_view kDiscovery2009 = "http://docs.oasis-open.org/ws-dd/ns/discovery/2009/01";

std::string ip_string(const Ip4& ip) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%u.%u.%u.%u", ip[0], ip[1], ip[2], ip[3]);
  return buf;
}

// "44-19-b6-6a-10-0b" (SADP) or "3c:ef:8c:11:30:0d" (DHIP).
std::string mac_string(const Mac& mac, char separator) {
  char buf[18];
  std::snprintf(buf, sizeof buf, "%02x%c%02x%c%02x%c%02x%c%02x%c%02x", mac[0], separator, mac[1],
                separator, mac[2], separator, mac[3], separator, mac[4], separator, mac[5]);
  return buf;
}

void put_le32(std::string& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
void put_be16(std::string& out, std::uint16_t v) {
  out.push_back(static_cast<char>(v >> 8));
  out.push_back(static_cast<char>(v & 0xFF));
}
std::uint32_t le32(std::string_view s, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<std::uint8_t>(s[at + i]);
  return v;
}
std::uint8_t byte_at(std::string_view s, std::size_t at) {
  return static_cast<std::uint8_t>(s[at]);
}

// Text between the first open and the following close marker, bounded.
std::string_view between(std::string_view text, std::string_view open, std::string_view close,
                         std::size_t limit = 256) {
  const std::size_t a = text.find(open);
  if (a == std::string_view::npos) return {};
  const std::size_t start = a + open.size();
  const std::size_t b = text.find(close, start);
  if (b == std::string_view::npos || b - start > limit) return {};
  return text.substr(start, b - start);
}

bool contains(std::string_view text, std::string_view what) {
  return text.find(what) != std::string_view::npos;
}

// XML character data: the five predefined entities.
std::string xml_escape(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&apos;";
        break;
      default:
        out.push_back(c);
    }
  }
  return out;
}

std::string json_escape(std::string_view text) {
  std::string out;
  for (char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out.push_back('\\');
      out.push_back(c);
    } else if (u < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", u);
      out += buf;
    } else {
      out.push_back(c);
    }
  }
  return out;
}

// ------------------------------------------------------------------ SADP --

// An inquiry is a Probe (not a ProbeMatch) whose Types read "inquiry".
bool is_sadp_inquiry(std::string_view p) {
  return contains(p, "<Probe>") && between(p, "<Types>", "</Types>") == "inquiry";
}

std::string sadp_reply(const Device& d, std::string_view uuid) {
  const bool recorder = d.model.find("NI-") != std::string::npos || d.model.rfind("DS-7", 0) == 0;
  std::string x = R"(<?xml version="1.0" encoding="UTF-8"?>)";
  x += "<ProbeMatch><Uuid>" + xml_escape(uuid) + "</Uuid><Types>inquiry</Types>";
  x += recorder ? "<DeviceType>61</DeviceType>" : "<DeviceType>139267</DeviceType>";
  x += "<DeviceDescription>" + xml_escape(d.model) + "</DeviceDescription>";
  x += "<DeviceSN>" + xml_escape(d.serial) + "</DeviceSN>";
  x += "<CommandPort>8000</CommandPort><HttpPort>80</HttpPort>";
  x += "<MAC>" + mac_string(d.mac, '-') + "</MAC>";
  x += "<IPv4Address>" + ip_string(d.ip) + "</IPv4Address>";
  x += "<IPv4SubnetMask>" + ip_string(d.mask) + "</IPv4SubnetMask>";
  x += "<IPv4Gateway>" + ip_string(d.gateway) + "</IPv4Gateway>";
  x += "<IPv6Address>::</IPv6Address><IPv6Gateway>::</IPv6Gateway><IPv6MaskLen>64</IPv6MaskLen>";
  x += "<DHCP>false</DHCP>";
  x += recorder ? "<AnalogChannelNum>0</AnalogChannelNum><DigitalChannelNum>8</DigitalChannelNum>"
                : "<AnalogChannelNum>0</AnalogChannelNum><DigitalChannelNum>1</DigitalChannelNum>";
  x += "<SoftwareVersion>" + xml_escape(d.firmware) + "</SoftwareVersion>";
  x += "<DSPVersion>V7.3 build 190905</DSPVersion><BootTime>2026-12-01 08:00:00</BootTime>";
  x += "<Encrypt>true</Encrypt><ResetAbility>false</ResetAbility>";
  x += recorder ? "<DiskNumber>1</DiskNumber>" : "<DiskNumber>0</DiskNumber>";
  // A device at a fixed address is new out of the box: no password set yet.
  x += d.host == 0 ? "<Activated>false</Activated>" : "<Activated>true</Activated>";
  x += "<PasswordResetAbility>true</PasswordResetAbility>";
  x += "<SyncIPCPassword>true</SyncIPCPassword></ProbeMatch>";
  return x;
}

// ------------------------------------------------------------------ DHIP --

constexpr std::size_t kDhipHeader = 32;

// A DHIP search: the 32-byte header with consistent lengths and a body that
// names the search method. uni is 1 when the body asks for a unicast answer.
bool is_dhip_search(std::string_view p, bool& uni) {
  if (p.size() < kDhipHeader || p.substr(4, 4) != "DHIP") return false;
  const std::uint32_t header = le32(p, 0);
  const std::uint32_t body = le32(p, 16);
  if (header < kDhipHeader || header > p.size() || body > p.size() - header ||
      le32(p, 24) != body) {
    return false;
  }
  const std::string_view json = p.substr(header, body);
  if (!contains(json, R"("method":"DHDiscover.search")")) return false;
  uni = contains(json, R"("uni":1)");
  return true;
}

std::string dhip_reply(const Device& d, std::string_view request) {
  std::string j = R"({"mac":")" + mac_string(d.mac, ':') +
                  R"(","method":"client.notifyDevInfo","params":{"deviceInfo":{)";
  j += R"("AlarmInputChannels":2,"AlarmOutputChannels":1,"DeviceClass":"IPC",)";
  j += R"("DeviceType":")" + json_escape(d.model) + R"(","HttpPort":80,"IPv4Address":{)";
  j += R"("DefaultGateway":")" + ip_string(d.gateway) + R"(","DhcpEnable":false,"IPAddress":")" +
       ip_string(d.ip) + R"(","SubnetMask":")" + ip_string(d.mask) + R"("},)";
  j += R"("IPv6Address":{"DefaultGateway":"","IPAddress":"","LinkLocalAddress":""},)";
  j += R"("MachineName":")" + json_escape(d.name) + R"(","Manufacturer":"Private","Port":37777,)";
  j += R"("SerialNo":")" + json_escape(d.serial) + R"(","Vendor":"Private","Version":")" +
       json_escape(d.firmware) + R"(","VideoInputChannels":1,"VideoOutputChannels":0}}})";
  std::string out;
  put_le32(out, kDhipHeader);
  out += "DHIP";
  out += request.substr(8, 8);  // session and request id, echoed
  put_le32(out, static_cast<std::uint32_t>(j.size()));
  put_le32(out, 0);
  put_le32(out, static_cast<std::uint32_t>(j.size()));
  put_le32(out, 0);
  return out + j;
}

// ------------------------------------------------------------- TLV kinds --

void mndp_tlv(std::string& out, std::uint16_t type, std::string_view value) {
  put_be16(out, type);
  put_be16(out, static_cast<std::uint16_t>(value.size()));
  out += value;
}

void ubnt_tlv(std::string& out, std::uint8_t type, std::string_view value) {
  out.push_back(static_cast<char>(type));
  put_be16(out, static_cast<std::uint16_t>(value.size()));
  out += value;
}

std::string bytes_of(const Mac& mac) { return std::string(mac.begin(), mac.end()); }
std::string bytes_of(const Ip4& ip) { return std::string(ip.begin(), ip.end()); }

std::string mndp_reply(const Device& d, std::uint16_t sequence) {
  std::string out;
  put_be16(out, 0);
  put_be16(out, sequence);
  mndp_tlv(out, 1, bytes_of(d.mac));
  mndp_tlv(out, 5, d.name);
  mndp_tlv(out, 7, d.firmware);
  mndp_tlv(out, 8, "MikroTik");
  mndp_tlv(out, 10, std::string("\x40\x2c\x0b\x00", 4));  // uptime, little-endian seconds
  mndp_tlv(out, 11, d.serial);
  mndp_tlv(out, 12, d.model);
  mndp_tlv(out, 14, std::string(1, '\x01'));  // unpack
  mndp_tlv(out, 16, "ether2");
  mndp_tlv(out, 17, bytes_of(d.ip));
  return out;
}

std::string ubnt_reply(const Device& d, bool v2) {
  std::string tlvs;
  ubnt_tlv(tlvs, 2, bytes_of(d.mac) + bytes_of(d.ip));
  ubnt_tlv(tlvs, 1, bytes_of(d.mac));
  ubnt_tlv(tlvs, 10, std::string("\x00\x01\x51\x80", 4));  // uptime, seconds
  ubnt_tlv(tlvs, 11, d.name);
  ubnt_tlv(tlvs, 12, d.serial);
  if (v2) {
    ubnt_tlv(tlvs, 3, d.serial + "." + d.firmware);
    ubnt_tlv(tlvs, 21, d.model);
    ubnt_tlv(tlvs, 22, d.firmware);
    ubnt_tlv(tlvs, 23, std::string(1, '\x00'));  // not in factory defaults
  } else {
    ubnt_tlv(tlvs, 13, "Norvane-Lab");           // ESSID
    ubnt_tlv(tlvs, 14, std::string(1, '\x02'));  // wireless mode
    ubnt_tlv(tlvs, 3, d.firmware);
    ubnt_tlv(tlvs, 20, d.model);
  }
  std::string out;
  out.push_back(static_cast<char>(v2 ? 2 : 1));
  out.push_back(static_cast<char>(v2 ? 6 : 0));
  put_be16(out, static_cast<std::uint16_t>(tlvs.size()));
  return out + tlvs;
}

// ---------------------------------------------------------- WS-Discovery --

// A Probe in the Body (not a ProbeMatch, Resolve or Hello); namespace set
// taken from the discovery namespace the message declares.
bool is_wsd_probe(std::string_view p, bool& v2009, std::string_view& message_id) {
  const std::size_t body = p.find("Body");
  if (body == std::string_view::npos) return false;
  const std::string_view rest = p.substr(body);
  bool probe = false;
  for (std::size_t at = rest.find("Probe"); at != std::string_view::npos;
       at = rest.find("Probe", at + 1)) {
    if (at == 0 || (rest[at - 1] != ':' && rest[at - 1] != '<')) continue;
    const std::size_t after = at + 5;
    if (after < rest.size() && (rest[after] == '/' || rest[after] == '>' || rest[after] == ' ')) {
      probe = true;
      break;
    }
  }
  if (!probe) return false;
  if (contains(p, kDiscovery2009)) {
    v2009 = true;
  } else if (contains(p, kDiscovery2005)) {
    v2009 = false;
  } else {
    return false;
  }
  message_id = between(p, "MessageID>", "<");
  // A probe for other types (printers, file servers) is not for a camera.
  const std::string_view types = between(rest, "Types>", "<", 4096);
  if (types.empty()) return true;
  std::string_view rest_types = types;
  while (!rest_types.empty()) {
    const std::size_t space = rest_types.find_first_of(" \t\r\n");
    std::string_view token = rest_types.substr(0, space);
    rest_types.remove_prefix(space == std::string_view::npos ? rest_types.size() : space + 1);
    const std::size_t colon = token.rfind(':');
    if (colon != std::string_view::npos) token.remove_prefix(colon + 1);
    if (token == "NetworkVideoTransmitter" || token == "Device") return true;
  }
  return false;
}

std::string probe_match(const Device& d, bool v2009, std::string_view relates_to,
                        std::uint32_t message_number) {
  const std::string_view a = v2009 ? kAddressing10 : kAddressing2004;
  const std::string_view disc = v2009 ? kDiscovery2009 : kDiscovery2005;
  const std::string anonymous = v2009 ? std::string(kAddressing10) + "/anonymous"
                                      : std::string(kAddressing2004) + "/role/anonymous";
  char uuid[64];
  std::snprintf(uuid, sizeof uuid, "urn:uuid:%08x-%04x-11b2-a105-%02x%02x%02x%02x%02x%02x",
                0x3a7f1c2eU ^ d.host, 0x1dd2U, d.mac[0], d.mac[1], d.mac[2], d.mac[3], d.mac[4],
                d.mac[5]);
  char message_id[64];
  std::snprintf(message_id, sizeof message_id,
                "urn:uuid:%08x-0000-4000-8000-%02x%02x%02x%02x%02x%02x", message_number, d.mac[0],
                d.mac[1], d.mac[2], d.mac[3], d.mac[4], d.mac[5]);
  std::string x = R"(<?xml version="1.0" encoding="UTF-8"?>)";
  x += R"(<SOAP-ENV:Envelope xmlns:SOAP-ENV=")" + std::string(kSoap12) + R"(" xmlns:wsa=")" +
       std::string(a) + R"(" xmlns:d=")" + std::string(disc) +
       R"(" xmlns:dn="http://www.onvif.org/ver10/network/wsdl")"
       R"( xmlns:tds="http://www.onvif.org/ver10/device/wsdl">)";
  x += "<SOAP-ENV:Header><wsa:MessageID>" + std::string(message_id) + "</wsa:MessageID>";
  if (!relates_to.empty()) {
    x += "<wsa:RelatesTo>" + xml_escape(relates_to) + "</wsa:RelatesTo>";
  }
  x += "<wsa:To SOAP-ENV:mustUnderstand=\"true\">" + anonymous + "</wsa:To>";
  x += "<wsa:Action SOAP-ENV:mustUnderstand=\"true\">" + std::string(disc) +
       "/ProbeMatches</wsa:Action>";
  x += "<d:AppSequence InstanceId=\"1733700000\" MessageNumber=\"" +
       std::to_string(message_number) + "\"/></SOAP-ENV:Header>";
  x += "<SOAP-ENV:Body><d:ProbeMatches><d:ProbeMatch><wsa:EndpointReference><wsa:Address>" +
       std::string(uuid) + "</wsa:Address></wsa:EndpointReference>";
  x += "<d:Types>dn:NetworkVideoTransmitter tds:Device</d:Types>";
  // Kept within one Ethernet frame: a fragmented answer reaches the probe
  // sockets but not a capture, which keeps only first fragments of SADP.
  x += "<d:Scopes>onvif://www.onvif.org/type/video_encoder "
       "onvif://www.onvif.org/Profile/Streaming onvif://www.onvif.org/hardware/" +
       percent_encode(d.model) + " onvif://www.onvif.org/name/" + percent_encode(d.name) +
       " onvif://www.onvif.org/location/country/poland</d:Scopes>";
  x += "<d:XAddrs>http://" + ip_string(d.ip) + "/onvif/device_service</d:XAddrs>";
  x += "<d:MetadataVersion>1</d:MetadataVersion></d:ProbeMatch></d:ProbeMatches>";
  x += "</SOAP-ENV:Body></SOAP-ENV:Envelope>";
  return x;
}

// ------------------------------------------------------------------ SSDP --

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r')) {
    s.remove_prefix(1);
  }
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
    s.remove_suffix(1);
  }
  return s;
}

bool iequals(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// An M-SEARCH with MAN "ssdp:discover"; gives its search target.
bool is_msearch(std::string_view p, std::string_view& target) {
  std::size_t eol = p.find('\n');
  if (eol == std::string_view::npos || trim(p.substr(0, eol)) != "M-SEARCH * HTTP/1.1") {
    return false;
  }
  bool discover = false;
  target = {};
  while (eol != std::string_view::npos) {
    p.remove_prefix(eol + 1);
    eol = p.find('\n');
    const std::string_view line = trim(p.substr(0, eol));
    if (line.empty()) break;
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    const std::string_view name = trim(line.substr(0, colon));
    const std::string_view value = trim(line.substr(colon + 1));
    if (iequals(name, "MAN")) discover = value == "\"ssdp:discover\"";
    if (iequals(name, "ST")) target = value;
  }
  return discover && !target.empty();
}

std::string ssdp_response(const Device& d, std::string_view st, std::string_view usn) {
  std::string r = "HTTP/1.1 200 OK\r\n";
  r += "CACHE-CONTROL: max-age=1800\r\n";
  r += "DATE: Wed, 09 Dec 2026 10:00:00 GMT\r\n";
  r += "EXT:\r\n";
  r += "LOCATION: http://" + ip_string(d.ip) + ":49152/setup.xml\r\n";
  r += "SERVER: " + d.firmware + "\r\n";
  r += "ST: " + std::string(st) + "\r\n";
  r += "USN: " + std::string(usn) + "\r\n";
  r += "BOOTID.UPNP.ORG: 1\r\nCONFIGID.UPNP.ORG: 1\r\n\r\n";
  return r;
}

// The search targets a UPnP device has, each with its unique service name:
// the root device, the device's own UUID and its device type.
std::vector<std::pair<std::string, std::string>> ssdp_targets(const Device& d) {
  const std::string uuid = "uuid:" + d.serial;
  return {{"upnp:rootdevice", uuid + "::upnp:rootdevice"},
          {uuid, uuid},
          {d.model, uuid + "::" + d.model}};
}

std::vector<Reply> ssdp_replies(const Device& d, const Datagram& in, std::string_view target) {
  std::vector<Reply> out;
  for (const auto& [st, usn] : ssdp_targets(d)) {
    if (target != "ssdp:all" && target != st) continue;
    out.push_back({in.source, in.source_port, ssdp_response(d, st, usn), "SSDP search response"});
  }
  return out;
}

}  // namespace

std::string percent_encode(std::string_view text) {
  std::string out;
  for (char c : text) {
    const auto u = static_cast<unsigned char>(c);
    const bool unreserved = (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') ||
                            (u >= '0' && u <= '9') || u == '-' || u == '.' || u == '_' || u == '~';
    if (unreserved) {
      out.push_back(c);
    } else {
      char buf[4];
      std::snprintf(buf, sizeof buf, "%%%02X", u);
      out += buf;
    }
  }
  return out;
}

std::vector<std::uint16_t> service_ports(Kind kind) {
  switch (kind) {
    case Kind::kSadp:
      return {kSadpPort};
    case Kind::kDhip:
      return {kDhipPort};
    case Kind::kMndp:
      return {kMndpPort};
    case Kind::kUbntV1:
    case Kind::kUbntV2:
      return {kUbntPort};
    case Kind::kOnvif:
      return {kWsdPort};
    case Kind::kSsdp:
      return {kSsdpPort};
    case Kind::kSadpOnvif:
      return {kSadpPort, kWsdPort};
    case Kind::kArp:
    case Kind::kLldp:
      return {};
  }
  return {};
}

std::uint16_t service_port(Kind kind) {
  const std::vector<std::uint16_t> ports = service_ports(kind);
  return ports.empty() ? 0 : ports.front();
}

bool serves_port(Kind kind, std::uint16_t port) {
  const std::vector<std::uint16_t> ports = service_ports(kind);
  return std::find(ports.begin(), ports.end(), port) != ports.end();
}

Ip4 port_group(std::uint16_t port) noexcept {
  switch (port) {
    case kSadpPort:
    case kWsdPort:
    case kSsdpPort:
      return kSadpGroup;
    case kDhipPort:
      return kDhipGroup;
    default:
      return {};
  }
}

std::vector<Reply> answer(const Device& d, const Datagram& in) {
  std::vector<Reply> out;
  if (!serves_port(d.kind, in.local_port)) return out;
  const std::string_view p = in.payload;
  // A camera with ONVIF on answers each protocol on its own port.
  const Kind kind = d.kind != Kind::kSadpOnvif   ? d.kind
                    : in.local_port == kSadpPort ? Kind::kSadp
                                                 : Kind::kOnvif;
  switch (kind) {
    case Kind::kSadpOnvif:
    case Kind::kArp:
    case Kind::kLldp:
      break;
    case Kind::kSadp:
      // Hikvision devices answer an inquiry to the SADP group, so every
      // SADP listener on the segment sees it, whichever port asked.
      if (is_sadp_inquiry(p)) {
        out.push_back({kSadpGroup, kSadpPort, sadp_reply(d, between(p, "<Uuid>", "</Uuid>", 64)),
                       "SADP reply"});
      }
      break;
    case Kind::kDhip: {
      // "uni":1 asks for a unicast answer; otherwise the device answers to
      // the DHIP group.
      bool uni = false;
      if (is_dhip_search(p, uni)) {
        if (uni) {
          out.push_back({in.source, in.source_port, dhip_reply(d, p), "DHIP reply (unicast)"});
        } else {
          out.push_back({kDhipGroup, kDhipPort, dhip_reply(d, p), "DHIP reply (group)"});
        }
      }
      break;
    }
    case Kind::kMndp:
      // A request is the bare 4-byte header; RouterOS answers with its
      // announcement, broadcast to the MNDP port.
      if (p.size() == 4) {
        const auto seq = static_cast<std::uint16_t>(byte_at(p, 2) << 8 | byte_at(p, 3));
        out.push_back({kLimitedBroadcast, kMndpPort, mndp_reply(d, seq), "MNDP announcement"});
      }
      break;
    case Kind::kUbntV1:
    case Kind::kUbntV2: {
      const bool v2 = d.kind == Kind::kUbntV2;
      const std::string_view want =
          v2 ? std::string_view("\x02\x08\x00\x00", 4) : std::string_view("\x01\x00\x00\x00", 4);
      if (p == want) {
        out.push_back({in.source, in.source_port, ubnt_reply(d, v2),
                       v2 ? "Ubiquiti v2 reply" : "Ubiquiti v1 reply"});
      }
      break;
    }
    case Kind::kOnvif: {
      bool v2009 = false;
      std::string_view id;
      if (is_wsd_probe(p, v2009, id)) {
        static std::uint32_t message_number = 0;
        out.push_back({in.source, in.source_port, probe_match(d, v2009, id, ++message_number),
                       v2009 ? "ProbeMatches (2009)" : "ProbeMatches (2005/04)"});
      }
      break;
    }
    case Kind::kSsdp: {
      std::string_view target;
      if (is_msearch(p, target)) out = ssdp_replies(d, in, target);
      break;
    }
  }
  return out;
}

std::string answer_frame(const Device& d, std::string_view frame) {
  if ((d.kind != Kind::kSadp && d.kind != Kind::kSadpOnvif) || frame.size() < 14 + 28) return {};
  if (byte_at(frame, 12) != 0x80 || byte_at(frame, 13) != 0x33) return {};
  const std::string_view in = frame.substr(14);
  if (byte_at(in, 0) != 0x21 || byte_at(in, 1) != 0x02 || byte_at(in, 8) != 0x06 ||
      byte_at(in, 9) != 0x04) {
    return {};
  }
  std::string p(160, '\0');
  p[0] = '\x21';
  p[1] = '\x01';
  p.replace(2, 6, in.substr(2, 6));  // protocol bytes and the inquiry's sequence number
  p[8] = '\x06';
  p[9] = '\x04';
  p[10] = '\x04';
  p.replace(14, 6, bytes_of(d.mac));
  p.replace(20, 4, bytes_of(d.ip));
  p.replace(24, 4, bytes_of(d.mask));
  p.replace(28, 4, bytes_of(d.gateway));
  p[32] = '\x1f';  // command port 8000
  p[33] = '\x40';
  p.replace(36, std::min<std::size_t>(d.serial.size(), 52), d.serial.substr(0, 52));
  p[88] = '\x00';  // HTTP port 80
  p[89] = '\x50';
  p.replace(102, std::min<std::size_t>(d.firmware.size(), 48), d.firmware.substr(0, 48));
  // The checksum is summed over big-endian words and stored low byte first,
  // like the inquiry's.
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i + 1 < p.size(); i += 2) {
    sum += static_cast<std::uint32_t>(byte_at(p, i) << 8 | byte_at(p, i + 1));
  }
  while (sum > 0xFFFF) sum = (sum & 0xFFFF) + (sum >> 16);
  const auto check = static_cast<std::uint16_t>(~sum);
  p[12] = static_cast<char>(check & 0xFF);
  p[13] = static_cast<char>(check >> 8);

  std::string out(frame.substr(6, 6));  // back to the inquirer
  out += bytes_of(d.mac);
  put_be16(out, kSadpEtherType);
  return out + p;
}

std::vector<Reply> goodbye(const Device& d) {
  std::vector<Reply> out;
  if (d.kind != Kind::kSsdp) return out;
  // A UPnP device that leaves withdraws every target it announced, to the
  // group, as it is switched off.
  for (const auto& [nt, usn] : ssdp_targets(d)) {
    std::string m = "NOTIFY * HTTP/1.1\r\nHOST: 239.255.255.250:1900\r\n";
    m += "NT: " + nt + "\r\nNTS: ssdp:byebye\r\nUSN: " + usn + "\r\n";
    m += "BOOTID.UPNP.ORG: 1\r\nCONFIGID.UPNP.ORG: 1\r\n\r\n";
    out.push_back({kSadpGroup, kSsdpPort, std::move(m), "SSDP byebye"});
  }
  return out;
}

std::string arp_announcement(const Device& d) {
  // RFC 5227: a request whose sender and target address are both the one
  // announced, to everyone, padded to the Ethernet minimum.
  std::string f(6, '\xff');
  f += bytes_of(d.mac);
  put_be16(f, kArpEtherType);
  put_be16(f, 1);       // Ethernet
  put_be16(f, 0x0800);  // IPv4
  f.push_back(6);
  f.push_back(4);
  put_be16(f, 1);  // request
  f += bytes_of(d.mac) + bytes_of(d.ip) + std::string(6, '\0') + bytes_of(d.ip);
  f.resize(60, '\0');
  return f;
}

namespace {

// One LLDP TLV: 7 bits of type and 9 of length, then the value.
void lldp_tlv(std::string& out, unsigned type, std::string_view value) {
  put_be16(out, static_cast<std::uint16_t>(type << 9 | value.size()));
  out += value;
}

}  // namespace

std::string lldp_announcement(const Device& d) {
  static constexpr std::size_t kText = 255;
  std::string f("\x01\x80\xc2\x00\x00\x0e", 6);
  f += bytes_of(d.mac);
  put_be16(f, kLldpEtherType);
  lldp_tlv(f, 1, "\x04" + bytes_of(d.mac));                          // chassis: MAC address
  lldp_tlv(f, 2, "\x05" + d.model.substr(0, kText));                 // port: interface name
  lldp_tlv(f, 3, std::string("\x00\x78", 2));                        // TTL 120 s
  if (!d.serial.empty()) lldp_tlv(f, 4, d.serial.substr(0, kText));  // port description
  if (!d.name.empty()) lldp_tlv(f, 5, d.name.substr(0, kText));      // system name
  // Management address: length, IPv4, then interface 1 by ifIndex, no OID.
  lldp_tlv(f, 8, "\x05\x01" + bytes_of(d.ip) + std::string("\x02\x00\x00\x00\x01\x00", 6));
  if (d.vlan != 0) {
    std::string pvid("\x00\x80\xc2\x01", 4);  // IEEE 802.1, Port VLAN ID
    put_be16(pvid, d.vlan);
    lldp_tlv(f, 127, pvid);
  }
  lldp_tlv(f, 0, {});
  if (f.size() < 60) f.resize(60, '\0');
  return f;
}

std::vector<Request> discovery_requests() {
  // Fixed UUIDs, so that expectations and logs are the same on every run.
  static constexpr const char* kUuids[] = {"6F1C3B2A-5D4E-4F60-8172-93A4B5C6D7E8",
                                           "0D3A5B7C-1E2F-4031-8243-546576879809",
                                           "A1B2C3D4-E5F6-4708-9A1B-2C3D4E5F6071"};
  std::size_t next = 0;
  const std::vector<Probe> probes =
      build_probes([&next] { return std::string(kUuids[next++ % std::size(kUuids)]); });
  std::vector<Request> out;
  for (const Probe& p : probes) {
    Request r;
    r.destination = kLimitedBroadcast;
    if (!p.destination.empty() && !parse_ipv4(p.destination, r.destination.data())) continue;
    r.port = p.port;
    r.own_port = p.own_port;
    r.payload = p.payload;
    out.push_back(std::move(r));
  }
  return out;
}

std::string inquiry_frame(const Mac& mac, const Ip4& ip) {
  const MacBytes adapter_mac = mac;
  std::uint32_t address = 0;
  std::memcpy(&address, ip.data(), 4);
  const std::vector<std::uint8_t> frame = sadp_inquiry_frame(&adapter_mac, address);
  return std::string(frame.begin(), frame.end());
}

}  // namespace norvane::sim
