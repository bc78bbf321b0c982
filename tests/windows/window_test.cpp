// The real main window under Wine: summaries go through the capture queue,
// ticks run, and the list view, header, tabs, status texts and control
// rectangles are read back from the controls themselves.
#include <windows.h>
#include <winsock2.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/layout_logic.h"
#include "app/text_win.h"
#include "app/window_win.h"
#include "support/common_controls_win.h"
#include "support/summaries.h"

namespace norvane {
namespace {

using test::pump;
using test::source_path;
using test::to_wide;

const auto* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new test::CommonControlsEnvironment);

std::wstring window_text(HWND hwnd) {
  wchar_t buffer[1024] = {};
  GetWindowTextW(hwnd, buffer, 1024);
  return buffer;
}

Rect client_rect_of(HWND parent, HWND child) {
  RECT r{};
  GetWindowRect(child, &r);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
  return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

using test::device_summary;

class WindowTest : public ::testing::Test {
 protected:
  virtual int dpi() const { return 96; }
  // The adapter inventory the window sees; none unless a test is about it.
  virtual std::vector<NetworkAdapter> adapters() const { return {}; }
  // Further options of a fixture, before the window is made.
  virtual void customize(WindowOptions&) {}

  void SetUp() override {
    WindowOptions options;
    options.forced_dpi = dpi();
    // Tests feed summaries themselves; the inventory they give opens no
    // socket, so nothing is sent.
    options.list_adapters = [this] { return adapters(); };
    options.warn = [this](std::wstring_view text, std::wstring_view caption) {
      warnings.emplace_back(std::wstring(caption) + L": " + std::wstring(text));
    };
    options.open_address = [this](const std::wstring& address) {
      opened.push_back(address);
      return open_succeeds;
    };
    customize(options);
    window = std::make_unique<Window>(options);
    hwnd = window->create(GetModuleHandleW(nullptr));
    ASSERT_NE(hwnd, nullptr);
    ShowWindow(hwnd, SW_SHOWNORMAL);
    pump();
    list = window->list_view();
  }

  void TearDown() override {
    if (window && window->hwnd()) DestroyWindow(window->hwnd());
    pump();
    window.reset();
  }

  void feed(std::vector<PacketSummary> summaries) {
    const auto generation = window->queue_generation();
    for (auto& s : summaries) ASSERT_TRUE(window->queue_summary(std::move(s), generation));
    window->update();
  }

  int item_count() const { return static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)); }

  std::wstring cell(int item, int column) const {
    wchar_t buffer[600] = {};
    LVITEMW lv{};
    lv.iSubItem = column;
    lv.pszText = buffer;
    lv.cchTextMax = 600;
    SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&lv));
    return buffer;
  }

  std::vector<std::wstring> column(int c) const {
    std::vector<std::wstring> out;
    for (int i = 0; i < item_count(); ++i) out.push_back(cell(i, c));
    return out;
  }

  int header_format(int c) const {
    HDITEMW item{};
    item.mask = HDI_FORMAT;
    SendMessageW(window->device_list().header(), HDM_GETITEMW, static_cast<WPARAM>(c),
                 reinterpret_cast<LPARAM>(&item));
    return item.fmt & (HDF_SORTUP | HDF_SORTDOWN);
  }

  // Clicks a header item the way the mouse does.
  void click_header(int c) {
    HWND header = window->device_list().header();
    RECT r{};
    SendMessageW(header, HDM_GETITEMRECT, static_cast<WPARAM>(c), reinterpret_cast<LPARAM>(&r));
    const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    SendMessageW(header, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(header, WM_LBUTTONUP, 0, at);
    pump();
  }

  HWND tab(std::size_t i) const { return window->tabs()[i]; }
  bool checked(std::size_t i) const {
    return SendMessageW(tab(i), BM_GETCHECK, 0, 0) == BST_CHECKED;
  }

  void left_click_tab(std::size_t i) {
    SendMessageW(tab(i), BM_CLICK, 0, 0);
    pump();
  }

  void right_click_tab(std::size_t i, bool release_inside = true) {
    SendMessageW(tab(i), WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(5, 5));
    SendMessageW(tab(i), WM_RBUTTONUP, 0, release_inside ? MAKELPARAM(5, 5) : MAKELPARAM(-50, 5));
    pump();
  }

  // A point inside a cell, in list client coordinates.
  POINT cell_point(int item, int c) const {
    RECT r{};
    r.top = c;
    r.left = LVIR_BOUNDS;
    SendMessageW(list, LVM_GETSUBITEMRECT, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&r));
    return {r.left + 3, (r.top + r.bottom) / 2};
  }

  LRESULT notify_list(UINT code, POINT pt) {
    NMITEMACTIVATE nm{};
    nm.hdr.hwndFrom = list;
    nm.hdr.idFrom = kIdList;
    nm.hdr.code = code;
    nm.ptAction = pt;
    LVHITTESTINFO hit{};
    hit.pt = pt;
    SendMessageW(list, LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hit));
    nm.iItem = hit.iItem;
    nm.iSubItem = hit.iSubItem;
    return SendMessageW(hwnd, WM_NOTIFY, kIdList, reinterpret_cast<LPARAM>(&nm));
  }

  std::unique_ptr<Window> window;
  HWND hwnd = nullptr;
  HWND list = nullptr;
  std::vector<std::wstring> warnings;
  std::vector<std::wstring> opened;
  bool open_succeeds = true;
};

TEST_F(WindowTest, CreatesTheControlsAndTheFirstStatus) {
  wchar_t cls[64] = {};
  GetClassNameW(hwnd, cls, 64);
  EXPECT_STREQ(cls, L"NorvaneWindow");
  EXPECT_EQ(window_text(hwnd), L"Norvane - Quilbo 2026");
  EXPECT_EQ(window_text(window->label()), L"Karta sieciowa");
  EXPECT_EQ(window_text(window->search_button()), L"Szukaj teraz");
  EXPECT_EQ(window_text(window->update_button()), L"Aktualizuj baz\u0119");
  EXPECT_EQ(GetDlgCtrlID(window->combo()), 101);
  EXPECT_EQ(GetDlgCtrlID(list), 103);
  const wchar_t* tabs[] = {L"Hikvision", L"Dahua", L"Ubiquiti",      L"MikroTik",
                           L"Espressif", L"IPv6",  L"Pozosta\u0142e"};
  for (std::size_t i = 0; i < 7; ++i) {
    EXPECT_EQ(window_text(tab(i)), tabs[i]);
    EXPECT_EQ(GetDlgCtrlID(tab(i)), static_cast<int>(110 + i));
    EXPECT_TRUE(checked(i));
  }
  EXPECT_FALSE(IsWindowVisible(window->progress_bar()));
  EXPECT_EQ(window_text(window->progress_bar()), L"Pobieranie bazy producent\u00F3w");

  const wchar_t* headers[] = {L"Adres IP",     L"Adres MAC",          L"VENDOR",     L"Nazwa",
                              L"Model / opis", L"Protok\u00F3\u0142", L"Informacje", L"Stan"};
  for (int c = 0; c < kColumnCount; ++c) {
    wchar_t text[64] = {};
    HDITEMW item{};
    item.mask = HDI_TEXT;
    item.pszText = text;
    item.cchTextMax = 64;
    SendMessageW(window->device_list().header(), HDM_GETITEMW, static_cast<WPARAM>(c),
                 reinterpret_cast<LPARAM>(&item));
    EXPECT_EQ(std::wstring(text), headers[c]);
  }
  EXPECT_EQ(header_format(0), HDF_SORTUP);  // sorted by "Adres IP" from the start

  // No adapter listed: search disabled.
  EXPECT_EQ(SendMessageW(window->combo(), CB_GETCOUNT, 0, 0), 0);
  EXPECT_FALSE(IsWindowEnabled(window->search_button()));
  EXPECT_TRUE(IsWindowEnabled(window->update_button()));
  EXPECT_EQ(window_text(window->status_middle()),
            L"Brak kart Ethernet i Wi-Fi.  \u00B7  Baza VENDOR do pobrania");
  EXPECT_EQ(window->devices_long(),
            u"Urz\u0105dzenia 0 \u00B7 Hikvision 0 \u00B7 Dahua 0 \u00B7 Ubiquiti 0 \u00B7 "
            u"MikroTik 0 \u00B7 Espressif 0 \u00B7 Pozosta\u0142e 0");
  // The messages are shown whole: the counts take their short form.
  EXPECT_EQ(
      window_text(window->status_left()),
      L"Urz. 0 \u00B7 Hik 0 \u00B7 Dahua 0 \u00B7 UBNT 0 \u00B7 MT 0 \u00B7 ESP 0 \u00B7 Inne 0");
  EXPECT_EQ(window_text(window->status_right()), L"Pakiety 0 \u00B7 Bajty 0");
}

