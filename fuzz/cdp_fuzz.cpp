// One input is an 802.3 payload (SNAP header onwards) whose 802.3 length is
// the input size. The decoder must stay inside it, end, and hand over only a
// canonical address and printable texts; a failed decode writes nothing. The
// address list parser gets the same bytes on its own.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "decode/lldp_cdp.h"
#include "model/packet_summary.h"

namespace {

[[noreturn]] void fail(const char* what, std::string_view value) {
  std::fprintf(stderr, "cdp-fuzz: %s: \"%.*s\"\n", what, static_cast<int>(value.size()),
               value.data());
  std::abort();
}

void check_text(const char* what, std::string_view text, std::size_t bound) {
  if (text.size() > bound) fail(what, text);
  for (char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x7F) fail(what, text);
  }
}

void check_ip(std::string_view ip) {
  if (ip.empty()) return;
  if (ip.size() > 45) fail("ip length", ip);
  for (char c : ip) {
    const bool ok = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || c == '.' || c == ':';
    if (!ok) fail("ip form", ip);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  norvane::PacketSummary summary;
  if (norvane::decode_cdp(data, size, summary)) {
    if (summary.protocol != "CDP") fail("protocol", summary.protocol);
    if (summary.name.empty()) fail("CDP without Device ID", summary.name);
    if (!summary.mac.empty()) fail("CDP never names a MAC", summary.mac);
    check_ip(summary.ip);
    check_text("name", summary.name, 255);
    check_text("model", summary.model, 255);
    check_text("info", summary.info, 5 + 255);
  } else {
    const bool untouched = summary.ip.empty() && summary.name.empty() && summary.model.empty() &&
                           summary.info.empty() && summary.protocol.empty();
    if (!untouched) fail("failed decode wrote the summary", summary.protocol);
  }
  check_ip(norvane::cdp_addresses(data, size));
  return 0;
}
