#include "model/packet_summary.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace norvane {
namespace {

TEST(ProtocolPriority, Table) {
  struct Case {
    std::string_view protocol;
    int priority;
  } const cases[] = {
      {"SADP", 6},
      {"SADP L2", 5},
      {"Dahua", 5},
      {"Ubiquiti", 5},
      {"MNDP", 5},
      {"ONVIF", 4},
      {"LLDP", 3},
      {"CDP", 3},
      {"mDNS", 2},
      {"SSDP", 2},
      {"LLMNR", 2},
      {"WS-Discovery", 2},
      // Everything else, including the frame-level texts, is 1.
      {"IPv4", 1},
      {"IPv6", 1},
      {"ARP", 1},
      {"STP", 1},
      {"Ethernet LLC", 1},
      {"EtherType 0x8033", 1},
      {"EtherType 0x88E1", 1},
      {"", 1},
      // Exact and case-sensitive.
      {"sadp", 1},
      {"SADP ", 1},
      {"SADP L", 1},
      {"mdns", 1},
      {"Ws-Discovery", 1},
  };
  for (const Case& c : cases) EXPECT_EQ(protocol_priority(c.protocol), c.priority) << c.protocol;
}

TEST(ProtocolPriority, ConstantsMatchTheirTexts) {
  EXPECT_EQ(proto::kEtherType8033, "EtherType 0x8033");
  EXPECT_EQ(proto::kEthernetLlc, "Ethernet LLC");
  EXPECT_EQ(proto::kWsDiscovery, "WS-Discovery");
  EXPECT_EQ(proto::kSadpL2, "SADP L2");
  EXPECT_GT(protocol_priority(proto::kSadp), protocol_priority(proto::kSadpL2));
}

PacketSummary full() {
  PacketSummary s;
  s.ip = "192.168.1.64";
  s.mac = "44:19:B6:01:02:03";
  s.source_mac = "00:1A:2B:3C:4D:5E";
  s.name = "Brama";
  s.model = "DS-2CD2143G0-I";
  s.protocol = "SADP";
  s.info = "V5.5.0";
  s.multicast = true;
  s.partial = true;
  s.ether_type = 0x0800;
  s.source_port = 37020;
  s.dest_port = 37020;
  s.payload = std::string("<x>\0y", 5);
  s.l2_payload = "l2";
  return s;
}

void expect_full(const PacketSummary& s) {
  EXPECT_EQ(s.ip, "192.168.1.64");
  EXPECT_EQ(s.mac, "44:19:B6:01:02:03");
  EXPECT_EQ(s.source_mac, "00:1A:2B:3C:4D:5E");
  EXPECT_EQ(s.name, "Brama");
  EXPECT_EQ(s.model, "DS-2CD2143G0-I");
  EXPECT_EQ(s.protocol, "SADP");
  EXPECT_EQ(s.info, "V5.5.0");
  EXPECT_TRUE(s.multicast);
  EXPECT_TRUE(s.partial);
  EXPECT_EQ(s.ether_type, 0x0800);
  EXPECT_EQ(s.source_port, 37020);
  EXPECT_EQ(s.dest_port, 37020);
  EXPECT_EQ(s.payload, std::string("<x>\0y", 5));
  EXPECT_EQ(s.l2_payload, "l2");
}

TEST(PacketSummary, DefaultIsEmpty) {
  const PacketSummary s;
  EXPECT_TRUE(s.ip.empty() && s.mac.empty() && s.source_mac.empty() && s.name.empty() &&
              s.model.empty() && s.protocol.empty() && s.info.empty() && s.payload.empty() &&
              s.l2_payload.empty());
  EXPECT_FALSE(s.multicast);
  EXPECT_FALSE(s.partial);
  EXPECT_EQ(s.ether_type, 0);
  EXPECT_EQ(s.source_port, 0);
  EXPECT_EQ(s.dest_port, 0);
}

TEST(PacketSummary, CopyAndMoveCarryAllFourteenFields) {
  const PacketSummary original = full();
  const PacketSummary copy = original;
  expect_full(copy);
  PacketSummary assigned;
  assigned = original;
  expect_full(assigned);
  PacketSummary source = full();
  const PacketSummary moved = std::move(source);
  expect_full(moved);
}

}  // namespace
}  // namespace norvane
