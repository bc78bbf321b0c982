#include "decode/scan.h"

#include <cstdint>

#include "decode/address.h"

namespace norvane {

namespace {

constexpr bool is_space(char c) noexcept { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Bytes that end a qualified name inside a start tag.
constexpr bool ends_name(char c) noexcept { return is_space(c) || c == '/' || c == '>'; }

// Bytes that may follow the name of a closing tag.
constexpr bool closes_end_tag(char c) noexcept { return c == '>' || is_space(c); }

int hex_value(char c) noexcept {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Index just past the closing quote of the JSON string whose opening quote is
// at `start`, or nullopt when it is unterminated or holds a raw control byte.
std::optional<std::size_t> json_string_end(std::string_view text, std::size_t start) noexcept {
  std::size_t i = start + 1;
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == '"') return i + 1;
    if (c == '\\') {
      i += 2;  // the escaped byte is not inspected
      continue;
    }
    if (c < 0x20) return std::nullopt;
    ++i;
  }
  return std::nullopt;
}

void append_utf8(std::string& out, unsigned code) {
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
}

}  // namespace

std::string_view trim(std::string_view text) noexcept {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && is_space(text[begin])) ++begin;
  while (end > begin && is_space(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

std::string clean_text(std::string_view text) {
  const std::size_t zero = text.find('\0');
  if (zero != std::string_view::npos) text = text.substr(0, zero);
  text = trim(text);
  if (text.size() > kCleanTextLimit) text = text.substr(0, kCleanTextLimit);
  std::string out(text);
  for (char& c : out) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x21 || b == 0x7F) c = ' ';
  }
  return out;
}

std::string_view xml_element(std::string_view text, std::string_view local_name,
                             bool allow_open) noexcept {
  if (local_name.empty()) return {};
  std::size_t p = text.find('<');
  std::string_view qualified;
  std::size_t name_end = 0;
  for (;; p = text.find('<', p + 1)) {
    if (p == std::string_view::npos) return {};
    if (p + 1 >= text.size()) return {};
    const char next = text[p + 1];
    if (next == '!' || next == '/' || next == '?') continue;
    name_end = p + 1;
    while (name_end < text.size() && !ends_name(text[name_end])) ++name_end;
    qualified = text.substr(p + 1, name_end - (p + 1));
    const std::size_t colon = qualified.find(':');
    const std::string_view local =
        colon == std::string_view::npos ? qualified : qualified.substr(colon + 1);
    if (local == local_name) break;
  }

  // The rest of the start tag; '>' inside quoted attribute values does not
  // end it.
  std::size_t i = name_end;
  char quote = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (quote != 0) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == '>') {
      break;
    }
  }
  if (i >= text.size()) return {};
  if (text[i - 1] == '/') return {};  // <Name/> has no content
  const std::size_t content = i + 1;

  for (std::size_t from = content;;) {
    const std::size_t close = text.find("</", from);
    if (close == std::string_view::npos) break;
    const std::size_t after = close + 2 + qualified.size();
    if (text.compare(close + 2, qualified.size(), qualified) == 0 && after < text.size() &&
        closes_end_tag(text[after])) {
      return text.substr(content, close - content);
    }
    from = close + 2;
  }
  return allow_open ? text.substr(content) : std::string_view{};
}

std::string xml_text(std::string_view content) {
  struct Entity {
    std::string_view text;
    char value;
  };
  static constexpr Entity kEntities[] = {
      {"&amp;", '&'}, {"&quot;", '"'}, {"&apos;", '\''}, {"&lt;", '<'}, {"&gt;", '>'},
  };
  std::string out;
  std::size_t i = 0;
  while (i < content.size() && out.size() < kCleanTextLimit) {
    const char c = content[i];
    if (c == '&') {
      bool decoded = false;
      for (const Entity& e : kEntities) {
        if (content.substr(i).starts_with(e.text)) {
          out.push_back(e.value);
          i += e.text.size();
          decoded = true;
          break;
        }
      }
      if (decoded) continue;
    }
    out.push_back(c);
    ++i;
  }
  return clean_text(out);
}

