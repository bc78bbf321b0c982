// SSDP announcements and search responses: the input is the UDP payload of a
// datagram on port 1900.
#include <cstddef>
#include <cstdint>
#include <string>

#include "decode/wsd.h"
#include "summary_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  norvane::PacketSummary s;
  s.ip = "192.168.1.1";
  s.name = "before";
  s.model = "before";
  s.protocol = "IPv4";
  s.source_port = 1900;
  s.dest_port = 1900;
  s.payload.assign(reinterpret_cast<const char*>(data), size);
  const norvane::PacketSummary before = s;
  norvane::fuzz::check_decode(norvane::decode_ssdp(s), before, s, "SSDP");
  // SSDP only ever tells the info column.
  if (s.ip != before.ip || s.mac != before.mac || s.name != before.name ||
      s.model != before.model) {
    norvane::fuzz::fail("ssdp wrote a device field", s.info);
  }
  return 0;
}
