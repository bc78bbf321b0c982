// WS-Discovery answers: the input is the UDP payload of a datagram on port
// 3702. Also reads the input as a scope list and checks the scope search
// against a plain walk over the tokens.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "decode/wsd.h"
#include "summary_check.h"

namespace {

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The first whitespace-separated token that starts with the prefix, found by
// walking every token; empty when there is none.
std::string_view first_token_with(std::string_view scopes, std::string_view prefix) {
  std::size_t i = 0;
  while (i < scopes.size()) {
    while (i < scopes.size() && is_space(scopes[i])) ++i;
    std::size_t end = i;
    while (end < scopes.size() && !is_space(scopes[end])) ++end;
    const std::string_view token = scopes.substr(i, end - i);
    if (!token.empty() && token.starts_with(prefix)) return token;
    i = end;
  }
  return {};
}

void check_scope_search(std::string_view scopes, std::string_view prefix) {
  const std::string value = norvane::scope_value(scopes, prefix);
  if (!value.empty()) norvane::fuzz::check_text("scope", value);
  const std::string_view token = first_token_with(scopes, prefix);
  const std::string expected = token.empty() ? std::string() : norvane::scope_value(token, prefix);
  if (value != expected) norvane::fuzz::fail("scope search", value);
}

}  // namespace

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

  check_scope_search(bytes, "onvif://www.onvif.org/name/");
  check_scope_search(bytes, "a:");
  check_scope_search(bytes, "x");
  return 0;
}
