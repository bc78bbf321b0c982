// "Kopiuj wszystko" and "Zapisz jako CSV…" on the real main window under
// Wine: the menu is driven with the keyboard, the clipboard and the saved
// files are read back, and warnings are recorded instead of shown.
#include <windows.h>
#include <winsock2.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/list_export_win.h"
#include "app/list_logic.h"
#include "app/window_win.h"
#include "support/common_controls_win.h"
#include "support/summaries.h"

namespace norvane {
namespace {

namespace fs = std::filesystem;
using test::device_summary;

using test::pump;
using test::source_path;
using test::to_wide;

const auto* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new test::CommonControlsEnvironment);

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) return {};
  std::string bytes(static_cast<std::size_t>(std::max<std::streamoff>(in.tellg(), 0)), '\0');
  in.seekg(0);
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return bytes;
}

std::vector<std::wstring> entries(const fs::path& dir) {
  std::vector<std::wstring> names;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(dir, ec)) {
    names.push_back(entry.path().filename().wstring());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::wstring today_name() {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  wchar_t name[64] = {};
  swprintf(name, 64, L"urzadzenia-%04u-%02u-%02u.csv", now.wYear, now.wMonth, now.wDay);
  return name;
}

constexpr wchar_t kWarningPrefix[] =
    L"Norvane - Quilbo 2026: Nie uda\u0142o si\u0119 zapisa\u0107 pliku CSV";

class ListExportTest : public ::testing::Test {
 protected:
  // False: the test seam stands in for the save dialog.
  virtual bool system_dialog() const { return false; }

  void SetUp() override {
    WindowOptions options;
    options.forced_dpi = 96;
    // Summaries are fed by the test: no adapter, nothing sent.
    options.list_adapters = [] { return std::vector<NetworkAdapter>{}; };
    options.warn = [this](std::wstring_view text, std::wstring_view caption) {
      warnings.emplace_back(std::wstring(caption) + L": " + std::wstring(text));
    };
    if (!system_dialog()) {
      options.choose_save_path = [this](std::wstring_view default_name) {
        proposed.emplace_back(default_name);
        return save_path;
      };
    }
    window = std::make_unique<Window>(options);
    hwnd = window->create(GetModuleHandleW(nullptr));
    ASSERT_NE(hwnd, nullptr);
    ShowWindow(hwnd, SW_SHOWNORMAL);
    pump();
    list = window->list_view();

    wchar_t temp[MAX_PATH] = {};
    ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
    dir = fs::path(temp) / (L"norvane-export-" + std::to_wstring(GetCurrentProcessId()));
    fs::remove_all(dir);
    ASSERT_TRUE(fs::create_directories(dir));
  }

  void TearDown() override {
    if (window && window->hwnd()) DestroyWindow(window->hwnd());
    pump();
    window.reset();
    std::error_code ec;
    fs::remove_all(dir, ec);
  }

  // Devices of five makers and one without address; "Dahua" is then
  // switched off, so that one device is in the table but not in the list.
  void feed_makers() {
    const auto generation = window->queue_generation();
    PacketSummary camera = device_summary("02:00:00:00:00:01", "10.0.0.10", "SADP",
                                          "Kamera wej\xC5\x9B"
                                          "cie",
                                          "DS-2CD2143G0-I", "V5.6.5");
    camera.settings.activated = false;  // a state to export: "nieaktywne"
    for (auto s : {
             camera,
             device_summary("02:00:00:00:00:02", "10.0.0.2", "Dahua", "NVR", "DHI-NVR4104"),
             device_summary("02:00:00:00:00:03", "10.0.0.3", "Ubiquiti", "=HYPERLINK(\"http://x\")",
                            "UAP-AC-LR"),
             device_summary("02:00:00:00:00:04", "10.0.0.4", "MNDP", "router, biuro", "RB4011"),
             device_summary("02:00:00:00:00:05", "10.0.0.5", "mDNS", "drukarka \"HP\""),
             device_summary("02:00:00:00:00:06", "", "LLDP", "switch"),
         }) {
      ASSERT_TRUE(window->queue_summary(std::move(s), generation));
    }
    window->update();
    ASSERT_EQ(item_count(), 6);
    SendMessageW(window->tabs()[kTabDahua], BM_CLICK, 0, 0);
    pump();
    ASSERT_EQ(item_count(), 5);
  }

  int item_count() const { return static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)); }

  POINT cell_point(int item, int c) const {
    RECT r{};
    r.top = c;
    r.left = LVIR_BOUNDS;
    SendMessageW(list, LVM_GETSUBITEMRECT, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&r));
    return {r.left + 3, (r.top + r.bottom) / 2};
  }

  // Right-clicks a cell and picks the menu entry `downs` steps down (the
  // menu runs its own loop and reads the keys waiting in the queue; the
  // separator is skipped by the keyboard).
  // With -1 no key is sent (something else ends the menu).
  void choose_from_menu(int downs) {
    for (int i = 0; i < downs; ++i) PostMessageW(hwnd, WM_KEYDOWN, VK_DOWN, 0);
    if (downs >= 0) PostMessageW(hwnd, WM_KEYDOWN, VK_RETURN, 0);
    NMITEMACTIVATE nm{};
    nm.hdr.hwndFrom = list;
    nm.hdr.idFrom = kIdList;
    nm.hdr.code = NM_RCLICK;
    nm.ptAction = cell_point(0, 1);
    ASSERT_NE(SendMessageW(hwnd, WM_NOTIFY, kIdList, reinterpret_cast<LPARAM>(&nm)), 0);
    pump();
  }

  std::optional<std::wstring> clipboard() {
    std::optional<std::wstring> text;
    if (!OpenClipboard(hwnd)) return text;
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
      if (const auto* p = static_cast<const wchar_t*>(GlobalLock(data))) {
        text = std::wstring(p);
        GlobalUnlock(data);
      }
    }
    CloseClipboard();
    return text;
  }

  std::unique_ptr<Window> window;
  HWND hwnd = nullptr;
  HWND list = nullptr;
  fs::path dir;
  std::vector<std::wstring> warnings;
  std::vector<std::wstring> proposed;
  std::optional<std::wstring> save_path;
};