TEST_F(WindowTest, QueuedSummariesBecomeItemsGroupedByAddress) {
  feed({device_summary("00:11:22:33:44:55", "192.168.1.10", "SADP", "DS-CAM", "DS-2CD2143G0-I",
                       "V5.6"),
        device_summary("", "192.168.1.10", "SSDP", "", "", "Linux UPnP"),
        device_summary("00:11:22:33:44:66", "192.168.1.2", "mDNS", "printer"),
        device_summary("00:11:22:33:44:77", "", "LLDP", "switch")});
  ASSERT_EQ(item_count(), 3);
  // Sorted by address: .2, .10, then the item without address.
  EXPECT_EQ(column(0), (std::vector<std::wstring>{L"192.168.1.2", L"192.168.1.10", L""}));
  EXPECT_EQ(cell(1, 1), L"00:11:22:33:44:55");
  EXPECT_EQ(cell(1, 2), L"Hikvision");
  EXPECT_EQ(cell(1, 3), L"DS-CAM");
  EXPECT_EQ(cell(1, 4), L"DS-2CD2143G0-I");
  EXPECT_EQ(cell(1, 5), L"SADP");
  EXPECT_EQ(cell(1, 6), L"V5.6");
  EXPECT_EQ(cell(2, 3), L"switch");
  EXPECT_EQ(window->devices_long().substr(0, 13), u"Urz\u0105dzenia 3 ");

  // A later answer from another MAC at the same address is another device
  // (new cameras share their factory address): a line of its own, after the
  // camera's, whose line keeps its texts. Both are counted.
  feed({device_summary("00:11:22:33:44:99", "192.168.1.10", "mDNS", "other")});
  EXPECT_EQ(item_count(), 4);
  EXPECT_EQ(column(0),
            (std::vector<std::wstring>{L"192.168.1.2", L"192.168.1.10", L"192.168.1.10", L""}));
  EXPECT_EQ(column(1), (std::vector<std::wstring>{L"00:11:22:33:44:66", L"00:11:22:33:44:55",
                                                  L"00:11:22:33:44:99", L"00:11:22:33:44:77"}));
  EXPECT_EQ(cell(1, 3), L"DS-CAM");
  EXPECT_EQ(cell(2, 3), L"other");
  EXPECT_EQ(window->devices_long().substr(0, 13), u"Urz\u0105dzenia 4 ");

  // An answer without MAC joins the camera's line, which goes on showing
  // the camera's own row, MAC and all, though the answer's texts are longer.
  feed({device_summary("", "192.168.1.10", "ONVIF", "HIKVISION DS-2CD2143G0-I gate camera",
                       "DS-2CD2143G0-I revision B", "onvif device service, firmware V5.6")});
  EXPECT_EQ(item_count(), 4);
  EXPECT_EQ(cell(1, 1), L"00:11:22:33:44:55");
  EXPECT_EQ(cell(1, 5), L"SADP");
}

TEST_F(WindowTest, SortsByClickedColumnWithArrowsAndKeepsEmptyLast) {
  feed({device_summary("00:00:00:00:00:01", "10.0.0.10", "mDNS", "beta"),
        device_summary("00:00:00:00:00:02", "10.0.0.2", "mDNS", ""),
        device_summary("00:00:00:00:00:03", "fe80::3", "mDNS", "alpha"),
        device_summary("00:00:00:00:00:04", "10.0.0.4", "mDNS", "Beta")});
  EXPECT_EQ(column(0),
            (std::vector<std::wstring>{L"10.0.0.2", L"10.0.0.4", L"10.0.0.10", L"fe80::3"}));
  click_header(3);
  EXPECT_EQ(window->device_list().sort_column(), 3);
  EXPECT_EQ(header_format(0), 0);
  EXPECT_EQ(header_format(3), HDF_SORTUP);
  EXPECT_EQ(column(3), (std::vector<std::wstring>{L"alpha", L"beta", L"Beta", L""}));
  click_header(3);
  EXPECT_EQ(header_format(3), HDF_SORTDOWN);
  // Equal names keep discovery order; the empty name stays last.
  EXPECT_EQ(column(3), (std::vector<std::wstring>{L"beta", L"Beta", L"alpha", L""}));
  click_header(0);
  EXPECT_EQ(header_format(3), 0);
  EXPECT_EQ(header_format(0), HDF_SORTUP);
}

TEST_F(WindowTest, ChangedSortKeyMovesOnceAtTheEndOfTheTick) {
  window->device_list().sort_by(3);
  feed({device_summary("00:00:00:00:00:01", "10.0.0.1", "mDNS", "b"),
        device_summary("00:00:00:00:00:02", "10.0.0.2", "mDNS", "c")});
  EXPECT_EQ(column(3), (std::vector<std::wstring>{L"b", L"c"}));
  const auto generation = window->queue_generation();
  // Equal priority: the new name replaces the old one.
  window->queue_summary(device_summary("00:00:00:00:00:02", "10.0.0.2", "mDNS", "a"), generation);
  window->device_table().merge(device_summary("00:00:00:00:00:01", "10.0.0.1", "mDNS", "d"));
  EXPECT_TRUE(window->device_list().resort_pending());
  EXPECT_EQ(column(3), (std::vector<std::wstring>{L"d", L"c"}));  // not moved yet
  window->update();
  EXPECT_FALSE(window->device_list().resort_pending());
  EXPECT_EQ(column(3), (std::vector<std::wstring>{L"a", L"d"}));
}

