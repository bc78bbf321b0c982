#include "json_lines.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <numeric>
#include <optional>

#include "app/list_export.h"
#include "app/list_logic.h"

namespace norvane::tool {
namespace {

constexpr char kHex[] = "0123456789abcdef";

void append_byte_escape(std::string& out, unsigned char byte) {
  out += "\\u00";
  out += kHex[byte >> 4];
  out += kHex[byte & 0x0F];
}

// Length of the well-formed UTF-8 sequence starting at text[i] (2 to 4), or 0.
// Overlong forms, surrogates and code points above U+10FFFF are not
// well-formed, so what passes through is exactly what a strict JSON reader
// accepts.
std::size_t utf8_sequence_length(std::string_view text, std::size_t i) {
  const auto at = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = at(i);
  std::size_t need = 0;
  unsigned char lo = 0x80;
  unsigned char hi = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    need = 1;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    need = 2;
    if (lead == 0xE0) lo = 0xA0;
    if (lead == 0xED) hi = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    need = 3;
    if (lead == 0xF0) lo = 0x90;
    if (lead == 0xF4) hi = 0x8F;
  } else {
    return 0;
  }
  if (need > text.size() - i - 1) return 0;
  const unsigned char second = at(i + 1);
  if (second < lo || second > hi) return 0;
  for (std::size_t k = 2; k <= need; ++k) {
    if ((at(i + k) & 0xC0) != 0x80) return 0;
  }
  return need + 1;
}

}  // namespace

std::string iso8601_utc(std::int64_t unix_ms) {
  if (unix_ms < 0) unix_ms = 0;
  const auto seconds = static_cast<std::time_t>(unix_ms / 1000);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[64];
  std::snprintf(text, sizeof(text), "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                static_cast<int>(unix_ms % 1000));
  return text;
}

namespace {

void append_member(std::string& out, std::string_view key, std::string_view value) {
  out += ',';
  append_json_string(out, key);
  out += ':';
  append_json_string(out, value);
}

void append_member(std::string& out, std::string_view key, std::u16string_view value) {
  append_member(out, key, utf16_to_utf8(value));
}

// A key and an unquoted value: a number or a literal.
void append_raw_member(std::string& out, std::string_view key, std::string_view value) {
  out += ',';
  append_json_string(out, key);
  out += ':';
  out += value;
}

void append_known(std::string& out, std::string_view key, std::optional<bool> value) {
  if (value) append_raw_member(out, key, *value ? "true" : "false");
}

void append_known(std::string& out, std::string_view key, std::string_view value) {
  if (!value.empty()) append_member(out, key, value);
}

}  // namespace

void append_json_string(std::string& out, std::string_view bytes) {
  out += '"';
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto byte = static_cast<unsigned char>(bytes[i]);
    if (byte >= 0x80) {
      const std::size_t len = utf8_sequence_length(bytes, i);
      if (len == 0) {
        append_byte_escape(out, byte);
        ++i;
      } else {
        out.append(bytes.substr(i, len));
        i += len;
      }
      continue;
    }
    switch (byte) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (byte < 0x20 || byte == 0x7F) {
          append_byte_escape(out, byte);
        } else {
          out += static_cast<char>(byte);
        }
    }
    ++i;
  }
  out += '"';
}

std::string utf16_to_utf8(std::u16string_view text) { return norvane::utf16_to_utf8(text); }

void append_state(std::string& out, std::uint8_t state) {
  out += ",\"state\":[";
  bool first = true;
  for (std::size_t i = 0; i < kStateTokens.size(); ++i) {
    if ((state & (1u << i)) == 0) continue;
    if (!first) out += ',';
    first = false;
    append_json_string(out, kStateTokens[i]);
  }
  out += ']';
}

void append_settings(std::string& out, const DeviceSettings& settings) {
  append_known(out, "activated", settings.activated);
  append_known(out, "mask", settings.mask);
  append_known(out, "gateway", settings.gateway);
  append_known(out, "dhcp", settings.dhcp);
  if (settings.http_port != 0) {
    append_raw_member(out, "http_port", std::to_string(settings.http_port));
  }
  append_known(out, "serial", settings.serial);
}

void append_frame_line(std::string& out, std::uint64_t frame, const PacketSummary& summary) {
  out += "{\"frame\":";
  out += std::to_string(frame);
  append_member(out, "protocol", summary.protocol);
  append_member(out, "ip", summary.ip);
  append_member(out, "mac", summary.mac);
  append_member(out, "source_mac", summary.source_mac);
  append_member(out, "name", summary.name);
  append_member(out, "model", summary.model);
  append_member(out, "info", summary.info);
  append_settings(out, summary.settings);
  if (summary.departure) append_raw_member(out, "departure", "true");
  out += "}\n";
}

void append_device_line(std::string& out, const DeviceRow& row) {
  out += "{\"ip\":";
  append_json_string(out, utf16_to_utf8(row.columns[kColIp]));
  append_member(out, "mac", row.columns[kColMac]);
  append_member(out, "vendor", row.columns[kColVendor]);
  append_member(out, "name", row.columns[kColName]);
  append_member(out, "model", row.columns[kColModel]);
  // The protocol column's names, in its order.
  out += ",\"protocols\":[";
  const std::u16string_view protocols = row.columns[kColProtocols];
  for (std::size_t start = 0; start < protocols.size();) {
    std::size_t end = protocols.find(u", ", start);
    if (end == std::u16string_view::npos) end = protocols.size();
    if (out.back() != '[') out += ',';
    append_json_string(out, utf16_to_utf8(protocols.substr(start, end - start)));
    start = end + 2;
  }
  out += ']';
  append_member(out, "info", row.columns[kColInfo]);
  out += ",\"category\":";
  out += std::to_string(row.category);
  out += ",\"accent\":";
  out += std::to_string(row.accent_index);
  append_state(out, row.state);
  append_settings(out, row.settings);
  // A neighbour that named its port: where the LLDP or CDP frames came from.
  append_known(out, "port_id", row.port.id);
  append_known(out, "port_description", row.port.description);
  if (row.port.vlan != 0) append_raw_member(out, "port_vlan", std::to_string(row.port.vlan));
  if (row.first_seen_ms >= 0) append_member(out, "first_seen", iso8601_utc(row.first_seen_ms));
  if (row.last_seen_ms >= 0) append_member(out, "last_seen", iso8601_utc(row.last_seen_ms));
  out += "}\n";
}

std::vector<std::size_t> device_order(const DeviceTable& table) {
  std::vector<std::size_t> order(table.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::sort(order.begin(), order.end(), [&](std::size_t x, std::size_t y) {
    return compare_rows(table.rows(), x, y, kColIp, /*ascending=*/true) < 0;
  });
  return order;
}

}  // namespace norvane::tool
