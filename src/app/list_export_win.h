// The Windows half of the list export: the save dialog and writing the file
// through a temporary one beside it.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

namespace norvane {

// What the save dialog gave: a path, nothing (the user cancelled), or the
// dialog's own error code.
struct SavePathChoice {
  std::optional<std::wstring> path;
  DWORD error = 0;
};

// The system's save dialog for a CSV file, `default_name` filled in.
SavePathChoice ask_csv_path(HWND owner, std::wstring_view default_name);

// Writes `content` to a new temporary file beside `path`, flushes it and
// moves it over `path`. Returns 0, or the system error code of the step that
// failed; then the temporary file is gone and `path` is as it was.
DWORD save_file_replacing(const std::wstring& path, std::string_view content);

// The system's text for an error code (empty when there is none).
std::wstring system_error_text(DWORD code);

// "urzadzenia-YYYY-MM-DD.csv" for today's local date.
std::wstring today_csv_file_name();

}  // namespace norvane
