#include "app/list_export_win.h"

#include <commdlg.h>

#include <algorithm>
#include <vector>

#include "app/list_export.h"
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

}  // namespace norvane