TEST_F(WindowTest, FilterTabsAndSoloWithTheRealTabs) {
  feed({device_summary("00:00:00:00:00:01", "10.0.0.1", "SADP", "hik"),
        device_summary("00:00:00:00:00:02", "10.0.0.2", "Dahua", "dahua"),
        device_summary("00:00:00:00:00:03", "fe80::3", "mDNS", "v6"),
        device_summary("00:00:00:00:00:04", "10.0.0.4", "Ubiquiti", "ubnt")});
  ASSERT_EQ(item_count(), 4);

  left_click_tab(kTabIpv6);  // uncheck IPv6
  EXPECT_FALSE(checked(kTabIpv6));
  EXPECT_EQ(item_count(), 3);
  left_click_tab(kTabIpv6);
  EXPECT_EQ(item_count(), 4);

  right_click_tab(kTabDahua);
  EXPECT_EQ(column(3), (std::vector<std::wstring>{L"dahua"}));
  for (std::size_t i = 0; i < 7; ++i) EXPECT_EQ(checked(i), i == kTabDahua || i == kTabIpv6) << i;
  EXPECT_EQ(window->devices_long().substr(0, 13), u"Urz\u0105dzenia 1 ");

  right_click_tab(kTabUbiquiti);  // solo moves
  EXPECT_EQ(column(3), (std::vector<std::wstring>{L"ubnt"}));
  right_click_tab(kTabUbiquiti);  // back to the checks from before the first solo
  EXPECT_EQ(item_count(), 4);
  for (std::size_t i = 0; i < 7; ++i) EXPECT_TRUE(checked(i)) << i;

  // A left click leaves a maker's solo keeping the solo selection plus the
  // click.
  right_click_tab(kTabUbiquiti);
  left_click_tab(kTabHikvision);
  EXPECT_EQ(column(3), (std::vector<std::wstring>{L"hik", L"ubnt"}));
  EXPECT_FALSE(window->device_list().filter().solo);
  EXPECT_TRUE(checked(kTabHikvision));
  EXPECT_TRUE(checked(kTabUbiquiti));
  left_click_tab(kTabOther);
  EXPECT_EQ(column(3), (std::vector<std::wstring>{L"hik", L"ubnt", L"v6"}));

  // A right click released outside the tab does nothing.
  right_click_tab(kTabDahua, false);
  EXPECT_EQ(item_count(), 3);
  EXPECT_FALSE(checked(kTabDahua));
}

// Devices that capture knows by their IPv6 address only, beside IPv4 ones:
// after each click, the rows shown and the counts of the status band.
TEST_F(WindowTest, SoloKeepsEachMakersIpv6Devices) {
  feed({device_summary("00:00:00:00:00:01", "10.0.0.1", "SADP", "hik"),
        device_summary("00:00:00:00:00:02", "fe80::2", "SADP", "hik6"),
        device_summary("00:00:00:00:00:03", "10.0.0.3", "Dahua", "dahua"),
        device_summary("00:00:00:00:00:04", "fe80::4", "Dahua", "dahua6"),
        device_summary("00:00:00:00:00:05", "fe80::5", "Dahua", "dahua6b"),
        device_summary("00:00:00:00:00:06", "10.0.0.6", "mDNS", "other")});
  ASSERT_EQ(item_count(), 6);
  struct Step {
    const char* what;
    bool right;
    std::size_t tab;
    std::vector<std::wstring> names;  // sorted by address
    const wchar_t* counts;            // total, Hikvision, Dahua, Pozostałe
  };
  const Step steps[] = {
      {"Dahua alone, with its IPv6-only devices",
       true,
       kTabDahua,
       {L"dahua", L"dahua6", L"dahua6b"},
       L"3 0 3 0"},
      {"the solo moves to Hikvision", true, kTabHikvision, {L"hik", L"hik6"}, L"2 2 0 0"},
      {"back to every maker",
       true,
       kTabHikvision,
       {L"hik", L"dahua", L"other", L"hik6", L"dahua6", L"dahua6b"},
       L"6 2 3 1"},
      {"IPv6 alone", true, kTabIpv6, {L"hik6", L"dahua6", L"dahua6b"}, L"3 1 2 0"},
      {"a maker click ends it with every maker and IPv6",
       false,
       kTabDahua,
       {L"hik", L"dahua", L"other", L"hik6", L"dahua6", L"dahua6b"},
       L"6 2 3 1"},
      {"IPv6 alone again", true, kTabIpv6, {L"hik6", L"dahua6", L"dahua6b"}, L"3 1 2 0"},
      {"unchecking IPv6 ends it with every maker's IPv4 devices",
       false,
       kTabIpv6,
       {L"hik", L"dahua", L"other"},
       L"3 1 1 1"},
      {"a maker solo while IPv6 is unchecked", true, kTabDahua, {L"dahua"}, L"1 0 1 0"},
  };
  for (const auto& step : steps) {
    if (step.right) {
      right_click_tab(step.tab);
    } else {
      left_click_tab(step.tab);
    }
    EXPECT_EQ(column(3), step.names) << step.what;
    // The counts as the status band shows them: total, then per maker.
    const std::wstring text(wide(std::u16string_view(window->devices_long())));
    std::wstring counts;
    for (const wchar_t* name :
         {L"Urz\u0105dzenia ", L"Hikvision ", L"Dahua ", L"Pozosta\u0142e "}) {
      const std::size_t at = text.find(name);
      ASSERT_NE(at, std::wstring::npos) << step.what;
      const std::size_t from = at + std::wcslen(name);
      if (!counts.empty()) counts += L' ';
      counts += text.substr(from, text.find(L' ', from) - from);
    }
    EXPECT_EQ(counts, step.counts) << step.what;
  }
}

TEST_F(WindowTest, AnswersWithoutMacAreHiddenWithTheirFilteredOutDevice) {
  feed({device_summary("00:00:00:00:00:01", "10.0.0.9", "Dahua", "nvr", "DHI-NVR"),
        device_summary("", "10.0.0.9", "SSDP", "upnp")});
  ASSERT_EQ(item_count(), 1);
  EXPECT_EQ(cell(0, 3), L"nvr");
  left_click_tab(kTabDahua);
  EXPECT_EQ(item_count(), 0);
  left_click_tab(kTabDahua);
  ASSERT_EQ(item_count(), 1);
  EXPECT_EQ(cell(0, 3), L"nvr");
}

TEST_F(WindowTest, ClearingDropsQueuedAndLateSummaries) {
  feed({device_summary("00:00:00:00:00:01", "10.0.0.1", "SADP", "hik")});
  ASSERT_EQ(item_count(), 1);
  const auto before = window->queue_generation();
  ASSERT_TRUE(
      window->queue_summary(device_summary("00:00:00:00:00:02", "10.0.0.2", "SADP"), before));
  window->clear_devices();
  EXPECT_EQ(window->queue_generation(), before + 1);
  EXPECT_EQ(window->queued_summaries(), 0u);
  // A frame parsed before the clear carries the old generation.
  EXPECT_FALSE(
      window->queue_summary(device_summary("00:00:00:00:00:03", "10.0.0.3", "SADP"), before));
  window->update();
  EXPECT_EQ(item_count(), 0);
  EXPECT_EQ(window->device_table().size(), 0u);
}

TEST_F(WindowTest, QueueHolds4096EvidenceSummariesAndRoomForAnswers) {
  const auto generation = window->queue_generation();
  const auto evidence = [](int n) {
    char mac[18];
    std::snprintf(mac, sizeof mac, "02:00:00:00:%02X:%02X", n >> 8, n & 0xFF);
    PacketSummary s;
    s.mac = mac;
    s.protocol = "ARP";
    return s;
  };
  for (int i = 0; i < 4096; ++i) ASSERT_TRUE(window->queue_summary(evidence(i), generation));
  EXPECT_FALSE(window->queue_summary(evidence(4096), generation));
  EXPECT_TRUE(
      window->queue_summary(device_summary("00:00:00:00:00:02", "10.0.0.2", "SADP"), generation));
  EXPECT_EQ(window->queued_summaries(), 4097u);
  window->update();
  EXPECT_EQ(window->queued_summaries(), 0u);
  EXPECT_EQ(item_count(), 1);
  EXPECT_TRUE(window->queue_summary(evidence(4096), generation));
}

