#include "decode/scan.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "support/scan_reference.h"

namespace norvane {
namespace {

using namespace std::string_literals;
using namespace std::string_view_literals;

TEST(Trim, WhitespaceSet) {
  EXPECT_EQ(trim(" \t\r\nabc \t\r\n"), "abc");
  EXPECT_EQ(trim("a b"), "a b");
  EXPECT_EQ(trim(" \t "), "");
  EXPECT_EQ(trim(""), "");
  // Vertical tab and form feed are not part of the set.
  EXPECT_EQ(trim("\vx\f"), "\vx\f");
}

TEST(CleanText, Rules) {
  struct Case {
    std::string in;
    std::string out;
  } const cases[] = {
      {"  Camera\tOne\r\n", "Camera One"},
      {"abc\0def"s, "abc"},
      {"\0abc"s, ""},
      {"a\x01"
       "b\x7F"
       "c",
       "a b c"},
      {"  \t ", ""},
      {"Kamera \xC5\xBC\xC3\xB3\xC5\x82ta", "Kamera \xC5\xBC\xC3\xB3\xC5\x82ta"},  // UTF-8 kept
      // Control bytes become spaces before the trim: at the ends they go,
      // and a text of nothing else is empty.
      {"x\x1F", "x"},
      {"\x01", ""},
      {"\x7F \x1F\t", ""},
      {"\x02\x03"
       "Cam\x04"
       "era\x05 ",
       "Cam era"},
      {"\x01\0Camera"s, ""},
      {"\x01 a\0\x02"s, "a"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(clean_text(c.in), c.out);
    // The test without the copy agrees with the copy.
    EXPECT_EQ(cleans_to_empty(c.in), c.out.empty()) << c.out;
  }
  const std::string long_text(300, 'x');
  EXPECT_EQ(clean_text(long_text), std::string(192, 'x'));
  // Trimming happens before the cut, so leading spaces do not eat the limit.
  EXPECT_EQ(clean_text("   " + long_text), std::string(192, 'x'));
  // So do leading control bytes; and a cut inside blanks keeps them when
  // more text follows, as it does for spaces.
  struct Long {
    std::size_t before;  // control bytes, then 'x' up to 191 bytes
    std::string_view tail;
    std::size_t kept;  // of the 'x' bytes
    bool space;        // a space after them
  } const longs[] = {
      {3, "xxxx\x01", 192, false}, {0, "\x01\x01y", 191, true}, {0, "\x01\x01 ", 191, false}};
  for (const Long& l : longs) {
    std::string in(l.before, '\x01');
    in.resize(191, 'x');
    in.append(l.tail);
    std::string want(l.kept, 'x');
    if (l.space) want.push_back(' ');
    EXPECT_EQ(clean_text(in), want);
  }
}

TEST(XmlElement, FindsByLocalName) {
  struct Case {
    std::string_view doc;
    std::string_view name;
    bool allow_open;
    std::string_view want;
  } const cases[] = {
      {"<MACAddress>aa</MACAddress><MAC>bb</MAC>", "MAC", false, "bb"},
      {"<d:Types>dn:NetworkVideoTransmitter</d:Types>", "Types", false,
       "dn:NetworkVideoTransmitter"},
      // The closing tag must be followed by '>' or whitespace.
      {"<d:Types>x</d:Types", "Types", false, ""},
      {"<d:Types>x</d:Types", "Types", true, "x</d:Types"},
      {"<a>x</ab></a >", "a", false, "x</ab>"},
      {"<a>x</a\n>", "a", false, "x"},
      // Closing tag with another prefix does not count.
      {"<d:Types>x</e:Types>", "Types", false, ""},
      {"<Scopes/>", "Scopes", false, ""},
      {"<Scopes />", "Scopes", false, ""},
      // Empty element syntax ends the search even if a later element exists.
      {"<Scopes/><Scopes>x</Scopes>", "Scopes", false, ""},
      {"<ProbeMatch><A>1</A>", "ProbeMatch", true, "<A>1</A>"},
      {"<ProbeMatch><A>1</A>", "ProbeMatch", false, ""},
      {"<?xml version=\"1.0\"?><!-- <X>no</X> --><X>yes</X>", "X", false, "no"},
      {"<x a='>' b=\">\">v</x>", "x", false, "v"},
      {"<x a=\"unterminated>v</x>", "x", false, ""},
      {"<Name>", "Name", true, ""},
      {"<Name", "Name", true, ""},
      {"text <", "Name", false, ""},
      {"<", "Name", false, ""},
      {"", "Name", false, ""},
      {"<Outer><Inner>v</Inner></Outer>", "Outer", false, "<Inner>v</Inner>"},
      {"<name>v</name>", "Name", false, ""},  // case-sensitive
      {"<a:b:Name>v</a:b:Name>", "b:Name", false, "v"},
      {"< Name>v</Name>", "Name", false, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(xml_element(c.doc, c.name, c.allow_open), c.want)
        << c.doc << " / " << c.name << " / " << c.allow_open;
  }
}

TEST(XmlText, EntitiesOnceThenClean) {
  EXPECT_EQ(xml_text("a &amp; b"), "a & b");
  EXPECT_EQ(xml_text("&amp;amp;"), "&amp;");
  EXPECT_EQ(xml_text("&#65;"), "&#65;");
  EXPECT_EQ(xml_text("&lt;x&gt; &quot;q&quot; &apos;"), "<x> \"q\" '");
  EXPECT_EQ(xml_text("&"), "&");
  EXPECT_EQ(xml_text("&am"), "&am");
  EXPECT_EQ(xml_text("  Cam\r\nOne "), "Cam  One");  // each control byte becomes a space
  EXPECT_EQ(xml_text(std::string(400, '&') + "amp;"), std::string(192, '&'));
  std::string many;
  for (int i = 0; i < 300; ++i) many += "&lt;";
  EXPECT_EQ(xml_text(many), std::string(192, '<'));
}

TEST(JsonValueLength, Shapes) {
  struct Case {
    std::string_view text;
    std::optional<std::size_t> length;
  } const cases[] = {
      {"", std::nullopt},
      {"\"abc\"", 5},
      {"\"a\\\"b\",", 6},
      {"\"abc", std::nullopt},
      {"\"a\\", std::nullopt},
      {"\"a\nb\"", std::nullopt},
      {"\"a\\\nb\"", 6},  // an escaped byte is skipped unchecked
      {"{}", 2},
      {"{\"a\":[1,2,{\"b\":\"}\"}]} tail", 21},
      {"{\"a\":1]", std::nullopt},
      {"[}", std::nullopt},
      {"{\"a\":1", std::nullopt},
      {"{\"a\":\"x}", std::nullopt},
      {"123,", 3},
      {"true}", 4},
      {"null ", 4},
      {"123", std::nullopt},
      {",", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(json_value_length(c.text), c.length) << c.text;
}

TEST(JsonValueLength, NestingLimit) {
  const std::string ok = std::string(16, '[') + std::string(16, ']');
  EXPECT_EQ(json_value_length(ok), 32u);
  const std::string deep = std::string(17, '[') + std::string(17, ']');
  EXPECT_EQ(json_value_length(deep), std::nullopt);
  const std::string very_deep = std::string(100000, '[');
  EXPECT_EQ(json_value_length(very_deep), std::nullopt);
}

TEST(JsonMember, Lookup) {
  struct Case {
    std::string_view object;
    std::string_view key;
    std::string_view want;
  } const cases[] = {
      {"{\"id\":5,\"method\":\"x\"}", "method", "\"x\""},
      {"{ \"id\" : 5 , \"method\" : \"x\" }", "method", "\"x\""},
      {"{\"a\":1,\"a\":2}", "a", "1"},
      {"{\"o\":{\"k\":1},\"k\":2}", "k", "2"},
      {"{\"o\":{\"k\":1}}", "k", ""},
      {"{\"o\":{\"k\":1}}", "o", "{\"k\":1}"},
      {"{\"a\":1 \"b\":2}", "b", ""},
      {"{\"a\":1}", "b", ""},
      {"{\"a\" 1}", "a", ""},
      {"{\"a\":}", "a", ""},
      {"{\"a\":1", "a", ""},  // a bare scalar that ends the text has no length
      {"[\"a\",1]", "a", ""},
      {" {\"a\":1}", "a", ""},
      {"{a:1}", "a", ""},
      {"{\"a\\\"b\":1}", "a\\\"b", "1"},  // keys compare raw
      {"", "a", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(json_member(c.object, c.key), c.want) << c.object;
}

TEST(JsonMembers, OneWalkForSeveralKeys) {
  static constexpr std::string_view kKeys[] = {"method", "id", "missing", "id"};
  std::string_view values[4];
  json_members(R"({"id":5, "method":"x", "id":6})", kKeys, values);
  EXPECT_EQ(values[0], "\"x\"");
  EXPECT_EQ(values[1], "5");  // the first member with the key wins
  EXPECT_EQ(values[2], "");
  EXPECT_EQ(values[3], "5");
  // A broken member ends the walk for every key after it.
  json_members(R"({"id":5,"method" "x","missing":1})", kKeys, values);
  EXPECT_EQ(values[0], "");
  EXPECT_EQ(values[1], "5");
  EXPECT_EQ(values[2], "");
}

TEST(JsonIndex, NestedLengthsFromOneScan) {
  const std::string doc = R"({"s":"{x]","o":{"k":[1,{"m":2}]},"t":true})";
  const JsonIndex index(doc);
  EXPECT_EQ(index.length(), doc.size());
  EXPECT_EQ(index.container_length(doc.data()), doc.size());
  // A brace inside a string is not a container.
  EXPECT_EQ(index.container_length(doc.data() + doc.find("{x")), std::string_view::npos);
  const std::string_view o = json_member(doc, "o", index);
  EXPECT_EQ(o, R"({"k":[1,{"m":2}]})");
  EXPECT_EQ(index.container_length(o.data()), o.size());
  EXPECT_EQ(json_member(json_member(o, "k", index), "m", index), "");  // an array has no members
  // Outside the indexed text, and with a failed scan, lookups scan as usual.
  const std::string other = R"({"o":{"k":1}})";
  EXPECT_EQ(index.container_length(other.data()), std::string_view::npos);
  EXPECT_EQ(json_member(other, "o", index), R"({"k":1})");
  const JsonIndex broken(R"({"o":{"k":1})");
  EXPECT_EQ(broken.length(), std::nullopt);
  EXPECT_EQ(json_member(R"({"o":{"k":1}})", "o", broken), R"({"k":1})");
  // Too deep as a whole, but the member on its own is not: nothing of the
  // failed scan may be used.
  const std::string deep = R"({"a":)" + std::string(16, '[') + std::string(16, ']') + "}";
  const JsonIndex too_deep(deep);
  EXPECT_EQ(too_deep.length(), std::nullopt);
  EXPECT_EQ(json_member(deep, "a", too_deep), std::string(16, '[') + std::string(16, ']'));
}

TEST(JsonIndex, MoreContainersThanItNotes) {
  std::string doc = R"({"a":[)";
  for (std::size_t i = 0; i < JsonIndex::kCapacity + 10; ++i) doc += "[1],";
  doc += R"("x"],"b":{"c":{"d":1}}})";
  const JsonIndex index(doc);
  ASSERT_EQ(index.length(), doc.size());
  const std::string_view b = json_member(doc, "b", index);
  EXPECT_EQ(b, R"({"c":{"d":1}})");
  EXPECT_EQ(index.container_length(b.data()), std::string_view::npos);  // not noted
  EXPECT_EQ(json_member(json_member(b, "c", index), "d", index), "1");
}

TEST(JsonString, Decoding) {
  struct Case {
    std::string_view raw;
    std::string want;
  } const cases[] = {
      {"\"plain\"", "plain"},
      {"\"caf\\u00e9\"", "caf\xC3\xA9"},
      {"\"\\u00E9\"", "\xC3\xA9"},
      {"\"\\u0041\"", "A"},
      {"\"\\u20ac\"", "\xE2\x82\xAC"},
      {"\"\\ud83d\"", "\xEF\xBF\xBD"},
      {"\"\\udfff\"", "\xEF\xBF\xBD"},
      {"\"\\ud83d\\ude00\"", "\xEF\xBF\xBD\xEF\xBF\xBD"},  // pairs are not combined
      {"\"\\x\"", ""},
      {"\"\\u12\"", ""},
      {"\"\\u12g4\"", ""},
      {"\"ab\\\"", ""},  // backslash as last byte of the body
      {"\"a\\\"b\\/c\\\\d\"", "a\"b/c\\d"},
      {"\"a\\nb\\tc\\rd\\be\\ff\"", "a b c d e f"},
      {"\"cut\\u0000here\"", "cut"},
      {"\"  pad  \"", "pad"},
      {"\"\"", ""},
      {"\"", ""},
      {"abc", ""},
      {"\"abc", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(json_string(c.raw), c.want) << c.raw;
  std::string long_raw(1, '"');
  long_raw.append(300, 'y').append("\\q\"");
  EXPECT_EQ(json_string(long_raw), std::string(192, 'y'));  // stops before the bad escape
}

TEST(ParseMacText, Forms) {
  struct Case {
    std::string_view text;
    std::string_view want;
  } const cases[] = {
      {"00-1a-2b-3c-4d-5e", "00:1A:2B:3C:4D:5E"},
      {"00:1A:2B:3C:4D:5E", "00:1A:2B:3C:4D:5E"},
      {"00-1a:2b-3c:4d-5e", "00:1A:2B:3C:4D:5E"},
      {"01:00:5E:00:00:01", ""},
      {"00:00:00:00:00:00", ""},
      {"00:1A:2B:3C:4D", ""},
      {"00:1A:2B:3C:4D:5E:", ""},
      {"001A2B3C4D5E00000", ""},
      {"00.1A.2B.3C.4D.5E", ""},
      {"0g:1A:2B:3C:4D:5E", ""},
      {" 00:1A:2B:3C:4D:5", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(parse_mac_text(c.text), c.want) << c.text;
}

TEST(ParseIpText, Forms) {
  struct Case {
    std::string_view text;
    std::string_view want;
  } const cases[] = {
      {"192.168.1.64", "192.168.1.64"},
      {"192.168.1.300", ""},
      {"127.0.0.1", ""},
      {"0.0.0.0", ""},
      {"239.255.255.250", ""},
      {"fe80::1", "fe80::1"},
      {"FE80:0000:0000:0000:0211:22FF:FE33:4455", "fe80::211:22ff:fe33:4455"},
      {"::1", ""},
      {"::", ""},
      {"ff02::fb", ""},
      {"::ffff:192.168.1.1", "::ffff:192.168.1.1"},
      {"", ""},
      {" 192.168.1.1", ""},
      {"192.168.1.1\0"sv, ""},
      {"host.example", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(parse_ip_text(c.text), c.want) << c.text;
  EXPECT_EQ(parse_ip_text(std::string(65, '1')), "");
}

// ---------------------------------------------------------------------------
// The scanners against their plain byte-by-byte versions on random and
// adversarial input: every result must be the same bytes, and every view the
// same offset into the input.

::testing::AssertionResult same_view(std::string_view got, std::string_view want) {
  if (got.empty() && want.empty()) return ::testing::AssertionSuccess();
  if (got.data() == want.data() && got.size() == want.size()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "got \"" << got << "\" want \"" << want << "\"";
}

// Readable text for failure messages: control and high bytes as \xNN.
std::string shown(std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  for (const char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (b >= 0x20 && b < 0x7F && b != '\\') {
      out.push_back(c);
    } else {
      out += "\\x";
      out.push_back(kHex[b >> 4]);
      out.push_back(kHex[b & 15]);
    }
  }
  return out;
}

class Texts {
 public:
  explicit Texts(std::uint32_t seed) : rng_(seed) {}

  std::size_t below(std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng_);
  }

  // Up to max_tokens tokens drawn from the list, now and then a random byte.
  std::string from(const std::vector<std::string_view>& tokens, std::size_t max_tokens) {
    std::string out;
    const std::size_t count = below(max_tokens + 1);
    for (std::size_t i = 0; i < count; ++i) {
      if (below(16) == 0) {
        out.push_back(static_cast<char>(below(256)));
      } else {
        out += tokens[below(tokens.size())];
      }
    }
    return out;
  }

  // A mostly well-formed JSON value, nested up to `depth` levels.
  std::string json(int depth) {
    switch (below(depth > 0 ? 7 : 4)) {
      case 0:
        return std::to_string(below(100000));
      case 1:
        return below(2) ? "true" : "null";
      case 2:
      case 3:
        return json_text();
      case 4:
      case 5: {
        std::string out = "{";
        const std::size_t n = below(5);
        for (std::size_t i = 0; i < n; ++i) {
          if (i > 0) out += space() + ",";
          out += space() + json_key() + space() + ":" + space() + json(depth - 1);
        }
        return out + space() + "}";
      }
      default: {
        std::string out = "[";
        const std::size_t n = below(4);
        for (std::size_t i = 0; i < n; ++i) {
          if (i > 0) out += ',';
          out += json(depth - 1);
        }
        return out + "]";
      }
    }
  }

  // Replaces a few bytes with bytes that matter to a JSON scanner.
  void damage(std::string& text) {
    static constexpr char kBytes[] = "{}[]\",:\\ \t\n\x01\x1f\x7f\x80u0";
    const std::size_t n = below(4);
    for (std::size_t i = 0; i < n && !text.empty(); ++i) {
      text[below(text.size())] = kBytes[below(sizeof kBytes - 1)];
    }
    if (below(8) == 0 && !text.empty()) text.resize(below(text.size()));
  }

 private:
  std::string space() {
    static constexpr std::string_view kSpaces[] = {"", "", "", " ", "\t", "\r\n", "  "};
    return std::string(kSpaces[below(std::size(kSpaces))]);
  }

  std::string json_key() {
    static constexpr std::string_view kKeys[] = {"\"a\"", "\"key\"", "\"mac\"", "\"k\\\"ey\"",
                                                 "\"\""};
    return std::string(kKeys[below(std::size(kKeys))]);
  }

  std::string json_text() {
    static const std::vector<std::string_view> kPieces = {"a",
                                                          "Kamera",
                                                          " ",
                                                          "\\\"",
                                                          "\\\\",
                                                          "\\/",
                                                          "\\n",
                                                          "\\t",
                                                          "\\u00e9",
                                                          "\\u0000",
                                                          "\\ud83d",
                                                          "\\u20AC",
                                                          "\\u12",
                                                          "\\x",
                                                          "\xc5\xbc",
                                                          "\x7f",
                                                          "0123456789abcdef"};
    return "\"" + from(kPieces, below(4) == 0 ? 60 : 8) + "\"";
  }

  std::mt19937 rng_;
};

const std::vector<std::string_view> kXmlTokens = {
    "<",         ">",       "</",       "/>",         "/",
    "!",         "?",       ":",        "\"",         "'",
    " ",         "\t",      "\r\n",     "=",          "a",
    "b",         "MAC",     "d:",       "x:y:",       "MACAddress",
    "<MAC>",     "</MAC>",  "</MAC",    "<d:MAC ",    "</d:MAC>",
    "<a:b:MAC>", "<!--",    "-->",      "<?xml ",     "?>",
    "&",         "&amp;",   "&lt;",     "&gt;",       "&quot;",
    "&apos;",    "&am",     ";",        "&#65;",      "x",
    "Types",     "<Types>", "</Types>", "<<",         ":MAC",
    "\x01",      "\x7f",    "\xc3\xa9", "0123456789", "abcdefghijklmnop",
    "<a>",       "</a>",    "<x:a ",    "</x:a>",     "<y:MAC>",
    "</y:MAC>",  "<b ",     "</b\t"};

const std::vector<std::string_view> kXmlNames = {"MAC", "Types", "a", "b", "x",   "b:MAC", "y:MAC",
                                                 ":",   "!a",    "<", "M", "a b", "MAC>",  ""};

TEST(ScanDifferential, XmlElementAndText) {
  Texts gen(20240511);
  for (int round = 0; round < 20000; ++round) {
    std::string doc = gen.from(kXmlTokens, round % 10 == 0 ? 400 : 40);
    if (round % 7 == 0) doc.push_back('\0');
    for (const std::string_view name : kXmlNames) {
      for (const bool open : {false, true}) {
        const std::string_view got = xml_element(doc, name, open);
        const std::string_view want = scan_reference::xml_element(doc, name, open);
        ASSERT_TRUE(same_view(got, want)) << shown(doc) << " / " << name << " / " << open;
        ASSERT_EQ(xml_text(got), scan_reference::xml_text(want)) << shown(got);
        // Callers look again inside a found element.
        ASSERT_TRUE(same_view(xml_element(got, "MAC", open),
                              scan_reference::xml_element(want, "MAC", open)));
      }
    }
    ASSERT_EQ(xml_text(doc), scan_reference::xml_text(doc)) << shown(doc);
    ASSERT_TRUE(same_view(trim(doc), scan_reference::trim(doc))) << shown(doc);
    ASSERT_EQ(clean_text(doc), scan_reference::clean_text(doc)) << shown(doc);
  }
}

TEST(ScanDifferential, Json) {
  Texts gen(77);
  static constexpr std::string_view kKeys[] = {"a", "key", "mac", "k\\\"ey", "", "b"};
  for (int round = 0; round < 30000; ++round) {
    std::string doc = gen.json(round % 5 == 0 ? 20 : 4);
    if (round % 3 != 0) gen.damage(doc);
    if (round % 11 == 0) doc += " ";
    ASSERT_EQ(json_value_length(doc), scan_reference::json_value_length(doc)) << shown(doc);
    ASSERT_EQ(json_string(doc), scan_reference::json_string(doc)) << shown(doc);
    const JsonIndex index(doc);
    ASSERT_EQ(index.length(), scan_reference::json_value_length(doc)) << shown(doc);
    // Part of the text, to look up members with an index of the whole.
    const std::string_view part = std::string_view(doc).substr(0, doc.size() * 3 / 4);
    std::string_view all[std::size(kKeys)];
    std::string_view all_indexed[std::size(kKeys)];
    json_members(doc, kKeys, all);
    json_members(doc, kKeys, all_indexed, index);
    for (std::size_t k = 0; k < std::size(kKeys); ++k) {
      const std::string_view key = kKeys[k];
      const std::string_view got = json_member(doc, key);
      const std::string_view want = scan_reference::json_member(doc, key);
      ASSERT_TRUE(same_view(got, want)) << shown(doc) << " / " << key;
      ASSERT_TRUE(same_view(json_member(doc, key, index), want)) << shown(doc) << " / " << key;
      ASSERT_TRUE(same_view(all[k], want)) << shown(doc) << " / " << key;
      ASSERT_TRUE(same_view(all_indexed[k], want)) << shown(doc) << " / " << key;
      ASSERT_TRUE(same_view(json_member(part, key, index), scan_reference::json_member(part, key)))
          << shown(part) << " / " << key;
      ASSERT_EQ(json_string(got), scan_reference::json_string(want)) << shown(got);
      const std::string_view inner = scan_reference::json_member(want, "a");
      ASSERT_TRUE(same_view(json_member(got, "a"), inner));
      ASSERT_TRUE(same_view(json_member(got, "a", index), inner));
    }
    ASSERT_EQ(clean_text(doc), scan_reference::clean_text(doc)) << shown(doc);
  }
}

// Every special byte at every position of strings long enough to cross the
// word-at-a-time steps of the string scan.
TEST(ScanDifferential, JsonStringBytesAtEveryPosition) {
  static constexpr char kSpecial[] = {'"',    '\\',   '\0',   '\x01', '\x1f', ' ',
                                      '\x7f', '\x80', '\xff', 'u',    '}',    '{'};
  for (std::size_t length = 0; length <= 40; ++length) {
    for (std::size_t at = 0; at < length; ++at) {
      for (const char special : kSpecial) {
        std::string body(length, 'x');
        body[at] = special;
        for (const std::string& doc : {"\"" + body + "\"", "\"" + body, "[\"" + body + "\"]",
                                       "{\"" + body + "\":1}", "{\"k\":\"" + body + "\"}"}) {
          ASSERT_EQ(json_value_length(doc), scan_reference::json_value_length(doc)) << shown(doc);
          ASSERT_EQ(json_string(doc), scan_reference::json_string(doc)) << shown(doc);
          ASSERT_TRUE(same_view(json_member(doc, "k"), scan_reference::json_member(doc, "k")))
              << shown(doc);
        }
      }
    }
  }
}

// Texts whose decoded form crosses the 192-byte limit, with leading and
// trailing whitespace, entities, escapes and zero bytes around the cut.
TEST(ScanDifferential, CleanedTextAroundTheLimit) {
  static constexpr std::string_view kTails[] = {"",        " ",       "  x", "\0 x"sv, "&amp;",
                                                "\\u20ac", "\\u0000", "\\n", "\t\t",   "&lt;b"};
  for (const std::size_t lead : {0, 1, 3, 190, 200}) {
    for (std::size_t length = 180; length <= 200; ++length) {
      for (const std::string_view tail : kTails) {
        for (const char fill : {'y', ' ', '\x05'}) {
          std::string text = std::string(lead, ' ') + std::string(length, fill) + std::string(tail);
          text[lead] = 'A';
          ASSERT_EQ(clean_text(text), scan_reference::clean_text(text)) << shown(text);
          ASSERT_EQ(xml_text(text), scan_reference::xml_text(text)) << shown(text);
          const std::string raw = "\"" + text + "\"";
          ASSERT_EQ(json_string(raw), scan_reference::json_string(raw)) << shown(raw);
          // Whitespace (and nothing else) after the limit, then a zero byte.
          const std::string spaced = text + "   \0tail"s;
          ASSERT_EQ(clean_text(spaced), scan_reference::clean_text(spaced)) << shown(spaced);
        }
      }
    }
  }
}

}  // namespace
}  // namespace norvane
