#include "base/file_win.h"

#include <algorithm>

namespace norvane {
namespace {

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

}  // namespace

bool FileHandle::close() noexcept {
  const HANDLE handle = handle_;
  handle_ = INVALID_HANDLE_VALUE;
  return handle != INVALID_HANDLE_VALUE && handle != nullptr && CloseHandle(handle) != FALSE;
}

DWORD last_error(DWORD fallback) noexcept {
  const DWORD error = GetLastError();
  return error != 0 ? error : fallback;
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

}  // namespace norvane
