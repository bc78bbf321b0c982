// Small, tolerant scanners for the text-based discovery messages (XML, JSON,
// address texts) and the cleaning rule for every decoded text. They work on
// views into the payload, never allocate for the document and give empty
// results instead of errors.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace norvane {

inline constexpr std::size_t kCleanTextLimit = 192;
inline constexpr int kJsonNestingLimit = 16;

// Without leading and trailing space, tab, CR and LF.
std::string_view trim(std::string_view text) noexcept;

// Cut at the first zero byte, trimmed, at most 192 bytes, bytes below 0x21
// and 0x7F replaced by spaces.
std::string clean_text(std::string_view text);

// True when clean_text would give an empty text: nothing but bytes it
// shows as spaces before the first zero byte. Allocates nothing.
bool cleans_to_empty(std::string_view text) noexcept;

// Raw content of the first element (in document order) with the given local
// name, or empty. With allow_open, an element whose closing tag is missing
// gives the rest of the text.
std::string_view xml_element(std::string_view text, std::string_view local_name,
                             bool allow_open = false) noexcept;

// Content with the five predefined entities decoded once, then cleaned.
std::string xml_text(std::string_view content);

// Length of the JSON value at the start of the view, or nullopt.
std::optional<std::size_t> json_value_length(std::string_view text) noexcept;

// Raw text of the first member of an object with this key (strings keep
// their quotes), or empty.
std::string_view json_member(std::string_view object, std::string_view key) noexcept;

// The members of one object with several keys, in one walk: values[k] gets
// what json_member(object, keys[k]) gives (values holds one view per key).
void json_members(std::string_view object, std::span<const std::string_view> keys,
                  std::span<std::string_view> values) noexcept;

// Where the objects and arrays inside one JSON value end, noted during the
// one scan that also gives the value's length. Member lookups given the
// index take the length of a nested object or array from it instead of
// scanning it again, with exactly the results of the lookups without it.
// A decoder that checks a message with json_value_length and then looks up
// members level by level scans each nested level once instead of once per
// level. The index refers to the value's bytes, which must stay unchanged
// while it is used.
class JsonIndex {
 public:
  static constexpr std::size_t kCapacity = 64;  // objects and arrays noted

  explicit JsonIndex(std::string_view value) noexcept;

  // json_value_length of the value.
  std::optional<std::size_t> length() const noexcept;

  // Length of the object or array that opens at `at` inside the value, or
  // npos when the scan noted none there (a '{' or '[' inside a string, one
  // beyond the first kCapacity, or a value that did not scan).
  std::size_t container_length(const char* at) const noexcept;

 private:
  friend class JsonIndexRecorder;

  const char* text_ = nullptr;
  std::size_t length_ = std::string_view::npos;
  std::size_t count_ = 0;
  std::uint32_t open_[kCapacity] = {};  // offsets, ascending
  std::uint32_t close_[kCapacity] = {};
};

// json_member and json_members inside a value with an index of that value
// (objects anywhere else are scanned as usual).
std::string_view json_member(std::string_view object, std::string_view key,
                             const JsonIndex& index) noexcept;
void json_members(std::string_view object, std::span<const std::string_view> keys,
                  std::span<std::string_view> values, const JsonIndex& index) noexcept;

// A raw JSON string value decoded and cleaned, or empty.
std::string json_string(std::string_view raw);

// "00-1a-2b-3c-4d-5e" or with ':' (mixed allowed) to "00:1A:2B:3C:4D:5E";
// empty for anything else and for group or all-zero addresses.
std::string parse_mac_text(std::string_view text);

// IPv4 or IPv6 text to the canonical address text, or empty (also for
// unspecified, loopback and multicast addresses).
std::string parse_ip_text(std::string_view text);

}  // namespace norvane
