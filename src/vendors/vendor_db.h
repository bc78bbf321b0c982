// The vendor database file "mac-vendors.tsv".
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

#include "vendors/vendor_table.h"

namespace norvane {

inline constexpr std::string_view kVendorDbHeader = "# IEEE MAC vendor database v1";
inline constexpr std::string_view kVendorDbFileName = "mac-vendors.tsv";
inline constexpr std::size_t kVendorDbMaxSize = 16u * 1024u * 1024u;

// Parses a whole file's content into target, replacing its entries; on
// failure target is untouched.
bool parse_vendor_db(std::string_view content, VendorTable& target);
// The file's text for a table (header, entries by ascending key, upper-case
// hex, LF line ends). False, with out untouched, for an empty table, a text
// above 16 MiB, or an entry the file cannot hold.
bool format_vendor_db(const VendorTable& table, std::string& out);

// Reads the file at path (1 byte to 16 MiB) into target; false leaves target
// untouched.
bool load_vendor_db(VendorTable& target, const std::filesystem::path& path);
// Writes, flushes and closes the file at path; false when any step failed.
// An empty table fails before the file is touched.
bool save_vendor_db(const VendorTable& table, const std::filesystem::path& path);

// mac-vendors.tsv beside the running executable, or empty.
std::filesystem::path vendor_db_path();

// Platform file access: reads a whole file of 1..max_size bytes with one
// read (sharing read and delete access on Windows), closing it before
// returning; writes a whole file and flushes it to disk.
bool read_small_file(const std::filesystem::path& path, std::size_t max_size, std::string& out);
bool write_file_flushed(const std::filesystem::path& path, std::string_view content);

}  // namespace norvane