TEST_F(WindowTest, CopiesACellThroughTheKopiujMenu) {
  feed({device_summary("00:11:22:33:44:55", "192.168.1.64", "SADP", "Kamera \u0142\u00F3d\u017A")});
  ASSERT_EQ(item_count(), 1);
  // The menu runs its own loop: the keys waiting in the queue choose
  // "Kopiuj".
  PostMessageW(hwnd, WM_KEYDOWN, VK_DOWN, 0);
  PostMessageW(hwnd, WM_KEYDOWN, VK_RETURN, 0);
  EXPECT_NE(notify_list(NM_RCLICK, cell_point(0, 1)), 0);
  pump();
  ASSERT_TRUE(OpenClipboard(hwnd));
  HANDLE data = GetClipboardData(CF_UNICODETEXT);
  ASSERT_NE(data, nullptr);
  std::wstring text(static_cast<const wchar_t*>(GlobalLock(data)));
  GlobalUnlock(data);
  CloseClipboard();
  EXPECT_EQ(text, L"00:11:22:33:44:55");
  EXPECT_TRUE(warnings.empty());

  // Below the last item nothing is offered.
  RECT client{};
  GetClientRect(list, &client);
  EXPECT_EQ(notify_list(NM_RCLICK, POINT{5, client.bottom - 3}), 0);
  // The copy itself, including an empty cell.
  EXPECT_TRUE(window->device_list().commands().copy_text(u""));
  ASSERT_TRUE(OpenClipboard(hwnd));
  data = GetClipboardData(CF_UNICODETEXT);
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(std::wstring(static_cast<const wchar_t*>(GlobalLock(data))), L"");
  GlobalUnlock(data);
  CloseClipboard();
}

TEST_F(WindowTest, DoubleClickOnTheAddressOpensOnlyParsedAddresses) {
  feed({device_summary("00:00:00:00:00:01", "192.168.1.64", "SADP", "cam"),
        device_summary("00:00:00:00:00:02", "fe80::1", "mDNS", "v6"),
        device_summary("00:00:00:00:00:03", "javascript:alert(1)", "mDNS", "odd")});
  ASSERT_EQ(item_count(), 3);
  notify_list(NM_DBLCLK, cell_point(0, 0));
  notify_list(NM_DBLCLK, cell_point(1, 0));
  notify_list(NM_DBLCLK, cell_point(0, 3));  // the name: nothing
  EXPECT_EQ(opened, (std::vector<std::wstring>{L"http://192.168.1.64", L"http://[fe80::1]"}));
  EXPECT_TRUE(warnings.empty());

  notify_list(NM_DBLCLK, cell_point(2, 0));
  EXPECT_EQ(opened.size(), 2u);
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_EQ(warnings[0],
            L"Norvane - Quilbo 2026: Nie uda\u0142o si\u0119 otworzy\u0107 adresu w "
            L"przegl\u0105darce.");
  open_succeeds = false;
  notify_list(NM_DBLCLK, cell_point(0, 0));
  EXPECT_EQ(warnings.size(), 2u);
}

TEST_F(WindowTest, ColumnsFillTheListAndTheLastCannotBeDragged) {
  const auto widths = [&] {
    std::vector<int> out;
    for (int c = 0; c < kColumnCount; ++c) {
      out.push_back(static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, c, 0)));
    }
    return out;
  };
  const auto total = [&](const std::vector<int>& v) {
    int t = 0;
    for (int x : v) t += x;
    return t;
  };
  RECT client{};
  GetClientRect(list, &client);
  EXPECT_EQ(total(widths()), client.right);

  // A divider dragged far to the right: the header change refits, squeezing
  // columns 0 to 6 and leaving the rest to "Stan".
  SendMessageW(list, LVM_SETCOLUMNWIDTH, 0, MAKELPARAM(3000, 0));
  pump();
  const auto after = widths();
  EXPECT_EQ(total(after), client.right);
  EXPECT_GT(after[0], after[1]);
  EXPECT_GE(after[kColState], std::min(100, static_cast<int>(client.right) / 5));

  // Real divider drags: the last column's divider does not move, another
  // one moves and the columns are fitted again when it is released.
  const auto drag_divider = [&](int c, int dx) {
    HWND header = window->device_list().header();
    RECT r{};
    SendMessageW(header, HDM_GETITEMRECT, static_cast<WPARAM>(c), reinterpret_cast<LPARAM>(&r));
    const int y = (r.top + r.bottom) / 2;
    SendMessageW(header, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(r.right - 1, y));
    SendMessageW(header, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(r.right - 1 + dx, y));
    SendMessageW(header, WM_LBUTTONUP, 0, MAKELPARAM(r.right - 1 + dx, y));
    pump();
  };
  const auto before_drag = widths();
  drag_divider(kColState, -200);
  EXPECT_EQ(widths(), before_drag);
  drag_divider(1, 400);
  const auto dragged = widths();
  EXPECT_EQ(total(dragged), client.right);
  EXPECT_GT(dragged[1], before_drag[1]);

  NMHEADERW begin{};
  begin.hdr.hwndFrom = window->device_list().header();
  begin.hdr.code = HDN_BEGINTRACKW;
  begin.iItem = kColState;
  EXPECT_EQ(SendMessageW(hwnd, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&begin)), TRUE);
  begin.iItem = kColInfo;
  EXPECT_EQ(SendMessageW(hwnd, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&begin)), FALSE);
}

TEST_F(WindowTest, StatusCountsTrafficAndMessages) {
  window->traffic().packet_count = 1000;
  window->traffic().byte_count = 1234567;
  feed({device_summary("00:00:00:00:00:01", "10.0.0.1", "SADP", "hik"),
        device_summary("00:00:00:00:00:02", "10.0.0.2", "Ubiquiti", "ubnt"),
        device_summary("00:00:00:00:00:03", "10.0.0.3", "mDNS", "x")});
  EXPECT_EQ(window_text(window->status_right()),
            L"Pakiety 1\u202F000 \u00B7 Bajty 1\u202F234\u202F567");
  EXPECT_EQ(window->devices_long(),
            u"Urz\u0105dzenia 3 \u00B7 Hikvision 1 \u00B7 Dahua 0 \u00B7 Ubiquiti 1 \u00B7 "
            u"MikroTik 0 \u00B7 Espressif 0 \u00B7 Pozosta\u0142e 1");
  EXPECT_EQ(
      window_text(window->status_left()),
      L"Urz. 3 \u00B7 Hik 1 \u00B7 Dahua 0 \u00B7 UBNT 1 \u00B7 MT 0 \u00B7 ESP 0 \u00B7 Inne 1");
  // The three texts share the band left to right without overlapping.
  const Rect left = client_rect_of(hwnd, window->status_left());
  const Rect middle = client_rect_of(hwnd, window->status_middle());
  const Rect right = client_rect_of(hwnd, window->status_right());
  EXPECT_EQ(left.x, window->status_band().x);
  EXPECT_EQ(right.right(), window->status_band().right());
  EXPECT_LE(left.right(), middle.x);
  EXPECT_LE(middle.right(), right.x);
  EXPECT_EQ(left.y, window->status_band().y);

  // Narrow window: short forms.
  SetWindowPos(hwnd, nullptr, 0, 0, 600, 400, SWP_NOMOVE | SWP_NOZORDER);
  pump();
  EXPECT_EQ(window_text(window->status_left()).substr(0, 7), L"Urz. 3 ");
  const std::wstring traffic = window_text(window->status_right());
  EXPECT_TRUE(traffic == L"Pakiety 1\u202F000 \u00B7 Bajty 1\u202F234\u202F567" ||
              traffic == L"Pak. 1\u202F000 \u00B7 1\u202F234\u202F567 B")
      << std::string(traffic.begin(), traffic.end());
}