constexpr wchar_t kTsvHeader[] =
    L"Adres IP\tAdres MAC\tVENDOR\tNazwa\tModel / opis\tProtok\u00F3\u0142\tInformacje\tStan\r\n";

TEST_F(ListExportTest, CopyAllGivesTheVisibleItemsInListOrder) {
  feed_makers();
  choose_from_menu(2);  // "Kopiuj", "Kopiuj wszystko"
  EXPECT_EQ(clipboard(),
            std::wstring(kTsvHeader) +
                L"10.0.0.3\t02:00:00:00:00:03\tUbiquiti\t\"'=HYPERLINK(\"\"http://x\"\")\"\t"
                L"UAP-AC-LR\tUbiquiti\t\t\r\n"
                L"10.0.0.4\t02:00:00:00:00:04\tMikroTik\trouter, biuro\tRB4011\tMNDP\t\t\r\n"
                L"10.0.0.5\t02:00:00:00:00:05\t\t\"drukarka \"\"HP\"\"\"\t\tmDNS\t\t\r\n"
                L"10.0.0.10\t02:00:00:00:00:01\tHikvision\tKamera wej\u015Bcie\tDS-2CD2143G0-I\t"
                L"SADP\tV5.6.5\tnieaktywne\r\n"
                L"\t02:00:00:00:00:06\t\tswitch\t\tLLDP\t\t\r\n");
  EXPECT_TRUE(warnings.empty());

  // Another order on screen is another order on the clipboard: by name,
  // descending.
  window->device_list().sort_by(kColName);
  window->device_list().sort_by(kColName);
  ASSERT_FALSE(window->device_list().ascending());
  ASSERT_TRUE(window->device_list().commands().copy_all());
  EXPECT_EQ(clipboard(),
            std::wstring(kTsvHeader) + L"\t02:00:00:00:00:06\t\tswitch\t\tLLDP\t\t\r\n" +
                L"10.0.0.4\t02:00:00:00:00:04\tMikroTik\trouter, biuro\tRB4011\tMNDP\t\t\r\n" +
                L"10.0.0.10\t02:00:00:00:00:01\tHikvision\tKamera wej\u015Bcie\tDS-2CD2143G0-I\t"
                L"SADP\tV5.6.5\tnieaktywne\r\n" +
                L"10.0.0.5\t02:00:00:00:00:05\t\t\"drukarka \"\"HP\"\"\"\t\tmDNS\t\t\r\n" +
                L"10.0.0.3\t02:00:00:00:00:03\tUbiquiti\t\"'=HYPERLINK(\"\"http://x\"\")\"\t"
                L"UAP-AC-LR\tUbiquiti\t\t\r\n");

  // "Kopiuj" still copies the one cell it was opened on.
  choose_from_menu(1);
  EXPECT_EQ(clipboard(), L"02:00:00:00:00:06");

  // An empty list copies the header alone.
  window->clear_devices();
  ASSERT_EQ(item_count(), 0);
  ASSERT_TRUE(window->device_list().commands().copy_all());
  EXPECT_EQ(clipboard(), kTsvHeader);
  EXPECT_TRUE(warnings.empty());
}

