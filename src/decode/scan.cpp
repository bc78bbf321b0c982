#include "decode/scan.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

#include "base/address.h"
#include "base/ascii.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace norvane {

namespace {

// What each byte means to the scanners, as bit flags in one table: one load
// per byte in the inner loops instead of a chain of comparisons.
enum : std::uint8_t {
  kSpace = 1U << 0,       // space, tab, CR, LF
  kNameEnd = 1U << 1,     // ends a qualified name in a tag: whitespace, '/', '>'
  kScalarEnd = 1U << 2,   // ends a bare JSON scalar: ',', '}', ']', whitespace
  kStructural = 1U << 3,  // stops a container scan: '"', '{', '[', '}', ']'
  kStringStop = 1U << 4,  // stops a string scan: '"', '\\', bytes below 0x20
  kBlank = 1U << 5,       // shown as a space in cleaned text: below 0x21, 0x7F
  kTagStop = 1U << 6,     // inside a start tag: '>', '"', '\''
};

constexpr std::array<std::uint8_t, 256> make_classes() {
  std::array<std::uint8_t, 256> table{};
  for (unsigned b = 0; b < 256; ++b) {
    unsigned f = 0;
    if (b == ' ' || b == '\t' || b == '\r' || b == '\n') f |= kSpace | kNameEnd | kScalarEnd;
    if (b == '/' || b == '>') f |= kNameEnd;
    if (b == ',' || b == '}' || b == ']') f |= kScalarEnd;
    if (b == '"' || b == '{' || b == '[' || b == '}' || b == ']') f |= kStructural;
    if (b == '"' || b == '\\' || b < 0x20) f |= kStringStop;
    if (b < 0x21 || b == 0x7F) f |= kBlank;
    if (b == '>' || b == '"' || b == '\'') f |= kTagStop;
    table[b] = static_cast<std::uint8_t>(f);
  }
  return table;
}

constexpr std::array<std::uint8_t, 256> kClasses = make_classes();

constexpr bool has(char c, unsigned flag) noexcept {
  return (kClasses[static_cast<unsigned char>(c)] & flag) != 0;
}

constexpr std::size_t kNone = std::string_view::npos;

// JSON strings and containers are scanned 16 or 64 bytes at a time: SSE2
// compares give one bit per byte for each kind of byte that matters, and
// the bits are then read in order. Targets without SSE2 build the same bits
// one byte at a time.
#if defined(__SSE2__)
std::uint32_t bits16(__m128i matches) noexcept {
  return static_cast<std::uint32_t>(_mm_movemask_epi8(matches));
}

// Bytes equal to c, and bytes below 0x20 (unsigned), in 16 bytes.
__m128i equal(__m128i v, char c) noexcept { return _mm_cmpeq_epi8(v, _mm_set1_epi8(c)); }
__m128i control(__m128i v) noexcept {
  return _mm_cmpeq_epi8(_mm_min_epu8(v, _mm_set1_epi8(0x1F)), v);
}
#endif

// Index of the first byte in [i, n) that a string scan must look at (a
// double quote, a backslash or a byte below 0x20), or n.
[[gnu::always_inline]] inline std::size_t skip_string_bytes(const char* s, std::size_t i,
                                                            std::size_t n) noexcept {
#if defined(__SSE2__)
  while (n - i >= 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
    const std::uint32_t stops =
        bits16(_mm_or_si128(_mm_or_si128(equal(v, '"'), equal(v, '\\')), control(v)));
    if (stops != 0) return i + static_cast<std::size_t>(std::countr_zero(stops));
    i += 16;
  }
#endif
  while (i < n && !has(s[i], kStringStop)) ++i;
  return i;
}

// Index just past the closing quote of the JSON string whose opening quote is
// at `start`, or kNone when it is unterminated or holds a raw control byte. A
// backslash skips the byte after it unchecked.
[[gnu::always_inline]] inline std::size_t string_end(const char* s, std::size_t start,
                                                     std::size_t n) noexcept {
  std::size_t i = start + 1;
  while (i < n) {
    i = skip_string_bytes(s, i, n);
    if (i == n) break;
    if (s[i] == '"') return i + 1;
    if (s[i] != '\\') return kNone;
    i += 2;
  }
  return kNone;
}

// One bit per byte of a 64-byte block (bit k for byte k). Backslashes are
// only asked about as a whole (the block is then walked byte by byte), and
// control bytes are rare outside pretty-printed text, so their bits are
// gathered only when the block holds any.
struct BlockBits {
  std::uint64_t quote = 0;
  std::uint64_t structural = 0;  // '{', '[', '}', ']'
  std::uint64_t control = 0;     // below 0x20
  bool backslash = false;
};

[[gnu::always_inline]] inline BlockBits classify_block(const char* p) noexcept {
  BlockBits bits;
#if defined(__SSE2__)
  __m128i v[4];
  __m128i backslashes = _mm_setzero_si128();
  __m128i controls = _mm_setzero_si128();
  for (unsigned k = 0; k < 4; ++k) {
    v[k] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
    // '{' and '[' differ only in bit 5, as do '}' and ']'.
    const __m128i folded = _mm_or_si128(v[k], _mm_set1_epi8(0x20));
    const unsigned shift = 16 * k;
    bits.quote |= std::uint64_t{bits16(equal(v[k], '"'))} << shift;
    bits.structural |= std::uint64_t{bits16(_mm_or_si128(equal(folded, '{'), equal(folded, '}')))}
                       << shift;
    backslashes = _mm_or_si128(backslashes, equal(v[k], '\\'));
    controls = _mm_or_si128(controls, control(v[k]));
  }
  bits.backslash = bits16(backslashes) != 0;
  if (bits16(controls) != 0) {
    for (unsigned k = 0; k < 4; ++k) {
      bits.control |= std::uint64_t{bits16(control(v[k]))} << (16 * k);
    }
  }
#else
  for (unsigned k = 0; k < 64; ++k) {
    const auto b = static_cast<unsigned char>(p[k]);
    const std::uint64_t bit = std::uint64_t{1} << k;
    if (b == '"') bits.quote |= bit;
    if (b == '{' || b == '[' || b == '}' || b == ']') bits.structural |= bit;
    if (b < 0x20) bits.control |= bit;
    if (b == '\\') bits.backslash = true;
  }
#endif
  return bits;
}

// Bit k of the result is the parity of bits 0 to k.
constexpr std::uint64_t prefix_xor(std::uint64_t x) noexcept {
  x ^= x << 1;
  x ^= x << 2;
  x ^= x << 4;
  x ^= x << 8;
  x ^= x << 16;
  x ^= x << 32;
  return x;
}

}  // namespace

