// One input is an 802.3 payload (SNAP header onwards) whose 802.3 length is
// the input size. The decoder must stay inside it, end, and hand over only a
// canonical address and printable texts; a failed decode writes nothing. The
// address list parser gets the same bytes on its own.
#include <cstddef>
#include <cstdint>

#include "decode/lldp_cdp.h"
#include "model/packet_summary.h"
#include "summary_check.h"

namespace fuzz = norvane::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  norvane::PacketSummary summary;
  if (norvane::decode_cdp(data, size, summary)) {
    if (summary.protocol != "CDP") fuzz::fail("protocol", summary.protocol);
    if (summary.name.empty()) fuzz::fail("CDP without Device ID", summary.name);
    if (!summary.mac.empty()) fuzz::fail("CDP never names a MAC", summary.mac);
    fuzz::check_neighbour_ip(summary.ip);
    fuzz::check_neighbour_text("name", summary.name, 255);
    fuzz::check_neighbour_text("model", summary.model, 255);
    fuzz::check_neighbour_text("info", summary.info, 5 + 255);
    fuzz::check_neighbour_port(summary.port);
    if (!summary.port.description.empty()) fuzz::fail("CDP has no port description", "");
  } else if (fuzz::device_fields(summary) != fuzz::device_fields(norvane::PacketSummary{})) {
    fuzz::fail("failed decode wrote the summary", summary.protocol);
  }
  fuzz::check_neighbour_ip(norvane::cdp_addresses(data, size));
  return 0;
}
