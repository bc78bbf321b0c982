// One input is the bytes after an Ethernet header with EtherType 0x88CC. The
// decoder must stay inside them, end, and hand over only canonical addresses
// and printable texts; a failed decode must leave the summary untouched.
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
  std::fprintf(stderr, "lldp-fuzz: %s: \"%.*s\"\n", what, static_cast<int>(value.size()),
               value.data());
  std::abort();
}

void check_text(const char* what, std::string_view text, std::size_t bound) {
  if (text.size() > bound) fail(what, text);
  for (char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x7F) fail(what, text);
  }
  if (!text.empty() && (text.front() == ' ' || text.back() == ' ')) fail(what, text);
}

void check_mac(std::string_view mac) {
  if (mac.empty()) return;
  if (mac.size() != 17) fail("mac length", mac);
  for (std::size_t i = 0; i < mac.size(); ++i) {
    const char c = mac[i];
    const bool ok = i % 3 == 2 ? c == ':' : ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'));
    if (!ok) fail("mac form", mac);
  }
  const char low = mac[1];
  const int nibble = low <= '9' ? low - '0' : low - 'A' + 10;
  if ((nibble & 1) != 0) fail("group mac", mac);
  if (mac == "00:00:00:00:00:00") fail("zero mac", mac);
}

void check_ip(std::string_view ip) {
  if (ip.empty()) return;
  if (ip.size() > 45) fail("ip length", ip);
  for (char c : ip) {
    const bool ok = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || c == '.' || c == ':';
    if (!ok) fail("ip form", ip);
  }
  if (ip.rfind("127.", 0) == 0 || ip == "::" || ip == "::1") fail("unusable ip", ip);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  norvane::PacketSummary summary;
  summary.source_mac = "untouched";
  if (norvane::decode_lldp(data, size, summary)) {
    if (summary.protocol != "LLDP") fail("protocol", summary.protocol);
    check_mac(summary.mac);
    check_ip(summary.ip);
    check_text("name", summary.name, 255);
    check_text("model", summary.model, 255);
    // "Port " + port + " | " + description.
    check_text("info", summary.info, 5 + 255 + 3 + 255);
  } else {
    const bool untouched = summary.ip.empty() && summary.mac.empty() && summary.name.empty() &&
                           summary.model.empty() && summary.info.empty() &&
                           summary.protocol.empty();
    if (!untouched) fail("failed decode wrote the summary", summary.protocol);
  }
  if (summary.source_mac != "untouched") fail("source_mac", summary.source_mac);

  const std::string text = norvane::lldp_text(data, size);
  check_text("lldp_text", text, 255);
  std::string slot;
  norvane::prefer_address(slot, data, size);
  check_ip(slot);
  return 0;
}