// Notes where each object and array opens and closes during one scan, in
// the order they open (so the offsets come out ascending). One beyond the
// capacity, or beyond what an offset holds, is simply not noted.
class JsonIndexRecorder {
 public:
  explicit JsonIndexRecorder(JsonIndex& index) noexcept : index_(index) {}

  void open(std::size_t at, int depth) noexcept {
    int slot = -1;
    if (index_.count_ < JsonIndex::kCapacity && at <= UINT32_MAX) {
      slot = static_cast<int>(index_.count_++);
      index_.open_[slot] = static_cast<std::uint32_t>(at);
    }
    slot_[depth] = slot;
  }

  void close(std::size_t at, int depth) noexcept {
    if (slot_[depth] >= 0) index_.close_[slot_[depth]] = static_cast<std::uint32_t>(at);
  }

 private:
  JsonIndex& index_;
  int slot_[kJsonNestingLimit] = {};  // the slot of the open container at each depth
};

namespace {

// The scan of an object or array: a stack of expected closers, strings
// skipped. It runs over 64-byte blocks. In a block without backslashes the
// quotes alone decide which bytes lie inside strings (a running parity), so
// the block's braces and brackets outside strings and its control bytes
// inside strings are found from bit masks and only the braces and brackets
// are visited one by one. A block with a backslash is walked byte by byte,
// on past its end while an escape is pending, so the next block again starts
// in a plain state. Its recorder is told of every object and array it
// passes (for a JsonIndex; the plain scan's recorder does nothing).
struct NoRecorder {
  void open(std::size_t /*at*/, int /*depth*/) noexcept {}
  void close(std::size_t /*at*/, int /*depth*/) noexcept {}
};

template <typename Recorder>
class ContainerScan {
 public:
  explicit ContainerScan(Recorder& recorder) noexcept : recorder_(recorder) {}

