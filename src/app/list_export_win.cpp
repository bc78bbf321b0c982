#include "app/list_export_win.h"

#include <commdlg.h>
#include <shellapi.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "app/list_export.h"
#include "app/list_logic.h"
#include "app/text_win.h"
#include "base/file_win.h"

namespace norvane {

SavePathChoice ask_csv_path(HWND owner, std::wstring_view default_name) {
  // Room for the longest path the system allows; the default name is cut
  // to fit (it is a short fixed pattern in practice).
  std::vector<wchar_t> buffer(32768, L'\0');
  const std::size_t length = std::min(default_name.size(), buffer.size() - 1);
  std::copy_n(default_name.data(), length, buffer.data());

  static constexpr wchar_t kFilter[] = L"Pliki CSV (*.csv)\0*.csv\0Wszystkie pliki (*.*)\0*.*\0";
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof(dialog);
  dialog.hwndOwner = owner;
  dialog.lpstrFilter = kFilter;
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = buffer.data();
  dialog.nMaxFile = static_cast<DWORD>(buffer.size());
  dialog.lpstrDefExt = L"csv";
  dialog.Flags =
      OFN_EXPLORER | OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
  SavePathChoice choice;
  if (GetSaveFileNameW(&dialog)) {
    choice.path = std::wstring(buffer.data());
  } else {
    choice.error = CommDlgExtendedError();  // 0 when the user cancelled
  }
  return choice;
}

std::wstring system_error_text(DWORD code) {
  wchar_t buffer[512] = {};
  const DWORD length =
      FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                     buffer, static_cast<DWORD>(std::size(buffer)), nullptr);
  return std::wstring(buffer, std::min<std::size_t>(length, std::size(buffer)));
}

std::wstring today_csv_file_name() {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  return std::wstring(wide(std::u16string_view(csv_file_name(now.wYear, now.wMonth, now.wDay))));
}

// ---------------------------------------------------------------------------
// The list's commands

ListCommands::ListCommands(const DeviceTable& table, ShownRows shown_rows, Warn warn)
    : table_(table), shown_rows_(std::move(shown_rows)), warn_(std::move(warn)) {}

char16_t list_separator_of(const wchar_t* locale_name) {
  wchar_t text[8] = {};
  // The length counts the terminating zero; 0 is a failure.
  const int length = GetLocaleInfoEx(locale_name, LOCALE_SLIST, text, 8);
  if (length <= 1) return u',';
  return csv_separator(utf16(std::wstring_view(text, static_cast<std::size_t>(length - 1))));
}

bool ListCommands::context_menu(POINT screen, const std::u16string& cell,
                                std::u16string_view address) {
  HMENU menu = CreatePopupMenu();
  if (!menu) return false;
  // The page comes last, so that the copy commands keep their places.
  const UINT page_state = browser_address(address) ? MF_ENABLED : MF_GRAYED;
  if (!AppendMenuW(menu, MF_STRING, kCopyCommand, kCopyMenuText) ||
      !AppendMenuW(menu, MF_STRING, kCopyAllCommand, kCopyAllMenuText) ||
      !AppendMenuW(menu, MF_SEPARATOR, 0, nullptr) ||
      !AppendMenuW(menu, MF_STRING, kSaveCsvCommand, kSaveCsvMenuText) ||
      !AppendMenuW(menu, MF_SEPARATOR, 0, nullptr) ||
      !AppendMenuW(menu, MF_STRING | page_state, kOpenPageCommand, kOpenPageMenuText)) {
    DestroyMenu(menu);
    return false;
  }
  const UINT chosen =
      static_cast<UINT>(TrackPopupMenu(menu, TPM_RIGHTBUTTON | TPM_RETURNCMD | TPM_NONOTIFY,
                                       screen.x, screen.y, 0, owner_, nullptr));
  DestroyMenu(menu);
  switch (chosen) {
    case kCopyCommand:
      copy_text(cell);
      break;
    case kCopyAllCommand:
      copy_all();
      break;
    case kSaveCsvCommand:
      save_csv();
      break;
    case kOpenPageCommand:
      open_in_browser(address);
      break;
    default:
      break;
  }
  return true;
}

void ListCommands::open_in_browser(std::u16string_view text) {
  if (text.empty()) return;
  const auto address = browser_address(text);
  if (!address) {
    warn_(kBrowserWarning);
    return;
  }
  const std::wstring url(wide(std::u16string_view(*address)));
  bool opened = false;
  if (hooks_.open_address) {
    opened = hooks_.open_address(url);
  } else {
    const auto code = reinterpret_cast<INT_PTR>(
        ShellExecuteW(owner_, L"open", url.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    opened = code > 32;
  }
  if (!opened) {
    warn_(kBrowserWarning);
    return;
  }
  if (!notice_) return;
  if (auto note = outside_subnet_notice(text, table_.local_network())) notice_(std::move(*note));
}

bool ListCommands::copy_all() {
  std::u16string text;
  try {
    text = table_tsv(table_.rows(), shown_rows_());
  } catch (const std::bad_alloc&) {
    warn_(kClipboardWarning);
    return false;
  }
  return copy_text(text);
}

bool ListCommands::save_csv() {
  const std::wstring name = today_csv_file_name();
  std::optional<std::wstring> path;
  if (hooks_.choose_save_path) {
    path = hooks_.choose_save_path(name);
  } else {
    SavePathChoice choice = ask_csv_path(owner_, name);
    if (choice.error != 0) {
      warn_(wide(std::u16string_view(csv_save_failure(u"", choice.error))));
      return false;
    }
    path = std::move(choice.path);
  }
  if (!path || path->empty()) return false;  // cancelled
  return save_csv_to(*path);
}

bool ListCommands::save_csv_to(const std::wstring& path) {
  DWORD error = 0;
  try {
    // The list as it is when the file is written: the timer keeps merging
    // while the dialog is open.
    error = save_file_replacing(
        path, table_csv(table_.rows(), shown_rows_(), list_separator_of(LOCALE_NAME_USER_DEFAULT)));
  } catch (const std::bad_alloc&) {
    error = ERROR_NOT_ENOUGH_MEMORY;
  }
  if (error == 0) return true;
  const std::u16string message = csv_save_failure(utf16(system_error_text(error)), error);
  warn_(wide(std::u16string_view(message)));
  return false;
}

bool ListCommands::copy_text(const std::u16string& text) {
  const std::size_t bytes = (text.size() + 1) * sizeof(char16_t);
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes);
  bool done = false;
  if (block) {
    if (void* data = GlobalLock(block)) {
      std::memcpy(data, text.c_str(), bytes);
      GlobalUnlock(block);
      if (OpenClipboard(owner_)) {
        if (EmptyClipboard() && SetClipboardData(CF_UNICODETEXT, block)) {
          done = true;
          block = nullptr;  // the clipboard owns it now
        }
        CloseClipboard();
      }
    }
  }
  if (block) GlobalFree(block);
  if (!done) warn_(kClipboardWarning);
  return done;
}

}  // namespace norvane
