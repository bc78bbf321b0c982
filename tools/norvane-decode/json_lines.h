// JSON Lines output of norvane-decode and norvane-scan: one object per kept
// frame or per device row. Every text is written so that the line is valid
// JSON whatever bytes the device sent.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model/device_table.h"
#include "model/packet_summary.h"

namespace norvane::tool {

// Appends bytes as a quoted JSON string. Well-formed UTF-8 passes through;
// quote, backslash, control characters and DEL are escaped; every byte that
// is not part of a well-formed UTF-8 sequence becomes \u00XX of that byte.
void append_json_string(std::string& out, std::string_view bytes);

// "2026-12-10T02:41:51.123Z" for milliseconds since the Unix epoch (at or
// after it).
std::string iso8601_utc(std::int64_t unix_ms);

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string utf16_to_utf8(std::u16string_view text);

// The tokens of the DeviceState bits, in bit order. Scripts match on them,
// so they never follow the list's language.
inline constexpr std::array<std::string_view, kStateCount> kStateTokens = {
    "not-activated", "outside-subnet", "ip-conflict", "mask-differs", "gateway-outside", "gone"};

// ,"state":[...]: the tokens of the state's bits, in bit order; [] for none.
void append_state(std::string& out, std::uint8_t state);

// What a device says of its own settings, each member only when known, in
// this order: ,"activated":B,"mask":"...","gateway":"...","dhcp":B,
// "http_port":N,"serial":"...".
void append_settings(std::string& out, const DeviceSettings& settings);

// {"frame":N,"protocol":...,"ip":...,"mac":...,"source_mac":...,"name":...,
// "model":...,"info":...}, then the settings the frame carries (see
// append_settings) and "departure":true for a goodbye, and a line feed.
void append_frame_line(std::string& out, std::uint64_t frame, const PacketSummary& summary);

// {"ip":...,"mac":...,"vendor":...,"name":...,"model":...,"protocols":[names],
// "info":...,"category":N,"accent":N,"state":[tokens]}, then the row's
// settings (see append_settings), its LLDP or CDP port, "first_seen" and
// "last_seen" (ISO 8601 UTC) when the merge clock told them, and a line
// feed.
void append_device_line(std::string& out, const DeviceRow& row);

// Row indices in the device list's default order: sorted on the address
// column ascending with the list's own comparison (IPv4 before IPv6 by
// address bytes, then unparsable address texts ignoring case, rows without
// address last, ties in order of discovery).
std::vector<std::size_t> device_order(const DeviceTable& table);

}  // namespace norvane::tool
