#include "base/address.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#if !defined(_WIN32)
#include <arpa/inet.h>
#endif

namespace norvane {
namespace {

using Bytes16 = std::array<std::uint8_t, 16>;

Bytes16 v6(std::initializer_list<unsigned> groups) {
  Bytes16 b{};
  std::size_t i = 0;
  for (unsigned g : groups) {
    b[i++] = static_cast<std::uint8_t>(g >> 8);
    b[i++] = static_cast<std::uint8_t>(g & 0xFF);
  }
  return b;
}

TEST(Mac, UnicastRule) {
  struct Case {
    std::array<std::uint8_t, 6> mac;
    bool unicast;
  } const cases[] = {
      {{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}, true},  {{0x00, 0x00, 0x00, 0x00, 0x00, 0x01}, true},
      {{0x02, 0x00, 0x00, 0x00, 0x00, 0x00}, true},  // locally administered
      {{0x00, 0x00, 0x00, 0x00, 0x00, 0x00}, false}, {{0x01, 0x00, 0x5E, 0x00, 0x00, 0x01}, false},
      {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, false}, {{0x33, 0x33, 0x00, 0x00, 0x00, 0x01}, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(is_unicast_mac(c.mac.data()), c.unicast) << mac_text(c.mac.data());
  }
  EXPECT_FALSE(is_unicast_mac(nullptr));
}

TEST(Mac, TextIsUpperCaseWithColons) {
  const std::uint8_t a[6] = {0x00, 0x1a, 0x2b, 0xc3, 0xd4, 0xef};
  EXPECT_EQ(mac_text(a), "00:1A:2B:C3:D4:EF");
  const std::uint8_t b[6] = {0xff, 0xff, 0xff, 0xff, 0xff, 0xff};
  EXPECT_EQ(mac_text(b), "FF:FF:FF:FF:FF:FF");
}

TEST(IpText, FiltersSpecialIpv4) {
  struct Case {
    std::array<std::uint8_t, 4> addr;
    const char* text;
  } const cases[] = {
      {{192, 168, 1, 10}, "192.168.1.10"},
      {{169, 254, 1, 1}, "169.254.1.1"},
      {{1, 0, 0, 0}, "1.0.0.0"},
      {{223, 255, 255, 255}, "223.255.255.255"},
      {{10, 0, 0, 255}, "10.0.0.255"},
      {{127, 0, 0, 1}, ""},
      {{0, 1, 2, 3}, ""},
      {{0, 0, 0, 0}, ""},
      {{224, 0, 0, 251}, ""},
      {{239, 255, 255, 250}, ""},
      {{240, 0, 0, 1}, ""},
      {{255, 255, 255, 255}, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ip_text(c.addr.data(), 4), c.text) << c.text;
  }
}

TEST(IpText, FiltersSpecialIpv6AndOtherLengths) {
  const Bytes16 ll = v6({0xfe80, 0, 0, 0, 0x0211, 0x22ff, 0xfe33, 0x4455});
  EXPECT_EQ(ip_text(ll.data(), 16), "fe80::211:22ff:fe33:4455");
  EXPECT_EQ(ip_text(v6({0xff02, 0, 0, 0, 0, 0, 0, 1}).data(), 16), "");
  EXPECT_EQ(ip_text(v6({0, 0, 0, 0, 0, 0, 0, 0}).data(), 16), "");
  EXPECT_EQ(ip_text(v6({0, 0, 0, 0, 0, 0, 0, 1}).data(), 16), "");
  EXPECT_EQ(ip_text(v6({0, 0, 0, 0, 0, 0, 0, 2}).data(), 16), "::2");
  EXPECT_EQ(ip_text(v6({0, 0, 0, 0, 0, 0, 1, 0}).data(), 16), "::1:0");
  const std::uint8_t six[6] = {1, 2, 3, 4, 5, 6};
  EXPECT_EQ(ip_text(six, 6), "");
  EXPECT_EQ(ip_text(six, 0), "");
  EXPECT_EQ(ip_text(nullptr, 4), "");
}

TEST(FormatIpv6, Rfc5952) {
  struct Case {
    Bytes16 addr;
    const char* text;
  } const cases[] = {
      // Leading zeros dropped, lower case.
      {v6({0x2001, 0x0db8, 0, 0, 0, 0, 0, 0x0001}), "2001:db8::1"},
      {v6({0x2001, 0xDB8, 0xABCD, 0x12, 0, 0, 0, 0}), "2001:db8:abcd:12::"},
      // A single zero group is not compressed.
      {v6({0x2001, 0xdb8, 0, 1, 1, 1, 1, 1}), "2001:db8:0:1:1:1:1:1"},
      // The longest run wins.
      {v6({0x2001, 0, 0, 1, 0, 0, 0, 1}), "2001:0:0:1::1"},
      // Equal runs: the first one.
      {v6({0x2001, 0xdb8, 0, 0, 1, 0, 0, 1}), "2001:db8::1:0:0:1"},
      {v6({1, 0, 0, 2, 0, 0, 3, 4}), "1::2:0:0:3:4"},
      {v6({0, 0, 1, 0, 0, 0, 0, 0}), "0:0:1::"},
      {v6({0, 0, 0, 0, 0, 0, 0, 0}), "::"},
      {v6({0, 1, 2, 3, 4, 5, 6, 7}), "0:1:2:3:4:5:6:7"},
      {v6({1, 2, 3, 4, 5, 6, 7, 0}), "1:2:3:4:5:6:7:0"},
      {v6({0xffff, 0xffff, 0xffff, 0xffff, 0xffff, 0xffff, 0xffff, 0xffff}),
       "ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff"},
      // IPv4-mapped keeps the dotted tail; other forms do not.
      {v6({0, 0, 0, 0, 0, 0xffff, 0xc0a8, 0x0101}), "::ffff:192.168.1.1"},
      {v6({0, 0, 0, 0, 0, 0xfffe, 0xc0a8, 0x0101}), "::fffe:c0a8:101"},
      {v6({0, 0, 0, 0, 0xffff, 0, 0xc0a8, 0x0101}), "::ffff:0:c0a8:101"},
      {v6({0xfe80, 0, 0, 0, 0, 0, 0, 0x1}), "fe80::1"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(format_ipv6(c.addr.data()), c.text);
    Bytes16 back{};
    ASSERT_TRUE(parse_ipv6(c.text, back.data())) << c.text;
    EXPECT_EQ(back, c.addr) << c.text;
  }
}

TEST(ParseIpv4, AcceptanceLikeInetPton) {
  struct Case {
    const char* text;
    bool ok;
    std::array<std::uint8_t, 4> addr;
  } const cases[] = {
      {"192.168.1.10", true, {192, 168, 1, 10}},
      {"0.0.0.0", true, {0, 0, 0, 0}},
      {"255.255.255.255", true, {255, 255, 255, 255}},
      {"10.0.0.1", true, {10, 0, 0, 1}},
      {"192.168.1.300", false, {}},
      {"256.1.1.1", false, {}},
      {"01.2.3.4", false, {}},  // leading zero
      {"1.2.3.04", false, {}},
      {"1.2.3.00", false, {}},
      {"1.2.3", false, {}},
      {"1.2.3.4.5", false, {}},
      {"1.2.3.4.", false, {}},
      {".1.2.3.4", false, {}},
      {"1..2.3", false, {}},
      {"1.2.3.", false, {}},
      {"", false, {}},
      {" 1.2.3.4", false, {}},
      {"1.2.3.4 ", false, {}},
      {"1.2.3.a", false, {}},
      {"0x1.2.3.4", false, {}},
      {"1.2.3.4\n", false, {}},
      {"1234.1.1.1", false, {}},
      {"::1", false, {}},
  };
  for (const Case& c : cases) {
    std::uint8_t out[4] = {9, 9, 9, 9};
    EXPECT_EQ(parse_ipv4(c.text, out), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(std::vector<std::uint8_t>(out, out + 4),
                std::vector<std::uint8_t>(c.addr.begin(), c.addr.end()))
          << c.text;
    } else {
      EXPECT_EQ(out[0], 9) << "target written on failure: " << c.text;
    }
  }
  std::uint8_t out[4];
  EXPECT_FALSE(parse_ipv4(std::string_view("1.2.3.4\0", 8), out));
}

TEST(ParseIpv6, AcceptanceLikeInetPton) {
  struct Case {
    const char* text;
    bool ok;
  } const cases[] = {
      {"::", true},
      {"::1", true},
      {"1::", true},
      {"fe80::1", true},
      {"FE80::ABCD", true},
      {"1:2:3:4:5:6:7:8", true},
      {"1:2:3:4:5:6::8", true},
      {"1::3:4:5:6:7:8", true},
      {"::2:3:4:5:6:7:8", true},
      {"1:2:3:4:5:6:7::", true},
      {"::ffff:192.168.1.1", true},
      {"::192.168.1.1", true},
      {"1:2:3:4:5:6:1.2.3.4", true},
      {"0000:0000::0001", true},
      {"", false},
      {":", false},
      {":::", false},
      {"1:::2", false},
      {"1::2::3", false},
      {":1::2", false},
      {"1:2:3:4:5:6:7:8:9", false},
      {"1:2:3:4:5:6:7:8::", false},
      {"::1:2:3:4:5:6:7:8", false},
      {"1:2:3:4:5:6:7", false},
      {"1:2:3:4:5:6:7:", false},
      {"12345::", false},
      {"g::1", false},
      {"::1.2.3", false},
      {"::1.2.3.04", false},
      {"::1.2.3.4.5", false},
      {"::1.2.3.4:1", false},
      {"1:2:3:4:5:6:7:1.2.3.4", false},
      {"1.2.3.4", false},
      {"::a.2.3.4", false},
      {"fe80::1%eth0", false},
      {" ::1", false},
      {"[::1]", false},
  };
  for (const Case& c : cases) {
    std::uint8_t out[16];
    EXPECT_EQ(parse_ipv6(c.text, out), c.ok) << c.text;
  }
}

TEST(ParseIpv6, ValuesAndEmbeddedTail) {
  Bytes16 out{};
  ASSERT_TRUE(parse_ipv6("::ffff:192.168.1.1", out.data()));
  EXPECT_EQ(out, v6({0, 0, 0, 0, 0, 0xffff, 0xc0a8, 0x0101}));
  ASSERT_TRUE(parse_ipv6("1:2:3:4:5:6:10.0.0.1", out.data()));
  EXPECT_EQ(out, v6({1, 2, 3, 4, 5, 6, 0x0a00, 0x0001}));
  ASSERT_TRUE(parse_ipv6("1::8", out.data()));
  EXPECT_EQ(out, v6({1, 0, 0, 0, 0, 0, 0, 8}));
  ASSERT_TRUE(parse_ipv6("::", out.data()));
  EXPECT_EQ(out, Bytes16{});
}

TEST(FormatIpv4, Decimal) {
  const std::uint8_t a[4] = {0, 10, 100, 255};
  EXPECT_EQ(format_ipv4(a), "0.10.100.255");
}

// Round trip over random addresses (with many zero groups so that every
// compression shape occurs).
TEST(FormatIpv6, RandomRoundTrip) {
  std::mt19937 rng(1234);
  for (int n = 0; n < 20000; ++n) {
    Bytes16 a{};
    for (std::size_t g = 0; g < 8; ++g) {
      const unsigned r = rng();
      const unsigned value = (r & 3) == 0 ? (r >> 8) & 0xFFFF : ((r & 3) == 1 ? 1 : 0);
      a[2 * g] = static_cast<std::uint8_t>(value >> 8);
      a[2 * g + 1] = static_cast<std::uint8_t>(value);
    }
    const std::string text = format_ipv6(a.data());
    Bytes16 back{};
    ASSERT_TRUE(parse_ipv6(text, back.data())) << text;
    ASSERT_EQ(back, a) << text;
  }
}

#if !defined(_WIN32)
// The C library's converter is the reference for acceptance and for the text
// form; on glibc they must agree byte for byte, except that glibc also writes
// IPv4-compatible addresses (::a.b.c.d), a form RFC 5952 dropped.
TEST(AddressReference, AgreesWithLibc) {
  std::mt19937 rng(99);
  const std::string alphabet = "0123456789abcdefABCDEF:.x ";
  for (int n = 0; n < 100000; ++n) {
    std::string text;
    const std::size_t len = rng() % 20;
    for (std::size_t i = 0; i < len; ++i) text.push_back(alphabet[rng() % alphabet.size()]);
    std::uint8_t ours6[16], libc6[16];
    const bool ok6 = parse_ipv6(text, ours6);
    ASSERT_EQ(ok6, inet_pton(AF_INET6, text.c_str(), libc6) == 1) << text;
    if (ok6) {
      ASSERT_EQ(std::vector<std::uint8_t>(ours6, ours6 + 16),
                std::vector<std::uint8_t>(libc6, libc6 + 16))
          << text;
    }
    std::uint8_t ours4[4], libc4[4];
    const bool ok4 = parse_ipv4(text, ours4);
    ASSERT_EQ(ok4, inet_pton(AF_INET, text.c_str(), libc4) == 1) << text;
    if (ok4) {
      ASSERT_EQ(std::vector<std::uint8_t>(ours4, ours4 + 4),
                std::vector<std::uint8_t>(libc4, libc4 + 4))
          << text;
    }
  }
  for (int n = 0; n < 20000; ++n) {
    Bytes16 a{};
    for (std::size_t g = 0; g < 8; ++g) {
      const unsigned r = rng();
      const unsigned value = (r & 1) ? 0 : (r >> 4) & 0xFFFF;
      a[2 * g] = static_cast<std::uint8_t>(value >> 8);
      a[2 * g + 1] = static_cast<std::uint8_t>(value);
    }
    bool compat = true;
    for (int i = 0; i < 12; ++i) compat = compat && a[static_cast<std::size_t>(i)] == 0;
    if (compat) continue;
    char buf[64];
    ASSERT_NE(inet_ntop(AF_INET6, a.data(), buf, sizeof buf), nullptr);
    ASSERT_EQ(format_ipv6(a.data()), buf);
  }
}
#endif

}  // namespace
}  // namespace norvane