// The window's CSV is split by the user's list separator, so that a
// spreadsheet opened under the same regional settings shows its columns:
// "," here, ";" under Polish settings (list_export_win.polish_settings runs
// this case again under LC_ALL=pl_PL.UTF-8, from which Wine takes the
// user's locale).
TEST_F(ListExportTest, SaveCsvWritesTheVisibleItemsOverTheTarget) {
  EXPECT_EQ(list_separator_of(L"pl-PL"), u';');
  EXPECT_EQ(list_separator_of(L"en-US"), u',');
  EXPECT_EQ(list_separator_of(L"no-such-locale"), u',');
  const char16_t separator = list_separator_of(LOCALE_NAME_USER_DEFAULT);
  if (std::getenv("NORVANE_POLISH_SETTINGS")) {
    ASSERT_EQ(separator, u';');
  }
  const std::map<char16_t, std::string> expected = {
      {u',',
       "\xEF\xBB\xBF"
       "Adres IP,Adres MAC,VENDOR,Nazwa,Model / opis,Protok\xC3\xB3\xC5\x82,Informacje,Stan\r\n"
       "10.0.0.3,02:00:00:00:00:03,Ubiquiti,\"'=HYPERLINK(\"\"http://x\"\")\",UAP-AC-LR,"
       "Ubiquiti,,\r\n"
       "10.0.0.4,02:00:00:00:00:04,MikroTik,\"router, biuro\",RB4011,MNDP,,\r\n"
       "10.0.0.5,02:00:00:00:00:05,,\"drukarka \"\"HP\"\"\",,mDNS,,\r\n"
       "10.0.0.10,02:00:00:00:00:01,Hikvision,Kamera wej\xC5\x9B"
       "cie,DS-2CD2143G0-I,SADP,V5.6.5,nieaktywne\r\n"
       ",02:00:00:00:00:06,,switch,,LLDP,,\r\n"},
      {u';',
       "\xEF\xBB\xBF"
       "Adres IP;Adres MAC;VENDOR;Nazwa;Model / opis;Protok\xC3\xB3\xC5\x82;Informacje;Stan\r\n"
       "10.0.0.3;02:00:00:00:00:03;Ubiquiti;\"'=HYPERLINK(\"\"http://x\"\")\";UAP-AC-LR;"
       "Ubiquiti;;\r\n"
       "10.0.0.4;02:00:00:00:00:04;MikroTik;router, biuro;RB4011;MNDP;;\r\n"
       "10.0.0.5;02:00:00:00:00:05;;\"drukarka \"\"HP\"\"\";;mDNS;;\r\n"
       "10.0.0.10;02:00:00:00:00:01;Hikvision;Kamera wej\xC5\x9B"
       "cie;DS-2CD2143G0-I;SADP;V5.6.5;nieaktywne\r\n"
       ";02:00:00:00:00:06;;switch;;LLDP;;\r\n"},
  };
  const auto want = expected.find(separator);
  if (want == expected.end()) GTEST_SKIP() << "list separator " << int{separator};

  feed_makers();
  const fs::path target = dir / L"lista.csv";
  {
    std::ofstream old(target, std::ios::binary);
    old << "stara lista, d\xC5\x82u\xC5\xBCsza ni\xC5\xBC nowa\r\n" << std::string(4096, 'x');
  }
  save_path = target.wstring();
  choose_from_menu(3);  // past the separator to "Zapisz jako CSV…"
  ASSERT_EQ(proposed, std::vector<std::wstring>{today_name()});
  EXPECT_TRUE(warnings.empty());
  EXPECT_EQ(read_file(target), want->second);
  // The temporary file was moved, not left beside the target.
  EXPECT_EQ(entries(dir), std::vector<std::wstring>{L"lista.csv"});

  // Cancelling the dialog writes nothing and says nothing.
  save_path.reset();
  EXPECT_FALSE(window->device_list().commands().save_csv());
  EXPECT_EQ(entries(dir), std::vector<std::wstring>{L"lista.csv"});
  EXPECT_TRUE(warnings.empty());
  EXPECT_EQ(proposed.size(), 2u);
}

