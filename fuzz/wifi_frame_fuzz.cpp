// Packet Monitor stream packets: the 802.11 to Ethernet II conversion and the
// descriptor checks around it. The first input byte chooses the path:
//   even: the rest is one 802.11 frame for the conversion alone;
//   odd:  the next 10 bytes are a cut of the data size, the metadata offset
//         and the packet offset (16-bit each) and the packet length
//         (32-bit), all little-endian; the rest is the stream data.
// Checked: a delivered frame lies in the stream's bytes or the scratch
// buffer, fits the 9000-byte buffer, and a converted frame carries two of the
// 802.11 addresses and exactly the frame's tail after the LLC/SNAP header.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "capture/pktmon_logic.h"

namespace {

using norvane::pktmon::kFrameBufferSize;

[[noreturn]] void fail(const char* what, std::size_t value) {
  std::fprintf(stderr, "stream packet invariant broken: %s (%zu)\n", what, value);
  std::abort();
}

bool address_at(const std::uint8_t* frame, std::size_t length, const std::uint8_t* address) {
  for (std::size_t at : {4u, 10u, 16u, 24u}) {
    if (at + 6 <= length && std::memcmp(frame + at, address, 6) == 0) return true;
  }
  return false;
}

void check_conversion(const std::uint8_t* frame, std::size_t length) {
  std::uint8_t out[kFrameBufferSize];
  const std::size_t n = norvane::pktmon::wifi_to_ethernet(
      std::span<const std::uint8_t>(frame, length), std::span<std::uint8_t, kFrameBufferSize>(out));
  if (n == 0) return;
  if (n < 14 || n > kFrameBufferSize) fail("length", n);
  // At least 24 header bytes and 6 of LLC/SNAP precede the EtherType.
  if (n - 12 + 30 > length) fail("longer than the frame allows", n);
  if (!address_at(frame, length, out) || !address_at(frame, length, out + 6)) fail("address", n);
  if (std::memcmp(out + 12, frame + (length - (n - 12)), n - 12) != 0) fail("payload", n);
  if (std::memcmp(frame + (length - (n - 12)) - 6, "\xAA\xAA\x03\x00\x00", 5) != 0) {
    fail("no SNAP before the payload", n);
  }
}

std::uint32_t le(const std::uint8_t* at, int bytes) {
  std::uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = v << 8 | at[i];
  return v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  if ((data[0] & 1) == 0) {
    check_conversion(data + 1, size - 1);
    return 0;
  }
  if (size < 11) return 0;
  const std::uint8_t* stream = data + 11;
  const std::size_t stream_size = size - 11;
  // The stated size may be smaller than the bytes there, never larger: the
  // API's own buffer is as long as it says.
  const std::uint32_t cut = le(data + 1, 2);
  norvane::pktmon::StreamDataDescriptor d{};
  d.data = stream;
  d.data_size = static_cast<std::uint32_t>(stream_size > cut ? stream_size - cut : 0);
  d.metadata_offset = le(data + 3, 2);
  d.packet_offset = le(data + 5, 2);
  d.packet_length = le(data + 7, 4);
  std::uint8_t scratch[kFrameBufferSize];
  const auto frame =
      norvane::pktmon::stream_frame(&d, std::span<std::uint8_t, kFrameBufferSize>(scratch));
  if (frame.empty()) return 0;
  const auto begin = reinterpret_cast<std::uintptr_t>(frame.data());
  const auto stream_at = reinterpret_cast<std::uintptr_t>(stream);
  const bool in_stream = begin >= stream_at && begin - stream_at <= d.data_size &&
                         frame.size() <= d.data_size - (begin - stream_at);
  const bool in_scratch = frame.data() == scratch && frame.size() <= kFrameBufferSize;
  if (!in_stream && !in_scratch) fail("frame outside both buffers", frame.size());
  if (frame.size() < 14) fail("short frame delivered", frame.size());
  return 0;
}