std::optional<std::size_t> json_value_length(std::string_view text) noexcept {
  if (text.empty()) return std::nullopt;
  const char first = text[0];
  if (first == '"') return json_string_end(text, 0);
  if (first == '{' || first == '[') {
    char stack[kJsonNestingLimit];
    int depth = 0;
    std::size_t i = 0;
    while (i < text.size()) {
      const char c = text[i];
      if (c == '"') {
        const auto end = json_string_end(text, i);
        if (!end) return std::nullopt;
        i = *end;
        continue;
      }
      if (c == '{' || c == '[') {
        if (depth == kJsonNestingLimit) return std::nullopt;
        stack[depth++] = c == '{' ? '}' : ']';
      } else if (c == '}' || c == ']') {
        if (depth == 0 || stack[depth - 1] != c) return std::nullopt;
        if (--depth == 0) return i + 1;
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

std::string_view json_member(std::string_view object, std::string_view key) noexcept {
  if (object.empty() || object[0] != '{') return {};
  std::string_view rest = object.substr(1);
  for (;;) {
    rest = trim(rest);
    if (rest.empty() || rest[0] != '"') return {};
    const auto key_end = json_string_end(rest, 0);
    if (!key_end) return {};
    const std::string_view member_key = rest.substr(1, *key_end - 2);
    rest = trim(rest.substr(*key_end));
    if (rest.empty() || rest[0] != ':') return {};
    rest = trim(rest.substr(1));
    const auto n = json_value_length(rest);
    if (!n || *n == 0) return {};
    if (member_key == key) return rest.substr(0, *n);
    rest = trim(rest.substr(*n));
    if (rest.empty() || rest[0] != ',') return {};
    rest = rest.substr(1);
  }
}

std::string json_string(std::string_view raw) {
  if (raw.size() < 2 || raw.front() != '"' || raw.back() != '"') return {};
  const std::string_view body = raw.substr(1, raw.size() - 2);
  std::string out;
  std::size_t i = 0;
  while (i < body.size() && out.size() < kCleanTextLimit) {
    const char c = body[i];
    if (c != '\\') {
      out.push_back(c);
      ++i;
      continue;
    }
    if (i + 1 >= body.size()) return {};
    const char e = body[i + 1];
    i += 2;
    switch (e) {
      case '"':
      case '/':
      case '\\':
        out.push_back(e);
        break;
      case 'b':
      case 'f':
      case 'n':
      case 'r':
      case 't':
        out.push_back(' ');
        break;
      case 'u': {
        if (body.size() - i < 4) return {};
        unsigned code = 0;
        for (std::size_t k = 0; k < 4; ++k) {
          const int v = hex_value(body[i + k]);
          if (v < 0) return {};
          code = (code << 4) | static_cast<unsigned>(v);
        }
        i += 4;
        if (code >= 0xD800 && code < 0xE000) code = 0xFFFD;  // lone surrogate half
        append_utf8(out, code);
        break;
      }
      default:
        return {};
    }
  }
  return clean_text(out);
}

std::string parse_mac_text(std::string_view text) {
  if (text.size() != 17) return {};
  std::uint8_t mac[6];
  for (std::size_t i = 0; i < 6; ++i) {
    const int hi = hex_value(text[i * 3]);
    const int lo = hex_value(text[i * 3 + 1]);
    if (hi < 0 || lo < 0) return {};
    if (i < 5 && text[i * 3 + 2] != '-' && text[i * 3 + 2] != ':') return {};
    mac[i] = static_cast<std::uint8_t>((hi << 4) | lo);
  }
  if (!is_unicast_mac(mac)) return {};
  return mac_text(mac);
}

std::string parse_ip_text(std::string_view text) {
  if (text.empty() || text.size() > 64 || text.find('\0') != std::string_view::npos) return {};
  std::uint8_t v4[4];
  if (parse_ipv4(text, v4)) return ip_text(v4, 4);
  std::uint8_t v6[16];
  if (parse_ipv6(text, v6)) return ip_text(v6, 16);
  return {};
}

}  // namespace norvane
