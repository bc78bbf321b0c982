#include "vendors/vendor_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <utility>
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
  EXPECT_EQ(vendor_display_name(t, mac), "Block Owner");

  t.insert_or_assign(make_prefix_key(28, 0x001BC50), "Medium");
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
  EXPECT_EQ(vendor_display_name(t, mac), "");

  VendorTable copy = other;
  other.clear();
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

// ---------------------------------------------------------------------------
// The table in address order

using KeyNames = std::map<PrefixKey, std::string>;

std::string name_of(PrefixKey key) {
  char text[24];
  std::snprintf(text, sizeof text, "Org %llX", static_cast<unsigned long long>(key));
  return text;
}

// What a lookup must give, straight from the rule: the 36-, 28- and 24-bit
// prefixes of the address, the first one present decides.
const std::string* expected_longest(const KeyNames& entries, std::uint64_t address) {
  for (unsigned bits : {36u, 28u, 24u}) {
    const auto it = entries.find(make_prefix_key(bits, address >> (48 - bits)));
    if (it != entries.end()) return &it->second;
  }
  return nullptr;
}

struct Shape {
  std::string what;
  std::vector<PrefixKey> keys;
};

std::vector<Shape> table_shapes() {
  std::vector<Shape> shapes;
  Shape neighbours{"neighbouring MA-L blocks", {}};
  for (std::uint64_t b = 0x001000; b <= 0x001080; ++b)
    neighbours.keys.push_back(make_prefix_key(24, b));
  shapes.push_back(neighbours);

  // Blocks split into MA-M and MA-S blocks, some of the MA-S ones inside an
  // MA-M block and some not, at both ends of their blocks.
  Shape nested{"nested blocks", {}};
  for (std::uint64_t b : {0x001BC5ull, 0x70B3D5ull, 0x0050C2ull, 0xFCFFFFull}) {
    nested.keys.push_back(make_prefix_key(24, b));
    for (std::uint64_t m : {0x0ull, 0x5ull, 0xFull})
      nested.keys.push_back(make_prefix_key(28, (b << 4) | m));
    for (std::uint64_t s : {0x000ull, 0x001ull, 0x0FFull, 0x500ull, 0x5FFull, 0x600ull, 0xFFFull}) {
      nested.keys.push_back(make_prefix_key(36, (b << 12) | s));
    }
  }
  shapes.push_back(nested);

  // Longer blocks whose enclosing blocks are not assigned, and a lone 24-bit
  // block right before a stray MA-S block.
  shapes.push_back({"orphans",
                    {make_prefix_key(28, 0x1234563), make_prefix_key(36, 0x123456342),
                     make_prefix_key(36, 0xABCDEF123), make_prefix_key(24, 0x222222),
                     make_prefix_key(36, 0x222223000), make_prefix_key(28, 0x3333330),
                     make_prefix_key(36, 0x3333331FF)}});

  Shape many{"a block split into 4096 MA-S blocks", {make_prefix_key(24, 0x8C1F64)}};
  for (std::uint64_t s = 0; s < 4096; ++s)
    many.keys.push_back(make_prefix_key(36, (0x8C1F64ull << 12) | s));
  many.keys.push_back(make_prefix_key(24, 0x8C1F65));
  many.keys.push_back(make_prefix_key(24, 0x8C1F63));
  shapes.push_back(many);

  shapes.push_back({"edges of the address space",
                    {make_prefix_key(24, 0), make_prefix_key(36, 0), make_prefix_key(36, 1),
                     make_prefix_key(24, 0xFFFFFF), make_prefix_key(28, 0xFFFFFFF),
                     make_prefix_key(36, 0xFFFFFFFFF)}});

  // Keys that name no block: stored and found, never the answer to an
  // address.
  shapes.push_back({"keys outside the address space",
                    {make_prefix_key(24, 0x001BC5), make_prefix_key(36, 0x001BC5001), 1, 2,
                     make_prefix_key(32, 0x001BC5), make_prefix_key(24, 0x1001BC5),
                     make_prefix_key(28, 0x1001BC50), 0x7FFFFFFFFFFFFFFFull}});

  // Sizes at the edges of the search levels (eight keys per group).
  std::mt19937_64 rng(11);
  for (std::size_t n : {1, 8, 9, 64, 65, 72, 512, 513, 4100}) {
    Shape sized{"random blocks, " + std::to_string(n), {}};
    std::set<PrefixKey> seen;
    while (seen.size() < n) {
      const auto bits = std::array<unsigned, 3>{24, 28, 36}[rng() % 3];
      seen.insert(make_prefix_key(bits, (rng() & 0xFCFFFFFFFFFFull) >> (48 - bits)));
    }
    sized.keys.assign(seen.begin(), seen.end());
    shapes.push_back(sized);
  }
  return shapes;
}

