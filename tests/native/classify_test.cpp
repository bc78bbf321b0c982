#include "model/classify.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/display_text.h"
#include "vendors/vendor_table.h"

namespace norvane {
namespace {

constexpr const char* kKnownMac = "00:11:22:33:44:55";    // prefix 001122 in the table
constexpr const char* kUnknownMac = "00:99:88:77:66:55";  // not in the table

struct ClassifyCase {
  const char* what;
  const char* vendor_name;  // stored for prefix 001122, or null
  std::vector<std::string> protocols;
  const char* model;  // UTF-8
  const char* key;
  const char* vendor;  // expected column 2, UTF-8
  std::int32_t category;
  std::int32_t accent;
};

const ClassifyCase kCases[] = {
    {"unknown MAC seen through SADP", nullptr, {"SADP"}, "", kUnknownMac, "Hikvision", 0, 1},
    {"SADP L2 alone", nullptr, {"SADP L2"}, "", kUnknownMac, "Hikvision", 0, 1},
    {"HiLook in any case, mDNS only",
     "HILOOK Vision Ltd",
     {"mDNS"},
     "",
     kKnownMac,
     "HILOOK Vision Ltd",
     0,
     1},
    {"Dahua answer with BCS model", nullptr, {"Dahua"}, "BCS-L-TIP124IR", kUnknownMac, "BCS", 1, 2},
    {"TP-Link with an IP camera model",
     "TP-LINK TECHNOLOGIES CO.,LTD.",
     {"SSDP"},
     "Tapo IP Camera C200",
     kKnownMac,
     "TP-Link",
     5,
     1},
    {"recorder prefix beats ONVIF", nullptr, {"ONVIF"}, "DS-7608NI-K2", kUnknownMac, "", 5, 0},
    {"intercom prefix with ONVIF", nullptr, {"ONVIF"}, "DS-KV6113-WPE1", kUnknownMac, "", 5, 0},
    {"camera prefix with ONVIF", nullptr, {"ONVIF"}, "DS-2CD2143G0-I", kUnknownMac, "", 5, 1},
    {"ONVIF alone is a camera", nullptr, {"ONVIF"}, "", kUnknownMac, "", 5, 1},
    {"Dahua Technology is not exactly dahua",
     "Dahua Technology",
     {"mDNS"},
     "",
     kKnownMac,
     "Dahua Technology",
     5,
     0},
    {"normalised Dahua vendor",
     "Zhejiang Dahua Technology Co., Ltd.",
     {"mDNS"},
     "",
     kKnownMac,
     "Dahua",
     1,
     2},
    {"BCS Line vendor",
     "BCS Line Sp. z o.o.",
     {"SSDP"},
     "",
     kKnownMac,
     "BCS Line Sp. z o.o.",
     1,
     2},
    {"Ubiquiti protocol", nullptr, {"Ubiquiti"}, "", kUnknownMac, "Ubiquiti", 2, 4},
    {"MNDP protocol", nullptr, {"MNDP"}, "", kUnknownMac, "MikroTik", 3, 3},
    {"vendor inference: Ubiquiti before Dahua, category: Dahua first",
     nullptr,
     {"Dahua", "Ubiquiti"},
     "",
     kUnknownMac,
     "Ubiquiti",
     1,
     2},
    {"vendor inference: MNDP before BCS model",
     nullptr,
     {"Dahua", "MNDP"},
     "BCS-NVR0401",
     kUnknownMac,
     "MikroTik",
     1,
     2},
    {"known vendor wins over inference",
     "Acme Networks",
     {"SADP"},
     "",
     kKnownMac,
     "Acme Networks",
     0,
     1},
    {"Espressif vendor", "Espressif Inc.", {"mDNS"}, "", kKnownMac, "Espressif Inc.", 4, 5},
    {"Ubiquiti vendor", "Ubiquiti Networks Inc.", {"SSDP"}, "", kKnownMac, "Ubiquiti", 2, 4},
    {"Routerboard vendor", "Routerboard.com", {"LLDP"}, "", kKnownMac, "MikroTik", 3, 3},
    {"Dahua model prefix without protocol",
     nullptr,
     {"SSDP"},
     "DH-IPC-HFW2431S",
     kUnknownMac,
     "",
     1,
     2},
    {"DHI prefix", nullptr, {"SSDP"}, "DHI-NVR4104", kUnknownMac, "", 1, 2},
    {"BCS prefix without Dahua answer",
     nullptr,
     {"ONVIF"},
     "BCS-DMIP1200",
     kUnknownMac,
     "BCS",
     1,
     2},
    {"camera word in Polish",
     nullptr,
     {"SSDP"},
     "KAMERA IP zewn\xC4\x99trzna",
     kUnknownMac,
     "",
     5,
     1},
    {"recorder word in Polish",
     nullptr,
     {"ONVIF"},
     "Rejestrator 8 kana\xC5\x82\xC3\xB3w",
     kUnknownMac,
     "",
     5,
     0},
    {"recorder word beats camera prefix",
     nullptr,
     {"SSDP"},
     "IPC-NVR hybrid",
     kUnknownMac,
     "",
     5,
     0},
    {"intercom word", nullptr, {"ONVIF"}, "Villa Door Station", kUnknownMac, "", 5, 0},
    {"intercom prefix asi", nullptr, {"ONVIF"}, "ASI7213X-T1", kUnknownMac, "", 5, 0},
    {"camera prefix uvc-", nullptr, {"SSDP"}, "UVC-G4-Bullet", kUnknownMac, "", 5, 1},
    {"camera word in the middle",
     nullptr,
     {"SSDP"},
     "Outdoor Network Camera 4MP",
     kUnknownMac,
     "",
     5,
     1},
    {"prefix must be at the start", nullptr, {"SSDP"}, "X DS-2CD", kUnknownMac, "", 5, 0},
    {"row keyed by IP has no vendor lookup",
     "Espressif Inc.",
     {"SSDP"},
     "",
     "#192.168.1.20",
     "",
     5,
     0},
    {"dotted capital I lower-cases to i",
     "H\xC4\xB0KVISION",
     {"mDNS"},
     "",
     kKnownMac,
     "H\xC4\xB0KVISION",
     0,
     1},
    {"Private vendor is hidden", "Private", {"mDNS"}, "", kKnownMac, "", 5, 0},
    {"nothing known", nullptr, {"IPv4"}, "", kUnknownMac, "", 5, 0},
};

std::u16string utf16(const char* utf8) { return to_display_text(utf8); }

TEST(Classify, Table) {
  for (const ClassifyCase& c : kCases) {
    VendorTable vendors;
    if (c.vendor_name) vendors.insert(make_prefix_key(24, 0x001122), c.vendor_name);
    DeviceRow row;
    row.protocol_names = c.protocols;
    row.columns[kColModel] = utf16(c.model);
    classify(row, c.key, vendors);
    EXPECT_EQ(row.columns[kColVendor], utf16(c.vendor)) << c.what;
    EXPECT_EQ(row.category, c.category) << c.what;
    EXPECT_EQ(row.accent_index, c.accent) << c.what;
  }
}

TEST(Classify, ReportsColumnTwoOnlyWhenSomethingChanged) {
  VendorTable vendors;
  DeviceRow row;
  row.protocol_names = {"SSDP"};
  EXPECT_EQ(classify(row, kUnknownMac, vendors), 0u);  // stays 5 / 0 / empty

  row.columns[kColModel] = u"DS-2CD2143G0-I";  // accent only
  EXPECT_EQ(classify(row, kUnknownMac, vendors), 4u);
  EXPECT_EQ(classify(row, kUnknownMac, vendors), 0u);

  vendors.insert(make_prefix_key(24, 0x001122), "Acme");  // vendor only
  EXPECT_EQ(classify(row, kKnownMac, vendors), 4u);
  EXPECT_EQ(row.columns[kColVendor], u"Acme");

  row.protocol_names.push_back("Dahua");  // category and accent
  EXPECT_EQ(classify(row, kKnownMac, vendors), 4u);
  EXPECT_EQ(row.category, kCatDahua);
  EXPECT_EQ(classify(row, kKnownMac, vendors), 0u);

  // A vendor that disappears (database replaced) clears the column.
  EXPECT_EQ(classify(row, kKnownMac, VendorTable{}), 4u);
  EXPECT_EQ(row.columns[kColVendor], u"Dahua");
}

TEST(LowerChar, CoversLatinGreekCyrillic) {
  struct Case {
    char16_t in, out;
  };
  const Case cases[] = {
      {u'A', u'a'},           {u'Z', u'z'},           {u'@', u'@'},
      {u'[', u'['},           {u'a', u'a'},           {u'\u00C0', u'\u00E0'},
      {u'\u00DE', u'\u00FE'}, {u'\u00D7', u'\u00D7'}, {u'\u00DF', u'\u00DF'},
      {u'\u0100', u'\u0101'}, {u'\u0101', u'\u0101'}, {u'\u012E', u'\u012F'},
      {u'\u0130', u'i'},      {u'\u0131', u'\u0131'}, {u'\u0132', u'\u0133'},
      {u'\u0138', u'\u0138'}, {u'\u0139', u'\u013A'}, {u'\u0141', u'\u0142'},
      {u'\u0147', u'\u0148'}, {u'\u0149', u'\u0149'}, {u'\u014A', u'\u014B'},
      {u'\u015A', u'\u015B'}, {u'\u0176', u'\u0177'}, {u'\u0178', u'\u00FF'},
      {u'\u0179', u'\u017A'}, {u'\u017B', u'\u017C'}, {u'\u017D', u'\u017E'},
      {u'\u017F', u'\u017F'}, {u'\u0106', u'\u0107'}, {u'\u0118', u'\u0119'},
      {u'\u0143', u'\u0144'}, {u'\u00D3', u'\u00F3'}, {u'\u0391', u'\u03B1'},
      {u'\u03A9', u'\u03C9'}, {u'\u03A2', u'\u03A2'}, {u'\u0410', u'\u0430'},
      {u'\u042F', u'\u044F'}, {u'\u0401', u'\u0451'}, {u'\u040F', u'\u045F'},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(lower_char(c.in), c.out) << std::hex << int{c.in};
  }
  EXPECT_EQ(lower_text(u"ŻÓŁW Kamera IP"), u"żółw kamera ip");
}

}  // namespace
}  // namespace norvane
