// Checked reads over untrusted bytes. Every read checks the remaining length
// first (as `n > size - offset`, which cannot overflow); a failed read sets a
// sticky flag and yields zeros or an empty span, so a decoder can read a whole
// header and test ok() once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace norvane {

class ByteReader {
 public:
  ByteReader() = default;
  explicit ByteReader(std::span<const std::uint8_t> bytes) noexcept : bytes_(bytes) {}
  ByteReader(const std::uint8_t* data, std::size_t size) noexcept : bytes_(data, size) {}

  bool ok() const noexcept { return ok_; }
  std::size_t offset() const noexcept { return offset_; }
  std::size_t size() const noexcept { return bytes_.size(); }
  std::size_t remaining() const noexcept { return ok_ ? bytes_.size() - offset_ : 0; }
  bool has(std::size_t n) const noexcept { return ok_ && n <= bytes_.size() - offset_; }
  std::span<const std::uint8_t> rest() const noexcept {
    return ok_ ? bytes_.subspan(offset_) : std::span<const std::uint8_t>{};
  }

  std::uint8_t u8() noexcept {
    if (!need(1)) return 0;
    return bytes_[offset_++];
  }
  std::uint16_t be16() noexcept {
    if (!need(2)) return 0;
    const std::uint16_t v =
        static_cast<std::uint16_t>((bytes_[offset_] << 8) | bytes_[offset_ + 1]);
    offset_ += 2;
    return v;
  }
  std::uint16_t le16() noexcept {
    if (!need(2)) return 0;
    const std::uint16_t v =
        static_cast<std::uint16_t>(bytes_[offset_] | (bytes_[offset_ + 1] << 8));
    offset_ += 2;
    return v;
  }
  std::uint32_t be32() noexcept {
    if (!need(4)) return 0;
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v = (v << 8) | bytes_[offset_ + i];
    offset_ += 4;
    return v;
  }
  std::uint32_t le32() noexcept {
    if (!need(4)) return 0;
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | bytes_[offset_ + i];
    offset_ += 4;
    return v;
  }
  std::span<const std::uint8_t> bytes(std::size_t n) noexcept {
    if (!need(n)) return {};
    auto s = bytes_.subspan(offset_, n);
    offset_ += n;
    return s;
  }
  std::string_view text(std::size_t n) noexcept {
    auto s = bytes(n);
    return {reinterpret_cast<const char*>(s.data()), s.size()};
  }
  void skip(std::size_t n) noexcept {
    if (need(n)) offset_ += n;
  }
  // Limits the reader to the next n bytes (a message's own length field).
  void shrink_to(std::size_t n) noexcept {
    if (need(n)) bytes_ = bytes_.first(offset_ + n);
  }

 private:
  bool need(std::size_t n) noexcept {
    if (!ok_ || n > bytes_.size() - offset_) {
      ok_ = false;
      return false;
    }
    return true;
  }

  std::span<const std::uint8_t> bytes_;
  std::size_t offset_ = 0;
  bool ok_ = true;
};

inline std::string_view as_text(std::span<const std::uint8_t> s) noexcept {
  return {reinterpret_cast<const char*>(s.data()), s.size()};
}

}  // namespace norvane
