#include "terminal_table.h"

#include <algorithm>
#include <numeric>

#include "app/list_export.h"
#include "app/status_text.h"
#include "capture/capture_control.h"
#include "ui/theme_logic.h"

namespace norvane::tool {

namespace {

constexpr std::size_t kMinimumShared = 3;
constexpr std::string_view kEllipsis = "\xE2\x80\xA6";  // U+2026
constexpr std::string_view kReset = "\x1b[0m";
constexpr std::string_view kBold = "\x1b[1m";

// The list's headers and state texts in English, the language of a Linux
// tool unless the locale asks for Polish.
constexpr std::array<std::string_view, kColumnCount> kEnglishHeaders = {
    "IP address",          "MAC address", "Vendor",      "Name",
    "Model / description", "Protocols",   "Information", "State"};
constexpr std::array<std::string_view, kStateCount> kEnglishStates = {
    "not activated", "outside subnet",         "IP conflict",
    "mask differs",  "gateway outside subnet", "gone"};
constexpr std::array<std::string_view, kCategoryCount> kEnglishCategories = {
    "Hikvision", "Dahua", "Ubiquiti", "MikroTik", "Espressif", "Others"};
constexpr std::string_view kDot = " \u00B7 ";
constexpr std::string_view kWideDot = "  \u00B7  ";

// The capture control's messages a Linux run can show.
struct Message {
  std::u16string_view polish;
  std::string_view english;
};
constexpr Message kEnglishMessages[] = {
    {kNoIpv4Status, "discovery over UDP needs an IPv4 address on the adapter"},
    {kNoSocketStatus, "cannot open a network socket on this adapter"},
    {kNoActiveSearchStatus, "active search unavailable on this adapter"},
    {kSendFailedStatus, "sending the requests failed"},
};

std::string english_state(std::uint8_t state) {
  std::string out;
  for (std::size_t bit = 0; bit < kStateCount; ++bit) {
    if ((state & (1u << bit)) == 0) continue;
    if (!out.empty()) out += ", ";
    out += kEnglishStates[bit];
  }
  return out;
}

bool continuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// The nearest of the 6x6x6 colour cube of the 256-colour palette.
int cube_index(int r, int g, int b) {
  const auto level = [](int v) { return v < 48 ? 0 : v < 115 ? 1 : (v - 35) / 40; };
  return 16 + 36 * level(r) + 6 * level(g) + level(b);
}

std::string accent_escape(int accent_index, bool true_colour) {
  const auto& accent = row_colors(accent_index).accent;
  if (!accent) return {};
  if (!true_colour) {
    return "\x1b[38;5;" + std::to_string(cube_index(accent->r, accent->g, accent->b)) + "m";
  }
  return "\x1b[38;2;" + std::to_string(accent->r) + ";" + std::to_string(accent->g) + ";" +
         std::to_string(accent->b) + "m";
}

// Device texts reach a terminal: no control character may pass (they are
// spaces in the list already; this holds whatever the source).
std::string terminal_text(std::u16string_view text) {
  std::u16string safe(text);
  for (char16_t& c : safe) {
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) c = u' ';
  }
  return utf16_to_utf8(safe);
}

void append_cell(std::string& line, std::string_view text, std::size_t width, bool last) {
  const std::string cell = fit_text(text, width);
  line += cell;
  if (last) return;
  line.append(width - display_width(cell) + kColumnGap, ' ');
}

}  // namespace

std::size_t display_width(std::string_view utf8) {
  std::size_t n = 0;
  for (const char c : utf8) n += continuation(static_cast<unsigned char>(c)) ? 0 : 1;
  return n;
}

std::string fit_text(std::string_view utf8, std::size_t width) {
  if (display_width(utf8) <= width) return std::string(utf8);
  if (width == 0) return {};
  // Keep width - 1 characters, never splitting one.
  std::size_t kept = 0;
  std::size_t end = 0;
  while (end < utf8.size()) {
    std::size_t next = end + 1;
    while (next < utf8.size() && continuation(static_cast<unsigned char>(utf8[next]))) ++next;
    if (kept + 1 > width - 1) break;
    ++kept;
    end = next;
  }
  std::string out(utf8.substr(0, end));
  out += kEllipsis;
  return out;
}

