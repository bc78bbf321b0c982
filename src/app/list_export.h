// The device list as it leaves the program: tab-separated text for the
// clipboard and CSV files, both with the list's columns, a header line and
// the items in the order given (the list's order on screen).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "model/device_table.h"

namespace norvane {

// The column headers of the list, which are also the export's first line.
inline constexpr std::array<std::u16string_view, kColumnCount> kColumnHeaders = {
    u"Adres IP",     u"Adres MAC",          u"VENDOR",     u"Nazwa",
    u"Model / opis", u"Protok\u00F3\u0142", u"Informacje", u"Stan"};

inline constexpr std::u16string_view kSaveCsvWarning =
    u"Nie uda\u0142o si\u0119 zapisa\u0107 pliku CSV";

// True when a spreadsheet would take the text for a formula: it starts with
// "=", "+", "-", "@", a tab or a carriage return. Such cells are written with
// a leading apostrophe.
bool looks_like_formula(std::u16string_view text) noexcept;

// Tab-separated text: the header line, then one line per entry of `order`
// (row indices; those out of range are skipped), every line ending in CRLF.
// A cell holding a quote, tab, CR or LF is quoted as in CSV.
std::u16string table_tsv(std::span<const DeviceRow> rows, std::span<const std::size_t> order);

// A CSV file: UTF-8 byte order mark, the header line, then one record per
// entry of `order`; cells separated by `separator` and quoted as RFC 4180
// quotes them (a cell holding the separator, a quote or a line break), CRLF
// after every record. Files meant for other programs use ","; the window
// uses the user's list separator, which spreadsheets split by when they
// open the file.
std::string table_csv(std::span<const DeviceRow> rows, std::span<const std::size_t> order,
                      char16_t separator);

// The CSV separator for the system's list separator text: that character
// when it is a single printable character other than the quote, else ",".
char16_t csv_separator(std::u16string_view list_separator) noexcept;

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string utf16_to_utf8(std::u16string_view text);
void append_utf8(std::string& out, std::u16string_view text);

// "urzadzenia-YYYY-MM-DD.csv".
std::u16string csv_file_name(int year, int month, int day);

// The warning after a failed save: the system's text for the error (its
// trailing line break and full stop dropped), then " (kod N).".
std::u16string csv_save_failure(std::u16string_view system_text, std::uint32_t code);

}  // namespace norvane