  // Length of the object or array at the start of s, or kNone.
  std::size_t run(const char* s, std::size_t n) noexcept {
    std::size_t base = 0;
    while (base < n) {
      const std::size_t size = std::min<std::size_t>(64, n - base);
      const char* block = s + base;
      char padded[64];
      if (size < 64) {
        // Spaces are nothing to the scan.
        std::memcpy(padded, block, size);
        std::memset(padded + size, ' ', 64 - size);
        block = padded;
      }
      const BlockBits bits = classify_block(block);
      if (bits.backslash) {
        const std::size_t next = walk(s, base, base + size, n);
        if (next == kNone || done_) return result_;
        base = next;
        continue;
      }
      // Bit k of `inside` tells whether byte k lies inside a string (for a
      // quote it tells what follows it, which is the same to the checks
      // below: a quote is neither a control byte nor a bracket).
      const std::uint64_t inside = prefix_xor(bits.quote) ^ (in_string_ ? ~std::uint64_t{0} : 0);
      const std::uint64_t bad = bits.control & inside;
      std::uint64_t events = bits.structural & ~inside;
      if (bad != 0) events &= (bad & (~bad + 1)) - 1;  // only those before the first bad byte
      for (; events != 0; events &= events - 1) {
        const auto k = static_cast<std::size_t>(std::countr_zero(events));
        if (!bracket(block[k], base + k)) return done_ ? base + k + 1 : kNone;
      }
      if (bad != 0) return kNone;
      in_string_ = (inside >> 63) != 0;
      base += size;
    }
    return kNone;
  }

 private:
  // Pushes or pops; false when the scan ends here (done_ tells whether the
  // container closed or the byte broke it).
  bool bracket(char c, std::size_t at) noexcept {
    if (c == '{' || c == '[') {
      if (depth_ == kJsonNestingLimit) return false;
      recorder_.open(at, depth_);
      closers_[depth_++] = c == '{' ? '}' : ']';
      return true;
    }
    if (depth_ == 0 || closers_[depth_ - 1] != c) return false;
    recorder_.close(at, depth_ - 1);
    if (--depth_ == 0) {
      done_ = true;
      return false;
    }
    return true;
  }

  // Byte by byte from i up to at least `end`; the index where the next block
  // starts, or kNone when the scan ended (result_ then holds the outcome).
  std::size_t walk(const char* s, std::size_t i, std::size_t end, std::size_t n) noexcept {
    while (i < end) {
      const char c = s[i];
      if (in_string_) {
        if (c == '\\') {
          i += 2;
          continue;
        }
        if (c == '"') {
          in_string_ = false;
        } else if (static_cast<unsigned char>(c) < 0x20) {
          return kNone;
        }
      } else if (c == '"') {
        in_string_ = true;
      } else if (has(c, kStructural)) {
        if (!bracket(c, i)) {
          if (done_) result_ = i + 1;
          return kNone;
        }
      }
      ++i;
    }
    return i < n ? i : kNone;
  }

