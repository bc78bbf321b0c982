// Parsers of the downloaded vendor registries: the IEEE registration
// authority's CSV files (MA-L, MA-M, MA-S, IAB) and the Wireshark project's
// manufacturer file.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "vendors/vendor_table.h"

namespace norvane {

inline constexpr std::size_t kRegistryMaxSize = 16u * 1024u * 1024u;
inline constexpr std::size_t kCsvFieldMax = 8192;

using CsvRecord = std::array<std::string, 4>;

// Reads one CSV record of exactly four fields from the front of text and
// advances text past it (and past its line end). False on any malformed
// record; the fields and text are then unspecified.
bool read_csv_record(std::string_view& text, CsvRecord& fields);

// Merges every entry of one IEEE registry file (prefix length 24, 28 or 36)
// into target, replacing names of keys already there. False, with target
// unchanged, when any record is malformed or the file holds no entry.
bool parse_ieee_csv(VendorTable& target, std::string_view text, unsigned bits);

// Replaces target's contents with the entries of a manufacturer file. False,
// with target unchanged, when any line is malformed or one of the three
// prefix lengths is missing.
bool parse_manuf(VendorTable& target, std::string_view text);

}  // namespace norvane
