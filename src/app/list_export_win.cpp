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

namespace norvane {
namespace {

class FileHandle {
 public:
  FileHandle() = default;
  explicit FileHandle(HANDLE handle) noexcept : handle_(handle) {}
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  ~FileHandle() {
    if (valid()) CloseHandle(handle_);
  }
  void reset(HANDLE handle) noexcept {
    if (valid()) CloseHandle(handle_);
    handle_ = handle;
  }
  HANDLE get() const noexcept { return handle_; }
  bool valid() const noexcept { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
  // Closes now and reports whether the close succeeded.
  bool close() noexcept {
    const HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return handle != INVALID_HANDLE_VALUE && handle != nullptr && CloseHandle(handle) != FALSE;
  }

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

// The error of the call that just failed; never 0, so that a failure is
// never taken for success.
DWORD last_error(DWORD fallback) {
  const DWORD error = GetLastError();
  return error != 0 ? error : fallback;
}

std::wstring hex_text(DWORD value) {
  wchar_t buffer[16];
  int n = 0;
  do {
    buffer[n++] = L"0123456789abcdef"[value & 15];
    value >>= 4;
  } while (value != 0 && n < 16);
  std::wstring out;
  while (n > 0) out += buffer[--n];
  return out;
}

// A new file beside `path` that no one else has: the process id and a
// counter keep two saves (or two running copies) apart, and CREATE_NEW never
// opens a file that is already there.
DWORD create_temporary(const std::wstring& path, std::wstring& temp, FileHandle& file) {
  const std::wstring stem = path + L"." + hex_text(GetCurrentProcessId()) + L"-";
  DWORD error = ERROR_FILE_EXISTS;
  for (DWORD attempt = 0; attempt < 64; ++attempt) {
    temp = stem + hex_text(GetTickCount() + attempt) + L".tmp";
    const HANDLE handle = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
      file.reset(handle);
      return 0;
    }
    error = last_error(ERROR_CANNOT_MAKE);
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
  }
  temp.clear();
  return error;
}

DWORD write_all(HANDLE file, std::string_view content) {
  constexpr std::size_t kChunk = 1 << 20;
  while (!content.empty()) {
    const auto bytes = static_cast<DWORD>(std::min(content.size(), kChunk));
    DWORD written = 0;
    if (!WriteFile(file, content.data(), bytes, &written, nullptr)) {
      return last_error(ERROR_WRITE_FAULT);
    }
    // A short write without an error: the volume is full.
    if (written == 0 || written > bytes) return ERROR_DISK_FULL;
    content.remove_prefix(written);
  }
  return 0;
}

}  // namespace

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

DWORD save_file_replacing(const std::wstring& path, std::string_view content) {
  if (path.empty()) return ERROR_INVALID_NAME;
  std::wstring temp;
  FileHandle file;
  if (const DWORD error = create_temporary(path, temp, file); error != 0) return error;

  DWORD error = write_all(file.get(), content);
  if (error == 0 && !FlushFileBuffers(file.get())) error = last_error(ERROR_WRITE_FAULT);
  if (!file.close() && error == 0) error = last_error(ERROR_WRITE_FAULT);
  if (error == 0 && !MoveFileExW(temp.c_str(), path.c_str(),
                                 MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    error = last_error(ERROR_ACCESS_DENIED);
  }
  if (error != 0) DeleteFileW(temp.c_str());
  return error;
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

bool ListCommands::context_menu(POINT screen, const std::u16string& cell) {
  HMENU menu = CreatePopupMenu();
  if (!menu) return false;
  if (!AppendMenuW(menu, MF_STRING, kCopyCommand, kCopyMenuText) ||
      !AppendMenuW(menu, MF_STRING, kCopyAllCommand, kCopyAllMenuText) ||
      !AppendMenuW(menu, MF_SEPARATOR, 0, nullptr) ||
      !AppendMenuW(menu, MF_STRING, kSaveCsvCommand, kSaveCsvMenuText)) {
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
  if (!opened) warn_(kBrowserWarning);
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
    error = save_file_replacing(path, table_csv(table_.rows(), shown_rows_()));
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