  Recorder& recorder_;
  char closers_[kJsonNestingLimit] = {};
  int depth_ = 0;
  bool in_string_ = false;
  bool done_ = false;
  std::size_t result_ = kNone;
};

// Kept out of line: the member walk inlines the rest of value_length, and
// containers are the rare, long case.
[[gnu::noinline]] std::size_t container_length(const char* s, std::size_t n) noexcept {
  NoRecorder none;
  return ContainerScan<NoRecorder>(none).run(s, n);
}

// Strings, containers and bare scalars; the member walk inlines it.
[[gnu::always_inline]] inline std::size_t value_length(const char* s, std::size_t n) noexcept {
  if (n == 0) return kNone;
  const char first = s[0];
  if (first == '"') return string_end(s, 0, n);
  if (first == '{' || first == '[') return container_length(s, n);
  for (std::size_t i = 0; i < n; ++i) {
    if (has(s[i], kScalarEnd)) return i;
  }
  return kNone;
}

[[gnu::always_inline]] inline std::size_t skip_space(const char* s, std::size_t i,
                                                     std::size_t n) noexcept {
  while (i < n && has(s[i], kSpace)) ++i;
  return i;
}

// Past the bytes that cleaning turns into spaces (whitespace among them),
// up to a zero byte, where the text ends.
std::size_t skip_blank(const char* s, std::size_t i, std::size_t n) noexcept {
  while (i < n && s[i] != '\0' && has(s[i], kBlank)) ++i;
  return i;
}

// A copy with every byte below 0x21 and 0x7F shown as a space.
std::string blanked(const char* s, std::size_t n) {
  std::string out(s, n);
  char* p = out.data();
#if defined(__SSE2__)
  if (n >= 16) {
    // 16 bytes at a time; the last step overlaps the one before it, which
    // is harmless as blanking twice changes nothing.
    const auto blank16 = [](char* at) noexcept {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
      const __m128i blank =
          _mm_or_si128(_mm_cmpeq_epi8(_mm_min_epu8(v, _mm_set1_epi8(0x20)), v), equal(v, '\x7F'));
      if (_mm_movemask_epi8(blank) != 0) {
        _mm_storeu_si128(
            reinterpret_cast<__m128i*>(at),
            _mm_or_si128(_mm_andnot_si128(blank, v), _mm_and_si128(blank, _mm_set1_epi8(' '))));
      }
    };
    std::size_t i = 0;
    for (; n - i >= 16; i += 16) blank16(p + i);
    if (i < n) blank16(p + n - 16);
    return out;
  }
#endif
  for (std::size_t i = 0; i < n; ++i) {
    if (has(p[i], kBlank)) p[i] = ' ';
  }
  return out;
}

void append_utf8(char* out, std::size_t& n, unsigned code) noexcept {
  if (code < 0x80) {
    out[n++] = static_cast<char>(code);
  } else if (code < 0x800) {
    out[n++] = static_cast<char>(0xC0 | (code >> 6));
    out[n++] = static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out[n++] = static_cast<char>(0xE0 | (code >> 12));
    out[n++] = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out[n++] = static_cast<char>(0x80 | (code & 0x3F));
  }
}

// First index at or after `from` where `name` (not empty) occurs, or kNone.
// Candidates are positions where both the name's first and its last byte
// match, sixteen positions per step; only those are compared in full. In
// markup, where a name's first letter is common (tags and text share an
// alphabet), this skips far more than a search for the first byte alone.
std::size_t find_name(const char* s, std::size_t n, std::size_t from,
                      std::string_view name) noexcept {
  const std::size_t m = name.size();
  if (m > n || from > n - m) return kNone;
  const std::size_t last_start = n - m;
  const char first = name.front();
  const char last = name.back();
  const auto middle_matches = [&](std::size_t at) noexcept {
    return m <= 2 || std::memcmp(s + at + 1, name.data() + 1, m - 2) == 0;
  };
  std::size_t i = from;
#if defined(__SSE2__)
  // Each step reads 16 bytes at i + j and at i + j + m - 1 (j = 0, 16, 32,
  // 48 in the long steps, 0 in the short ones); the last byte read is at
  // most at last_start + m - 1, the text's last byte.
  const __m128i firsts = _mm_set1_epi8(first);
  const __m128i lasts = _mm_set1_epi8(last);
  const auto candidates = [&](std::size_t at) noexcept {
    return _mm_and_si128(
        _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + at)), firsts),
        _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + at + m - 1)), lasts));
  };
  // Bit k of `hits` stands for the position at + k.
  const auto first_match = [&](std::size_t at, std::uint64_t hits) noexcept {
    for (; hits != 0; hits &= hits - 1) {
      const std::size_t c = at + static_cast<std::size_t>(std::countr_zero(hits));
      if (middle_matches(c)) return c;
    }
    return kNone;
  };
  for (; i + 63 <= last_start; i += 64) {
    const __m128i c0 = candidates(i);
    const __m128i c1 = candidates(i + 16);
    const __m128i c2 = candidates(i + 32);
    const __m128i c3 = candidates(i + 48);
    if (bits16(_mm_or_si128(_mm_or_si128(c0, c1), _mm_or_si128(c2, c3))) == 0) continue;
    const std::size_t c =
        first_match(i, std::uint64_t{bits16(c0)} | std::uint64_t{bits16(c1)} << 16 |
                           std::uint64_t{bits16(c2)} << 32 | std::uint64_t{bits16(c3)} << 48);
    if (c != kNone) return c;
  }
  for (; i + 15 <= last_start; i += 16) {
    const std::size_t c = first_match(i, bits16(candidates(i)));
    if (c != kNone) return c;
  }
