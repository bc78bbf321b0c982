// WS-Discovery (ONVIF cameras and recorders, printers, Windows hosts) and
// SSDP (UPnP devices) announcements, answers and goodbyes. Both are text
// protocols read with the tolerant scanners; the device's address is the
// packet's own source address, which the intake has already stored, so
// neither decoder touches ip or mac.
#include "decode/wsd.h"

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

#include "base/ascii.h"
#include "decode/scan.h"

namespace norvane {
namespace {

// Scope URIs that ONVIF devices publish all start with this prefix; the two
// families we read name the device and its hardware model.
constexpr std::string_view kOnvifScopePrefix = "onvif://www.onvif.org/";
constexpr std::string_view kOnvifNameScope = "onvif://www.onvif.org/name/";
constexpr std::string_view kOnvifHardwareScope = "onvif://www.onvif.org/hardware/";
// Type that every ONVIF video device announces, also when its scopes do not
// use the ONVIF prefix.
constexpr std::string_view kVideoTransmitterType = "NetworkVideoTransmitter";

constexpr std::string_view kSsdpNotifyLine = "NOTIFY * HTTP/1.1";
constexpr std::string_view kSsdpResponsePrefix = "HTTP/1.1 200 ";
constexpr std::string_view kSsdpByebye = "ssdp:byebye";

// Header names and the byebye subtype are compared without regard to ASCII
// letter case (ascii_iequals): devices write "Server", "SERVER" and "server"
// alike.

// Percent-decodes a scope value into a stack buffer (no allocation for the
// intermediate text; only the cleaned result becomes a string).
std::string decode_scope(std::string_view value) {
  std::array<char, kCleanTextLimit> out{};
  std::size_t n = 0;
  for (std::size_t i = 0; i < value.size() && n < out.size();) {
    if (value[i] == '%' && value.size() - i >= 3) {
      const int hi = hex_digit(value[i + 1]);
      const int lo = hex_digit(value[i + 2]);
      if (hi >= 0 && lo >= 0) {
        out[n++] = static_cast<char>(hi * 16 + lo);
        i += 3;
        continue;
      }
    }
    out[n++] = value[i++];
  }
  return clean_text(std::string_view(out.data(), n));
}

}  // namespace

std::string scope_value(std::string_view scopes, std::string_view prefix) {
  if (prefix.empty()) {
    const std::string_view first = trim(scopes);
    if (first.empty()) return {};
    std::size_t end = 0;
    while (end < first.size() && !is_ascii_space(first[end])) ++end;
    return decode_scope(first.substr(0, end));
  }
  // The first token that starts with the prefix is the first occurrence of
  // the prefix at the start of the text or right after a whitespace byte.
  // Occurrences are found through a byte that is rare in scope lists (the
  // prefix's first ':', one per URI) rather than through its first letter,
  // which in a list of ONVIF URIs is everywhere.
  const std::size_t colon = prefix.find(':');
  const std::size_t lead = colon == std::string_view::npos ? 0 : colon;
  const char key = prefix[lead];
  for (std::size_t p = scopes.find(key, lead); p != std::string_view::npos;
       p = scopes.find(key, p + 1)) {
    const std::size_t at = p - lead;
    if (at != 0 && !is_ascii_space(scopes[at - 1])) continue;
    if (scopes.compare(at, prefix.size(), prefix) != 0) continue;
    std::size_t end = at + prefix.size();
    while (end < scopes.size() && !is_ascii_space(scopes[end])) ++end;
    return decode_scope(scopes.substr(at + prefix.size(), end - at - prefix.size()));
  }
  return {};
}

bool decode_wsd(PacketSummary& summary) {
  const std::string_view body = xml_element(summary.payload, "Body");
  // Answers to a probe carry no Hello, and only a device leaving sends a
  // Bye; the plain text searches spare the others a full element scan of the
  // body.
  std::string_view message;
  if (body.find("Hello") != std::string_view::npos) message = xml_element(body, "Hello");
  if (message.empty()) message = xml_element(body, "ProbeMatch");
  bool bye = false;
  if (message.empty() && body.find("Bye") != std::string_view::npos) {
    message = xml_element(body, "Bye");
    bye = !message.empty();
  }
  if (message.empty()) return false;

  const std::string_view scopes = xml_element(message, "Scopes");
  const std::string_view types = xml_element(message, "Types");
  const bool onvif = scopes.find(kOnvifScopePrefix) != std::string_view::npos ||
                     types.find(kVideoTransmitterType) != std::string_view::npos;
  // A device leaving says who it is through its endpoint, which the table
  // does not need: the frame's sender is the device. Scopes and Types, when
  // it repeats them, tell only the protocol.
  if (bye) {
    summary.protocol = onvif ? proto::kOnvif : proto::kWsDiscovery;
    summary.departure = true;
    return true;
  }
  // XAddrs only decides whether a message with neither Scopes nor Types
  // counts; its content is not kept, so it is looked for only then.
  if (scopes.empty() && types.empty() && xml_element(message, "XAddrs").empty()) return false;

  std::string name = scope_value(scopes, kOnvifNameScope);
  std::string model = scope_value(scopes, kOnvifHardwareScope);
  std::string info = xml_text(types);

  summary.protocol = onvif ? proto::kOnvif : proto::kWsDiscovery;
  if (!name.empty()) summary.name = std::move(name);
  if (!model.empty()) summary.model = std::move(model);
  if (!info.empty()) summary.info = std::move(info);
  return true;
}

bool decode_ssdp(PacketSummary& summary) {
  std::string_view text = summary.payload;
  const std::size_t first_lf = text.find('\n');
  if (first_lf == std::string_view::npos) return false;

  const std::string_view start_line = trim(text.substr(0, first_lf));
  bool announcement = false;
  if (start_line == kSsdpNotifyLine) {
    announcement = true;
  } else if (!start_line.starts_with(kSsdpResponsePrefix)) {
    return false;
  }
  const std::string_view target_header = announcement ? "NT" : "ST";

  std::string_view target;
  std::string_view server;
  std::string_view nts;
  bool has_usn = false;
  text.remove_prefix(first_lf + 1);
  while (!text.empty()) {
    const std::size_t lf = text.find('\n');
    const std::string_view line = trim(text.substr(0, lf));
    text.remove_prefix(lf == std::string_view::npos ? text.size() : lf + 1);
    if (line.empty()) break;
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    const std::string_view header = trim(line.substr(0, colon));
    const std::string_view value = trim(line.substr(colon + 1));
    if (ascii_iequals(header, target_header)) {
      target = value;
    } else if (ascii_iequals(header, "SERVER")) {
      server = value;
    } else if (ascii_iequals(header, "USN")) {
      has_usn = !value.empty();
    } else if (ascii_iequals(header, "NTS")) {
      nts = value;
    }
  }
  if (target.empty() || !has_usn) return false;
  // A device leaving the network: only that it leaves counts, its SERVER
  // text (if it sent one) describes nothing that is still there.
  if (announcement && ascii_iequals(nts, kSsdpByebye)) {
    summary.protocol = proto::kSsdp;
    summary.departure = true;
    return true;
  }

  std::string info = clean_text(server);
  if (info.empty()) info = clean_text(target);

  summary.protocol = proto::kSsdp;
  if (!info.empty()) summary.info = std::move(info);
  return true;
}

}  // namespace norvane
