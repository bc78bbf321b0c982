// Plain versions of the text scanners: one byte at a time, each step written
// as the rule it follows, with no searching tricks, tables or stack buffers.
// The optimised scanners in src/decode/scan.cpp must give exactly the same
// results (the same bytes, and views at the same offsets); the scanner tests
// and the scan fuzz target compare the two.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace norvane::scan_reference {

inline constexpr std::size_t kLimit = 192;
inline constexpr std::size_t kNesting = 16;

inline bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

inline std::string_view trim(std::string_view text) {
  while (!text.empty() && is_space(text.front())) text.remove_prefix(1);
  while (!text.empty() && is_space(text.back())) text.remove_suffix(1);
  return text;
}

// Cut at the first zero byte, control bytes (and whitespace) as spaces, the
// spaces at both ends dropped, at most 192 bytes.
inline std::string clean_text(std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\0') {
      text = text.substr(0, i);
      break;
    }
  }
  std::string out;
  for (const char c : text) {
    const auto b = static_cast<unsigned char>(c);
    out.push_back(b < 0x21 || b == 0x7F ? ' ' : c);
  }
  while (!out.empty() && out.front() == ' ') out.erase(0, 1);
  while (!out.empty() && out.back() == ' ') out.pop_back();
  if (out.size() > kLimit) out.resize(kLimit);
  return out;
}

// Searching for an empty name finds nothing.
inline std::string_view xml_element(std::string_view text, std::string_view local_name,
                                    bool allow_open) {
  if (local_name.empty()) return {};
  const std::size_t n = text.size();
  const auto next_open = [&](std::size_t from) {
    for (std::size_t i = from; i < n; ++i) {
      if (text[i] == '<') return i;
    }
    return std::string_view::npos;
  };
  const auto ends_name = [](char c) { return is_space(c) || c == '/' || c == '>'; };

  std::string_view qualified;
  std::size_t name_end = 0;
  for (std::size_t p = next_open(0);; p = next_open(p + 1)) {
    if (p == std::string_view::npos) return {};
    if (p == n - 1) return {};
    const char next = text[p + 1];
    if (next == '!' || next == '/' || next == '?') continue;
    name_end = p + 1;
    while (name_end < n && !ends_name(text[name_end])) ++name_end;
    qualified = text.substr(p + 1, name_end - (p + 1));
    std::string_view local = qualified;
    for (std::size_t k = 0; k < qualified.size(); ++k) {
      if (qualified[k] == ':') {
        local = qualified.substr(k + 1);
        break;
      }
    }
    if (local == local_name) break;
  }

  std::size_t gt = name_end;
  char quote = 0;
  for (; gt < n; ++gt) {
    const char c = text[gt];
    if (quote != 0) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == '>') {
      break;
    }
  }
  if (gt == n) return {};
  if (text[gt - 1] == '/') return {};
  const std::size_t content = gt + 1;

  for (std::size_t c = content; c + 1 < n; ++c) {
    if (text[c] != '<' || text[c + 1] != '/') continue;
    const std::size_t after = c + 2 + qualified.size();
    if (after >= n) continue;
    if (text.substr(c + 2, qualified.size()) != qualified) continue;
    const char b = text[after];
    if (b == '>' || is_space(b)) return text.substr(content, c - content);
  }
  return allow_open ? text.substr(content) : std::string_view{};
}

inline std::string xml_text(std::string_view content) {
  static constexpr std::string_view kNames[] = {"&amp;", "&quot;", "&apos;", "&lt;", "&gt;"};
  static constexpr char kValues[] = {'&', '"', '\'', '<', '>'};
  std::string out;
  std::size_t i = 0;
  while (i < content.size() && out.size() < kLimit) {
    bool entity = false;
    if (content[i] == '&') {
      for (std::size_t e = 0; e < 5; ++e) {
        if (content.substr(i).starts_with(kNames[e])) {
          out.push_back(kValues[e]);
          i += kNames[e].size();
          entity = true;
          break;
        }
      }
    }
    if (!entity) out.push_back(content[i++]);
  }
  return clean_text(out);
}