TEST_F(WindowTest, VendorUpdateFinishReloadsAndReclassifies) {
  feed({device_summary("00:11:22:33:44:55", "10.0.0.5", "mDNS", "esp")});
  EXPECT_EQ(cell(0, 2), L"");

  const auto dir = std::filesystem::temp_directory_path() / "norvane-window-test";
  std::filesystem::create_directories(dir);
  const auto file = dir / "mac-vendors.tsv";
  {
    std::ofstream out(file, std::ios::binary);
    out << "# IEEE MAC vendor database v1\n001122\tEspressif Inc.\n";
  }
  window->set_vendor_db_file(file);
  window->show_progress(-1, true);
  EXPECT_TRUE(IsWindowVisible(window->progress_bar()));
  window->finish_vendor_update({true, 0, u""});
  EXPECT_FALSE(IsWindowVisible(window->progress_bar()));
  EXPECT_EQ(cell(0, 2).substr(0, 9), L"Espressif");
  EXPECT_EQ(window->notice(), u"Baza VENDOR gotowa");
  EXPECT_NE(window->notice_expiry(), 0u);
  EXPECT_EQ(window_text(window->status_left()).find(L"Espressif 1") != std::wstring::npos, true);
  EXPECT_TRUE(warnings.empty());

  // The worker succeeded but the file is unreadable: previous table kept.
  std::filesystem::remove(file);
  window->finish_vendor_update({true, 1, u"Pobrano"});
  EXPECT_EQ(window->notice(), u"B\u0142\u0105d aktualizacji VENDOR");
  EXPECT_EQ(window->notice_expiry(), 0u);
  EXPECT_EQ(cell(0, 2).substr(0, 9), L"Espressif");
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_EQ(warnings[0],
            L"Baza VENDOR: Nie mo\u017Cna odczyta\u0107 zapisanej bazy producent\u00F3w.");

  window->finish_vendor_update({false, 0, u"Brak po\u0142\u0105czenia (kod 12029)."});
  ASSERT_EQ(warnings.size(), 2u);
  EXPECT_EQ(warnings[1], L"Baza VENDOR: Brak po\u0142\u0105czenia (kod 12029).");
  // A failure without a message is still named.
  window->finish_vendor_update({false, 0, u""});
  ASSERT_EQ(warnings.size(), 3u);
  EXPECT_EQ(warnings[2], L"Baza VENDOR: B\u0142\u0105d aktualizacji VENDOR");
  std::filesystem::remove_all(dir);
}

TEST_F(WindowTest, ProbeAnswersAreCountedDecodedAndMerged) {
  const std::string ssdp =
      "HTTP/1.1 200 OK\r\nCACHE-CONTROL: max-age=120\r\nST: upnp:rootdevice\r\n"
      "SERVER: Linux/3.10 UPnP/1.0 IPC/1.0\r\nUSN: uuid:1234::upnp:rootdevice\r\n"
      "LOCATION: http://192.168.1.77/desc.xml\r\n\r\n";
  DiscoveryReply reply;
  reply.address = htonl(0xC0A8014D);  // 192.168.1.77
  reply.source_port = 1900;
  reply.local_port = 50000;
  reply.data = reinterpret_cast<const std::uint8_t*>(ssdp.data());
  reply.size = ssdp.size();
  window->on_probe_reply(reply);
  EXPECT_EQ(window->traffic().packet_count.load(), 1u);
  EXPECT_EQ(window->traffic().byte_count.load(), ssdp.size());
  window->update();
  ASSERT_EQ(item_count(), 1);
  EXPECT_EQ(cell(0, 0), L"192.168.1.77");
  EXPECT_EQ(cell(0, 5), L"SSDP");

  // Not a discovery answer: counted, not listed.
  const std::string junk = "hello";
  reply.data = reinterpret_cast<const std::uint8_t*>(junk.data());
  reply.size = junk.size();
  reply.address = htonl(0xC0A8014E);
  reply.source_port = 40000;
  window->on_probe_reply(reply);
  window->update();
  EXPECT_EQ(window->traffic().packet_count.load(), 2u);
  EXPECT_EQ(item_count(), 1);
}

TEST_F(WindowTest, DownloadProgressBecomesTheNotice) {
  window->apply_update_progress({40, false, 2048, 4096, u"oui.csv"});
  EXPECT_TRUE(window->progress_shown());
  EXPECT_EQ(window->notice(), u"oui.csv  \u00B7  2\u202F048 / 4\u202F096 B");
  EXPECT_EQ(SendMessageW(window->progress_bar(), PBM_GETPOS, 0, 0), 40);
  window->update();
  EXPECT_EQ(window_text(window->status_middle()),
            L"Brak kart Ethernet i Wi-Fi.  \u00B7  oui.csv  \u00B7  2\u202F048 / 4\u202F096 B");
}

TEST_F(WindowTest, MinimumSizeAndSizeGrip) {
  MINMAXINFO info{};
  SendMessageW(hwnd, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
  EXPECT_EQ(info.ptMinTrackSize.x, mul_div(580, dpi(), 96));
  EXPECT_EQ(info.ptMinTrackSize.y, mul_div(300, dpi(), 96));

  const Rect grip = window->grip();
  ASSERT_FALSE(grip.empty());
  POINT inside{grip.x + grip.width / 2, grip.y + grip.height / 2};
  ClientToScreen(hwnd, &inside);
  EXPECT_EQ(SendMessageW(hwnd, WM_NCHITTEST, 0, MAKELPARAM(inside.x, inside.y)), HTBOTTOMRIGHT);
  POINT outside{grip.x - 30, grip.y - 30};
  ClientToScreen(hwnd, &outside);
  EXPECT_EQ(SendMessageW(hwnd, WM_NCHITTEST, 0, MAKELPARAM(outside.x, outside.y)), HTCLIENT);
}

// Layout of the real controls against the computed rectangles, after
// WM_SIZE and after zoom keys, at 96 and 144 DPI.
// Adapters whose discovery cannot start: the selector, the start at WM_APP+1
// and the status texts, without any socket being opened.
class AdapterWindowTest : public WindowTest {
 protected:
  std::vector<NetworkAdapter> adapters() const override { return inventory; }

  static NetworkAdapter adapter(const char* name, const char16_t* friendly,
                                const char16_t* description, bool connected, std::uint32_t index,
                                std::uint32_t ipv4) {
    NetworkAdapter a;
    a.adapter_name = name;
    a.display_name = friendly;
    a.description = description;
    a.connected = connected;
    a.if_index = index;
    a.ipv4 = ipv4;
    a.mac = {0x02, 0x00, 0x00, 0x00, 0x00, 0x01};
    return a;
  }

  std::wstring combo_text(int index) const {
    wchar_t buffer[256] = {};
    SendMessageW(window->combo(), CB_GETLBTEXT, static_cast<WPARAM>(index),
                 reinterpret_cast<LPARAM>(buffer));
    return buffer;
  }

  std::vector<NetworkAdapter> inventory = {
      adapter("{A}", u"Ethernet", u"Intel(R) Ethernet Connection", true, 7, 0),
      adapter("{B}", u"Wi-Fi", u"Wi-Fi", false, 9, 0x0501A8C0),
  };
};

TEST_F(AdapterWindowTest, SelectorListsAdaptersAndTheStartSaysWhyNothingRuns) {
  ASSERT_EQ(SendMessageW(window->combo(), CB_GETCOUNT, 0, 0), 2);
  EXPECT_EQ(combo_text(0), L"Ethernet \u2014 Intel(R) Ethernet Connection");
  EXPECT_EQ(combo_text(1), L"Wi-Fi (roz\u0142\u0105czona)");
  EXPECT_EQ(SendMessageW(window->combo(), CB_GETCURSEL, 0, 0), 0);
  EXPECT_TRUE(IsWindowEnabled(window->search_button()));
  // WM_APP+1 has started discovery: no IPv4, so nothing opened.
  EXPECT_FALSE(window->capture().running());
  EXPECT_EQ(window->capture_status(), kNoIpv4Status);
  EXPECT_NE(window->capture().retry_at(), 0u);
  EXPECT_EQ(window_text(window->status_middle()).rfind(wide(std::u16string_view(kNoIpv4Status)), 0),
            0u);

  // An address that appears later is used by the next start; the label stays.
  inventory[0].ipv4 = 0x0A00000A;
  inventory[0].if_index = 0;  // and no usable index: the socket cannot be made
  inventory[0].display_name = u"Renamed";
  feed({device_summary("00:11:22:33:44:55", "192.168.1.10", "SADP")});
  ASSERT_EQ(item_count(), 1);
  SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(kIdSearch, BN_CLICKED),
               reinterpret_cast<LPARAM>(window->search_button()));
  EXPECT_EQ(item_count(), 0);  // the press clears the list first
  EXPECT_EQ(window->capture_status(), kNoSocketStatus);
  EXPECT_EQ(window->adapters()[0].ipv4, 0x0A00000Au);
  EXPECT_EQ(combo_text(0), L"Ethernet \u2014 Intel(R) Ethernet Connection");

  // A selection change starts afresh on the other adapter.
  window->traffic().packet_count = 3;
  SendMessageW(window->combo(), CB_SETCURSEL, 1, 0);
  SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(kIdCombo, CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(window->combo()));
  EXPECT_EQ(window->traffic().packet_count.load(), 0u);
  EXPECT_EQ(window->capture_status(), kNoSocketStatus);  // index 9 is no interface here
}

