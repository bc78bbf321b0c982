// The text scanners on arbitrary bytes: every result is checked against the
// promises the decoders rely on (views stay inside the input, cleaned texts
// are bounded and printable, address texts are canonical) and against the
// plain byte-by-byte scanners of tests/support/scan_reference.h (the same
// bytes, views at the same offsets).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>

#include "../tests/support/scan_reference.h"
#include "decode/scan.h"

namespace {

[[noreturn]] void fail(const char* what, std::string_view value) {
  std::fprintf(stderr, "scan-fuzz: %s: \"%.*s\" (%zu bytes)\n", what,
               static_cast<int>(value.size() > 300 ? 300 : value.size()), value.data(),
               value.size());
  std::abort();
}

void check_inside(const char* what, std::string_view part, std::string_view whole) {
  if (part.empty()) return;
  const char* begin = whole.data();
  const char* end = whole.data() + whole.size();
  if (part.data() < begin || part.data() > end ||
      part.size() > static_cast<std::size_t>(end - part.data())) {
    fail(what, {});
  }
}

void check_same(const char* what, std::string_view got, std::string_view want) {
  if (got.empty() && want.empty()) return;
  if (got.data() != want.data() || got.size() != want.size()) fail(what, got);
}

void check_equal(const char* what, const std::string& got, const std::string& want) {
  if (got != want) fail(what, got);
}

void check_clean(const char* what, const std::string& text) {
  if (text.size() > norvane::kCleanTextLimit) fail(what, text);
  for (const char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x7F) fail(what, text);
  }
}

constexpr std::string_view kElements[] = {"MAC",    "Types",       "Scopes",   "ProbeMatch",
                                          "XAddrs", "IPv4Address", "DeviceSN", "Envelope"};
constexpr std::string_view kKeys[] = {"method",     "params",      "deviceInfo",
                                      "mac",        "IPv4Address", "IPAddress",
                                      "DeviceType", "SerialNo",    "Version"};

void scan_xml(std::string_view doc, std::string_view name) {
  const std::string_view closed = norvane::xml_element(doc, name, false);
  const std::string_view open = norvane::xml_element(doc, name, true);
  check_inside("xml_element", closed, doc);
  check_inside("xml_element open", open, doc);
  check_same("xml_element vs reference", closed,
             norvane::scan_reference::xml_element(doc, name, false));
  check_same("xml_element open vs reference", open,
             norvane::scan_reference::xml_element(doc, name, true));
  check_equal("xml_text vs reference", norvane::xml_text(open),
              norvane::scan_reference::xml_text(open));
  // A closed element is found the same way whether or not an open one is
  // allowed.
  if (!closed.empty() && (open.data() != closed.data() || open.size() != closed.size())) {
    fail("xml_element differs with allow_open", closed);
  }
  check_clean("xml_text", norvane::xml_text(closed));
  check_clean("xml_text open", norvane::xml_text(open));
  // Callers look for elements inside an element's content.
  if (!open.empty()) {
    const std::string_view inner = norvane::xml_element(open, "Address", true);
    check_inside("nested xml_element", inner, open);
    check_same("nested xml_element vs reference", inner,
               norvane::scan_reference::xml_element(open, "Address", true));
  }
}

