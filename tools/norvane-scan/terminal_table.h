// The device list as a terminal table: the list's eight columns fitted to
// the terminal's width, one line per list item, in the maker's colour, and
// the status band's texts as the last line. No terminal calls here: the
// caller measures the width and decides about colour.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/device_table.h"

namespace norvane::tool {

inline constexpr int kColumnGap = 2;  // spaces between columns

// Characters a UTF-8 text takes on a terminal: one per code point (the
// list's texts are Latin and Polish; no double-width handling).
std::size_t display_width(std::string_view utf8);

// The text cut to at most `width` characters, the last one "…" when cut.
std::string fit_text(std::string_view utf8, std::size_t width);

// Column widths for texts of the given natural widths (header and longest
// cell of each column) on a terminal `terminal_width` characters wide; 0
// means no limit. Everything fits: the natural widths. Otherwise the
// address and MAC columns keep theirs while room is left for the others,
// then the state column takes what it needs of the room the others' floors
// leave; the rest is shared fairly (a column that needs less than an equal
// share keeps its width), at least three characters each; the last of them
// takes the remainder.
std::array<std::size_t, kColumnCount> fit_columns(
    const std::array<std::size_t, kColumnCount>& natural, std::size_t terminal_width);

struct TableOptions {
  std::size_t width = 0;    // terminal columns; 0: no limit
  bool colour = false;      // ANSI colours (maker accent, bold header)
  bool true_colour = true;  // 24-bit accents; else the 256-colour palette
  bool english = false;     // English headers and states; else the list's own
};

// The header line and one line per row in `order`, each ending in "\n", and
// the status line last.
std::string render_table(std::span<const DeviceRow> rows, std::span<const std::size_t> order,
                         std::string_view status_line, const TableOptions& options);

// The status line: device counts per maker, the packet and byte counters
// and the status messages, as the window's status band words them, or in
// English.
std::string status_line(const DeviceTable& table, std::uint64_t packets, std::uint64_t bytes,
                        std::span<const std::u16string> messages, bool english = false);

}  // namespace norvane::tool
