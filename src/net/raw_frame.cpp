#include <atomic>
#include <cstring>

#include "base/address.h"
#include "net/byte_order.h"
#include "net/raw_sender.h"

namespace norvane {

namespace {

// Shared by every frame built in the process; the first frame carries 1.
std::atomic<std::uint32_t> inquiry_sequence{1};

}  // namespace

std::vector<std::uint8_t> sadp_inquiry_frame(const MacBytes* mac, std::uint32_t ipv4) {
  if (!mac || !is_unicast_mac(mac->data())) return {};
  const MacBytes& m = *mac;

  std::vector<std::uint8_t> frame(kSadpInquiryFrameSize, 0);
  for (std::size_t i = 0; i < 6; ++i) {
    frame[i] = 0xFF;
    frame[6 + i] = m[i];
    frame[28 + i] = m[i];
    frame[38 + i] = 0xFF;
  }
  frame[12] = 0x80;
  frame[13] = 0x33;
  const std::uint8_t head[4] = {0x21, 0x02, 0x01, 0x42};
  const std::uint8_t kind[4] = {0x06, 0x04, 0x03, 0x00};
  for (std::size_t i = 0; i < 4; ++i) {
    frame[14 + i] = head[i];
    frame[22 + i] = kind[i];
  }
  store_be32(&frame[18], inquiry_sequence.fetch_add(1, std::memory_order_relaxed));
  // The address is already in network byte order: its bytes go out as stored.
  std::memcpy(&frame[34], &ipv4, 4);

  // One's complement sum of the big-endian words from offset 14, stored low
  // byte first: the receivers read it that way.
  std::uint32_t sum = 0;
  for (std::size_t at = 14; at + 1 < kSadpInquiryFrameSize; at += 2) {
    sum += static_cast<std::uint32_t>(frame[at] << 8 | frame[at + 1]);
  }
  while (sum > 0xFFFF) sum = (sum & 0xFFFF) + (sum >> 16);
  const auto checksum = static_cast<std::uint16_t>(~sum & 0xFFFF);
  frame[26] = static_cast<std::uint8_t>(checksum & 0xFF);
  frame[27] = static_cast<std::uint8_t>(checksum >> 8);
  return frame;
}

}  // namespace norvane
