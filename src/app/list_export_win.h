// The Windows half of the list export and the list's commands on what it
// shows: opening a device's address in the browser, "Kopiuj" and "Kopiuj
// wszystko" to the clipboard, "Zapisz jako CSV…" through the save dialog
// and a temporary file beside the target, in the user's list separator.
#pragma once

#include <windows.h>

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/device_table.h"

namespace norvane {

inline constexpr wchar_t kBrowserWarning[] =
    L"Nie uda\u0142o si\u0119 otworzy\u0107 adresu w przegl\u0105darce.";
inline constexpr wchar_t kClipboardWarning[] =
    L"Nie uda\u0142o si\u0119 skopiowa\u0107 danych do schowka.";
inline constexpr UINT kCopyCommand = 1;
inline constexpr UINT kCopyAllCommand = 2;
inline constexpr UINT kSaveCsvCommand = 3;
inline constexpr UINT kOpenPageCommand = 4;
inline constexpr wchar_t kCopyMenuText[] = L"Kopiuj";
inline constexpr wchar_t kCopyAllMenuText[] = L"Kopiuj wszystko";
inline constexpr wchar_t kSaveCsvMenuText[] = L"Zapisz jako CSV\u2026";
inline constexpr wchar_t kOpenPageMenuText[] = L"Otw\u00F3rz stron\u0119 urz\u0105dzenia";

class ListCommands {
 public:
  // Shows a warning to the user (the main window's message box).
  using Warn = std::function<void(std::wstring_view text)>;
  // The rows the list shows, in list order, as they are when asked.
  using ShownRows = std::function<std::vector<std::size_t>()>;
  // A passing word for the status band's notice.
  using Notice = std::function<void(std::u16string text)>;
  // The outside effects that tests replace, so that they neither open a
  // browser nor block in a save dialog; empty means the system's.
  struct Hooks {
    std::function<bool(const std::wstring& address)> open_address;
    // The chosen path for the proposed file name, or nothing when the user
    // cancelled.
    std::function<std::optional<std::wstring>(std::wstring_view default_name)> choose_save_path;
  };

  ListCommands(const DeviceTable& table, ShownRows shown_rows, Warn warn);

  // The main window: owner of the clipboard, the menu and the dialogs.
  void set_owner(HWND owner) noexcept { owner_ = owner; }
  void set_hooks(Hooks hooks) { hooks_ = std::move(hooks); }
  void set_notice(Notice notice) { notice_ = std::move(notice); }

  // The pop-up menu for a cell at a screen point: "Kopiuj" (that cell's
  // text), "Kopiuj wszystko", "Zapisz jako CSV…" and the device's web page
  // (`address`, the line's "Adres IP"; greyed when it is no address). False
  // when the menu could not be made; true once it was shown, whatever was
  // chosen.
  bool context_menu(POINT screen, const std::u16string& cell, std::u16string_view address);
  // "http://" and the address, or "http://[" and an IPv6 address and "]",
  // in the browser. Nothing for an empty text; a warning when the text is
  // no address or the shell cannot open it. An IPv4 address outside the
  // adapter's subnet is opened too, with a notice saying why the page may
  // not load.
  void open_in_browser(std::u16string_view address);
  // "Kopiuj": the text on the clipboard; a warning when that fails.
  bool copy_text(const std::u16string& text);
  // "Kopiuj wszystko": the shown rows as tab-separated text.
  bool copy_all();
  // "Zapisz jako CSV…": asks for a file and writes the shown rows to it;
  // true when the file was written.
  bool save_csv();
  bool save_csv_to(const std::wstring& path);

 private:
  const DeviceTable& table_;
  ShownRows shown_rows_;
  Warn warn_;
  Hooks hooks_;
  Notice notice_;
  HWND owner_ = nullptr;
};

// The CSV separator of a locale's list separator (csv_separator), "," when
// the system cannot say; the window's files use the user's
// (LOCALE_NAME_USER_DEFAULT), so that a spreadsheet opened under the same
// regional settings splits them into columns.
char16_t list_separator_of(const wchar_t* locale_name);

// What the save dialog gave: a path, nothing (the user cancelled), or the
// dialog's own error code.
struct SavePathChoice {
  std::optional<std::wstring> path;
  DWORD error = 0;
};

// The system's save dialog for a CSV file, `default_name` filled in.
SavePathChoice ask_csv_path(HWND owner, std::wstring_view default_name);

// The system's text for an error code (empty when there is none).
std::wstring system_error_text(DWORD code);

// "urzadzenia-YYYY-MM-DD.csv" for today's local date.
std::wstring today_csv_file_name();

}  // namespace norvane
