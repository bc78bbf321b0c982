#include "app/status_text.h"

#include <algorithm>

#include "capture/capture_control.h"

namespace norvane {

namespace {

constexpr char16_t kNarrowSpace = u'\u202F';
constexpr std::u16string_view kDot = u" \u00B7 ";
constexpr std::u16string_view kWideDot = u"  \u00B7  ";

// Long names are the filter tab texts without "IPv6"; short forms are found
// by name, and a name without a short form ("Dahua") is used as it is.
constexpr std::array<std::u16string_view, kCategoryCount> kCategoryNames = {
    u"Hikvision", u"Dahua", u"Ubiquiti", u"MikroTik", u"Espressif", u"Pozosta\u0142e"};

struct ShortName {
  std::u16string_view name;
  std::u16string_view short_form;
};
constexpr std::array<ShortName, 5> kShortNames = {{{u"Hikvision", u"Hik"},
                                                   {u"Ubiquiti", u"UBNT"},
                                                   {u"MikroTik", u"MT"},
                                                   {u"Espressif", u"ESP"},
                                                   {u"Pozosta\u0142e", u"Inne"}}};

std::u16string_view short_name(std::u16string_view name) noexcept {
  for (const auto& entry : kShortNames) {
    if (entry.name == name) return entry.short_form;
  }
  return name;
}

}  // namespace

std::u16string format_count(std::uint64_t value) {
  std::u16string digits;
  do {
    digits.push_back(static_cast<char16_t>(u'0' + value % 10));
    value /= 10;
  } while (value != 0);
  std::u16string out;
  out.reserve(digits.size() + digits.size() / 3);
  for (std::size_t i = digits.size(); i-- > 0;) {
    out.push_back(digits[i]);
    if (i != 0 && i % 3 == 0) out.push_back(kNarrowSpace);
  }
  return out;
}

StatusTexts device_count_texts(const std::array<std::uint64_t, kCategoryCount>& counts,
                               std::uint64_t to_check) {
  std::uint64_t total = 0;
  for (const auto c : counts) total += c;
  StatusTexts out;
  out.long_form = u"Urz\u0105dzenia " + format_count(total);
  out.short_form = u"Urz. " + format_count(total);
  for (std::size_t i = 0; i < kCategoryCount; ++i) {
    const std::u16string count = format_count(counts[i]);
    out.long_form.append(kDot).append(kCategoryNames[i]).append(u" ").append(count);
    out.short_form.append(kDot).append(short_name(kCategoryNames[i])).append(u" ").append(count);
  }
  if (to_check != 0) {
    const std::u16string count = format_count(to_check);
    out.long_form.append(kDot).append(u"Do sprawdzenia ").append(count);
    out.short_form.append(kDot).append(u"Spr. ").append(count);
  }
  return out;
}

StatusTexts traffic_texts(std::uint64_t packets, std::uint64_t bytes) {
  StatusTexts out;
  out.long_form = u"Pakiety " + format_count(packets);
  out.long_form.append(kDot).append(u"Bajty ").append(format_count(bytes));
  out.short_form = u"Pak. " + format_count(packets);
  out.short_form.append(kDot).append(format_count(bytes)).append(u" B");
  return out;
}

std::u16string join_messages(std::span<const std::u16string> parts) {
  std::u16string out;
  for (const auto& part : parts) {
    if (part.empty()) continue;
    if (!out.empty()) out.append(kWideDot);
    out.append(part);
  }
  return out;
}

std::u16string status_message(std::span<const std::u16string> parts,
                              std::u16string_view lasting_line) {
  std::u16string out = join_messages(parts);
  if (out.empty()) out = lasting_line;
  return out;
}

std::u16string_view probing_alone_line(bool capture_failed) noexcept {
  return capture_failed ? kCaptureStoppedStatus : kProbingAloneStatus;
}

std::u16string download_notice(std::u16string_view text, std::uint64_t received,
                               std::uint64_t total) {
  std::u16string out(text.empty() ? std::u16string_view(u"Pobieranie bazy VENDOR") : text);
  if (received != 0) {
    out.append(kWideDot).append(format_count(received));
    if (total != 0) out.append(u" / ").append(format_count(total));
    out.append(u" B");
  }
  return out;
}

ShownCounts count_shown(const DeviceTable& table) {
  ShownCounts counts;
  const auto& rows = table.rows();
  const auto shown = [&](const ListItemLink& link) {
    if (link.empty() || link.shown_row >= rows.size()) return;
    const DeviceRow& row = rows[static_cast<std::size_t>(link.shown_row)];
    const std::int32_t category = row.category;
    const std::size_t slot = category >= 0 && category < static_cast<std::int32_t>(kCategoryCount)
                                 ? static_cast<std::size_t>(category)
                                 : kCategoryCount - 1;
    ++counts.makers[slot];
    counts.to_check += row.state != 0 ? 1 : 0;
  };
  // A row's own item: a row without address, or one of several devices at
  // one address.
  for (const auto& row : rows) shown(row.item);
  for (const auto& [key, group] : table.groups()) shown(group.item);
  return counts;
}

std::array<std::uint64_t, kCategoryCount> count_shown_devices(const DeviceTable& table) {
  return count_shown(table).makers;
}

StatusPlan plan_status_band(const Rect& band, int dpi, const StatusWidths& widths) {
  const auto s = [&](int v) { return scale_px(v, dpi); };
  StatusPlan plan;
  const int w = band.width;
  const int gap = std::min(s(8), w);
  int reserve = gap;
  if (widths.message > 0) reserve += std::min(widths.message, s(kMessageRoom)) + gap;
  const int available = w - reserve;

  plan.devices_long = widths.devices_long + widths.traffic_long <= available;
  int devices = plan.devices_long ? widths.devices_long : widths.devices_short;
  plan.traffic_long = devices + widths.traffic_long <= available;
  int traffic = plan.traffic_long ? widths.traffic_long : widths.traffic_short;

  // Too narrow even for the chosen forms: the traffic text gets at most two
  // fifths and the device counts the rest.
  const int inner = w - gap;
  if (devices + traffic > inner) traffic = std::min(traffic, mul_div(inner, 2, 5));
  devices = std::max(std::min(devices, inner - traffic), 0);
  traffic = std::max(traffic, 0);

  plan.left = {band.x, band.y, devices, band.height};
  plan.right = {band.right() - traffic, band.y, traffic, band.height};
  const int middle_left = band.x + devices + gap;
  const int middle_right = band.right() - traffic - gap;
  plan.middle = {middle_left, band.y, std::max(middle_right - middle_left, 0), band.height};
  return plan;
}

int unmeasured_text_width(std::size_t characters, int dpi) noexcept {
  return static_cast<int>(std::min<std::size_t>(characters, 1u << 20)) * scale_px(7, dpi);
}

}  // namespace norvane
