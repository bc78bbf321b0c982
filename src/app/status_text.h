// Texts of the status band and how its width is shared out, without the
// window system.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "app/layout_logic.h"
#include "model/device_table.h"

namespace norvane {

inline constexpr std::size_t kCategoryCount = 6;

// Decimal digits grouped by three with U+202F (narrow no-break space).
std::u16string format_count(std::uint64_t value);

struct StatusTexts {
  std::u16string long_form;
  std::u16string short_form;
};

// "Urządzenia 12 · Hikvision 3 · …" and "Urz. 12 · Hik 3 · …", followed,
// when `to_check` is not 0, by " · Do sprawdzenia N" and " · Spr. N".
StatusTexts device_count_texts(const std::array<std::uint64_t, kCategoryCount>& counts,
                               std::uint64_t to_check = 0);

// "Pakiety 1 234 · Bajty 567 890" and "Pak. 1 234 · 567 890 B".
StatusTexts traffic_texts(std::uint64_t packets, std::uint64_t bytes);

// The non-empty parts joined with two spaces, U+00B7 and two spaces.
std::u16string join_messages(std::span<const std::u16string> parts);

// The middle text: the messages joined as above, or, when none is shown,
// `lasting_line` (empty for none).
std::u16string status_message(std::span<const std::u16string> parts,
                              std::u16string_view lasting_line);

// The lasting line while discovery probes alone: why capture does not run.
// After a capture back-end failed while running, that failure (rights or
// drivers are then not the cause); otherwise what full discovery needs.
std::u16string_view probing_alone_line(bool capture_failed) noexcept;

// The notice while the vendor database downloads: the worker's text (or
// "Pobieranie bazy VENDOR"), then the received and announced byte counts.
std::u16string download_notice(std::u16string_view text, std::uint64_t received,
                               std::uint64_t total);

// The list items whose shown row exists (the items of rows and of address
// groups), in one pass: per maker category, and those whose shown row has a
// state ("Stan").
struct ShownCounts {
  std::array<std::uint64_t, kCategoryCount> makers{};
  std::uint64_t to_check = 0;
};
ShownCounts count_shown(const DeviceTable& table);

// Devices shown in the list per maker category (count_shown's makers).
std::array<std::uint64_t, kCategoryCount> count_shown_devices(const DeviceTable& table);

// Widths of the four count texts and the message as measured (0 for empty).
struct StatusWidths {
  int devices_long = 0;
  int devices_short = 0;
  int traffic_long = 0;
  int traffic_short = 0;
  int message = 0;  // 0 when there is no message
};

struct StatusPlan {
  bool devices_long = true;
  bool traffic_long = true;
  Rect left;
  Rect middle;
  Rect right;
};

// Width (at 96 DPI) of the message that the counts leave free before they
// take their long forms: a note or notice of about sixty characters stays
// whole at the default window width.
inline constexpr int kMessageRoom = 400;

// Chooses long or short forms and places the three texts in the band.
StatusPlan plan_status_band(const Rect& band, int dpi, const StatusWidths& widths);

// Width used for a text that could not be measured.
int unmeasured_text_width(std::size_t characters, int dpi) noexcept;

}  // namespace norvane
