// The simulator's replies, checked through norvane's own decoders: each
// device must be listed with the fields it means to report, answer only the
// requests of its family, and send its reply where a real device would.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "base/address.h"
#include "decode/frame.h"
#include "sim_device.h"
#include "sim_expect.h"
#include "sim_reply.h"

namespace norvane::sim {
namespace {

constexpr std::array<std::uint8_t, 3> kSubnet = {10, 79, 1};
constexpr Ip4 kHost = {10, 79, 1, 1};
constexpr Mac kHostMac = {0x02, 0x79, 0x00, 0x00, 0x00, 0x01};

std::vector<Device> lab_devices() {
  std::ifstream in(NORVANE_SIM_DEVICES, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  std::string error;
  std::vector<Device> devices = parse_devices(text.str(), kSubnet, error);
  EXPECT_FALSE(devices.empty()) << error;
  return devices;
}

const Device& device(const std::vector<Device>& all, std::string_view key) {
  for (const Device& d : all) {
    if (d.key == key) return d;
  }
  ADD_FAILURE() << "no device " << key;
  return all.front();
}

Request request(std::size_t index) { return discovery_requests().at(index); }

std::vector<Reply> answer_request(const Device& d, const Request& r, std::uint16_t port = 50123) {
  return answer(d, Datagram{kHost, r.own_port ? r.port : port, r.port, r.payload});
}

TEST(SimDevices, LabFileHasOneDeviceOfEveryFamilyItNames) {
  const std::vector<Device> devices = lab_devices();
  ASSERT_EQ(devices.size(), 19u);
  std::set<Kind> kinds;
  std::size_t at_factory_address = 0;
  for (const Device& d : devices) {
    kinds.insert(d.kind);
    if (d.host == 0) {
      // New cameras out of the box, all at the maker's factory address.
      EXPECT_EQ(d.ip, (Ip4{192, 168, 1, 64})) << d.key;
      ++at_factory_address;
    } else {
      EXPECT_EQ(d.ip, (Ip4{10, 79, 1, d.host})) << d.key;
    }
    EXPECT_LE(interface_name(d).size(), 15u) << d.key;
  }
  EXPECT_EQ(kinds.size(), 10u);
  EXPECT_EQ(at_factory_address, 4u);
}

TEST(SimDevices, RejectsBadLines) {
  const std::string good = "cam | sadp | 11 | 44:19:B6:6A:10:0B | n | m | s | f\n";
  struct Case {
    std::string text;
    std::string error;
  };
  const Case cases[] = {
      {"cam | sadp | 11 | 44:19:B6:6A:10:0B | n | m | s\n", "line 1: expected 8 fields"},
      {"cam | sadp | 11 | 45:19:B6:6A:10:0B | n | m | s | f\n", "line 1: mac"},
      {"cam | sadp | 11 | 44:19:B6:6A:10 | n | m | s | f\n", "line 1: mac"},
      {"cam | sadp | 1 | 44:19:B6:6A:10:0B | n | m | s | f\n", "line 1: host"},
      {"cam | sadp | 300 | 44:19:B6:6A:10:0B | n | m | s | f\n", "line 1: host"},
      {"cam | rtsp | 11 | 44:19:B6:6A:10:0B | n | m | s | f\n", "line 1: unknown kind"},
      {"Cam | sadp | 11 | 44:19:B6:6A:10:0B | n | m | s | f\n", "line 1: key"},
      {"a-very-long-key | sadp | 11 | 44:19:B6:6A:10:0B | n | m | s | f\n", "line 1: key"},
      {"# c\n" + good + good, "line 3: key cam used twice"},
      {good + "cam2 | sadp | 11 | 44:19:B6:6A:10:0C | n | m | s | f\n", "line 2: host"},
      {good + "cam2 | sadp | 12 | 44:19:b6:6a:10:0b | n | m | s | f\n", "line 2: mac"},
      {"# only a comment\n\n", "no devices"},
      {"cam | sadp | 192.168.1.0 | 44:19:B6:6A:10:0B | n | m | s | f\n", "line 1: host"},
      {"cam | sadp | 224.0.0.1 | 44:19:B6:6A:10:0B | n | m | s | f\n", "line 1: host"},
      {"cam | sadp | 192.168.1 | 44:19:B6:6A:10:0B | n | m | s | f\n", "line 1: host"},
      {"cam | sadp+dhip | 11 | 44:19:B6:6A:10:0B | n | m | s | f\n", "line 1: unknown kind"},
      {"cam | sadp | 11 | 44:19:B6:6A:10:0B | n | m | s | f | 255.255.0.0\n", "line 1: expected"},
      {"cam | sadp | 11 | 44:19:B6:6A:10:0B | n | m | s | f | 255.255.0 | 10.0.0.1\n",
       "line 1: mask"},
      {good + "box | arp | 12 | 44:19:B6:6A:10:0C | | | |\n", "line 2: an ARP box"},
      {"sw | lldp | 40 | 00:1B:54:3C:7D:28 | s | p | d | 4095\n", "line 1: a switch's VLAN"},
      {"sw | lldp | 40 | 00:1B:54:3C:7D:28 | s | p | d | 20a\n", "line 1: a switch's VLAN"},
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_TRUE(parse_devices(c.text, kSubnet, error).empty()) << c.text;
    EXPECT_EQ(error.rfind(c.error, 0), 0u) << c.text << " gave " << error;
  }
  std::string error;
  EXPECT_EQ(parse_devices(good, kSubnet, error).size(), 1u) << error;
  // New devices share their factory address; host bytes stay unique.
  const std::string factory =
      "a | sadp | 192.168.1.64 | 44:19:B6:6A:10:01 | | m | s1 | f\n"
      "b | sadp+onvif | 192.168.1.64 | 44:19:B6:6A:10:02 | n | m | s2 | f\n" +
      good;
  const std::vector<Device> both = parse_devices(factory, kSubnet, error);
  ASSERT_EQ(both.size(), 3u) << error;
  EXPECT_EQ(both[0].ip, both[1].ip);
  EXPECT_EQ(both[1].kind, Kind::kSadpOnvif);
  EXPECT_EQ(both[2].ip, (Ip4{10, 79, 1, 11}));
}

// What Norvane must list for each simulated device: through the probe
// sockets ("udp") and, for SADP devices, from the raw reply frame ("frame").
// The crowd of a large site joins the lab's devices without meeting any of
// them, and every camera decodes to a row of its own.
TEST(SimDevices, CrowdOfCamerasStandsApartFromTheLabsDevices) {
  const std::vector<Device> lab = lab_devices();
  const std::vector<Device> crowd = crowd_devices(500, kSubnet);
  ASSERT_EQ(crowd.size(), kMaxCrowd);
  std::set<std::string> keys, names;
  std::set<std::uint8_t> hosts;
  std::set<Mac> macs;
  for (const Device& d : lab) {
    keys.insert(d.key);
    hosts.insert(d.host);
    macs.insert(d.mac);
  }
  for (const Device& d : crowd) {
    SCOPED_TRACE(d.key);
    EXPECT_EQ(d.kind, Kind::kSadp);
    EXPECT_TRUE(keys.insert(d.key).second);
    EXPECT_TRUE(hosts.insert(d.host).second);
    EXPECT_TRUE(macs.insert(d.mac).second);
    EXPECT_LE(interface_name(d).size(), 15u);
    EXPECT_GE(d.host, 100);
    EXPECT_LE(d.host, 254);
  }
  const std::vector<Expectation> got = expectations(crowd);
  std::set<std::string> ips;
  for (const Expectation& e : got) {
    if (e.path != "udp") continue;
    EXPECT_EQ(e.decoded.protocol, "SADP");
    EXPECT_EQ(e.decoded.mac, e.wire_mac);
    ips.insert(e.decoded.ip);
    names.insert(e.decoded.name);
  }
  EXPECT_EQ(ips.size(), kMaxCrowd);
  EXPECT_EQ(names.size(), kMaxCrowd);
  EXPECT_EQ(crowd_devices(3, kSubnet).size(), 3u);
}

TEST(SimExpect, EveryDeviceDecodesToWhatItReports) {
  struct Row {
    const char* device;
    const char* path;
    std::uint16_t port;
    const char* protocol;
    const char* mac;
    const char* name;
    const char* model;
    const char* info;
  };
  const Row rows[] = {
      {"hik-camera", "udp", 37020, "SADP", "44:19:B6:6A:10:0B",
       "DS-2CD2143G0-I20190101AAWRD12345678", "DS-2CD2143G0-I", "V5.5.82build 190909"},
      {"hik-camera", "frame", 0, "SADP L2", "44:19:B6:6A:10:0B",
       "DS-2CD2143G0-I20190101AAWRD12345678", "DS-2CD2143G0-I", "V5.5.82build 190909"},
      {"hik-nvr", "udp", 37020, "SADP", "C0:56:E3:4E:20:0C", "DS-7608NI-K220200315CCRRE87654321",
       "DS-7608NI-K2", "V4.30.085 build 200916"},
      {"hik-nvr", "frame", 0, "SADP L2", "C0:56:E3:4E:20:0C", "DS-7608NI-K220200315CCRRE87654321",
       "DS-7608NI-K2", "V4.30.085 build 200916"},
      {"dahua-cam", "udp", 50123, "Dahua", "3C:EF:8C:11:30:0D", "Brama", "IPC-HFW2431S-S-S2",
       "2.800.0000000.25.R"},
      {"dahua-cam", "udp", 37810, "Dahua", "3C:EF:8C:11:30:0D", "Brama", "IPC-HFW2431S-S-S2",
       "2.800.0000000.25.R"},
      {"bcs-cam", "udp", 50123, "Dahua", "E0:50:8B:22:40:0E", "Parking", "BCS-L-TIP24FSR5-AI1",
       "2.820.0000BCS.0.R"},
      {"bcs-cam", "udp", 37810, "Dahua", "E0:50:8B:22:40:0E", "Parking", "BCS-L-TIP24FSR5-AI1",
       "2.820.0000BCS.0.R"},
      {"mikrotik", "udp", 5678, "MNDP", "48:8F:5A:33:50:0F", "Biuro-Router", "RB750Gr3",
       "6.49.10 (long-term)"},
      {"ubnt-ap", "udp", 10001, "Ubiquiti", "78:8A:20:44:60:10", "AP-Korytarz", "UAP-AC-Pro",
       "BZ.qca956x.v6.5.28.14491.230208.0630"},
      {"ubnt-switch", "udp", 10001, "Ubiquiti", "74:83:C2:55:70:11", "Switch-Szafa", "USW-24-POE",
       "6.5.59.14777"},
      {"onvif-cam", "udp", 50123, "ONVIF", "", "Wejście Główne", "M3106-L Mk II",
       "dn:NetworkVideoTransmitter tds:Device"},
      {"nas", "udp", 50123, "SSDP", "", "", "", "Linux/4.4.302+ UPnP/1.0 Synology/DSM-7.2"},
      {"esp-plug", "udp", 50123, "SSDP", "", "", "", "Unspecified, UPnP/1.0, Unspecified"},
      // A camera with ONVIF on: SADP with its MAC, ONVIF without.
      {"hik-onvif", "udp", 37020, "SADP", "44:47:CC:A1:B0:15",
       "DS-2CD2043G2-I20230412AAWRK11223344", "DS-2CD2043G2-I", "V5.7.3 build 220112"},
      {"hik-onvif", "udp", 50123, "ONVIF", "", "HIKVISION DS-2CD2043G2-I", "DS-2CD2043G2-I",
       "dn:NetworkVideoTransmitter tds:Device"},
      {"hik-onvif", "frame", 0, "SADP L2", "44:47:CC:A1:B0:15",
       "DS-2CD2043G2-I20230412AAWRK11223344", "DS-2CD2043G2-I", "V5.7.3 build 220112"},
      {"new-cam-1", "udp", 37020, "SADP", "BC:AD:28:C1:00:01",
       "DS-2CD1043G0-I20240510AAWRJ00000001", "DS-2CD1043G0-I", "V5.7.10 build 230320"},
      {"new-cam-1", "frame", 0, "SADP L2", "BC:AD:28:C1:00:01",
       "DS-2CD1043G0-I20240510AAWRJ00000001", "DS-2CD1043G0-I", "V5.7.10 build 230320"},
      {"new-cam-2", "udp", 37020, "SADP", "BC:AD:28:C1:00:02",
       "DS-2CD1043G0-I20240510AAWRJ00000002", "DS-2CD1043G0-I", "V5.7.10 build 230320"},
      {"new-cam-2", "frame", 0, "SADP L2", "BC:AD:28:C1:00:02",
       "DS-2CD1043G0-I20240510AAWRJ00000002", "DS-2CD1043G0-I", "V5.7.10 build 230320"},
      {"new-cam-3", "udp", 37020, "SADP", "24:28:FD:C1:00:03",
       "DS-2CD1043G0-I20240510AAWRJ00000003", "DS-2CD1043G0-I", "V5.7.10 build 230320"},
      {"new-cam-3", "frame", 0, "SADP L2", "24:28:FD:C1:00:03",
       "DS-2CD1043G0-I20240510AAWRJ00000003", "DS-2CD1043G0-I", "V5.7.10 build 230320"},
      {"new-cam-4", "udp", 37020, "SADP", "24:28:FD:C1:00:04",
       "DS-2CD1043G0-I20240510AAWRJ00000004", "DS-2CD1043G0-I", "V5.7.10 build 230320"},
      {"new-cam-4", "frame", 0, "SADP L2", "24:28:FD:C1:00:04",
       "DS-2CD1043G0-I20240510AAWRJ00000004", "DS-2CD1043G0-I", "V5.7.10 build 230320"},
      {"hik-wide", "udp", 37020, "SADP", "C0:56:E3:7B:30:16",
       "DS-2CD2347G2-LU20220815AAWRJ55667788", "DS-2CD2347G2-LU", "V5.7.11 build 221024"},
      {"hik-wide", "frame", 0, "SADP L2", "C0:56:E3:7B:30:16",
       "DS-2CD2347G2-LU20220815AAWRJ55667788", "DS-2CD2347G2-LU", "V5.7.11 build 221024"},
      {"tv-guard", "udp", 50123, "SSDP", "", "", "", "Tizen/4.0 UPnP/1.0 Samsung UPnP SDK/1.0"},
      // arp-box answers nothing; sw-lab answers nothing, but announces its port.
      {"sw-lab", "lldp", 0, "LLDP", "00:1B:54:3C:7D:28", "sw-lab-01", "", "Port Gi1/0/7"},
  };
  const std::vector<Device> devices = lab_devices();
  const std::vector<Expectation> got = expectations(devices);
  ASSERT_EQ(got.size(), std::size(rows));
  for (std::size_t i = 0; i < got.size(); ++i) {
    const Row& want = rows[i];
    const Expectation& e = got[i];
    const Device& d = device(devices, want.device);
    SCOPED_TRACE(std::string(want.device) + " " + want.path);
    EXPECT_EQ(e.device, want.device);
    EXPECT_EQ(e.path, want.path);
    EXPECT_EQ(e.port, want.port);
    EXPECT_EQ(e.decoded.protocol, want.protocol);
    EXPECT_EQ(e.decoded.ip, format_ipv4(d.ip.data()));
    EXPECT_EQ(e.wire_ip, e.decoded.ip);
    EXPECT_EQ(e.decoded.mac, want.mac);
    EXPECT_EQ(e.decoded.name, want.name);
    EXPECT_EQ(e.decoded.model, want.model);
    EXPECT_EQ(e.decoded.info, want.info);
  }
  // The JSON lines carry the same, one object per expectation.
  const std::string lines = expectation_lines(devices);
  EXPECT_EQ(static_cast<std::size_t>(std::count(lines.begin(), lines.end(), '\n')), got.size());
  EXPECT_NE(lines.find(R"("name":"Wejście Główne")"), std::string::npos);
  EXPECT_NE(lines.find(R"("port_id":"Gi1/0/7","port_description":"GigabitEthernet1/0/7",)"
                       R"("port_vlan":20})"),
            std::string::npos);
  // Sent to the group that bridges keep to the link the frame came in on.
  EXPECT_EQ(lldp_announcement(device(devices, "sw-lab")).substr(0, 6),
            std::string("\x01\x80\xc2\x00\x00\x0e", 6));
}

// Replies seen by a capture are whole frames: the frame path must give the
// same fields as the probe sockets' path.
TEST(SimExpect, CapturedReplyFramesDecodeLikeDatagrams) {
  const std::vector<Device> devices = lab_devices();
  for (const Expectation& e : expectations(devices)) {
    if (e.path != "udp") continue;
    const Device& d = device(devices, e.device);
    for (const Request& r : discovery_requests()) {
      for (const Reply& reply : answer_request(d, r)) {
        if (reply.port != e.port) continue;
        // Ethernet, IPv4 (no options), UDP.
        std::string f(reply.destination[0] >= 224 ? std::string(6, '\xff')
                                                  : std::string(kHostMac.begin(), kHostMac.end()));
        f += std::string(d.mac.begin(), d.mac.end());
        f += std::string("\x08\x00", 2);
        const std::size_t udp_len = 8 + reply.payload.size();
        const std::size_t ip_len = 20 + udp_len;
        f += std::string("\x45\x00", 2);
        f.push_back(static_cast<char>(ip_len >> 8));
        f.push_back(static_cast<char>(ip_len));
        f += std::string("\x00\x00\x40\x00\x01\x11\x00\x00", 8);
        f += std::string(d.ip.begin(), d.ip.end());
        f += std::string(reply.destination.begin(), reply.destination.end());
        const std::uint16_t sport = r.port;  // answered from the port it was asked on
        f += {static_cast<char>(sport >> 8),
              static_cast<char>(sport),
              static_cast<char>(reply.port >> 8),
              static_cast<char>(reply.port),
              static_cast<char>(udp_len >> 8),
              static_cast<char>(udp_len),
              0,
              0};
        f += reply.payload;
        PacketSummary s;
        ASSERT_TRUE(summarize_frame(reinterpret_cast<const std::uint8_t*>(f.data()), f.size(), s))
            << e.device;
        EXPECT_EQ(s.protocol, e.decoded.protocol) << e.device;
        EXPECT_EQ(s.name, e.decoded.name) << e.device;
        EXPECT_EQ(s.model, e.decoded.model) << e.device;
        EXPECT_EQ(s.ip, e.decoded.ip) << e.device;
        EXPECT_EQ(s.mac, e.decoded.mac.empty() ? e.wire_mac : e.decoded.mac) << e.device;
      }
    }
  }
}

// Where each reply goes: the group for SADP and group-mode DHIP, broadcast
// for MNDP, the sender for the rest.
TEST(SimReply, RepliesGoWhereRealDevicesSendThem) {
  struct Case {
    const char* device;
    std::size_t request;  // index into discovery_requests()
    Ip4 destination;
    std::uint16_t port;
  };
  const Case cases[] = {
      {"hik-camera", 0, kSadpGroup, 37020},
      {"hik-nvr", 1, kSadpGroup, 37020},
      {"dahua-cam", 2, kHost, 50123},
      {"dahua-cam", 3, kHost, 50123},
      {"bcs-cam", 4, kDhipGroup, 37810},
      {"ubnt-ap", 5, kHost, 10001},
      {"ubnt-switch", 6, kHost, 10001},
      {"mikrotik", 7, kLimitedBroadcast, 5678},
      {"onvif-cam", 8, kHost, 50123},
      {"onvif-cam", 9, kHost, 50123},
      {"nas", 10, kHost, 50123},
      {"esp-plug", 10, kHost, 50123},
      {"hik-onvif", 0, kSadpGroup, 37020},
      {"hik-onvif", 8, kHost, 50123},
      {"new-cam-3", 1, kSadpGroup, 37020},
  };
  const std::vector<Device> devices = lab_devices();
  for (const Case& c : cases) {
    const std::vector<Reply> replies =
        answer_request(device(devices, c.device), request(c.request));
    ASSERT_EQ(replies.size(), 1u) << c.device << " request " << c.request;
    EXPECT_EQ(replies[0].destination, c.destination) << c.device;
    EXPECT_EQ(replies[0].port, c.port) << c.device;
  }
}

// Each device answers only its own family's requests, on its own port, and
// never its own or its neighbours' replies (which it hears on a segment).
TEST(SimReply, AnswersOnlyRequestsOfItsFamily) {
  const std::vector<Device> devices = lab_devices();
  const std::vector<Request> requests = discovery_requests();
  for (const Device& d : devices) {
    std::size_t answered = 0;
    for (const Request& r : requests) {
      answered += answer_request(d, r).empty() ? 0 : 1;
      // The same bytes on another port are not for this device.
      if (!serves_port(d.kind, r.port)) {
        EXPECT_TRUE(answer(d, Datagram{kHost, 5000, r.port, r.payload}).empty()) << d.key;
      }
    }
    const std::size_t want = d.kind == Kind::kSadp        ? 2
                             : d.kind == Kind::kDhip      ? 3
                             : d.kind == Kind::kOnvif     ? 2
                             : d.kind == Kind::kSadpOnvif ? 4
                             : d.kind == Kind::kArp       ? 0
                             : d.kind == Kind::kLldp      ? 0
                                                          : 1;
    EXPECT_EQ(answered, want) << d.key;
    // Every answer fits one Ethernet frame (1500 bytes less IPv4 and UDP
    // headers), so that a capture sees it whole.
    for (const Request& r : requests) {
      for (const Reply& reply : answer_request(d, r)) {
        EXPECT_LE(reply.payload.size(), 1472u) << d.key << ": " << reply.what;
      }
    }
    for (const Device& other : devices) {
      for (const Request& r : requests) {
        for (const Reply& reply : answer_request(other, r)) {
          for (const std::uint16_t port : service_ports(d.kind)) {
            EXPECT_TRUE(answer(d, Datagram{other.ip, r.port, port, reply.payload}).empty())
                << d.key << " answered a reply of " << other.key;
          }
        }
      }
    }
  }
}

TEST(SimReply, IgnoresMalformedAndForeignRequests) {
  const std::vector<Device> devices = lab_devices();
  struct Case {
    const char* device;
    std::uint16_t port;
    std::string payload;
  };
  std::string dhip_bad_length = request(2).payload;
  dhip_bad_length[24] = '\x3b';  // second body length differs
  std::string dhip_other_method = request(2).payload;
  dhip_other_method.replace(dhip_other_method.find("DHDiscover"), 10, "DHDiscovex");
  const Case cases[] = {
      {"hik-camera", 37020, "<Probe><Uuid>1</Uuid><Types>update</Types></Probe>"},
      {"hik-camera", 37020, "<Probe><Uuid>1</Uuid><Types>inquiry"},
      {"dahua-cam", 37810, dhip_bad_length},
      {"dahua-cam", 37810, dhip_other_method},
      {"dahua-cam", 37810, request(2).payload.substr(0, 31)},
      {"mikrotik", 5678, std::string(3, '\0')},
      {"ubnt-ap", 10001, std::string("\x01\x00\x00", 3)},
      {"ubnt-ap", 10001, std::string("\x02\x08\x00\x00", 4)},
      {"ubnt-switch", 10001, std::string("\x01\x00\x00\x00", 4)},
      {"onvif-cam", 3702,
       request(8).payload.substr(0, request(8).payload.find("<s:Body>")) +
           "<s:Body><d:Probe><d:Types>wsdp:PrintDeviceType</d:Types></d:Probe></s:Body>"},
      {"onvif-cam", 3702, "<s:Body><d:Probe/></s:Body>"},            // no known namespace
      {"nas", 1900, "M-SEARCH * HTTP/1.1\r\nST: ssdp:all\r\n\r\n"},  // no MAN
      {"nas", 1900, "M-SEARCH * HTTP/1.1\r\nMAN: \"ssdp:discover\"\r\nST: urn:other\r\n\r\n"},
      {"nas", 1900, "NOTIFY * HTTP/1.1\r\nNT: upnp:rootdevice\r\nNTS: ssdp:alive\r\n\r\n"},
  };
  for (const Case& c : cases) {
    EXPECT_TRUE(answer(device(devices, c.device), Datagram{kHost, 5000, c.port, c.payload}).empty())
        << c.device << ": " << c.payload;
  }
  // No prefix of any request makes a device read past it (ASan watches).
  for (const Device& d : devices) {
    for (const Request& r : discovery_requests()) {
      for (std::size_t n = 0; n < r.payload.size(); ++n) {
        const std::string cut = r.payload.substr(0, n);
        (void)answer(d, Datagram{kHost, 5000, r.port, cut});
      }
    }
  }
}

TEST(SimReply, WsDiscoveryAnswersInTheProbesNamespaceSet) {
  const std::vector<Device> devices = lab_devices();
  const Device& cam = device(devices, "onvif-cam");
  for (std::size_t index : {8u, 9u}) {
    const std::vector<Reply> r = answer_request(cam, request(index));
    ASSERT_EQ(r.size(), 1u);
    const bool v2009 = index == 9;
    EXPECT_EQ(
        r[0].payload.find("http://docs.oasis-open.org/ws-dd/ns/discovery/2009/01/ProbeMatches") !=
            std::string::npos,
        v2009);
    EXPECT_EQ(r[0].payload.find("http://schemas.xmlsoap.org/ws/2005/04/discovery/ProbeMatches") !=
                  std::string::npos,
              !v2009);
    const std::string id = v2009 ? "urn:uuid:A1B2C3D4-E5F6-4708-9A1B-2C3D4E5F6071"
                                 : "urn:uuid:0D3A5B7C-1E2F-4031-8243-546576879809";
    EXPECT_NE(r[0].payload.find("<wsa:RelatesTo>" + id + "</wsa:RelatesTo>"), std::string::npos);
  }
}

TEST(SimReply, SsdpAnswersEachTargetItHas) {
  const std::vector<Device> devices = lab_devices();
  const Device& nas = device(devices, "nas");
  struct Case {
    std::string target;
    std::size_t replies;
  };
  const Case cases[] = {{"ssdp:all", 3},
                        {"upnp:rootdevice", 1},
                        {"uuid:" + nas.serial, 1},
                        {nas.model, 1},
                        {"urn:schemas-upnp-org:device:Printer:1", 0}};
  for (const Case& c : cases) {
    const std::string m =
        "M-SEARCH * HTTP/1.1\r\nHOST: 239.255.255.250:1900\r\nMAN: \"ssdp:discover\"\r\n"
        "MX: 1\r\nST: " +
        c.target + "\r\n\r\n";
    const std::vector<Reply> r = answer(nas, Datagram{kHost, 50000, 1900, m});
    ASSERT_EQ(r.size(), c.replies) << c.target;
    for (const Reply& reply : r) {
      EXPECT_EQ(reply.payload.rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
      EXPECT_NE(reply.payload.find("\r\nUSN: uuid:" + nas.serial), std::string::npos);
    }
  }
}

TEST(SimReply, RawSadpReplyFrame) {
  const std::vector<Device> devices = lab_devices();
  const Device& cam = device(devices, "hik-camera");
  const std::string inquiry = inquiry_frame(kHostMac, kHost);
  const std::string f = answer_frame(cam, inquiry);
  ASSERT_EQ(f.size(), 14u + 160u);
  EXPECT_EQ(f.substr(0, 6), std::string(kHostMac.begin(), kHostMac.end()));
  EXPECT_EQ(f.substr(6, 6), std::string(cam.mac.begin(), cam.mac.end()));
  EXPECT_EQ(f.substr(12, 4), std::string("\x80\x33\x21\x01", 4));
  EXPECT_EQ(f.substr(18, 4), inquiry.substr(18, 4));  // sequence echoed
  // Checksum: the payload's words, the stored value swapped back, add to FFFF.
  std::string p = f.substr(14);
  std::swap(p[12], p[13]);
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i < p.size(); i += 2) {
    sum += static_cast<std::uint32_t>(static_cast<std::uint8_t>(p[i]) << 8 |
                                      static_cast<std::uint8_t>(p[i + 1]));
  }
  while (sum > 0xFFFF) sum = (sum & 0xFFFF) + (sum >> 16);
  EXPECT_EQ(sum, 0xFFFFu);

  // Not inquiries: the reply itself, a short frame, another EtherType, and
  // any device that is not SADP.
  std::string other_type = inquiry;
  other_type[13] = '\x34';
  for (const std::string& frame : {f, inquiry.substr(0, 41), other_type}) {
    EXPECT_TRUE(answer_frame(cam, frame).empty());
  }
  EXPECT_TRUE(answer_frame(device(devices, "dahua-cam"), inquiry).empty());
  for (std::size_t n = 0; n < inquiry.size(); ++n) (void)answer_frame(cam, inquiry.substr(0, n));
}

// Cameras at the factory address are new: their SADP answer says they
// still wait for activation, which is what the installer is there to do.
TEST(SimReply, NewCamerasAnswerNotActivated) {
  const std::vector<Device> devices = lab_devices();
  const struct {
    const char* device;
    bool activated;
  } cases[] = {
      {"hik-camera", true}, {"hik-onvif", true}, {"new-cam-1", false}, {"new-cam-4", false}};
  for (const auto& c : cases) {
    const std::vector<Reply> r = answer_request(device(devices, c.device), request(0));
    ASSERT_EQ(r.size(), 1u) << c.device;
    const std::string want =
        c.activated ? "<Activated>true</Activated>" : "<Activated>false</Activated>";
    EXPECT_NE(r[0].payload.find(want), std::string::npos) << c.device;
  }
}

// The settings the devices report reach the decoders as the list's states
// need them; a device of a kind that says nothing of its activation leaves
// it unknown.
TEST(SimExpect, AnswersCarryTheSettingsOfEachDevice) {
  const struct {
    const char* device;
    std::optional<bool> activated;
    const char* mask;
    const char* gateway;
  } cases[] = {
      {"hik-camera", true, "255.255.255.0", "10.79.1.1"},
      {"new-cam-2", false, "255.255.255.0", "192.168.1.1"},
      {"hik-wide", true, "255.255.0.0", "192.168.0.1"},
      {"dahua-cam", std::nullopt, "255.255.255.0", "10.79.1.1"},
  };
  const std::vector<Expectation> got = expectations(lab_devices());
  for (const auto& c : cases) {
    const auto e = std::find_if(got.begin(), got.end(), [&](const Expectation& x) {
      return x.device == c.device && x.path == "udp";
    });
    ASSERT_NE(e, got.end()) << c.device;
    EXPECT_EQ(e->decoded.settings.activated, c.activated) << c.device;
    EXPECT_EQ(e->decoded.settings.mask, c.mask) << c.device;
    EXPECT_EQ(e->decoded.settings.gateway, c.gateway) << c.device;
  }
}

// tv-guard leaves with an SSDP byebye for each of its targets, to the group
// from the SSDP port, each read as its departure; arp-box announces hik-nvr's
// address as its own. Devices of other kinds leave silently.
TEST(SimReply, GoodbyesAndArpAnnouncementsDecodeAsSuch) {
  const std::vector<Device> devices = lab_devices();
  const Device& tv = device(devices, "tv-guard");
  const std::vector<Reply> bye = goodbye(tv);
  ASSERT_EQ(bye.size(), 3u);
  TrafficCounters counters;
  for (const Reply& r : bye) {
    EXPECT_EQ(r.destination, kSadpGroup);
    EXPECT_EQ(r.port, kSsdpPort);
    DiscoveryReply dr;
    std::memcpy(&dr.address, tv.ip.data(), 4);
    dr.source_port = dr.local_port = kSsdpPort;
    dr.data = reinterpret_cast<const std::uint8_t*>(r.payload.data());
    dr.size = r.payload.size();
    PacketSummary s;
    ASSERT_TRUE(summary_from_reply(dr, counters, s) && decode_datagram(s)) << r.payload;
    EXPECT_TRUE(s.departure) << r.payload;
    EXPECT_EQ(s.ip, "10.79.1.23");
  }
  EXPECT_TRUE(goodbye(device(devices, "hik-camera")).empty());

  const std::string frame = arp_announcement(device(devices, "arp-box"));
  PacketSummary s;
  ASSERT_TRUE(
      summarize_frame(reinterpret_cast<const std::uint8_t*>(frame.data()), frame.size(), s));
  EXPECT_TRUE(s.arp_claim);
  EXPECT_EQ(s.mac, "B8:27:EB:5A:C0:18");
  EXPECT_EQ(s.ip, format_ipv4(device(devices, "hik-nvr").ip.data()));
}

TEST(SimReply, PercentEncoding) {
  struct Case {
    const char* in;
    const char* out;
  };
  const Case cases[] = {{"Front Door", "Front%20Door"},
                        {"M3106-L_Mk.II~", "M3106-L_Mk.II~"},
                        {"Wejście", "Wej%C5%9Bcie"},
                        {"a/b%c", "a%2Fb%25c"}};
  for (const Case& c : cases) EXPECT_EQ(percent_encode(c.in), c.out);
}

}  // namespace
}  // namespace norvane::sim
