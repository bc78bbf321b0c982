// Frame and datagram intake: turns a captured Ethernet frame or a received
// UDP datagram into a PacketSummary and routes it to the protocol decoders.
#pragma once

#include <atomic>
#include <cstdint>

#include "model/packet_summary.h"

namespace norvane {

// Packet and byte counters shared by the capture callback and the probe
// answer handler.
struct TrafficCounters {
  std::atomic<std::uint64_t> packet_count{0};
  std::atomic<std::uint64_t> byte_count{0};
};

// Parses one captured frame (starting at the destination MAC). Resets the
// summary first. True when the frame is of interest.
bool parse_frame(const std::uint8_t* frame, std::uint64_t length, PacketSummary& summary);

// Runs the matching protocol decoder on what parse_frame or
// summary_from_reply stored. On false nothing was written.
bool decode_discovery(PacketSummary& summary);

// decode_discovery, then WS-Discovery, then SSDP: datagrams may come from any
// source port.
bool decode_datagram(PacketSummary& summary);

// Builds a summary from a probe answer and counts it. False when the sender
// address cannot be turned into text (the datagram is then not counted).
bool summary_from_reply(const DiscoveryReply& reply, TrafficCounters& counters,
                        PacketSummary& summary);

// The capture callback's keep rule for a frame that was already counted:
// parse, decode, keep only discovery messages, multicast frames and ARP with
// a MAC, rename undecoded 0x8033 frames, drop the payloads. True when the
// summary should be queued for the device table.
bool summarize_frame(const std::uint8_t* frame, std::uint64_t length, PacketSummary& summary);

}  // namespace norvane