std::array<std::size_t, kColumnCount> fit_columns(
    const std::array<std::size_t, kColumnCount>& natural, std::size_t terminal_width) {
  const std::size_t gaps = kColumnGap * (kColumnCount - 1);
  const std::size_t total = std::accumulate(natural.begin(), natural.end(), gaps);
  if (terminal_width == 0 || total <= terminal_width) return natural;

  std::array<std::size_t, kColumnCount> widths{};
  const std::size_t room = terminal_width > gaps ? terminal_width - gaps : 0;
  const auto floor_of = [&](std::size_t column) {
    return std::min(natural[column], kMinimumShared);
  };
  std::size_t shared_floor = 0;
  for (std::size_t c = kColMac + 1; c < kColumnCount; ++c) {
    if (c != kColState) shared_floor += floor_of(c);
  }
  // The address and the MAC identify a device: they stay whole while the
  // other columns keep their floor. The state says what needs a look: it
  // comes next, taking what the floors of the others leave.
  std::size_t fixed = natural[kColIp] + natural[kColMac];
  bool state_kept = false;
  if (fixed + floor_of(kColState) + shared_floor <= room) {
    widths[kColIp] = natural[kColIp];
    widths[kColMac] = natural[kColMac];
    widths[kColState] = std::min(natural[kColState], room - fixed - shared_floor);
    fixed += widths[kColState];
    state_kept = true;
  } else {
    shared_floor += floor_of(kColState);
    const std::size_t left = room > shared_floor ? room - shared_floor : 0;
    widths[kColIp] = fixed == 0 ? 0 : std::min(natural[kColIp], left * natural[kColIp] / fixed);
    widths[kColMac] = std::min(natural[kColMac], left - widths[kColIp]);
    fixed = widths[kColIp] + widths[kColMac];
  }
  // The other columns share the rest fairly: one that needs less than an
  // equal share keeps its natural width, the others split what is left
  // evenly, and the last of them takes the remainder.
  std::size_t rest = room > fixed ? room - fixed : 0;
  std::vector<std::size_t> open;
  for (std::size_t c = kColMac + 1; c < kColumnCount; ++c) {
    if (c != kColState || !state_kept) open.push_back(c);
  }
  for (bool settled = false; !settled && !open.empty();) {
    settled = true;
    const std::size_t fair = rest / open.size();
    for (auto it = open.begin(); it != open.end();) {
      if (natural[*it] > fair) {
        ++it;
        continue;
      }
      widths[*it] = natural[*it];
      rest -= natural[*it];
      it = open.erase(it);
      settled = false;
    }
  }
  for (std::size_t i = 0; i < open.size(); ++i) {
    const std::size_t share = rest / open.size();
    const std::size_t remainder = i + 1 == open.size() ? rest - share * open.size() : 0;
    widths[open[i]] = std::max(share + remainder, floor_of(open[i]));
  }
  return widths;
}

std::string render_table(std::span<const DeviceRow> rows, std::span<const std::size_t> order,
                         std::string_view status, const TableOptions& options) {
  std::array<std::string, kColumnCount> headers;
  std::array<std::size_t, kColumnCount> natural{};
  for (std::size_t c = 0; c < kColumnCount; ++c) {
    headers[c] =
        options.english ? std::string(kEnglishHeaders[c]) : utf16_to_utf8(kColumnHeaders[c]);
    natural[c] = display_width(headers[c]);
  }
  std::vector<std::array<std::string, kColumnCount>> cells;
  cells.reserve(order.size());
  for (const std::size_t index : order) {
    if (index >= rows.size()) continue;
    auto& line = cells.emplace_back();
    for (std::size_t c = 0; c < kColumnCount; ++c) {
      line[c] = options.english && c == kColState ? english_state(rows[index].state)
                                                  : terminal_text(rows[index].columns[c]);
      natural[c] = std::max(natural[c], display_width(line[c]));
    }
  }
  const auto widths = fit_columns(natural, options.width);

  std::string out;
  const auto emit = [&](const std::array<std::string, kColumnCount>& texts,
                        std::string_view escape) {
    std::string line;
    for (std::size_t c = 0; c < kColumnCount; ++c) {
      append_cell(line, texts[c], widths[c], c + 1 == kColumnCount);
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    if (!escape.empty()) out += escape;
    out += line;
    if (!escape.empty()) out += kReset;
    out += '\n';
  };
  emit(headers, options.colour ? kBold : std::string_view{});
  std::size_t shown = 0;
  for (const std::size_t index : order) {
    if (index >= rows.size()) continue;
    emit(cells[shown++], options.colour
                             ? accent_escape(rows[index].accent_index, options.true_colour)
                             : std::string{});
  }
  std::string last(status);
  if (options.width != 0) last = fit_text(last, options.width);
  out += last;
  out += '\n';
  return out;
}

std::string status_line(const DeviceTable& table, std::uint64_t packets, std::uint64_t bytes,
                        std::span<const std::u16string> messages, bool english) {
  if (english) {
    const ShownCounts shown = count_shown(table);
    const auto& counts = shown.makers;
    std::uint64_t total = 0;
    for (const auto c : counts) total += c;
    std::string out = "Devices " + std::to_string(total);
    for (std::size_t i = 0; i < kCategoryCount; ++i) {
      out.append(kDot).append(kEnglishCategories[i]).append(" ").append(std::to_string(counts[i]));
    }
    if (shown.to_check != 0) {
      out.append(kDot).append("To check ").append(std::to_string(shown.to_check));
    }
    out.append(kWideDot).append("Packets ").append(std::to_string(packets));
    out.append(kDot).append("Bytes ").append(std::to_string(bytes));
    for (const auto& m : messages) {
      if (m.empty()) continue;
      const auto known = std::find_if(std::begin(kEnglishMessages), std::end(kEnglishMessages),
                                      [&](const Message& e) { return e.polish == m; });
      out.append(kWideDot).append(known != std::end(kEnglishMessages) ? std::string(known->english)
                                                                      : utf16_to_utf8(m));
    }
    return out;
  }
  std::vector<std::u16string> parts;
  const ShownCounts shown = count_shown(table);
  parts.push_back(device_count_texts(shown.makers, shown.to_check).long_form);
  parts.push_back(traffic_texts(packets, bytes).long_form);
  for (const auto& m : messages) parts.push_back(m);
  return utf16_to_utf8(join_messages(parts));
}

}  // namespace norvane::tool
