#include "decode/scan.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>

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
      {"x\x1F", "x "},  // a control byte is not trimmed, only replaced
  };
  for (const Case& c : cases) EXPECT_EQ(clean_text(c.in), c.out);
  const std::string long_text(300, 'x');
  EXPECT_EQ(clean_text(long_text), std::string(192, 'x'));
  // Trimming happens before the cut, so leading spaces do not eat the limit.
  EXPECT_EQ(clean_text("   " + long_text), std::string(192, 'x'));
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
  const std::string long_raw = "\"" + std::string(300, 'y') + "\\q\"";
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

}  // namespace
}  // namespace norvane