// Index after the closing quote of the string opening at `start`.
inline std::optional<std::size_t> string_end(std::string_view text, std::size_t start) {
  std::size_t i = start + 1;
  while (i < text.size()) {
    const auto b = static_cast<unsigned char>(text[i]);
    if (b == '\\') {
      i += 2;
    } else if (b == '"') {
      return i + 1;
    } else if (b < 0x20) {
      return std::nullopt;
    } else {
      ++i;
    }
  }
  return std::nullopt;
}

inline std::optional<std::size_t> json_value_length(std::string_view text) {
  if (text.empty()) return std::nullopt;
  if (text[0] == '"') return string_end(text, 0);
  if (text[0] == '{' || text[0] == '[') {
    std::string closers;
    std::size_t i = 0;
    while (i < text.size()) {
      const char c = text[i];
      if (c == '"') {
        const auto end = string_end(text, i);
        if (!end) return std::nullopt;
        i = *end;
        continue;
      }
      if (c == '{' || c == '[') {
        closers.push_back(c == '{' ? '}' : ']');
        if (closers.size() > kNesting) return std::nullopt;
      } else if (c == '}' || c == ']') {
        if (closers.empty() || closers.back() != c) return std::nullopt;
        closers.pop_back();
        if (closers.empty()) return i + 1;
      }
      ++i;
    }
    return std::nullopt;
  }
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == ',' || c == '}' || c == ']' || is_space(c)) return i;
  }
  return std::nullopt;
}

inline std::string_view json_member(std::string_view object, std::string_view key) {
  if (object.empty() || object[0] != '{') return {};
  std::string_view rest = object.substr(1);
  for (;;) {
    rest = trim(rest);
    if (rest.empty() || rest[0] != '"') return {};
    const auto key_end = string_end(rest, 0);
    if (!key_end) return {};
    const std::string_view member_key = rest.substr(1, *key_end - 2);
    rest = trim(rest.substr(*key_end));
    if (rest.empty() || rest[0] != ':') return {};
    rest = trim(rest.substr(1));
    const auto n = json_value_length(rest);
    if (!n || *n < 1) return {};
    if (member_key == key) return rest.substr(0, *n);
    rest = trim(rest.substr(*n));
    if (rest.empty() || rest[0] != ',') return {};
    rest = rest.substr(1);
  }
}

inline int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

inline std::string json_string(std::string_view raw) {
  if (raw.size() < 2 || raw.front() != '"' || raw.back() != '"') return {};
  const std::string_view body = raw.substr(1, raw.size() - 2);
  std::string out;
  std::size_t i = 0;
  while (i < body.size() && out.size() < kLimit) {
    if (body[i] != '\\') {
      out.push_back(body[i++]);
      continue;
    }
    if (i + 1 == body.size()) return {};
    const char e = body[i + 1];
    i += 2;
    if (e == '"' || e == '/' || e == '\\') {
      out.push_back(e);
    } else if (e == 'b' || e == 'f' || e == 'n' || e == 'r' || e == 't') {
      out.push_back(' ');
    } else if (e == 'u') {
      if (i + 4 > body.size()) return {};
      unsigned code = 0;
      for (std::size_t k = 0; k < 4; ++k) {
        const int v = hex_digit(body[i + k]);
        if (v < 0) return {};
        code = code * 16 + static_cast<unsigned>(v);
      }
      i += 4;
      if (code >= 0xD800 && code < 0xD800 + 2048) code = 0xFFFD;
      if (code < 0x80) {
        out.push_back(static_cast<char>(code));
      } else if (code < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (code >> 6)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
      } else {
        out.push_back(static_cast<char>(0xE0 | (code >> 12)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
      }
    } else {
      return {};
    }
  }
  return clean_text(out);
}

}  // namespace norvane::scan_reference