// The addresses at both ends of every block and just outside them, and
// random ones.
std::vector<std::uint64_t> probe_addresses(const std::vector<PrefixKey>& keys) {
  constexpr std::uint64_t kTop = (std::uint64_t{1} << 48) - 1;
  std::vector<std::uint64_t> out = {0, kTop};
  for (const PrefixKey key : keys) {
    const auto bits = static_cast<unsigned>(key >> 36);
    const std::uint64_t value = key & ((std::uint64_t{1} << 36) - 1);
    if ((bits != 24 && bits != 28 && bits != 36) || (value >> bits) != 0) continue;
    const std::uint64_t first = value << (48 - bits);
    const std::uint64_t last = first | ((std::uint64_t{1} << (48 - bits)) - 1);
    for (std::uint64_t a : {first, last, first + 77}) out.push_back(a);
    if (first > 0) out.push_back(first - 1);
    if (last < kTop) out.push_back(last + 1);
  }
  std::mt19937_64 rng(3);
  for (int i = 0; i < 300; ++i) out.push_back(rng() & kTop);
  return out;
}

// Every way a table comes to hold its entries gives the same answers, and
// they are the rule's answers.
TEST(VendorTableOrder, LongestPrefixByEveryWayOfBuilding) {
  for (const Shape& shape : table_shapes()) {
    KeyNames expected;
    for (const PrefixKey key : shape.keys) expected[key] = name_of(key);
    std::vector<PrefixKey> shuffled = shape.keys;
    std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937_64(17));

    std::vector<std::pair<std::string, VendorTable>> built;
    {
      VendorTableBuilder builder;
      for (const PrefixKey key : shuffled) ASSERT_TRUE(builder.add(key, name_of(key)));
      VendorTable t;
      ASSERT_TRUE(builder.build(t, VendorTableBuilder::Repeats::kRefuse)) << shape.what;
      built.emplace_back("built whole", std::move(t));
    }
    VendorTable inserted;
    for (const PrefixKey key : shuffled) ASSERT_TRUE(inserted.insert(key, name_of(key)));
    built.emplace_back("copy of one inserted by one", inserted);
    built.emplace_back("inserted one by one", std::move(inserted));
    {
      // Half built whole, half inserted, then merged; the merged half's
      // names replace placeholders.
      VendorTableBuilder builder;
      VendorTable first;
      VendorTable second;
      for (std::size_t i = 0; i < shuffled.size(); ++i) {
        if (i % 2 == 0) {
          builder.add(shuffled[i], name_of(shuffled[i]));
        } else {
          builder.add(shuffled[i], "placeholder");
          second.insert(shuffled[i], name_of(shuffled[i]));
        }
      }
      builder.build(first, VendorTableBuilder::Repeats::kRefuse);
      first.insert_or_assign_all(std::move(second));
      EXPECT_TRUE(second.empty()) << shape.what;
      built.emplace_back("merged", std::move(first));
    }

    const std::vector<std::uint64_t> addresses = probe_addresses(shape.keys);
    for (const auto& [how, table] : built) {
      const std::string what = shape.what + ", " + how;
      EXPECT_EQ(table.size(), expected.size()) << what;
      for (const auto& [key, name] : expected) {
        const std::string_view* found = table.find(key);
        ASSERT_NE(found, nullptr) << what << ": key " << std::hex << key;
        EXPECT_EQ(*found, name) << what;
      }
      for (const std::uint64_t address : addresses) {
        const std::string* want = expected_longest(expected, address);
        const VendorEntry* got = table.find_longest(address);
        ASSERT_EQ(got != nullptr, want != nullptr) << what << ": address " << std::hex << address;
        if (want) {
          EXPECT_EQ(got->name, *want) << what << ": address " << std::hex << address;
        }
      }
    }
  }
}

