#include "vendors/vendor_table.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace norvane {
namespace {

TEST(PrefixKey, LengthAboveValue) {
  EXPECT_EQ(make_prefix_key(24, 0x001BC5), 0x18000001BC5u);
  EXPECT_LT(make_prefix_key(24, 0xFFFFFF), make_prefix_key(28, 0));
  EXPECT_LT(make_prefix_key(28, 0xFFFFFFF), make_prefix_key(36, 0));
}

TEST(VendorTable, InsertKeepsFirstAssignReplaces) {
  VendorTable t;
  EXPECT_LE(t.max_load_factor(), 1.0f);
  EXPECT_TRUE(t.insert(1, "A"));
  EXPECT_FALSE(t.insert(1, "B"));
  EXPECT_EQ(*t.find(1), "A");
  t.insert_or_assign(1, "C");
  EXPECT_EQ(*t.find(1), "C");
  EXPECT_EQ(t.find(2), nullptr);
  VendorTable other;
  other.swap(t);
  EXPECT_TRUE(t.empty());
  EXPECT_EQ(other.size(), 1u);
}

// The index grows, copies own their names, and equality ignores order.
TEST(VendorTable, GrowthCopiesAndEquality) {
  VendorTable t;
  // Neighbouring keys of all three lengths, as the registries have them.
  for (std::uint64_t i = 0; i < 20000; ++i) {
    ASSERT_TRUE(t.insert(make_prefix_key(24, i), "MA-L " + std::to_string(i)));
    ASSERT_TRUE(t.insert(make_prefix_key(28, i), "MA-M " + std::to_string(i)));
    ASSERT_TRUE(t.insert(make_prefix_key(36, i << 4), "MA-S " + std::to_string(i)));
  }
  EXPECT_EQ(t.size(), 60000u);
  EXPECT_LE(t.load_factor(), t.max_load_factor());
  EXPECT_EQ(*t.find(make_prefix_key(28, 19999)), "MA-M 19999");
  EXPECT_EQ(t.find(make_prefix_key(24, 20000)), nullptr);
  EXPECT_EQ(t.find(0), nullptr);
  EXPECT_FALSE(t.insert(0, "no length"));
  t.insert_or_assign(make_prefix_key(24, 7), std::string(5000, 'x'));  // longer than a block
  EXPECT_EQ(t.find(make_prefix_key(24, 7))->size(), 5000u);

  VendorTable copy;
  {
    const VendorTable source = t;  // copied names must not point into it
    copy = source;
  }
  EXPECT_EQ(copy.entries(), t.entries());
  EXPECT_EQ(*copy.find(make_prefix_key(36, 5 << 4)), "MA-S 5");

  VendorTable reversed;
  std::vector<VendorTable::Entry> all(t.entries().begin(), t.entries().end());
  for (auto it = all.rbegin(); it != all.rend(); ++it) reversed.insert(it->first, it->second.name);
  EXPECT_EQ(reversed.entries(), t.entries());
  reversed.insert_or_assign(make_prefix_key(24, 1), "Changed");
  EXPECT_FALSE(reversed.entries() == t.entries());

  VendorTable moved(std::move(reversed));
  EXPECT_EQ(moved.size(), 60000u);
  moved.clear();
  EXPECT_TRUE(moved.empty());
  EXPECT_EQ(moved.find(make_prefix_key(24, 1)), nullptr);
  EXPECT_TRUE(moved.insert(make_prefix_key(24, 1), "Again"));
}

class VendorLookup : public ::testing::Test {
 protected:
  void SetUp() override {
    table.insert(make_prefix_key(24, 0x001BC5), "IEEE Registration Authority");
    table.insert(make_prefix_key(36, 0x001BC50A0), "Small Block Org");
    table.insert(make_prefix_key(28, 0xA0B0C0D), "Medium Block Org");
    table.insert(make_prefix_key(24, 0xA0B0C0), "Large Block Org");
    table.insert(make_prefix_key(24, 0xBC325F), "Zhejiang Dahua Technology Co., Ltd.");
    table.insert(make_prefix_key(24, 0x4C1FCC), "Hangzhou Hikvision Digital Technology Co.,Ltd.");
    table.insert(make_prefix_key(24, 0x4C5E0C), "Routerboard.com");
    table.insert(make_prefix_key(24, 0x50C7BF), "TP-LINK TECHNOLOGIES CO.,LTD.");
    table.insert(make_prefix_key(24, 0x000001), "Private");
    table.insert(make_prefix_key(24, 0x000002), "PRIVATE");
    table.insert(make_prefix_key(24, 0x000003), "Private Limited");
    table.insert(make_prefix_key(24, 0x000004), "ubiquiti tp-link joint");
    table.insert(make_prefix_key(24, 0x000005), "DAHUA");
    table.insert(make_prefix_key(24, 0x000006), "Dahua Technology");
    table.insert(make_prefix_key(24, 0x000007), "Zhejiang Dahua Zhilian IoT");
    table.insert(make_prefix_key(24, 0x000008), "MikroTik SIA");
    table.insert(make_prefix_key(24, 0x00000C), "Ubiquiti Inc");
    table.insert(make_prefix_key(24, 0x000010), "Espressif Inc.");
    table.insert(make_prefix_key(24, 0x000011), "\xC3\x84rger GmbH");
  }
  VendorTable table;
};

TEST_F(VendorLookup, Notations) {
  struct Case {
    std::string_view mac;
    std::string_view expected;
  };
  const Case cases[] = {
      {"00:1B:C5:0A:00:01", "Small Block Org"},
      {" 00-1b-c5-0a-00-01\r\n", "Small Block Org"},
      {"001BC50A0001", "Small Block Org"},
      {"001B.C50A.0001", "Small Block Org"},
      {"001b.c50a.0001", "Small Block Org"},
      {"00:1B-C5:0A:00:01", ""},   // mixed separators
      {"00.1B.C5.0A.00.01", ""},   // dot is not a pair separator
      {"001B.C50A 0001", ""},      // inner space in dotted form
      {"001B:C50A.0001", ""},      // wrong dotted separator
      {"00:1B:C5:0A:00:0", ""},    // 16 characters
      {"00:1B:C5:0A:00:011", ""},  // 18 characters
      {"00:1B:C5:0A:00:0G", ""},
      {"0x1BC50A0001", ""},
      {"", ""},
      {"#192.168.1.20", ""},
      {"00:1B:C5:FF:00:01", ""},  // only the RA's own 24-bit block
      {"A0:B0:C0:D1:22:33", "Medium Block Org"},
      {"A0:B0:C0:E1:22:33", "Large Block Org"},
  };
  for (const Case& c : cases) EXPECT_EQ(vendor_display_name(table, c.mac), c.expected) << c.mac;
}

TEST_F(VendorLookup, GroupLocalAndZeroAddressesHaveNoVendor) {
  VendorTable all;
  all.insert(make_prefix_key(24, 0x000000), "Zero Org");
  all.insert(make_prefix_key(24, 0x01005E), "Multicast Org");
  all.insert(make_prefix_key(24, 0x021122), "Local Org");
  all.insert(make_prefix_key(24, 0x031122), "Both Org");
  EXPECT_EQ(vendor_display_name(all, "00:00:00:00:00:00"), "");
  EXPECT_EQ(vendor_display_name(all, "00:00:00:00:00:01"), "Zero Org");
  EXPECT_EQ(vendor_display_name(all, "01:00:5E:00:00:FB"), "");
  EXPECT_EQ(vendor_display_name(all, "02:11:22:33:44:55"), "");
  EXPECT_EQ(vendor_display_name(all, "03:11:22:33:44:55"), "");
  EXPECT_EQ(vendor_display_name(all, "FF:FF:FF:FF:FF:FF"), "");
  EXPECT_EQ(vendor_display_name(VendorTable{}, "00:1B:C5:0A:00:01"), "");
}

TEST_F(VendorLookup, Normalisation) {
  struct Case {
    std::string_view mac;
    std::string_view expected;
  };
  const Case cases[] = {
      {"BC:32:5F:00:00:01", "Dahua"},
      {"4C:1F:CC:00:00:01", "Hikvision"},
      {"4C:5E:0C:00:00:01", "MikroTik"},
      {"50:C7:BF:00:00:01", "TP-Link"},
      {"00:00:01:00:00:01", ""},
      {"00:00:02:00:00:01", ""},
      {"00:00:03:00:00:01", "Private Limited"},
      {"00:00:04:00:00:01", "Ubiquiti"},  // rule order
      {"00:00:05:00:00:01", "Dahua"},
      {"00:00:06:00:00:01", "Dahua Technology"},
      {"00:00:07:00:00:01", "Dahua"},
      {"00:00:08:00:00:01", "MikroTik"},
      {"00:00:0C:00:00:01", "Ubiquiti"},
      {"00:00:10:00:00:01", "Espressif Inc."},
      {"00:00:11:00:00:01", "\xC3\x84rger GmbH"},
  };
  for (const Case& c : cases) EXPECT_EQ(vendor_display_name(table, c.mac), c.expected) << c.mac;
}

TEST(VendorLookupIndex, LongerPrefixesFoundAfterEveryKindOfChange) {
  const char* const mac = "00:1B:C5:0A:00:01";
  VendorTable t;
  t.insert(make_prefix_key(24, 0x001BC5), "Block Owner");
  EXPECT_FALSE(t.may_have_longer_prefixes(0x001BC5));
  EXPECT_EQ(vendor_display_name(t, mac), "Block Owner");

  t.insert_or_assign(make_prefix_key(28, 0x001BC50), "Medium");
  EXPECT_TRUE(t.may_have_longer_prefixes(0x001BC5));
  EXPECT_EQ(vendor_display_name(t, mac), "Medium");
  t.insert(make_prefix_key(36, 0x001BC50A0), "Small");
  EXPECT_EQ(vendor_display_name(t, mac), "Small");
  EXPECT_EQ(vendor_display_name(t, "00:1B:C5:0B:00:01"), "Medium");
  EXPECT_EQ(vendor_display_name(t, "00:1B:C5:FB:00:01"), "Block Owner");

  // A longer entry without its 24-bit block is still found.
  t.insert(make_prefix_key(36, 0xA0B2C3D4E), "Orphan");
  EXPECT_EQ(vendor_display_name(t, "A0:B2:C3:D4:E5:F6"), "Orphan");

  VendorTable other;
  other.swap(t);
  EXPECT_EQ(vendor_display_name(other, mac), "Small");
  EXPECT_FALSE(t.may_have_longer_prefixes(0x001BC5));
  EXPECT_EQ(vendor_display_name(t, mac), "");

  VendorTable copy = other;
  other.clear();
  EXPECT_FALSE(other.may_have_longer_prefixes(0x001BC5));
  other.insert(make_prefix_key(24, 0x001BC5), "Fresh");
  EXPECT_EQ(vendor_display_name(other, mac), "Fresh");
  EXPECT_EQ(vendor_display_name(copy, mac), "Small");
}

// The display form is worked out when a name is stored; replacing a name
// must replace its display form too, and the view must match the copy.
TEST(VendorTable, ReplacedNameChangesItsDisplayForm) {
  VendorTable t;
  const PrefixKey key = make_prefix_key(24, 0x001BC5);
  ASSERT_TRUE(t.insert(key, "Private"));
  EXPECT_EQ(vendor_display_name(t, "00:1B:C5:00:00:01"), "");
  t.insert_or_assign(key, "Hangzhou Hikvision Digital Technology Co.,Ltd.");
  EXPECT_EQ(vendor_display_name(t, "00:1B:C5:00:00:01"), "Hikvision");
  t.insert_or_assign(key, "Acme Cameras");
  EXPECT_EQ(vendor_display_view(t, "00:1B:C5:00:00:01"), "Acme Cameras");
  EXPECT_EQ(t.find_entry(key)->display, VendorDisplay::kAsStored);
}

TEST(VendorText, TrimAndClean) {
  EXPECT_EQ(trim_space(" \t\r\nabc d\r\n \t"), "abc d");
  EXPECT_EQ(trim_space(" \t\r\n"), "");
  EXPECT_EQ(trim_space("\vx\v"), "\vx\v");  // only the four characters
  // Trimming comes first, so a trailing control byte leaves a trailing space.
  EXPECT_EQ(clean_vendor_name("  A\tB\x01"
                              "C\x7F"
                              "D\xC3\xA4\x1F "),
            "A B C D\xC3\xA4 ");
  EXPECT_EQ(clean_vendor_name(" \r\n"), "");
}

TEST(VendorText, NameValidity) {
  EXPECT_FALSE(vendor_name_valid(""));
  EXPECT_TRUE(vendor_name_valid("x"));
  EXPECT_TRUE(vendor_name_valid(std::string(512, 'a')));
  EXPECT_FALSE(vendor_name_valid(std::string(513, 'a')));
  EXPECT_TRUE(vendor_name_valid("\xC3\xA4rger"));
  EXPECT_FALSE(vendor_name_valid("\xC4rger"));
  EXPECT_FALSE(vendor_name_valid("\xC0\x80"));
  EXPECT_FALSE(vendor_name_valid("\xED\xA0\x80"));
}

TEST(VendorText, PrefixHex) {
  struct Case {
    std::string_view text;
    unsigned bits;
    std::optional<PrefixKey> expected;
  };
  const Case cases[] = {
      {"001BC5", 24, make_prefix_key(24, 0x001BC5)},
      {"001bc5", 24, make_prefix_key(24, 0x001BC5)},
      {"A0B0C0D", 28, make_prefix_key(28, 0xA0B0C0D)},
      {"001BC50A0", 36, make_prefix_key(36, 0x001BC50A0)},
      {"FFFFFFFFF", 36, make_prefix_key(36, 0xFFFFFFFFF)},
      {"001BC5", 28, std::nullopt},
      {"001BC50", 24, std::nullopt},
      {"001BC", 24, std::nullopt},
      {"00-1BC5", 28, std::nullopt},
      {"001BCG", 24, std::nullopt},
      {" 01BC5", 24, std::nullopt},
      {"001BC5", 32, std::nullopt},
      {"", 24, std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(parse_prefix_hex(c.text, c.bits), c.expected) << c.text;
}

TEST(VendorText, NextLineAndBom) {
  std::string_view text = "a\r\nb\n\r\nc\r\r\nd";
  EXPECT_EQ(next_line(text), "a");
  EXPECT_EQ(next_line(text), "b");
  EXPECT_EQ(next_line(text), "");
  EXPECT_EQ(next_line(text), "c\r");
  EXPECT_EQ(next_line(text), "d");
  EXPECT_TRUE(text.empty());
  EXPECT_EQ(next_line(text), "");

  std::string_view trailing = "x\n";
  EXPECT_EQ(next_line(trailing), "x");
  EXPECT_TRUE(trailing.empty());

  EXPECT_EQ(skip_bom("\xEF\xBB\xBFhead"), "head");
  EXPECT_EQ(skip_bom("\xEF\xBBhead"), "\xEF\xBBhead");
  EXPECT_EQ(skip_bom("x\xEF\xBB\xBF"), "x\xEF\xBB\xBF");
}

}  // namespace
}  // namespace norvane
