#include "app/status_text.h"

#include <gtest/gtest.h>

#include <vector>

#include "app/list_logic.h"
#include "app/list_model.h"
#include "capture/capture_control.h"
#include "model/device_table.h"
#include "support/summaries.h"
#include "vendors/vendor_table.h"

namespace norvane {
namespace {

constexpr char16_t kNb = u'\u202F';

TEST(FormatCount, GroupsOfThreeWithNarrowSpaces) {
  struct Case {
    std::uint64_t value;
    std::u16string want;
  };
  const Case cases[] = {
      {0, u"0"},
      {7, u"7"},
      {999, u"999"},
      {1000, std::u16string(u"1") + kNb + u"000"},
      {1234, std::u16string(u"1") + kNb + u"234"},
      {100000, std::u16string(u"100") + kNb + u"000"},
      {1000000, std::u16string(u"1") + kNb + u"000" + kNb + u"000"},
      {18446744073709551615ull, std::u16string(u"18") + kNb + u"446" + kNb + u"744" + kNb + u"073" +
                                    kNb + u"709" + kNb + u"551" + kNb + u"615"},
  };
  for (const auto& c : cases) EXPECT_EQ(format_count(c.value), c.want) << c.value;
}

TEST(StatusTexts, DeviceCountsLongAndShort) {
  const auto none = device_count_texts({});
  EXPECT_EQ(none.long_form,
            u"Urz\u0105dzenia 0 \u00B7 Hikvision 0 \u00B7 Dahua 0 \u00B7 Ubiquiti 0 \u00B7 "
            u"MikroTik 0 \u00B7 Espressif 0 \u00B7 Pozosta\u0142e 0");
  const auto some = device_count_texts({3, 0, 1, 0, 2, 6});
  EXPECT_EQ(some.long_form,
            u"Urz\u0105dzenia 12 \u00B7 Hikvision 3 \u00B7 Dahua 0 \u00B7 Ubiquiti 1 \u00B7 "
            u"MikroTik 0 \u00B7 Espressif 2 \u00B7 Pozosta\u0142e 6");
  EXPECT_EQ(some.short_form,
            u"Urz. 12 \u00B7 Hik 3 \u00B7 Dahua 0 \u00B7 UBNT 1 \u00B7 MT 0 \u00B7 ESP 2 \u00B7 "
            u"Inne 6");
  EXPECT_EQ(device_count_texts({3, 0, 1, 0, 2, 6}, 0).long_form, some.long_form);
  const auto to_check = device_count_texts({3, 0, 1, 0, 2, 6}, 1234);
  EXPECT_EQ(to_check.long_form, some.long_form + u" \u00B7 Do sprawdzenia 1" + kNb + u"234");
  EXPECT_EQ(to_check.short_form, some.short_form + u" \u00B7 Spr. 1" + kNb + u"234");
}

TEST(StatusTexts, TrafficMessagesAndDownloadNotice) {
  const auto t = traffic_texts(1234, 567890);
  EXPECT_EQ(t.long_form,
            std::u16string(u"Pakiety 1") + kNb + u"234 \u00B7 Bajty 567" + kNb + u"890");
  EXPECT_EQ(t.short_form, std::u16string(u"Pak. 1") + kNb + u"234 \u00B7 567" + kNb + u"890 B");

  const std::vector<std::u16string> parts = {u"", u"Aktywne", u"", u"Baza VENDOR do pobrania"};
  EXPECT_EQ(join_messages(parts), u"Aktywne  \u00B7  Baza VENDOR do pobrania");
  EXPECT_EQ(join_messages(std::vector<std::u16string>{u"", u""}), u"");

  // A lasting line fills the middle only while no message is shown.
  struct Middle {
    std::vector<std::u16string> parts;
    std::u16string_view lasting;
    std::u16string want;
  };
  const Middle middles[] = {
      {{u"", u"", u""}, u"Tylko", u"Tylko"},
      {{u"", u"", u""}, u"", u""},
      {{u"", u"B\u0142\u0105d", u""}, u"Tylko", u"B\u0142\u0105d"},
      {{u"Brak", u"", u"Baza"}, u"Tylko", u"Brak  \u00B7  Baza"},
      {{u"", u"", u"Baza"}, u"", u"Baza"},
  };
  for (const auto& m : middles) EXPECT_EQ(status_message(m.parts, m.lasting), m.want);
  // Probing alone after capture failed while running: not a matter of rights.
  EXPECT_EQ(probing_alone_line(false), kProbingAloneStatus);
  EXPECT_EQ(probing_alone_line(true), kCaptureStoppedStatus);

  EXPECT_EQ(download_notice(u"", 0, 0), u"Pobieranie bazy VENDOR");
  EXPECT_EQ(download_notice(u"oui.csv", 2048, 0),
            std::u16string(u"oui.csv  \u00B7  2") + kNb + u"048 B");
  EXPECT_EQ(download_notice(u"oui.csv", 2048, 4096),
            std::u16string(u"oui.csv  \u00B7  2") + kNb + u"048 / 4" + kNb + u"096 B");
}

using test::device_summary;

TEST(CountShownDevices, OnePerItemByCategoryOfTheShownRow) {
  VendorTable vendors;
  DeviceTable table(vendors);
  ListModel list(table);
  table.set_presenter(&list);

  table.merge(device_summary("00:11:22:33:44:55", "192.168.1.10", "SADP", "cam"));
  table.merge(device_summary("", "192.168.1.10", "SSDP"));  // same address: same item
  table.merge(device_summary("00:11:22:33:44:66", "192.168.1.11", "Dahua", "nvr"));
  table.merge(device_summary("00:11:22:33:44:77", "", "LLDP", "switch"));  // no address: own item
  PacketSummary printer = device_summary("00:11:22:33:44:88", "fe80::8", "mDNS", "printer");
  table.merge(printer);
  printer.departure = true;
  table.merge(printer);  // it leaves: a line with a state
  EXPECT_EQ(count_shown_devices(table), (std::array<std::uint64_t, 6>{1, 1, 0, 0, 0, 2}));
  EXPECT_EQ(count_shown(table).to_check, 1u);

  list.set_filter(filter_after_solo(list.filter(), kTabIpv6));
  EXPECT_EQ(count_shown_devices(table), (std::array<std::uint64_t, 6>{0, 0, 0, 0, 0, 1}));
  EXPECT_EQ(count_shown(table).to_check, 1u);
  list.set_filter(filter_after_solo(list.filter(), kTabDahua));
  EXPECT_EQ(count_shown(table).to_check, 0u);  // not shown, not counted
}

TEST(StatusBand, WideBandUsesLongFormsAndGivesTheMiddleTheRest) {
  const Rect band{12, 485, 900, 24};
  StatusWidths w{400, 200, 150, 100, 0};
  StatusPlan p = plan_status_band(band, 96, w);
  EXPECT_TRUE(p.devices_long);
  EXPECT_TRUE(p.traffic_long);
  EXPECT_EQ(p.left, (Rect{12, 485, 400, 24}));
  EXPECT_EQ(p.right, (Rect{912 - 150, 485, 150, 24}));
  EXPECT_EQ(p.middle, (Rect{12 + 400 + 8, 485, 900 - 400 - 150 - 16, 24}));

  // A long message reserves at most S(400) and a gap from the counts' room.
  w.devices_long = 334;
  w.message = 2000;
  p = plan_status_band(band, 96, w);
  EXPECT_TRUE(p.devices_long);  // 334 + 150 <= 900 - 8 - 400 - 8
  EXPECT_EQ(p.middle.width, 400);
  w.devices_long = 335;
  p = plan_status_band(band, 96, w);
  EXPECT_FALSE(p.devices_long);
  EXPECT_TRUE(p.traffic_long);
}

TEST(StatusBand, NarrowBandsShareOutTheWidth) {
  StatusWidths w{400, 200, 150, 100, 0};
  StatusPlan p = plan_status_band({0, 0, 300, 24}, 96, w);
  EXPECT_FALSE(p.devices_long);
  EXPECT_FALSE(p.traffic_long);
  EXPECT_EQ(p.right.width, 100);
  EXPECT_EQ(p.left.width, 192);  // 292 - 100

  // Too narrow even for the short forms: traffic gets two fifths of W - gap.
  p = plan_status_band({0, 0, 100, 24}, 96, w);
  EXPECT_EQ(p.right.width, 37);
  EXPECT_EQ(p.left.width, 55);
  EXPECT_EQ(p.middle.width, 0);
  EXPECT_EQ(p.right.right(), 100);

  p = plan_status_band({5, 0, 0, 24}, 96, w);
  EXPECT_EQ(p.left.width, 0);
  EXPECT_EQ(p.right.width, 0);
  EXPECT_EQ(p.middle.width, 0);
}

TEST(StatusBand, UnmeasuredTextsCountSevenPixelsPerCharacter) {
  EXPECT_EQ(unmeasured_text_width(10, 96), 70);
  EXPECT_EQ(unmeasured_text_width(10, 144), 110);  // S(7) = 10.5 -> 11
}

}  // namespace
}  // namespace norvane