// Every size around the levels' groups of eight and around the size from
// which the index by the first address bits is kept, with keys spread over
// the address space, crowded into a few of its buckets, or partly beyond it.
TEST(VendorSearchKeys, CountsLikeUpperBound) {
  constexpr std::uint64_t kSpace = std::uint64_t{1} << 38;
  struct Spread {
    const char* what;
    std::uint64_t gap;      // the largest gap between two keys; 0: spread over the space
    std::size_t top_share;  // this share of keys beyond the space (0: none)
  };
  const Spread spreads[] = {
      {"spread", 0, 0}, {"crowded", 1000, 0}, {"partly beyond the space", 0, 4}};
  std::mt19937_64 rng(5);
  for (const Spread& spread : spreads) {
    for (std::size_t n :
         {0, 1, 2, 7, 8, 9, 15, 16, 17, 63, 64, 65, 72, 511, 512, 513, 4095, 4096, 4097, 40000}) {
      const std::size_t beyond = spread.top_share ? n / spread.top_share : 0;
      const std::uint64_t gap = spread.gap ? spread.gap : 2 * kSpace / (n - beyond + 1);
      std::vector<std::uint64_t> keys;
      std::uint64_t next = rng() % 5;
      for (std::size_t i = 0; i + beyond < n; ++i) keys.push_back(next += 1 + rng() % gap);
      next = std::uint64_t{1} << 63;
      for (std::size_t i = 0; i < beyond; ++i) keys.push_back(next += 1 + rng() % 1000);
      ASSERT_TRUE(std::is_sorted(keys.begin(), keys.end()));
      VendorSearchKeys index;
      index.reserve(n);
      std::copy(keys.begin(), keys.end(), index.begin_assign(n));
      index.finish_assign();
      // A copy and a grown index sit in other storage.
      const VendorSearchKeys copy = index;
      VendorSearchKeys grown = index;
      grown.reserve(2 * n + 100);
      ASSERT_EQ(index.size(), n);
      std::vector<std::uint64_t> queries = {0, kSpace - 1, kSpace, ~std::uint64_t{0}};
      for (std::size_t i = 0; i < n; i += 1 + n / 700) {
        for (std::uint64_t q : {keys[i] - 1, keys[i], keys[i] + 1}) queries.push_back(q);
      }
      for (int i = 0; i < 200; ++i) queries.push_back(rng() % kSpace);
      for (const std::uint64_t q : queries) {
        const auto want =
            static_cast<std::size_t>(std::upper_bound(keys.begin(), keys.end(), q) - keys.begin());
        const std::string what = std::string(spread.what) + ", " + std::to_string(n) +
                                 " keys, query " + std::to_string(q);
        ASSERT_EQ(index.count_not_above(q), want) << what;
        ASSERT_EQ(copy.count_not_above(q), want) << what << ", copy";
        ASSERT_EQ(grown.count_not_above(q), want) << what << ", grown";
        const std::size_t first = index.window(q);
        if (first == VendorSearchKeys::kNoKeys) {
          ASSERT_EQ(want, 0u) << what;
        } else {
          ASSERT_LE(first, want) << what;
          ASSERT_LE(want, first + 8) << what;
        }
      }
    }
  }
}

