// Summaries in tests: makers of the records that decoders and the device
// table receive, and checks of what a decoder left in one.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>

#include "model/packet_summary.h"

namespace norvane::test {

// Every field, for comparing whole summaries in one EXPECT_EQ.
inline auto all_fields(const PacketSummary& s) {
  return std::tie(s.ip, s.mac, s.source_mac, s.name, s.model, s.protocol, s.info, s.multicast,
                  s.partial, s.ether_type, s.source_port, s.dest_port, s.payload, s.l2_payload,
                  s.settings, s.departure, s.arp_claim, s.port);
}

// Every field, one expectation each, so that a failure names the field.
inline void expect_unchanged(const PacketSummary& a, const PacketSummary& b) {
  EXPECT_EQ(a.ip, b.ip);
  EXPECT_EQ(a.mac, b.mac);
  EXPECT_EQ(a.source_mac, b.source_mac);
  EXPECT_EQ(a.name, b.name);
  EXPECT_EQ(a.model, b.model);
  EXPECT_EQ(a.protocol, b.protocol);
  EXPECT_EQ(a.info, b.info);
  EXPECT_EQ(a.multicast, b.multicast);
  EXPECT_EQ(a.partial, b.partial);
  EXPECT_EQ(a.ether_type, b.ether_type);
  EXPECT_EQ(a.source_port, b.source_port);
  EXPECT_EQ(a.dest_port, b.dest_port);
  EXPECT_EQ(a.payload, b.payload);
  EXPECT_EQ(a.l2_payload, b.l2_payload);
  EXPECT_TRUE(a.settings == b.settings);
  EXPECT_EQ(a.departure, b.departure);
  EXPECT_EQ(a.arp_claim, b.arp_claim);
  EXPECT_TRUE(a.port == b.port);
}

// The device fields that a decoder fills.
struct Device {
  std::string protocol, ip, mac, name, model, info;
};

inline void expect_device(const PacketSummary& s, const Device& want) {
  EXPECT_EQ(s.protocol, want.protocol);
  EXPECT_EQ(s.ip, want.ip);
  EXPECT_EQ(s.mac, want.mac);
  EXPECT_EQ(s.name, want.name);
  EXPECT_EQ(s.model, want.model);
  EXPECT_EQ(s.info, want.info);
}

// Decoded texts are short and carry no control bytes.
inline void expect_clean(std::string_view text) {
  EXPECT_LE(text.size(), 192u);
  for (char c : text) {
    const auto b = static_cast<unsigned char>(c);
    EXPECT_TRUE(b >= 0x20 && b != 0x7F) << "control byte " << int{b};
  }
}

// Device texts that a summary carries before its decoder runs; a decoder
// that has nothing better must leave them.
inline constexpr char kKeptName[] = "earlier name";
inline constexpr char kKeptModel[] = "earlier model";
inline constexpr char kKeptInfo[] = "earlier info";

// A datagram's summary as the intake leaves it for a decoder: sender address,
// same source and destination port, and the kept texts above.
inline PacketSummary prepared_summary(std::string payload, std::string ip, std::string mac,
                                      std::uint16_t port) {
  PacketSummary s;
  s.ip = std::move(ip);
  s.source_mac = mac;
  s.mac = std::move(mac);
  s.name = kKeptName;
  s.model = kKeptModel;
  s.protocol = "IPv4";
  s.info = kKeptInfo;
  s.multicast = true;
  s.source_port = port;
  s.dest_port = port;
  s.payload = std::move(payload);
  return s;
}

// A decoded device as the device table receives it: only the device fields.
inline PacketSummary device_summary(std::string_view mac, std::string_view ip,
                                    std::string_view protocol, std::string_view name = {},
                                    std::string_view model = {}, std::string_view info = {}) {
  PacketSummary s;
  s.mac = mac;
  s.ip = ip;
  s.protocol = protocol;
  s.name = name;
  s.model = model;
  s.info = info;
  return s;
}

}  // namespace norvane::test