TEST_F(ListExportTest, FailedSavesWarnAndLeaveNoFile) {
  feed_makers();
  struct Case {
    const wchar_t* what;
    fs::path target;
    bool make_directory;  // the target exists as a folder
  };
  const Case cases[] = {
      {L"missing folder", dir / L"brak" / L"lista.csv", false},
      {L"target is a folder", dir / L"folder.csv", true},
      {L"invalid name", dir / L"lista?.csv", false},
  };
  for (const Case& c : cases) {
    warnings.clear();
    if (c.make_directory) {
      ASSERT_TRUE(fs::create_directory(c.target));
    }
    const auto before = entries(dir);
    EXPECT_FALSE(window->device_list().commands().save_csv_to(c.target.wstring())) << c.what;
    ASSERT_EQ(warnings.size(), 1u) << c.what;
    EXPECT_EQ(warnings[0].rfind(kWarningPrefix, 0), 0u) << c.what;
    EXPECT_EQ(warnings[0].find(L"(kod 0)"), std::wstring::npos) << c.what;
    EXPECT_EQ(warnings[0].substr(warnings[0].size() - 2), L").") << c.what;
    EXPECT_EQ(entries(dir), before) << c.what;
    if (c.make_directory) {
      EXPECT_TRUE(entries(c.target).empty()) << c.what;
    }
  }
  // The missing folder's message carries the system's text and code.
  warnings.clear();
  window->device_list().commands().save_csv_to((dir / L"brak" / L"lista.csv").wstring());
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find(L" (kod 3)."), std::wstring::npos) << warnings[0].size();
  const std::wstring system = system_error_text(ERROR_PATH_NOT_FOUND);
  if (!system.empty()) {
    EXPECT_NE(warnings[0].find(L": " + system.substr(0, 4)), std::wstring::npos);
  }
}

// The menu's entries, read by a timer of this thread while the menu runs
// its loop, which the timer then ends.
std::vector<std::wstring> g_menu_entries;

BOOL CALLBACK find_menu(HWND hwnd, LPARAM out) {
  wchar_t cls[16] = {};
  GetClassNameW(hwnd, cls, 16);
  if (std::wstring_view(cls) == L"#32768" && IsWindowVisible(hwnd)) {
    *reinterpret_cast<HWND*>(out) = hwnd;
    return FALSE;
  }
  return TRUE;
}

void CALLBACK read_menu(HWND, UINT, UINT_PTR timer, DWORD) {
  HWND window = nullptr;
  EnumWindows(find_menu, reinterpret_cast<LPARAM>(&window));
  if (!window) return;
  KillTimer(nullptr, timer);
  const auto menu = reinterpret_cast<HMENU>(SendMessageW(window, MN_GETHMENU, 0, 0));
  for (int i = 0; menu && i < GetMenuItemCount(menu); ++i) {
    MENUITEMINFOW item{};
    item.cbSize = sizeof(item);
    item.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STRING;
    wchar_t text[64] = {};
    item.dwTypeData = text;
    item.cch = 64;
    if (!GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &item)) continue;
    g_menu_entries.push_back((item.fType & MFT_SEPARATOR)
                                 ? std::wstring(L"-")
                                 : std::to_wstring(item.wID) + L" " + text);
  }
  EndMenu();
}

TEST_F(ListExportTest, MenuOffersCopyCopyAllAndSave) {
  feed_makers();
  g_menu_entries.clear();
  const UINT_PTR timer = SetTimer(nullptr, 0, 50, read_menu);
  ASSERT_NE(timer, 0u);
  choose_from_menu(-1);
  KillTimer(nullptr, timer);
  EXPECT_EQ(g_menu_entries, (std::vector<std::wstring>{
                                L"1 Kopiuj", L"2 Kopiuj wszystko", L"-", L"3 Zapisz jako CSV\u2026",
                                L"-", L"4 Otw\u00F3rz stron\u0119 urz\u0105dzenia"}));
  EXPECT_TRUE(proposed.empty());  // closed without a choice: nothing ran
  EXPECT_TRUE(warnings.empty());
}

// The system's save dialog, answered by a timer of this thread (the dialog
// runs its own message loop): it must propose today's file name and save to
// the name typed into it, with ".csv" added when none was typed.
struct DialogDriver {
  std::wstring type_in;   // the path to enter
  std::wstring proposed;  // the file name field as the dialog opened
  bool answered = false;
  int ticks = 0;
};
DialogDriver g_dialog;

BOOL CALLBACK find_dialog(HWND hwnd, LPARAM out) {
  wchar_t cls[16] = {};
  GetClassNameW(hwnd, cls, 16);
  if (std::wstring_view(cls) == L"#32770" && IsWindowVisible(hwnd)) {
    *reinterpret_cast<HWND*>(out) = hwnd;
    return FALSE;
  }
  return TRUE;
}