TEST(VendorTableBuilder, RepeatsAndKeysNoTableHolds) {
  using Adds = std::vector<std::pair<PrefixKey, std::string>>;
  const PrefixKey a = make_prefix_key(24, 0x001BC5);
  const PrefixKey b = make_prefix_key(36, 0x001BC5001);
  const PrefixKey m = make_prefix_key(28, 0xA0B0C0D);
  struct Case {
    const char* what;
    Adds adds;
    VendorTableBuilder::Repeats repeats;
    bool ok;
    Adds expected;  // the target afterwards
  };
  const Case cases[] = {
      {"distinct keys",
       {{a, "A"}, {m, "C"}, {b, "B"}},
       VendorTableBuilder::Repeats::kRefuse,
       true,
       {{a, "A"}, {b, "B"}, {m, "C"}}},
      {"a repeat refused",
       {{a, "A"}, {m, "C"}, {a, "A2"}},
       VendorTableBuilder::Repeats::kRefuse,
       false,
       {{make_prefix_key(24, 0xABCDEF), "Before"}}},
      {"the last of a repeat wins",
       {{b, "B1"}, {a, "A"}, {b, "B2"}, {m, "C"}, {b, "B3"}},
       VendorTableBuilder::Repeats::kLastWins,
       true,
       {{a, "A"}, {b, "B3"}, {m, "C"}}},
      {"nothing added", {}, VendorTableBuilder::Repeats::kRefuse, true, {}},
  };
  for (const Case& c : cases) {
    VendorTableBuilder builder;
    for (const auto& [key, name] : c.adds) ASSERT_TRUE(builder.add(key, name)) << c.what;
    VendorTable target;
    target.insert(make_prefix_key(24, 0xABCDEF), "Before");
    EXPECT_EQ(builder.build(target, c.repeats), c.ok) << c.what;
    EXPECT_EQ(target.size(), c.expected.size()) << c.what;
    for (const auto& [key, name] : c.expected) {
      ASSERT_NE(target.find(key), nullptr) << c.what;
      EXPECT_EQ(*target.find(key), name) << c.what;
    }
  }

  // Key 0 and keys with bit 63 set are no table's keys; the display form is
  // worked out when the table is built.
  VendorTableBuilder builder;
  EXPECT_FALSE(builder.add(0, "Zero"));
  EXPECT_FALSE(builder.add(PrefixKey{1} << 63 | a, "Top bit"));
  EXPECT_TRUE(builder.add(a, "PRIVATE"));
  EXPECT_TRUE(builder.add(b, "Zhejiang Dahua Technology Co., Ltd."));
  EXPECT_EQ(builder.size(), 2u);
  VendorTable table;
  ASSERT_TRUE(builder.build(table, VendorTableBuilder::Repeats::kRefuse));
  EXPECT_EQ(builder.size(), 0u);
  EXPECT_EQ(table.find_entry(a)->display, VendorDisplay::kNone);
  EXPECT_EQ(vendor_display_name(table, "00:1B:C5:00:10:01"), "Dahua");
  EXPECT_EQ(vendor_display_name(table, "00:1B:C5:00:20:01"), "");
  EXPECT_FALSE(table.insert(PrefixKey{1} << 63, "Top bit"));
}

// The entries of the main list and the side list, each once, in every mix
// of the two (a table built whole has never had a side list).
TEST(VendorTableOrder, EntriesVisitsEveryEntryOnce) {
  const auto whole = [](std::size_t n) {
    VendorTableBuilder builder;
    for (std::uint64_t i = 0; i < n; ++i) builder.add(make_prefix_key(24, i * 3), "W");
    VendorTable t;
    builder.build(t, VendorTableBuilder::Repeats::kRefuse);
    return t;
  };
  struct Case {
    const char* what;
    std::function<VendorTable()> make;
  };
  const Case cases[] = {
      {"empty", [] { return VendorTable(); }},
      {"built whole", [&] { return whole(100); }},
      {"side list only",
       [] {
         VendorTable t;
         for (std::uint64_t i = 0; i < 5; ++i) t.insert(make_prefix_key(28, i), "S");
         return t;
       }},
      {"both lists",
       [&] {
         VendorTable t = whole(100);
         for (std::uint64_t i = 0; i < 5; ++i) t.insert(make_prefix_key(28, i), "S");
         return t;
       }},
      {"emptied side list",
       [&] {
         VendorTable t = whole(100);
         t.insert(make_prefix_key(28, 1), "S");
         VendorTable other;
         other.insert_or_assign_all(std::move(t));
         return other;
       }},
      {"cleared",
       [&] {
         VendorTable t = whole(100);
         t.insert(make_prefix_key(28, 1), "S");
         t.clear();
         return t;
       }},
  };
  for (const Case& c : cases) {
    const VendorTable table = c.make();
    std::set<PrefixKey> seen;
    std::size_t visits = 0;
    for (const auto& [key, entry] : table.entries()) {
      seen.insert(key);
      EXPECT_EQ(table.find_entry(key), &entry) << c.what;
      if (++visits > table.size()) break;
    }
    EXPECT_EQ(visits, table.size()) << c.what;
    EXPECT_EQ(seen.size(), table.size()) << c.what;
  }
}

