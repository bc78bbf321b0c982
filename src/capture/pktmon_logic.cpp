#include "capture/pktmon_logic.h"

#include <algorithm>
#include <cstring>

#include "decode/byte_reader.h"

namespace norvane::pktmon {

namespace {

constexpr char16_t kHex[] = u"0123456789ABCDEF";

void append_hex(std::u16string& out, std::uint32_t value, int digits) {
  for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) {
    out.push_back(kHex[(value >> shift) & 0xF]);
  }
}

std::uint32_t le32_at(std::span<const std::uint8_t> bytes, std::size_t at) {
  ByteReader reader(bytes);
  reader.skip(at);
  return reader.le32();
}

std::uint16_t le16_at(const std::uint8_t* at) {
  return static_cast<std::uint16_t>(at[0] | (at[1] << 8));
}

bool equal_mac(std::span<const std::uint8_t> a, const MacBytes& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
}

}  // namespace

bool ascii_equal_ignore_case(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  const auto fold = [](char16_t c) {
    return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - u'a' + u'A') : c;
  };
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (fold(a[i]) != fold(b[i])) return false;
  }
  return true;
}

bool texts_equal(std::u16string_view a, std::u16string_view b, TextEquals equals) {
  if (a.empty() || b.empty() || a.size() != b.size()) return false;
  return (equals ? equals : ascii_equal_ignore_case)(a, b);
}

std::u16string guid_text(const std::array<std::uint8_t, 16>& g) {
  const auto data1 = static_cast<std::uint32_t>(g[0] | g[1] << 8 | g[2] << 16) |
                     static_cast<std::uint32_t>(g[3]) << 24;
  const auto data2 = static_cast<std::uint32_t>(g[4] | g[5] << 8);
  const auto data3 = static_cast<std::uint32_t>(g[6] | g[7] << 8);
  std::u16string text = u"{";
  append_hex(text, data1, 8);
  text.push_back(u'-');
  append_hex(text, data2, 4);
  text.push_back(u'-');
  append_hex(text, data3, 4);
  text.push_back(u'-');
  for (std::size_t i = 8; i < 16; ++i) {
    if (i == 10) text.push_back(u'-');
    append_hex(text, g[i], 2);
  }
  text.push_back(u'}');
  return text;
}

std::u16string record_text(std::span<const std::uint8_t> record, std::size_t offset,
                           std::size_t units) {
  std::u16string text;
  if (offset > record.size()) return text;
  const std::size_t available = std::min(units, (record.size() - offset) / 2);
  for (std::size_t i = 0; i < available; ++i) {
    const auto unit = static_cast<char16_t>(le16_at(record.data() + offset + 2 * i));
    if (unit == 0) break;
    text.push_back(unit);
  }
  return text;
}

int score_source(std::span<const std::uint8_t> record, const AdapterIdentity& adapter,
                 TextEquals equals) {
  if (record.size() < kSourceSize) return 0;
  const std::uint32_t flags = le32_at(record, kSourceFlagsOffset);
  const auto id = record.subspan(kSourceIdOffset, 16);

  if ((flags & kSourceHasGuid) != 0) {
    return std::equal(id.begin(), id.end(), adapter.guid.begin()) ? 4 : 0;
  }
  const std::u16string name = record_text(record, kSourceNameOffset, kSourceNameUnits);
  const std::u16string_view guid = adapter.guid_text;
  if (!guid.empty() && name.size() >= guid.size() &&
      texts_equal(std::u16string_view(name).substr(name.size() - guid.size()), guid, equals)) {
    return 4;
  }
  if (texts_equal(name, adapter.interface_name, equals)) return 4;

  const std::u16string description =
      record_text(record, kSourceDescriptionOffset, kSourceDescriptionUnits);
  if (adapter.row_known && (flags & kSourceHasMac) != 0 && adapter.physical_length == 6) {
    const auto mac = id.first(6);
    if (std::all_of(mac.begin(), mac.end(), [](std::uint8_t b) { return b == 0; })) return 0;
    if (equal_mac(mac, adapter.current_address) || equal_mac(mac, adapter.permanent_address)) {
      return texts_equal(description, adapter.description, equals) ? 3 : 2;
    }
    return 0;
  }
  if (adapter.description_unique) {
    return texts_equal(description, adapter.description, equals) ? 1 : 0;
  }
  return 0;
}

bool list_fits(std::span<const std::uint8_t> buffer) {
  if (buffer.size() < kListPointersOffset) return false;
  const std::uint32_t count = le32_at(buffer, 0);
  return (buffer.size() - kListPointersOffset) / 8 >= count;
}