// Discovery that runs, on stand-ins for the probe engine and the capture
// back-ends: nothing is sent or captured, and every start is counted.
class DiscoveryWindowTest : public AdapterWindowTest {
 protected:
  class Engine final : public ProbeEngineInterface {
   public:
    bool opens = true;
    unsigned sent = 16;
    int open_count = 0;
    std::string open_adapter;
    bool open(const std::string& adapter_name, std::uint32_t, std::uint32_t, std::uint32_t,
              const MacBytes&, bool) override {
      ++open_count;
      open_adapter = adapter_name;
      return opens;
    }
    void close() override {}
    unsigned search() override { return sent; }
    void poll(const ReplyHandler&) override {}
  };
  struct Capturing final : CaptureBackend {};

  void customize(WindowOptions& options) override {
    options.probe_engine = &engine;
    options.start_pktmon = [this](const NetworkAdapter&, FrameCallback, std::u16string&) {
      return pktmon_starts ? std::make_unique<Capturing>() : nullptr;
    };
    options.start_npcap = [this](const NetworkAdapter&, FrameCallback, FailureCallback failed) {
      if (!npcap_starts) return std::unique_ptr<Capturing>();
      npcap_failed = std::move(failed);
      return std::make_unique<Capturing>();
    };
    // A database that loads, so that no notice is waiting from the start.
    vendor_file = std::filesystem::temp_directory_path() / "norvane-window-test-vendors.tsv";
    std::ofstream(vendor_file, std::ios::binary)
        << "# IEEE MAC vendor database v1\n001122\tEspressif Inc.\n";
    options.vendor_db_file = vendor_file;
  }

  void TearDown() override {
    WindowTest::TearDown();
    std::filesystem::remove(vendor_file);
  }

  void select(int index) {
    SendMessageW(window->combo(), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(kIdCombo, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(window->combo()));
  }
  int selection() const {
    return static_cast<int>(SendMessageW(window->combo(), CB_GETCURSEL, 0, 0));
  }
  std::vector<std::wstring> combo_texts() const {
    std::vector<std::wstring> out;
    const auto n = SendMessageW(window->combo(), CB_GETCOUNT, 0, 0);
    for (int i = 0; i < n; ++i) out.push_back(combo_text(i));
    return out;
  }
  // Opens and closes the selector the way the mouse does.
  void drop_down() {
    SendMessageW(window->combo(), CB_SHOWDROPDOWN, TRUE, 0);
    pump();
    SendMessageW(window->combo(), CB_SHOWDROPDOWN, FALSE, 0);
    pump();
  }

  Engine engine;
  bool pktmon_starts = false;
  bool npcap_starts = false;
  FailureCallback npcap_failed;  // the last Npcap stand-in's failure report
  std::filesystem::path vendor_file;
};

TEST_F(DiscoveryWindowTest, ProbingAloneSaysSoInTheMiddleUntilAnotherMessageNeedsIt) {
  struct Case {
    const char* what;
    bool pktmon;
    bool npcap;
    bool engine_opens;
    unsigned sent;
    bool alone;  // discovery runs by probing alone
    std::u16string_view middle;
  };
  const Case cases[] = {
      {"no back-end", false, false, true, 16, true, kProbingAloneStatus},
      {"Npcap captures", false, true, true, 16, false, u""},
      {"Packet Monitor captures", true, false, true, 16, false, u""},
      {"no back-end and no probe sent", false, false, true, 0, true, kSendFailedStatus},
      {"nothing opens", false, false, false, 16, false, kNoSocketStatus},
      {"capture without the probe engine", false, true, false, 16, false, kNoActiveSearchStatus},
      {"no back-end again", false, false, true, 16, true, kProbingAloneStatus},
  };
  // The first start, at WM_APP+1, probed alone.
  EXPECT_TRUE(window->capture().probing_alone());
  EXPECT_EQ(window_text(window->status_middle()), wide(std::u16string_view(kProbingAloneStatus)));
  for (const auto& c : cases) {
    pktmon_starts = c.pktmon;
    npcap_starts = c.npcap;
    engine.opens = c.engine_opens;
    engine.sent = c.sent;
    select(1);  // a selection change starts afresh
    EXPECT_EQ(window_text(window->status_middle()), wide(c.middle)) << c.what;
    EXPECT_EQ(window->capture().probing_alone(), c.alone) << c.what;
  }

  // Capture that stops while running had the rights it needed: the note
  // says it stopped. "Szukaj teraz" tries capture again.
  npcap_starts = true;
  select(1);
  ASSERT_FALSE(window->capture().probing_alone());
  npcap_starts = false;
  npcap_failed();
  window->update();
  EXPECT_TRUE(window->capture().probing_alone());
  EXPECT_EQ(window_text(window->status_middle()), wide(std::u16string_view(kCaptureStoppedStatus)));
  SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(kIdSearch, BN_CLICKED),
               reinterpret_cast<LPARAM>(window->search_button()));
  EXPECT_EQ(window_text(window->status_middle()), wide(std::u16string_view(kProbingAloneStatus)));
}

