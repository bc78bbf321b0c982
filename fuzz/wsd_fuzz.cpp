// WS-Discovery answers: the input is the UDP payload of a datagram on port
// 3702. Also reads the input as a scope list.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "decode/wsd.h"
#include "summary_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);

  norvane::PacketSummary s;
  s.ip = "192.168.1.64";
  s.mac = "C0:56:E3:A1:B2:C3";
  s.source_mac = s.mac;
  s.name = "before";
  s.protocol = "IPv4";
  s.multicast = true;
  s.source_port = 3702;
  s.dest_port = 3702;
  s.payload = bytes;
  const norvane::PacketSummary before = s;
  const bool ok = norvane::decode_wsd(s);
  const std::string_view want = s.protocol == "ONVIF" ? "ONVIF" : "WS-Discovery";
  norvane::fuzz::check_decode(ok, before, s, want);
  if (s.ip != before.ip || s.mac != before.mac) norvane::fuzz::fail("address written", s.ip);
  // A name or model comes only from an ONVIF scope, which makes it ONVIF.
  if ((s.name != before.name || !s.model.empty()) && s.protocol != "ONVIF") {
    norvane::fuzz::fail("scope without ONVIF", s.protocol);
  }

  const std::string value = norvane::scope_value(bytes, "onvif://www.onvif.org/name/");
  if (!value.empty()) norvane::fuzz::check_text("scope", value);
  return 0;
}