#endif
  for (; i <= last_start; ++i) {
    if (s[i] == first && s[i + m - 1] == last && middle_matches(i)) return i;
  }
  return kNone;
}

// Where the tag whose local name starts at q opens: the '<' of the first tag
// (in document order) whose qualified name runs from just after that '<' to
// q + name size with its first ':' at q - 1, or with no ':' when it starts
// at q. Such a name holds no ':' before q - 1 and no byte that ends a name;
// of the '<' bytes in that stretch, the leftmost that does not open a
// comment, declaration or processing instruction opens the tag (a '<' may be
// part of a name, so each one starts a candidate tag of its own).
std::size_t tag_open(const char* s, std::size_t q, bool name_has_colon, char name_first) noexcept {
  if (q == 0) return kNone;
  if (s[q - 1] == '<') {
    // The whole qualified name is the requested one: its local part is the
    // same only when it holds no ':'.
    if (name_has_colon || name_first == '!' || name_first == '?') return kNone;
    return q - 1;
  }
  if (s[q - 1] != ':') return kNone;
  std::size_t open = kNone;
  for (std::size_t k = q - 1; k-- > 0;) {
    const char c = s[k];
    if (c == ':' || has(c, kNameEnd)) break;
    if (c == '<' && s[k + 1] != '!' && s[k + 1] != '?') open = k;
  }
  return open;
}

}  // namespace

std::string_view trim(std::string_view text) noexcept {
  const char* s = text.data();
  std::size_t end = text.size();
  const std::size_t begin = skip_space(s, 0, end);
  while (end > begin && has(s[end - 1], kSpace)) --end;
  return text.substr(begin, end - begin);
}

// Control bytes become spaces before the trim, so that a text of nothing
// but blanks and control bytes comes out empty (and a caller's fallback
// applies) and no control byte leaves a space at either end. Only the bytes
// after the leading blanks, before the first zero byte and within the
// 192-byte limit are kept, so the text is read no further than that, except
// to decide whether trailing blanks inside the kept part are trimmed: they
// are when nothing but blanks follows them up to the end or the first zero
// byte.
bool cleans_to_empty(std::string_view text) noexcept {
  const std::size_t i = skip_blank(text.data(), 0, text.size());
  return i == text.size() || text[i] == '\0';
}

std::string clean_text(std::string_view text) {
  const char* s = text.data();
  const std::size_t n = text.size();
  const std::size_t begin = skip_blank(s, 0, n);
  if (begin == n || s[begin] == '\0') return {};
  const std::size_t window = std::min(n - begin, kCleanTextLimit);
  std::size_t end = begin + window;
  if (const void* zero = std::memchr(s + begin, '\0', window)) {
    end = static_cast<std::size_t>(static_cast<const char*>(zero) - s);
  } else if (end < n) {
    const std::size_t next = skip_blank(s, end, n);
    if (next < n && s[next] != '\0') return blanked(s + begin, window);
  }
  while (end > begin && has(s[end - 1], kBlank)) --end;
  return blanked(s + begin, end - begin);
}

