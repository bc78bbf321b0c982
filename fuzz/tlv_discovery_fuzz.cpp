// MNDP and Ubiquiti answers: the input after its first byte is a UDP
// payload. First byte: bit 0 reads it as Ubiquiti (else MNDP), bit 1
// rewrites the Ubiquiti length field to fit the input, bit 2 makes it a
// datagram (no source MAC), bit 3 a frame from 0.0.0.0 (no source address),
// so that every address-pair branch is reachable.
#include <cstddef>
#include <cstdint>
#include <string>

#include "decode/tlv_discovery.h"
#include "summary_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::uint8_t flags = data[0];
  const bool ubiquiti = (flags & 1) != 0;
  std::string payload(reinterpret_cast<const char*>(data + 1), size - 1);
  if (ubiquiti && (flags & 2) && payload.size() >= 4) {
    const std::size_t rest = payload.size() - 4;
    payload[2] = static_cast<char>((rest >> 8) & 0xFF);
    payload[3] = static_cast<char>(rest & 0xFF);
  }

  norvane::PacketSummary s;
  if (!(flags & 4)) {
    s.source_mac = "80:2A:A8:8D:69:2C";
    s.mac = s.source_mac;
  }
  if (!(flags & 8)) s.ip = "192.168.1.1";
  s.protocol = "IPv4";
  s.source_port = ubiquiti ? 10001 : 5678;
  s.dest_port = s.source_port;
  s.payload = std::move(payload);
  const norvane::PacketSummary before = s;
  norvane::fuzz::check_decode(norvane::decode_tlv_discovery(s, ubiquiti), before, s,
                              ubiquiti ? "Ubiquiti" : "MNDP");
  return 0;
}