std::optional<std::size_t> choose_source(std::span<const std::uint8_t> buffer, std::uintptr_t base,
                                         const AdapterIdentity& adapter, TextEquals equals) {
  if (!list_fits(buffer)) return std::nullopt;
  const std::uint32_t count = le32_at(buffer, 0);
  std::optional<std::size_t> choice;
  int best = 0;
  for (std::uint32_t i = 0; i < count; ++i) {
    std::uint64_t pointer = 0;
    std::memcpy(&pointer, buffer.data() + kListPointersOffset + 8 * std::size_t{i}, 8);
    // Compared as numbers, never formed into a pointer first: a pointer from
    // outside the buffer is only skipped.
    if (pointer < base || buffer.size() < kSourceSize) continue;
    const std::uint64_t offset = pointer - base;
    if (offset > buffer.size() - kSourceSize) continue;
    const auto at = static_cast<std::size_t>(offset);
    const int score = score_source(buffer.subspan(at, kSourceSize), adapter, equals);
    if (score > best) {
      best = score;
      choice = at;
    } else if (score == best) {
      choice.reset();
    }
  }
  return choice;
}

std::u16string describe_failure(std::u16string_view step, std::uint32_t code) {
  if (code == kErrorPrivilegeNotHeld || code == kErrorAccessDenied) {
    return u"Przechwytywanie PktMon wymaga uruchomienia jako administrator.";
  }
  std::u16string text(step);
  text += u" (0x";
  append_hex(text, code, 8);
  text += u").";
  return text;
}

std::u16string stream_error_text(std::uint32_t error) {
  if (error == 0) return {};
  std::u16string digits;
  do {
    digits.insert(digits.begin(), static_cast<char16_t>(u'0' + error % 10));
    error /= 10;
  } while (error != 0);
  return u"Błąd strumienia PktMon (" + digits + u").";
}

std::size_t wifi_to_ethernet(std::span<const std::uint8_t> packet,
                             std::span<std::uint8_t, kFrameBufferSize> out) {
  const std::size_t length = packet.size();
  if (length < 24) return 0;
  const std::uint8_t fc0 = packet[0];
  const std::uint8_t fc1 = packet[1];
  // Version 0 data frames with data (no null frames); neither protected nor
  // followed by more fragments; the first fragment only.
  if ((fc0 & 0x4F) != 0x08 || (fc1 & 0x44) != 0 || (packet[22] & 0x0F) != 0) return 0;

  const bool to_ds = (fc1 & 0x01) != 0;
  const bool from_ds = (fc1 & 0x02) != 0;
  const std::size_t destination = to_ds ? 16 : 4;
  const std::size_t source = (to_ds && from_ds) ? 24 : from_ds ? 16 : 10;
  std::size_t header = (to_ds && from_ds) ? 30 : 24;
  if ((fc0 & 0x80) != 0) {
    // QoS control: its A-MSDU bit marks an aggregate of several subframes.
    if (header + 2 > length || (packet[header] & 0x80) != 0) return 0;
    header += 2;
    if ((fc1 & 0x80) != 0) header += 4;  // HT control
  }
  if (header + 8 > length) return 0;
  static constexpr std::uint8_t kSnap[5] = {0xAA, 0xAA, 0x03, 0x00, 0x00};
  if (!std::equal(std::begin(kSnap), std::end(kSnap), packet.begin() + header)) return 0;
  if (packet[header + 5] != 0x00 && packet[header + 5] != 0xF8) return 0;

  const std::size_t rest = length - header - 6;  // EtherType and payload
  if (rest > kMaxEtherPayload) return 0;
  std::memcpy(out.data(), packet.data() + destination, 6);
  std::memcpy(out.data() + 6, packet.data() + source, 6);
  std::memcpy(out.data() + 12, packet.data() + header + 6, rest);
  return rest + 12;
}

std::span<const std::uint8_t> stream_frame(const StreamDataDescriptor* descriptor,
                                           std::span<std::uint8_t, kFrameBufferSize> scratch) {
  if (!descriptor || !descriptor->data) return {};
  const StreamDataDescriptor& d = *descriptor;
  if (d.data_size < d.metadata_offset || d.data_size < d.packet_offset ||
      d.data_size - d.metadata_offset < 16 || d.packet_length > d.data_size - d.packet_offset) {
    return {};
  }
  const auto* data = static_cast<const std::uint8_t*>(d.data);
  const std::uint8_t* metadata = data + d.metadata_offset;
  const std::uint16_t status = le16_at(metadata + 12);
  if (status == 2 || status == 4 || status == 6) return {};
  const std::uint16_t type = le16_at(metadata + 14);
  const std::span<const std::uint8_t> packet(data + d.packet_offset, d.packet_length);
  if (type == 1) {
    return packet.size() >= 14 ? packet : std::span<const std::uint8_t>{};
  }
  if (type == 2) {
    const std::size_t n = wifi_to_ethernet(packet, scratch);
    return std::span<const std::uint8_t>(scratch.data(), n);
  }
  return {};
}

}  // namespace norvane::pktmon