// Each line's "Stan", told against the selected adapter's network: how the
// line stands out, the count in the status band, sorting and copying by it,
// and the page of a device outside the subnet, which opens with a notice.
TEST_F(DiscoveryWindowTest, DeviceStatesShowOnTheirLines) {
  inventory[0].ipv4 = 0x01014F0A;  // 10.79.1.1/24
  inventory[0].prefix_length = 24;
  select(0);
  PacketSummary fresh = device_summary("00:00:00:00:00:01", "10.79.1.20", "SADP", "fresh");
  fresh.settings.activated = false;
  PacketSummary leaving = device_summary("00:00:00:00:00:03", "10.79.1.30", "SSDP", "leaving");
  PacketSummary goodbye = leaving;
  goodbye.departure = true;
  feed({fresh, device_summary("00:00:00:00:00:02", "192.168.1.64", "SADP", "outside"),
        device_summary("00:00:00:00:00:04", "10.79.1.40", "SADP", "clean"), leaving, goodbye});
  ASSERT_EQ(item_count(), 4);
  EXPECT_EQ(column(kColState), (std::vector<std::wstring>{L"nieaktywne", L"od\u0142\u0105czone",
                                                          L"", L"poza podsieci\u0105"}));
  EXPECT_TRUE(window->devices_long().ends_with(u" \u00B7 Do sprawdzenia 3"));
  EXPECT_TRUE(window->devices_short().ends_with(u" \u00B7 Spr. 3"));
  EXPECT_TRUE(window_text(window->status_left()).ends_with(L" \u00B7 Spr. 3"));

  // Sorted by "Stan": states in text order, lines without one last.
  click_header(kColState);
  EXPECT_EQ(column(kColName),
            (std::vector<std::wstring>{L"fresh", L"leaving", L"outside", L"clean"}));
  PostMessageW(hwnd, WM_KEYDOWN, VK_DOWN, 0);
  PostMessageW(hwnd, WM_KEYDOWN, VK_RETURN, 0);
  ASSERT_NE(notify_list(NM_RCLICK, cell_point(2, kColState)), 0);  // "Kopiuj"
  pump();
  ASSERT_TRUE(OpenClipboard(hwnd));
  HANDLE data = GetClipboardData(CF_UNICODETEXT);
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(std::wstring(static_cast<const wchar_t*>(GlobalLock(data))), L"poza podsieci\u0105");
  GlobalUnlock(data);
  CloseClipboard();

  // Its page opens all the same, by double click or the menu, and the
  // notice says why it may not load, for a while.
  notify_list(NM_DBLCLK, cell_point(2, kColIp));
  for (int i = 0; i < 4; ++i) PostMessageW(hwnd, WM_KEYDOWN, VK_DOWN, 0);
  PostMessageW(hwnd, WM_KEYDOWN, VK_RETURN, 0);
  notify_list(NM_RCLICK, cell_point(2, kColName));
  pump();
  EXPECT_EQ(opened, (std::vector<std::wstring>{L"http://192.168.1.64", L"http://192.168.1.64"}));
  const std::wstring notice = L"Adres 192.168.1.64 jest poza podsieci\u0105 karty (10.79.1.1/24).";
  EXPECT_EQ(window_text(window->status_middle()), notice);
  EXPECT_GT(window->notice_expiry(), GetTickCount64() + 5000);
  notify_list(NM_DBLCLK, cell_point(3, kColIp));  // inside the subnet: nothing more said
  EXPECT_EQ(opened.size(), 3u);
  EXPECT_EQ(window_text(window->status_middle()), notice);
  EXPECT_TRUE(warnings.empty());
}

TEST_F(DiscoveryWindowTest, AdapterPluggedInLaterAppearsWhenTheSelectorOpens) {
  inventory[0].ipv4 = 0x0100000A;
  inventory[1].ipv4 = 0x0200000A;
  select(1);  // Wi-Fi, the second and disconnected one
  feed({device_summary("00:00:00:00:00:01", "10.0.0.1", "SADP", "hik")});
  window->traffic().packet_count = 5;
  const int opens_before = engine.open_count;
  ASSERT_EQ(engine.open_adapter, "{B}");

  // A USB adapter plugged in, listed first; the Wi-Fi cable plugged in.
  inventory.insert(inventory.begin(),
                   adapter("{USB}", u"Ethernet 2", u"USB Ethernet", true, 12, 0x0300000A));
  inventory[2].connected = true;
  EXPECT_EQ(SendMessageW(window->combo(), CB_GETCOUNT, 0, 0), 2);  // not until opened
  drop_down();
  EXPECT_EQ(combo_texts(),
            (std::vector<std::wstring>{L"Ethernet 2 \u2014 USB Ethernet",
                                       L"Ethernet \u2014 Intel(R) Ethernet Connection", L"Wi-Fi"}));
  EXPECT_EQ(selection(), 2);  // still Wi-Fi
  // Nothing restarted: the same discovery, list and counters.
  EXPECT_EQ(engine.open_count, opens_before);
  EXPECT_EQ(item_count(), 1);
  EXPECT_EQ(window->traffic().packet_count.load(), 5u);
  // The next start or search uses the Wi-Fi adapter still.
  SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(kIdSearch, BN_CLICKED),
               reinterpret_cast<LPARAM>(window->search_button()));
  EXPECT_EQ(engine.open_adapter, "{B}");
  const int searched = engine.open_count;

  // The system reports a device change: listed again at the next tick.
  inventory.erase(inventory.begin() + 1);  // the Intel adapter is gone
  SendMessageW(hwnd, WM_DEVICECHANGE, 0x0007 /* DBT_DEVNODES_CHANGED */, 0);
  EXPECT_EQ(SendMessageW(window->combo(), CB_GETCOUNT, 0, 0), 3);
  window->update();
  EXPECT_EQ(combo_texts(),
            (std::vector<std::wstring>{L"Ethernet 2 \u2014 USB Ethernet", L"Wi-Fi"}));
  EXPECT_EQ(selection(), 1);

  // The selected adapter itself pulled out: it stays chosen, listed last.
  inventory.erase(inventory.begin() + 1);
  drop_down();
  EXPECT_EQ(combo_texts(), (std::vector<std::wstring>{L"Ethernet 2 \u2014 USB Ethernet",
                                                      L"Wi-Fi (roz\u0142\u0105czona)"}));
  EXPECT_EQ(selection(), 1);
  EXPECT_EQ(engine.open_count, searched);
  EXPECT_EQ(window->adapters()[1].adapter_name, "{B}");
}

class NoAdapterAtStartTest : public DiscoveryWindowTest {
 protected:
  void customize(WindowOptions& options) override {
    inventory.clear();
    DiscoveryWindowTest::customize(options);
  }
};

TEST_F(NoAdapterAtStartTest, FirstAdapterPluggedInStartsDiscovery) {
  EXPECT_EQ(engine.open_count, 0);
  EXPECT_FALSE(IsWindowEnabled(window->search_button()));
  EXPECT_EQ(window->capture_status(), u"Brak kart Ethernet i Wi-Fi.");
  window->update();
  drop_down();  // still nothing there
  EXPECT_EQ(engine.open_count, 0);
  EXPECT_EQ(selection(), -1);

  inventory.push_back(adapter("{USB}", u"Ethernet 2", u"USB Ethernet", true, 12, 0x0300000A));
  SendMessageW(hwnd, WM_DEVICECHANGE, 0x0007 /* DBT_DEVNODES_CHANGED */, 0);
  window->update();
  EXPECT_EQ(selection(), 0);
  EXPECT_TRUE(IsWindowEnabled(window->search_button()));
  EXPECT_EQ(engine.open_count, 1);
  EXPECT_EQ(engine.open_adapter, "{USB}");
  EXPECT_EQ(window_text(window->status_middle()), wide(std::u16string_view(kProbingAloneStatus)));
}