// Instead of reading the name of every tag, the search looks for the
// requested name itself and checks each occurrence that is followed by a
// name-ending byte (or the end): it is a match when a tag opens just before
// it or a prefix and ':' lead up to it from a '<' (tag_open). Matches found
// this way come in the same order as their tags, so the first one is the
// first matching tag in document order.
std::string_view xml_element(std::string_view text, std::string_view local_name,
                             bool allow_open) noexcept {
  if (local_name.empty()) return {};
  // A name holding a byte that ends tag names can never be a tag's name.
  bool name_has_colon = false;
  for (const char c : local_name) {
    if (has(c, kNameEnd)) return {};
    name_has_colon = name_has_colon || c == ':';
  }
  const char* s = text.data();
  const std::size_t n = text.size();

  std::size_t open = kNone;
  std::size_t q = find_name(s, n, 0, local_name);
  for (; q != kNone; q = find_name(s, n, q + 1, local_name)) {
    const std::size_t after = q + local_name.size();
    if (after < n && !has(s[after], kNameEnd)) continue;
    open = tag_open(s, q, name_has_colon, local_name.front());
    if (open != kNone) break;
  }
  if (open == kNone) return {};
  const std::size_t name_end = q + local_name.size();
  const std::string_view qualified = text.substr(open + 1, name_end - open - 1);

  // The rest of the start tag; '>' inside quoted attribute values does not
  // end it.
  std::size_t gt = name_end;
  for (;;) {
    while (gt < n && !has(s[gt], kTagStop)) ++gt;
    if (gt == n) return {};
    if (s[gt] == '>') break;
    const void* close = std::memchr(s + gt + 1, s[gt], n - gt - 1);
    if (close == nullptr) return {};
    gt = static_cast<std::size_t>(static_cast<const char*>(close) - s) + 1;
  }
  if (s[gt - 1] == '/') return {};  // <Name/> has no content
  const std::size_t content = gt + 1;

  // The first "</" with the same qualified name and then '>' or whitespace.
  // It is found through the local name inside it, as the start tag was, not
  // through every '<' of the content; a closing tag at c holds the local
  // name at c + 2 + prefix (the bytes of the qualified name before it).
  const std::size_t prefix = q - (open + 1);
  for (std::size_t r = find_name(s, n, content + 2 + prefix, local_name); r != kNone;
       r = find_name(s, n, r + 1, local_name)) {
    const std::size_t after = r + local_name.size();
    if (after == n) break;  // no byte after the name, here or further on
    const std::size_t c = r - 2 - prefix;
    if (s[c] == '<' && s[c + 1] == '/' && std::memcmp(s + c + 2, qualified.data(), prefix) == 0 &&
        (s[after] == '>' || has(s[after], kSpace))) {
      return text.substr(content, c - content);
    }
  }
  return allow_open ? text.substr(content) : std::string_view{};
}

// Decoded into a buffer on the stack (the decoding stops at the limit, so it
// never needs more), then cleaned into the one string that is returned.
std::string xml_text(std::string_view content) {
  struct Entity {
    std::string_view text;
    char value;
  };
  static constexpr Entity kEntities[] = {
      {"&amp;", '&'}, {"&quot;", '"'}, {"&apos;", '\''}, {"&lt;", '<'}, {"&gt;", '>'},
  };
  char out[kCleanTextLimit];
  std::size_t n = 0;
  const char* s = content.data();
  std::size_t i = 0;
  while (i < content.size() && n < kCleanTextLimit) {
    // Plain bytes up to the next '&' or the limit, in one copy.
    const std::size_t span = std::min(content.size() - i, kCleanTextLimit - n);
    const void* amp = std::memchr(s + i, '&', span);
    const std::size_t plain =
        amp == nullptr ? span : static_cast<std::size_t>(static_cast<const char*>(amp) - (s + i));
    std::memcpy(out + n, s + i, plain);
    n += plain;
    i += plain;
    if (amp == nullptr) continue;
    char value = '&';
    std::size_t used = 1;
    for (const Entity& e : kEntities) {
      if (content.substr(i).starts_with(e.text)) {
        value = e.value;
        used = e.text.size();
        break;
      }
    }
    out[n++] = value;
    i += used;
  }
  return clean_text(std::string_view(out, n));
}