void CALLBACK answer_dialog(HWND, UINT, UINT_PTR timer, DWORD) {
  HWND dialog = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), find_dialog, reinterpret_cast<LPARAM>(&dialog));
  if (!dialog) {
    if (++g_dialog.ticks > 100) KillTimer(nullptr, timer);  // no dialog came
    return;
  }
  KillTimer(nullptr, timer);
  // The file name field: the combo box of newer dialogs, else the edit.
  HWND field = GetDlgItem(dialog, 0x47C);
  if (!field) field = GetDlgItem(dialog, 0x480);
  if (field) {
    wchar_t text[MAX_PATH] = {};
    GetWindowTextW(field, text, MAX_PATH);
    g_dialog.proposed = text;
    SetWindowTextW(field, g_dialog.type_in.c_str());
    g_dialog.answered = true;
  }
  SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(field ? IDOK : IDCANCEL, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, field ? IDOK : IDCANCEL)));
}

class SystemDialogTest : public ListExportTest {
 protected:
  bool system_dialog() const override { return true; }
};

TEST_F(SystemDialogTest, SavesToTheNameTypedIntoTheDialog) {
  feed_makers();
  // Typed without an extension: the dialog adds ".csv".
  const fs::path target = dir / L"z dialogu.csv";
  g_dialog = DialogDriver{};
  g_dialog.type_in = (dir / L"z dialogu").wstring();
  const UINT_PTR timer = SetTimer(nullptr, 0, 50, answer_dialog);
  ASSERT_NE(timer, 0u);
  const bool saved = window->device_list().commands().save_csv();
  KillTimer(nullptr, timer);
  ASSERT_TRUE(g_dialog.answered);
  EXPECT_EQ(g_dialog.proposed, today_name());
  EXPECT_TRUE(saved);
  EXPECT_TRUE(warnings.empty());
  const std::string csv = read_file(target);
  const auto separator = static_cast<char>(list_separator_of(LOCALE_NAME_USER_DEFAULT));
  EXPECT_EQ(
      csv.rfind(std::string("\xEF\xBB\xBF") + "Adres IP" + separator + "Adres MAC" + separator, 0),
      0u);
  EXPECT_NE(csv.find(std::string("10.0.0.4") + separator + "02:00:00:00:00:04" + separator +
                     "MikroTik" + separator),
            std::string::npos);
  EXPECT_EQ(entries(dir), std::vector<std::wstring>{L"z dialogu.csv"});
}

// Needs a folder that refuses new files, which Wine cannot make (it ignores
// the read-only attribute of folders): tests/windows/read_only_folder.sh
// closes one on the Linux side and runs this case. Left out of the ordinary
// list.
TEST_F(ListExportTest, ScriptedReadOnlyFolderWarnsAndLeavesNoFile) {
  const char* unix_dir = std::getenv("NORVANE_READ_ONLY_DIR");
  if (unix_dir == nullptr || *unix_dir == '\0') {
    GTEST_SKIP() << "run by tests/windows/read_only_folder.sh";
  }
  std::wstring folder = L"Z:" + to_wide(unix_dir);
  for (auto& c : folder) {
    if (c == L'/') c = L'\\';
  }
  const fs::path ro(folder);
  const auto before = entries(ro);
  ASSERT_EQ(before, std::vector<std::wstring>{L"stary.csv"});
  const std::string old = read_file(ro / L"stary.csv");
  ASSERT_FALSE(old.empty());
  // The folder must really refuse new files, or nothing is checked.
  {
    const std::wstring probe = (ro / L"probe.txt").wstring();
    const HANDLE h = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      CloseHandle(h);
      DeleteFileW(probe.c_str());
      FAIL() << "the folder accepts new files";
    }
  }

  feed_makers();
  for (const wchar_t* name : {L"nowy.csv", L"stary.csv"}) {
    warnings.clear();
    save_path = (ro / name).wstring();
    choose_from_menu(3);
    ASSERT_EQ(warnings.size(), 1u) << name;
    EXPECT_EQ(warnings[0].rfind(kWarningPrefix, 0), 0u);
    EXPECT_NE(warnings[0].find(L" (kod 5)."), std::wstring::npos);
    EXPECT_EQ(entries(ro), before) << name;
    EXPECT_EQ(read_file(ro / L"stary.csv"), old) << name;
  }
}

}  // namespace
}  // namespace norvane