TEST(VendorTableOrder, MergingAllReplacesNamesAndTakesTheirStorage) {
  const PrefixKey owner = make_prefix_key(24, 0x001BC5);
  const PrefixKey small = make_prefix_key(36, 0x001BC5001);
  const PrefixKey medium = make_prefix_key(28, 0x001BC50);
  VendorTableBuilder builder;
  builder.add(owner, "Private");
  builder.add(small, "Small One");
  builder.add(make_prefix_key(24, 0x000001), "Kept");
  VendorTable table;
  builder.build(table, VendorTableBuilder::Repeats::kRefuse);
  table.insert(make_prefix_key(24, 0x000002), "Side");
  {
    // Gone after the merge: its names must live on in the merged table.
    VendorTable update;
    update.insert(owner, std::string("Hangzhou Hikvision Digital Technology Co.,Ltd."));
    update.insert(medium, std::string("Medium One"));
    update.insert(make_prefix_key(24, 0x000002), std::string("Side Replaced"));
    table.insert_or_assign_all(std::move(update));
    EXPECT_TRUE(update.empty());
  }
  EXPECT_EQ(table.size(), 5u);
  EXPECT_EQ(*table.find(owner), "Hangzhou Hikvision Digital Technology Co.,Ltd.");
  EXPECT_EQ(table.find_entry(owner)->display, VendorDisplay::kHikvision);
  EXPECT_EQ(*table.find(make_prefix_key(24, 0x000002)), "Side Replaced");
  EXPECT_EQ(*table.find(make_prefix_key(24, 0x000001)), "Kept");
  EXPECT_EQ(vendor_display_name(table, "00:1B:C5:00:10:01"), "Small One");
  EXPECT_EQ(vendor_display_name(table, "00:1B:C5:0F:10:01"), "Medium One");
  EXPECT_EQ(vendor_display_name(table, "00:1B:C5:10:10:01"), "Hikvision");

  const VendorTable before = table;
  table.insert_or_assign_all(std::move(table));  // itself: nothing changes
  EXPECT_EQ(table.entries(), before.entries());
  table.insert_or_assign_all(VendorTable());
  EXPECT_EQ(table.entries(), before.entries());
  // Into an empty table: the other one whole, found by the longest prefix.
  VendorTable fresh;
  VendorTable given = before;
  fresh.insert_or_assign_all(std::move(given));
  EXPECT_TRUE(given.empty());
  EXPECT_EQ(fresh.entries(), before.entries());
  EXPECT_EQ(vendor_display_name(fresh, "00:1B:C5:00:10:01"), "Small One");
  EXPECT_EQ(vendor_display_name(fresh, "00:1B:C5:10:10:01"), "Hikvision");
}

TEST(VendorText, TrimAndClean) {
  EXPECT_EQ(trim_space(" \t\r\nabc d\r\n \t"), "abc d");
  EXPECT_EQ(trim_space(" \t\r\n"), "");
  EXPECT_EQ(trim_space("\vx\v"), "\vx\v");  // only the four characters
  struct Case {
    std::string_view in;
    std::string_view out;
  };
  // Control bytes become spaces first, then the spaces at the ends go: a
  // name of blanks is empty, whatever blanks it is made of.
  const Case cases[] = {
      {"  A\tB\x01"
       "C\x7F"
       "D\xC3\xA4\x1F ",
       "A B C D\xC3\xA4"},
      {" \r\n", ""},
      {"\x01", ""},
      {"\x7F", ""},
      {" \x1F\t\x7F\v ", ""},
      {"\x02"
       "Acme\x03",
       "Acme"},
      {"\x1B Acme \x1B", "Acme"},
      {"Ac\x01\x02me", "Ac  me"},  // inner ones stay, as spaces
      {"\xC3\xA4\x80\xFF", "\xC3\xA4\x80\xFF"},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(clean_vendor_name(c.in), c.out) << c.in;
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
