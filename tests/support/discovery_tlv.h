// MikroTik MNDP and Ubiquiti discovery messages, built record by record.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "support/message_bytes.h"

namespace norvane::test {

// MNDP record: 16-bit type, 16-bit length, value.
inline std::string mndp_tlv(std::uint16_t type, std::string_view value) {
  return be16(type) + be16(value.size()) + std::string(value);
}

// Ubiquiti record: 8-bit type, 16-bit length, value.
inline std::string ubnt_tlv(std::uint8_t type, std::string_view value) {
  return std::string(1, static_cast<char>(type)) + be16(value.size()) + std::string(value);
}

// Ubiquiti header (version 2, command 6 unless given) in front of records.
inline std::string ubnt(std::string_view tlvs, std::uint8_t version = 2, std::uint8_t command = 6) {
  return std::string{static_cast<char>(version), static_cast<char>(command)} + be16(tlvs.size()) +
         std::string(tlvs);
}

}  // namespace norvane::test