void scan_json(std::string_view doc) {
  namespace ref = norvane::scan_reference;
  const std::optional<std::size_t> length = norvane::json_value_length(doc);
  if (length && *length > doc.size()) fail("json_value_length", doc);
  if (length != ref::json_value_length(doc)) fail("json_value_length vs reference", doc);
  const norvane::JsonIndex index(doc);
  if (index.length() != length) fail("JsonIndex length", doc);

  // Walk down through nested objects, as the DHIP decoder does, with and
  // without the index and with one walk for all keys.
  std::string_view object = doc;
  for (int depth = 0; depth < 24 && !object.empty(); ++depth) {
    std::string_view next;
    std::string_view all[std::size(kKeys)];
    std::string_view all_indexed[std::size(kKeys)];
    norvane::json_members(object, kKeys, all);
    norvane::json_members(object, kKeys, all_indexed, index);
    for (std::size_t k = 0; k < std::size(kKeys); ++k) {
      const std::string_view key = kKeys[k];
      const std::string_view value = norvane::json_member(object, key);
      check_inside("json_member", value, object);
      const std::string_view want = ref::json_member(object, key);
      check_same("json_member vs reference", value, want);
      check_same("json_member with index", norvane::json_member(object, key, index), want);
      check_same("json_members", all[k], want);
      check_same("json_members with index", all_indexed[k], want);
      // A string, object or array member is exactly one complete value (a bare
      // scalar has no length of its own without the byte that ends it).
      if (!value.empty() &&
          (value.front() == '"' || value.front() == '{' || value.front() == '[')) {
        const std::optional<std::size_t> n = norvane::json_value_length(value);
        if (!n || *n != value.size()) fail("json_member value is not one JSON value", value);
      }
      const std::string text = norvane::json_string(value);
      check_clean("json_string", text);
      check_equal("json_string vs reference", text, ref::json_string(value));
      if (next.empty() && !value.empty() && value.front() == '{') next = value;
    }
    object = next;
  }
  check_clean("json_string whole", norvane::json_string(doc));
  check_equal("json_string whole vs reference", norvane::json_string(doc), ref::json_string(doc));
}

void scan_addresses(std::string_view text) {
  const std::string mac = norvane::parse_mac_text(text);
  if (!mac.empty() && (mac.size() != 17 || norvane::parse_mac_text(mac) != mac)) {
    fail("parse_mac_text not canonical", mac);
  }
  const std::string ip = norvane::parse_ip_text(text);
  if (!ip.empty() && norvane::parse_ip_text(ip) != ip) fail("parse_ip_text not canonical", ip);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view doc(reinterpret_cast<const char*>(data), size);

  const std::string_view trimmed = norvane::trim(doc);
  check_inside("trim", trimmed, doc);
  if (!trimmed.empty()) {
    for (const char c : {trimmed.front(), trimmed.back()}) {
      if (c == ' ' || c == '\t' || c == '\r' || c == '\n') fail("trim left whitespace", trimmed);
    }
  }
  check_same("trim vs reference", trimmed, norvane::scan_reference::trim(doc));
  const std::string cleaned = norvane::clean_text(doc);
  check_clean("clean_text", cleaned);
  // Blanks and control bytes are trimmed: a space is left at the end only
  // where the limit cut the text.
  if (!cleaned.empty() && (cleaned.front() == ' ' ||
                           (cleaned.back() == ' ' && cleaned.size() < norvane::kCleanTextLimit))) {
    fail("clean_text left a blank at an end", cleaned);
  }
  check_equal("clean_text vs reference", norvane::clean_text(doc),
              norvane::scan_reference::clean_text(doc));
  check_equal("xml_text vs reference", norvane::xml_text(doc),
              norvane::scan_reference::xml_text(doc));

  for (const std::string_view name : kElements) scan_xml(doc, name);
  // An element name taken from the input itself: byte 0 gives its length.
  if (size >= 2) {
    const std::size_t n = 1 + data[0] % 16;
    if (n < size) scan_xml(doc.substr(1 + n), doc.substr(1, n));
  }

  scan_json(doc);
  if (const std::size_t brace = doc.find('{'); brace != std::string_view::npos) {
    scan_json(doc.substr(brace));
  }

  scan_addresses(doc);
  // Each line as an address text, as the SSDP and SADP decoders meet them.
  std::string_view rest = doc;
  for (int lines = 0; lines < 64 && !rest.empty(); ++lines) {
    const std::size_t lf = rest.find('\n');
    scan_addresses(norvane::trim(rest.substr(0, lf)));
    if (lf == std::string_view::npos) break;
    rest.remove_prefix(lf + 1);
  }
  return 0;
}