// Coming back to the window from another one: the child that had the focus
// has it again, so an arrow key does what it did before leaving.
TEST_F(DiscoveryWindowTest, FocusComesBackToTheChildThatHadIt) {
  EXPECT_EQ(GetFocus(), window->combo());  // no child had it before
  inventory[0].ipv4 = 0x0100000A;
  inventory[1].ipv4 = 0x0200000A;
  select(0);
  feed({device_summary("00:00:00:00:00:01", "10.0.0.1", "SADP", "first"),
        device_summary("00:00:00:00:00:02", "10.0.0.2", "SADP", "second")});
  const int opens_before = engine.open_count;
  HWND other = CreateWindowExW(0, L"STATIC", L"other", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200,
                               100, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(other, nullptr);
  const auto switch_away_and_back = [&] {
    SetActiveWindow(other);
    pump();
    EXPECT_EQ(GetActiveWindow(), other);
    SetActiveWindow(hwnd);
    pump();
    EXPECT_EQ(GetActiveWindow(), hwnd);
  };

  struct Case {
    const char* what;
    HWND before;
    bool disable_meanwhile;
    HWND after;
  };
  const Case cases[] = {
      {"the list", list, false, list},
      {"a filter tab", tab(kTabDahua), false, tab(kTabDahua)},
      {"the search button", window->search_button(), false, window->search_button()},
      {"a button disabled meanwhile", window->update_button(), true, window->combo()},
  };
  for (const auto& c : cases) {
    SetFocus(c.before);
    ASSERT_EQ(GetFocus(), c.before) << c.what;
    SetActiveWindow(other);
    pump();
    if (c.disable_meanwhile) EnableWindow(c.before, FALSE);
    SetActiveWindow(hwnd);
    pump();
    EXPECT_EQ(GetFocus(), c.after) << c.what;
    EnableWindow(c.before, TRUE);
  }

  // Reading the list, away and back, then Down: the list moves, the
  // adapter and the devices stay.
  ListView_SetItemState(list, 0, LVIS_FOCUSED | LVIS_SELECTED, LVIS_FOCUSED | LVIS_SELECTED);
  SetFocus(list);
  switch_away_and_back();
  PostMessageW(GetFocus(), WM_KEYDOWN, VK_DOWN, 0x01500001);
  PostMessageW(GetFocus(), WM_KEYUP, VK_DOWN, static_cast<LPARAM>(0xC1500001u));
  pump();
  EXPECT_EQ(selection(), 0);
  EXPECT_EQ(engine.open_count, opens_before);
  EXPECT_EQ(column(3), (std::vector<std::wstring>{L"first", L"second"}));
  EXPECT_EQ(ListView_GetNextItem(list, -1, LVNI_SELECTED), 1);
  DestroyWindow(other);
}

class LayoutTest : public WindowTest, public ::testing::WithParamInterface<int> {
 protected:
  int dpi() const override { return GetParam(); }

  void expect_laid_out() {
    RECT client{};
    GetClientRect(hwnd, &client);
    RECT combo{};
    GetWindowRect(window->combo(), &combo);
    LayoutInput in;
    in.client_width = client.right;
    in.client_height = client.bottom;
    in.dpi = window->effective_dpi();
    in.combo_height = combo.bottom - combo.top;
    in.progress_shown = window->progress_shown();
    in.maximized = IsZoomed(hwnd) != FALSE;
    const LayoutResult want = compute_layout(in);
    EXPECT_EQ(client_rect_of(hwnd, window->label()), want.label);
    EXPECT_EQ(client_rect_of(hwnd, window->search_button()), want.search_button);
    EXPECT_EQ(client_rect_of(hwnd, window->update_button()), want.update_button);
    for (std::size_t i = 0; i < 7; ++i) EXPECT_EQ(client_rect_of(hwnd, tab(i)), want.tabs[i]) << i;
    EXPECT_EQ(client_rect_of(hwnd, list), want.list);
    EXPECT_EQ(window->status_band(), want.status_band);
    EXPECT_EQ(window->grip(), want.grip);
    const Rect c = client_rect_of(hwnd, window->combo());
    EXPECT_EQ(c.x, want.combo.x);
    EXPECT_EQ(c.y, want.combo.y);
    EXPECT_EQ(c.width, want.combo.width);
  }

  void press_zoom_key(WPARAM key, bool alt = false) {
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    keys[VK_CONTROL] = 0x80;
    keys[VK_MENU] = alt ? 0x80 : 0;
    SetKeyboardState(keys);
    // Through the real message loop: the key is posted to the focused
    // control, the loop zooms, then the quit message ends it.
    PostMessageW(window->combo(), WM_KEYDOWN, key, 0);
    PostQuitMessage(7);
    EXPECT_EQ(window->run_message_loop(), 7);
    keys[VK_CONTROL] = 0;
    keys[VK_MENU] = 0;
    SetKeyboardState(keys);
  }

  int font_height(HFONT font) {
    LOGFONTW lf{};
    GetObjectW(font, sizeof(lf), &lf);
    return lf.lfHeight;
  }
};

TEST_P(LayoutTest, ControlsFollowTheWindowSize) {
  RECT r{};
  GetWindowRect(hwnd, &r);
  EXPECT_EQ(r.right - r.left, mul_div(990, dpi(), 96));
  EXPECT_EQ(window->base_dpi(), dpi());
  EXPECT_EQ(font_height(window->main_font()), -scale_px(14, dpi()));
  EXPECT_EQ(font_height(window->small_font()), -scale_px(12, dpi()));
  expect_laid_out();
  for (const auto& [width, height] : {std::pair{700, 420}, std::pair{1200, 800}, {600, 900}}) {
    SetWindowPos(hwnd, nullptr, 0, 0, mul_div(width, dpi(), 96), mul_div(height, dpi(), 96),
                 SWP_NOMOVE | SWP_NOZORDER);
    pump();
    expect_laid_out();
  }
  const int list_top = client_rect_of(hwnd, list).y;
  window->show_progress(-1, true);
  EXPECT_EQ(client_rect_of(hwnd, list).y, list_top + scale_px(11, dpi()) + scale_px(8, dpi()));
  expect_laid_out();
  window->show_progress(100, false);
  EXPECT_EQ(client_rect_of(hwnd, list).y, list_top);
}

TEST_P(LayoutTest, ZoomKeysScaleFontsAndLayout) {
  press_zoom_key(VK_OEM_PLUS);
  press_zoom_key(VK_ADD);
  EXPECT_EQ(window->zoom(), 120);
  EXPECT_EQ(window->effective_dpi(), mul_div(dpi(), 120, 100));
  EXPECT_EQ(font_height(window->main_font()), -scale_px(14, window->effective_dpi()));
  EXPECT_EQ(client_rect_of(hwnd, window->label()).x, scale_px(12, window->effective_dpi()));
  if (dpi() == 96) {
    EXPECT_EQ(window->effective_dpi(), 115);
    EXPECT_EQ(font_height(window->main_font()), -17);
    EXPECT_EQ(font_height(window->small_font()), -14);
    EXPECT_EQ(client_rect_of(hwnd, window->label()).x, 14);
  }
  expect_laid_out();

  // Ctrl+Alt+plus is an ordinary key.
  press_zoom_key(VK_OEM_PLUS, true);
  EXPECT_EQ(window->zoom(), 120);
  for (int i = 0; i < 10; ++i) press_zoom_key(VK_OEM_PLUS);
  EXPECT_EQ(window->zoom(), 180);
  // At 180 % the default window is too narrow for one toolbar row: the
  // buttons move under the selector, which then reaches the right margin.
  const Rect search = client_rect_of(hwnd, window->search_button());
  const Rect combo = client_rect_of(hwnd, window->combo());
  EXPECT_GT(search.y, combo.y);
  RECT client{};
  GetClientRect(hwnd, &client);
  EXPECT_EQ(combo.right(), client.right - scale_px(12, window->effective_dpi()));
  expect_laid_out();
  for (int i = 0; i < 15; ++i) press_zoom_key(VK_SUBTRACT);
  EXPECT_EQ(window->zoom(), 70);
  EXPECT_EQ(window->effective_dpi(), mul_div(dpi(), 70, 100));
  expect_laid_out();
  // The minimum size does not follow the zoom.
  MINMAXINFO info{};
  SendMessageW(hwnd, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
  EXPECT_EQ(info.ptMinTrackSize.x, mul_div(580, dpi(), 96));
}

INSTANTIATE_TEST_SUITE_P(Dpi, LayoutTest, ::testing::Values(96, 144));

TEST(WindowDpi, QueryDpiAnswersTheSessionDpi) {
  const int dpi = Window::query_dpi(nullptr);
  HDC screen = GetDC(nullptr);
  const int logical = GetDeviceCaps(screen, LOGPIXELSX);
  ReleaseDC(nullptr, screen);
  EXPECT_EQ(dpi, logical);
}

}  // namespace
}  // namespace norvane
