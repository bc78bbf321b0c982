// Win32 file access shared by the vendor database and the list's CSV export:
// one owner per file handle, whole writes, and a file replaced through a
// temporary one beside it.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace norvane {

// Owns one file handle and closes it once.
class FileHandle {
 public:
  FileHandle() = default;
  explicit FileHandle(HANDLE handle) noexcept : handle_(handle) {}
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  ~FileHandle() { close(); }

  void reset(HANDLE handle) noexcept {
    close();
    handle_ = handle;
  }
  HANDLE get() const noexcept { return handle_; }
  bool valid() const noexcept { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
  // Closes now and reports whether the close succeeded (false when there
  // was nothing to close).
  bool close() noexcept;

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

// The error of the call that just failed, or `fallback` when the system
// set none: never 0, so that a failure is never taken for success.
DWORD last_error(DWORD fallback) noexcept;

// Writes all of `content` at the file's position, in pieces of at most
// 1 MiB. Returns 0, or the system error code (ERROR_DISK_FULL for a short
// write without an error).
DWORD write_all(HANDLE file, std::string_view content);

// Writes `content` to a new temporary file beside `path`, flushes it and
// moves it over `path`. Returns 0, or the system error code of the step that
// failed; then the temporary file is gone and `path` is as it was.
DWORD save_file_replacing(const std::wstring& path, std::string_view content);

}  // namespace norvane