std::optional<std::size_t> json_value_length(std::string_view text) noexcept {
  const std::size_t n = value_length(text.data(), text.size());
  if (n == kNone) return std::nullopt;
  return n;
}

namespace {

// The member walk shared by the member lookups: calls found(key, value) for
// each member in order until it returns true or the object stops being
// well-formed. Whitespace is skipped only at the front of what remains; the
// end of the object is trimmed once, up front, which is where trimming each
// remainder would leave it too (a bare scalar that ends the trimmed object
// has no length).
template <typename Found, typename Length>
void walk_members(std::string_view object, Found found, Length length) noexcept {
  if (object.empty() || object[0] != '{') return;
  const char* s = object.data();
  std::size_t end = object.size();
  while (has(s[end - 1], kSpace)) --end;  // stops at the '{'
  std::size_t i = 1;
  for (;;) {
    i = skip_space(s, i, end);
    if (i == end || s[i] != '"') return;
    const std::size_t key_end = string_end(s, i, end);
    if (key_end == kNone) return;
    const std::string_view member_key(s + i + 1, key_end - i - 2);
    i = skip_space(s, key_end, end);
    if (i == end || s[i] != ':') return;
    i = skip_space(s, i + 1, end);
    const std::size_t n = length(s + i, end - i);
    if (n == kNone || n == 0) return;
    if (found(member_key, object.substr(i, n))) return;
    i = skip_space(s, i + n, end);
    if (i == end || s[i] != ',') return;
    ++i;
  }
}

// Lengths from an index where it has them; a container it did not note is
// scanned. A fresh scan of a noted container would run over the same bytes
// in the same state as the index's scan did (outside any string, no escape
// pending, its own brackets balanced and nested within the limit, since the
// whole value was), so it would end at the noted closer, or run out of bytes
// when the closer lies at or beyond n.
struct IndexedLength {
  const JsonIndex* index;
  std::size_t operator()(const char* s, std::size_t n) const noexcept {
    if (n != 0 && (s[0] == '{' || s[0] == '[')) {
      const std::size_t length = index->container_length(s);
      if (length != kNone) return length <= n ? length : kNone;
    }
    return value_length(s, n);
  }
};

struct ScannedLength {
  std::size_t operator()(const char* s, std::size_t n) const noexcept { return value_length(s, n); }
};

// Keys compared by size and first byte before the rest: most members of an
// object differ from a wanted key in one of those.
bool same_key(std::string_view a, std::string_view b) noexcept {
  return a.size() == b.size() &&
         (a.empty() || (a[0] == b[0] && std::memcmp(a.data(), b.data(), a.size()) == 0));
}

template <typename Length>
std::string_view find_member(std::string_view object, std::string_view key,
                             Length length) noexcept {
  std::string_view value;
  walk_members(
      object,
      [&](std::string_view member_key, std::string_view member_value) {
        if (!same_key(member_key, key)) return false;
        value = member_value;
        return true;
      },
      length);
  return value;
}

template <typename Length>
void find_members(std::string_view object, std::span<const std::string_view> keys,
                  std::span<std::string_view> values, Length length) noexcept {
  const std::size_t count = std::min(keys.size(), values.size());
  for (std::size_t k = 0; k < count; ++k) values[k] = {};
  std::size_t missing = count;
  walk_members(
      object,
      [&](std::string_view member_key, std::string_view member_value) {
        for (std::size_t k = 0; k < count; ++k) {
          if (values[k].empty() && same_key(member_key, keys[k])) {
            values[k] = member_value;
            --missing;
          }
        }
        return missing == 0;
      },
      length);
}

}  // namespace

