// DHIP announcements: the input after its first byte is a UDP payload. When
// bit 0 of the first byte is set, the 32-byte header is rewritten to be
// consistent with the input (header length 32, "DHIP", both body lengths
// covering the rest), so that the JSON body is explored rather than the
// header checks.
#include <cstddef>
#include <cstdint>
#include <string>

#include "decode/sadp.h"
#include "summary_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  std::string payload(reinterpret_cast<const char*>(data + 1), size - 1);
  if ((data[0] & 1) && payload.size() >= 32) {
    const auto body = static_cast<std::uint32_t>(payload.size() - 32);
    auto put_le32 = [&](std::size_t at, std::uint32_t v) {
      for (int i = 0; i < 4; ++i) payload[at + i] = static_cast<char>(v >> (8 * i));
    };
    put_le32(0, 32);
    payload.replace(4, 4, "DHIP");
    put_le32(16, body);
    put_le32(24, body);
  }

  norvane::PacketSummary s;
  s.ip = "192.168.1.108";
  s.protocol = "IPv4";
  s.source_port = 37810;
  s.dest_port = 37810;
  s.payload = std::move(payload);
  const norvane::PacketSummary before = s;
  norvane::fuzz::check_decode(norvane::decode_dhip(s), before, s, "Dahua");
  return 0;
}
