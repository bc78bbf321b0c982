// The raw SADP inquiry frame: layout, the process-wide sequence and the
// checksum stored low byte first.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "net/raw_sender.h"
#include "support/message_bytes.h"

namespace norvane {
namespace {

using test::Bytes;
using test::hex;

std::uint32_t sequence_of(const Bytes& frame) {
  return static_cast<std::uint32_t>(frame[18]) << 24 | frame[19] << 16 | frame[20] << 8 | frame[21];
}

// The receiver's check: the 33 words from offset 14, the checksum word read
// low byte first (as stored), sum with end-around carry to 0xFFFF.
std::uint32_t folded_sum(const Bytes& frame, bool checksum_low_first = true) {
  std::uint32_t sum = 0;
  for (std::size_t at = 14; at < 80; at += 2) {
    const bool swapped = at == 26 && checksum_low_first;
    sum += swapped ? (frame[at + 1] << 8 | frame[at]) : (frame[at] << 8 | frame[at + 1]);
  }
  while (sum > 0xFFFF) sum = (sum & 0xFFFF) + (sum >> 16);
  return sum;
}

std::uint32_t ipv4_network_order(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) {
  const std::uint8_t bytes[4] = {a, b, c, d};
  std::uint32_t value = 0;
  std::memcpy(&value, bytes, 4);
  return value;
}

// Runs first in its process (the sequence starts at 1 once per process; each
// ctest case is a process of its own).
TEST(SadpInquiryFrame, LayoutSequenceAndChecksum) {
  const MacBytes mac{0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
  const std::uint32_t ip = ipv4_network_order(192, 168, 1, 5);
  const Bytes first = sadp_inquiry_frame(&mac, ip);
  const Bytes second = sadp_inquiry_frame(&mac, ip);
  ASSERT_EQ(first.size(), 80u);
  ASSERT_EQ(second.size(), 80u);
  EXPECT_EQ(sequence_of(first), 1u);
  EXPECT_EQ(sequence_of(second), 2u);

  // Everything but the checksum, which is checked below.
  Bytes expected =
      hex("ff ff ff ff ff ff"  // 0: broadcast destination
          "00 11 22 33 44 55"  // 6: source, the adapter
          "80 33"              // 12: EtherType
          "21 02 01 42"        // 14: inquiry header
          "00 00 00 01"        // 18: sequence
          "06 04 03 00"        // 22: address sizes, inquiry kind
          "00 00"              // 26: checksum (filled in below)
          "00 11 22 33 44 55"  // 28: the adapter's MAC again
          "c0 a8 01 05"        // 34: its IPv4 address
          "ff ff ff ff ff ff"  // 38
      );
  expected.resize(80, 0);  // 44: 36 zero bytes
  expected[26] = first[26];
  expected[27] = first[27];
  EXPECT_EQ(first, expected);

  for (const Bytes& frame : {first, second}) EXPECT_EQ(folded_sum(frame), 0xFFFFu);
  // The low byte first: with the field read big-endian the sum would not
  // verify for this frame.
  EXPECT_NE(folded_sum(first, false), 0xFFFFu);
}

TEST(SadpInquiryFrame, ChecksumVerifiesForAddressesAndSequences) {
  struct Case {
    MacBytes mac;
    std::uint32_t ip;
  };
  const Case cases[] = {
      {{0x00, 0x11, 0x22, 0x33, 0x44, 0x55}, 0},  // no IPv4: 0.0.0.0 at 34
      {{0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, ipv4_network_order(255, 255, 255, 255)},
      {{0x44, 0x19, 0xB6, 0x00, 0x00, 0x01}, ipv4_network_order(10, 80, 0, 1)},
      {{0x02, 0x00, 0x00, 0x00, 0x00, 0x00}, ipv4_network_order(0, 0, 0, 1)},
  };
  std::uint32_t last = 0;
  for (const Case& c : cases) {
    for (int repeat = 0; repeat < 300; ++repeat) {
      const Bytes frame = sadp_inquiry_frame(&c.mac, c.ip);
      ASSERT_EQ(frame.size(), 80u);
      EXPECT_EQ(folded_sum(frame), 0xFFFFu) << "sequence " << sequence_of(frame);
      if (last != 0) {
        EXPECT_EQ(sequence_of(frame), last + 1);
      }
      last = sequence_of(frame);
      EXPECT_TRUE(std::equal(c.mac.begin(), c.mac.end(), frame.begin() + 28));
      std::uint32_t at34 = 0;
      std::memcpy(&at34, frame.data() + 34, 4);
      EXPECT_EQ(at34, c.ip);
    }
  }
}

TEST(SadpInquiryFrame, GroupZeroOrAbsentAddressGivesNoFrameAndTakesNoNumber) {
  const MacBytes good{0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
  const std::uint32_t before = sequence_of(sadp_inquiry_frame(&good, 0));
  const MacBytes unusable[] = {
      {0x01, 0x00, 0x5E, 0x00, 0x00, 0x01},  // IPv4 multicast group
      {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},  // broadcast
      {0x33, 0x33, 0x00, 0x00, 0x00, 0x01},  // IPv6 multicast group
      {0x00, 0x00, 0x00, 0x00, 0x00, 0x00},
  };
  for (const MacBytes& mac : unusable) EXPECT_TRUE(sadp_inquiry_frame(&mac, 1).empty());
  EXPECT_TRUE(sadp_inquiry_frame(nullptr, 1).empty());
  EXPECT_EQ(sequence_of(sadp_inquiry_frame(&good, 0)), before + 1);
}

}  // namespace
}  // namespace norvane
