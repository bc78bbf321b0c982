// The portable rules of the Packet Monitor back-end: which data source stands
// for the selected adapter, how a step's failure is described, and how one
// stream packet becomes the Ethernet frame handed to the frame callback.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "net/adapter.h"

namespace norvane::pktmon {

// Data source records, as the enumeration lays them out.
inline constexpr std::size_t kSourceSize = 424;
inline constexpr std::size_t kSourceNameOffset = 4;
inline constexpr std::size_t kSourceNameUnits = 64;
inline constexpr std::size_t kSourceDescriptionOffset = 132;
inline constexpr std::size_t kSourceDescriptionUnits = 128;
inline constexpr std::size_t kSourceFlagsOffset = 400;
inline constexpr std::size_t kSourceIdOffset = 408;
inline constexpr std::uint32_t kSourceHasGuid = 1u << 0;
inline constexpr std::uint32_t kSourceHasMac = 1u << 3;
// The list: a 32-bit count, then from offset 8 one 8-byte pointer per record.
inline constexpr std::size_t kListPointersOffset = 8;

inline constexpr std::size_t kEnumBufferSize = 65536;
inline constexpr std::size_t kEnumBufferLimit = 16777216;

// Real-time stream configuration values.
inline constexpr std::uint16_t kBufferSizeMultiplier = 4;
inline constexpr std::uint16_t kTruncationSize = 9000;
inline constexpr std::size_t kFrameBufferSize = 9000;
inline constexpr std::size_t kMaxEtherPayload = kFrameBufferSize - 12;

// Codes the back-end records or compares.
inline constexpr std::uint32_t kErrorAccessDenied = 0x80070005;
inline constexpr std::uint32_t kErrorPrivilegeNotHeld = 0x80070522;
inline constexpr std::uint32_t kErrorInvalidData = 0x8007000D;
inline constexpr std::uint32_t kStreamErrorAborted = 995;    // ERROR_OPERATION_ABORTED
inline constexpr std::uint32_t kStreamErrorException = 574;  // ERROR_UNHANDLED_EXCEPTION

// Two texts are equal when both are non-empty, have the same length and the
// comparison (case ignored) says so. The Windows layer passes the system's
// ordinal comparison; the default folds ASCII letters only.
using TextEquals = bool (*)(std::u16string_view a, std::u16string_view b);
bool ascii_equal_ignore_case(std::u16string_view a, std::u16string_view b);
bool texts_equal(std::u16string_view a, std::u16string_view b, TextEquals equals);

// What is known about the selected adapter when the data sources are scored.
struct AdapterIdentity {
  std::array<std::uint8_t, 16> guid{};  // as stored in memory
  std::u16string guid_text;             // "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"
  std::u16string interface_name;        // empty when unknown
  std::u16string description;           // the adapter's own description
  bool row_known = false;               // its interface row could be read
  std::uint32_t physical_length = 0;    // of the row
  MacBytes current_address{};           // of the row
  MacBytes permanent_address{};         // of the row
  bool description_unique = false;
};

// The GUID in braces, upper case, as the system formats interface GUIDs.
std::u16string guid_text(const std::array<std::uint8_t, 16>& guid);

// Text of a fixed field of `units` UTF-16 units at `offset` of a record: up to
// the first zero unit or the end of the field.
std::u16string record_text(std::span<const std::uint8_t> record, std::size_t offset,
                           std::size_t units);

// 0 to 4: how surely one data source record (kSourceSize bytes) is the adapter.
int score_source(std::span<const std::uint8_t> record, const AdapterIdentity& adapter,
                 TextEquals equals);

// True when the list's pointer array of the stated count fits its buffer.
bool list_fits(std::span<const std::uint8_t> buffer);

// The offset in `buffer` of the one record with the highest score above 0, or
// none when no record scores or two share the highest score. `base` is the
// address of buffer[0], against which the list's pointers are read; a pointer
// without a whole record behind it inside the buffer is skipped.
std::optional<std::size_t> choose_source(std::span<const std::uint8_t> buffer, std::uintptr_t base,
                                         const AdapterIdentity& adapter, TextEquals equals);

// A step's failure text: the step's text with the code, or the administrator
// text for the two access codes.
std::u16string describe_failure(std::u16string_view step, std::uint32_t code);

// Empty while the stream is healthy (error 0).
std::u16string stream_error_text(std::uint32_t error);

// The stream data descriptor as the API hands it to the data callback.
struct StreamDataDescriptor {
  const void* data;
  std::uint32_t data_size;
  std::uint32_t metadata_offset;
  std::uint32_t packet_offset;
  std::uint32_t packet_length;
};

// The Ethernet II frame of one 802.11 data frame, built into `out`; 0 when the
// frame is not delivered (not plain data, protected, fragmented, aggregated,
// without LLC/SNAP, too short or too long).
std::size_t wifi_to_ethernet(std::span<const std::uint8_t> packet,
                             std::span<std::uint8_t, kFrameBufferSize> out);

// The frame one stream packet delivers: a view of the stream's own bytes for an
// Ethernet packet, of `scratch` for a converted 802.11 frame, empty when
// nothing is delivered (a descriptor that does not hold together, an ignored
// packet, a frame too short).
std::span<const std::uint8_t> stream_frame(const StreamDataDescriptor* descriptor,
                                           std::span<std::uint8_t, kFrameBufferSize> scratch);

}  // namespace norvane::pktmon
