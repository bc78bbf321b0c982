#include "app/list_export.h"

namespace norvane {
namespace {

// Cell texts come from the wire. The display conversion has already turned
// control characters into spaces, but the writers do not rely on it: a cell
// is quoted whenever it holds the separator, a quote or a line break.
bool needs_quotes(std::u16string_view text, char16_t separator) noexcept {
  for (const char16_t c : text) {
    if (c == separator || c == u'"' || c == u'\r' || c == u'\n') return true;
  }
  return false;
}

// Appends one cell: the apostrophe of the formula guard, then the text,
// quoted with doubled inner quotes when it has to be. The apostrophe goes
// inside the quotes, so that it is part of the cell's value.
template <typename Out, typename Append>
void append_cell(Out& out, std::u16string_view text, char16_t separator, Append append) {
  const bool guard = looks_like_formula(text);
  if (!needs_quotes(text, separator)) {
    if (guard) append(out, u"'");
    append(out, text);
    return;
  }
  append(out, u"\"");
  if (guard) append(out, u"'");
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != u'"') continue;
    append(out, text.substr(start, i + 1 - start));
    append(out, u"\"");
    start = i + 1;
  }
  append(out, text.substr(start));
  append(out, u"\"");
}

template <typename Out, typename Append>
void append_table(Out& out, std::span<const DeviceRow> rows, std::span<const std::size_t> order,
                  char16_t separator, Append append) {
  const std::u16string_view separator_text(&separator, 1);
  for (int c = 0; c < kColumnCount; ++c) {
    if (c != 0) append(out, separator_text);
    append_cell(out, kColumnHeaders[static_cast<std::size_t>(c)], separator, append);
  }
  append(out, u"\r\n");
  for (const std::size_t index : order) {
    if (index >= rows.size()) continue;
    const DeviceRow& row = rows[index];
    for (std::size_t c = 0; c < row.columns.size(); ++c) {
      if (c != 0) append(out, separator_text);
      append_cell(out, row.columns[c], separator, append);
    }
    append(out, u"\r\n");
  }
}

void append_code_point(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// A rough size of the output, so that a long list is built without
// repeated reallocation: the header plus the texts and separators.
std::size_t estimated_units(std::span<const DeviceRow> rows, std::span<const std::size_t> order) {
  std::size_t units = 128;
  for (const std::size_t index : order) {
    if (index >= rows.size()) continue;
    units += 16;
    for (const auto& text : rows[index].columns) units += text.size();
  }
  return units;
}

void append_number(std::u16string& out, std::uint64_t value, int min_digits) {
  char16_t digits[20];
  int n = 0;
  do {
    digits[n++] = static_cast<char16_t>(u'0' + value % 10);
    value /= 10;
  } while (value != 0 && n < 20);
  for (int i = n; i < min_digits; ++i) out += u'0';
  while (n > 0) out += digits[--n];
}

}  // namespace

bool looks_like_formula(std::u16string_view text) noexcept {
  if (text.empty()) return false;
  switch (text.front()) {
    case u'=':
    case u'+':
    case u'-':
    case u'@':
    case u'\t':
    case u'\r':
      return true;
    default:
      return false;
  }
}

void append_utf8(std::string& out, std::u16string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if (unit < 0x80) {
      out += static_cast<char>(unit);
    } else if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
               text[i + 1] <= 0xDFFF) {
      append_code_point(out, 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) +
                                 (static_cast<char32_t>(text[i + 1]) - 0xDC00));
      ++i;
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
      append_code_point(out, 0xFFFD);
    } else {
      append_code_point(out, unit);
    }
  }
}

std::string utf16_to_utf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  append_utf8(out, text);
  return out;
}

std::u16string table_tsv(std::span<const DeviceRow> rows, std::span<const std::size_t> order) {
  std::u16string out;
  out.reserve(estimated_units(rows, order));
  append_table(out, rows, order, u'\t',
               [](std::u16string& o, std::u16string_view text) { o.append(text); });
  return out;
}

std::string table_csv(std::span<const DeviceRow> rows, std::span<const std::size_t> order,
                      char16_t separator) {
  std::string out;
  out.reserve(estimated_units(rows, order) + estimated_units(rows, order) / 4);
  out += "\xEF\xBB\xBF";  // so that spreadsheets read the file as UTF-8
  append_table(out, rows, order, csv_separator(std::u16string_view(&separator, 1)),
               [](std::string& o, std::u16string_view text) { append_utf8(o, text); });
  return out;
}

char16_t csv_separator(std::u16string_view list_separator) noexcept {
  if (list_separator.size() != 1) return u',';
  const char16_t c = list_separator.front();
  // Control characters, line breaks among them, would split records, and
  // a quote would open a quoted cell; a lone surrogate is no character.
  const bool printable =
      c >= 0x20 && c != 0x7F && !(c >= 0x80 && c < 0xA0) && !(c >= 0xD800 && c <= 0xDFFF);
  return printable && c != u'"' ? c : u',';
}

std::u16string csv_file_name(int year, int month, int day) {
  std::u16string out = u"urzadzenia-";
  const auto part = [&](int value, int digits) {
    append_number(out, static_cast<std::uint64_t>(value < 0 ? 0 : value), digits);
  };
  part(year, 4);
  out += u'-';
  part(month, 2);
  out += u'-';
  part(day, 2);
  out += u".csv";
  return out;
}

std::u16string csv_save_failure(std::u16string_view system_text, std::uint32_t code) {
  // The system's texts end in a full stop and a line break; the message
  // ends in the code instead.
  while (!system_text.empty()) {
    const char16_t last = system_text.back();
    if (last != u'\r' && last != u'\n' && last != u' ' && last != u'.' && last != u'\t') break;
    system_text.remove_suffix(1);
  }
  while (!system_text.empty() && (system_text.front() == u' ' || system_text.front() == u'\t')) {
    system_text.remove_prefix(1);
  }
  std::u16string out(kSaveCsvWarning);
  if (!system_text.empty()) {
    out += u": ";
    out += system_text;
  }
  out += u" (kod ";
  append_number(out, code, 1);
  out += u").";
  return out;
}

}  // namespace norvane