JsonIndex::JsonIndex(std::string_view value) noexcept : text_(value.data()) {
  if (value.empty()) return;
  if (value[0] == '{' || value[0] == '[') {
    JsonIndexRecorder recorder(*this);
    length_ = ContainerScan<JsonIndexRecorder>(recorder).run(value.data(), value.size());
  } else {
    length_ = value_length(value.data(), value.size());
  }
  if (length_ == kNone) count_ = 0;
}

std::optional<std::size_t> JsonIndex::length() const noexcept {
  if (length_ == kNone) return std::nullopt;
  return length_;
}

std::size_t JsonIndex::container_length(const char* at) const noexcept {
  if (count_ == 0) return kNone;
  // Addresses compared as numbers: `at` may point anywhere.
  const auto from = reinterpret_cast<std::uintptr_t>(text_);
  const auto where = reinterpret_cast<std::uintptr_t>(at);
  if (where < from || where - from >= length_) return kNone;
  const auto offset = static_cast<std::uint32_t>(where - from);
  const std::uint32_t* end = open_ + count_;
  const std::uint32_t* found = std::lower_bound(open_, end, offset);
  if (found == end || *found != offset) return kNone;
  return close_[found - open_] - offset + 1;
}

std::string_view json_member(std::string_view object, std::string_view key) noexcept {
  return find_member(object, key, ScannedLength{});
}

std::string_view json_member(std::string_view object, std::string_view key,
                             const JsonIndex& index) noexcept {
  return find_member(object, key, IndexedLength{&index});
}

void json_members(std::string_view object, std::span<const std::string_view> keys,
                  std::span<std::string_view> values) noexcept {
  find_members(object, keys, values, ScannedLength{});
}

void json_members(std::string_view object, std::span<const std::string_view> keys,
                  std::span<std::string_view> values, const JsonIndex& index) noexcept {
  find_members(object, keys, values, IndexedLength{&index});
}

// Decoded into a buffer on the stack, like xml_text. Before the limit is
// reached one more escape may add up to three bytes, hence the two spare.
std::string json_string(std::string_view raw) {
  if (raw.size() < 2 || raw.front() != '"' || raw.back() != '"') return {};
  const char* s = raw.data() + 1;
  const std::size_t size = raw.size() - 2;
  char out[kCleanTextLimit + 2];
  std::size_t n = 0;
  std::size_t i = 0;
  while (i < size && n < kCleanTextLimit) {
    const std::size_t span = std::min(size - i, kCleanTextLimit - n);
    const void* backslash = std::memchr(s + i, '\\', span);
    const std::size_t plain =
        backslash == nullptr
            ? span
            : static_cast<std::size_t>(static_cast<const char*>(backslash) - (s + i));
    std::memcpy(out + n, s + i, plain);
    n += plain;
    i += plain;
    if (backslash == nullptr) continue;
    if (i + 1 >= size) return {};
    const char e = s[i + 1];
    i += 2;
    switch (e) {
      case '"':
      case '/':
      case '\\':
        out[n++] = e;
        break;
      case 'b':
      case 'f':
      case 'n':
      case 'r':
      case 't':
        out[n++] = ' ';
        break;
      case 'u': {
        if (size - i < 4) return {};
        unsigned code = 0;
        for (std::size_t k = 0; k < 4; ++k) {
          const int v = hex_digit(s[i + k]);
          if (v < 0) return {};
          code = (code << 4) | static_cast<unsigned>(v);
        }
        i += 4;
        if (code >= 0xD800 && code < 0xE000) code = 0xFFFD;  // lone surrogate half
        append_utf8(out, n, code);
        break;
      }
      default:
        return {};
    }
  }
  return clean_text(std::string_view(out, n));
}

std::string parse_mac_text(std::string_view text) {
  if (text.size() != 17) return {};
  std::uint8_t mac[6];
  for (std::size_t i = 0; i < 6; ++i) {
    const int hi = hex_digit(text[i * 3]);
    const int lo = hex_digit(text[i * 3 + 1]);
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
