// One input is the bytes after an Ethernet header with EtherType 0x88CC. The
// decoder must stay inside them, end, and hand over only canonical addresses
// and printable texts; a failed decode must leave the summary untouched.
#include <cstddef>
#include <cstdint>
#include <string>

#include "decode/lldp_cdp.h"
#include "model/packet_summary.h"
#include "summary_check.h"

namespace fuzz = norvane::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  norvane::PacketSummary summary;
  summary.source_mac = "untouched";
  if (norvane::decode_lldp(data, size, summary)) {
    if (summary.protocol != "LLDP") fuzz::fail("protocol", summary.protocol);
    fuzz::check_optional_mac(summary.mac);
    fuzz::check_neighbour_ip(summary.ip);
    fuzz::check_neighbour_text("name", summary.name, 255);
    fuzz::check_neighbour_text("model", summary.model, 255);
    // "Port " + port + " | " + description.
    fuzz::check_neighbour_text("info", summary.info, 5 + 255 + 3 + 255);
    fuzz::check_neighbour_port(summary.port);
  } else if (fuzz::device_fields(summary) != fuzz::device_fields(norvane::PacketSummary{})) {
    fuzz::fail("failed decode wrote the summary", summary.protocol);
  }
  if (summary.source_mac != "untouched") fuzz::fail("source_mac", summary.source_mac);

  const std::string text = norvane::lldp_text(data, size);
  fuzz::check_neighbour_text("lldp_text", text, 255);
  std::string slot;
  norvane::prefer_address(slot, data, size);
  fuzz::check_neighbour_ip(slot);
  return 0;
}
