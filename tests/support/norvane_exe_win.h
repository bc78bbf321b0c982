// Norvane.exe as a process of its own, for the tests that run the program:
// started with this process's environment, its main window found once it
// is shown, closed through WM_CLOSE and waited for. A program that does
// not end in time is terminated, so that no test leaves one behind.
#pragma once

#include <windows.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace norvane::test {

// A Linux path as Windows sees it under Wine (drive Z:, backslashes).
inline std::wstring windows_path(std::string path) {
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
  std::replace(path.begin(), path.end(), '/', '\\');
  return std::wstring(path.begin(), path.end());
}

#ifdef NORVANE_BINARY_DIR
// The Norvane.exe of this build.
inline std::wstring built_norvane_exe() {
  return windows_path(std::string(NORVANE_BINARY_DIR) + "/src/app/Norvane.exe");
}
#endif

inline std::wstring class_name(HWND hwnd) {
  wchar_t name[64] = {};
  GetClassNameW(hwnd, name, 64);
  return name;
}

inline BOOL CALLBACK collect_window(HWND hwnd, LPARAM out) {
  reinterpret_cast<std::vector<HWND>*>(out)->push_back(hwnd);
  return TRUE;
}

inline std::vector<HWND> child_windows(HWND parent) {
  std::vector<HWND> children;
  if (parent) EnumChildWindows(parent, collect_window, reinterpret_cast<LPARAM>(&children));
  return children;
}

class NorvaneExe {
 public:
  // Starts `exe` in `folder` (the test's own folder when empty).
  explicit NorvaneExe(const std::wstring& exe, const std::wstring& folder = {}) {
    std::wstring command = L"\"" + exe + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    started_at_ = GetTickCount64();
    started_ = CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                              folder.empty() ? nullptr : folder.c_str(), &si, &pi_) != 0;
  }
  ~NorvaneExe() {
    close(20000);
    if (started_) {
      CloseHandle(pi_.hThread);
      CloseHandle(pi_.hProcess);
    }
  }
  NorvaneExe(const NorvaneExe&) = delete;
  NorvaneExe& operator=(const NorvaneExe&) = delete;

  bool started() const { return started_; }
  // The tick count just before the start.
  ULONGLONG started_at() const { return started_at_; }
  HANDLE process() const { return pi_.hProcess; }
  HWND main() const { return main_; }

  // The windows of the program's thread: the main window, message boxes.
  std::vector<HWND> top_windows() const {
    std::vector<HWND> windows;
    if (started_)
      EnumThreadWindows(pi_.dwThreadId, collect_window, reinterpret_cast<LPARAM>(&windows));
    return windows;
  }

  // The main window once it is shown (after WM_CREATE has made the
  // controls), waiting at most `timeout_ms`; null when it did not come.
  HWND wait_for_main_window(ULONGLONG timeout_ms) {
    const ULONGLONG until = GetTickCount64() + timeout_ms;
    while (started_ && !main_) {
      WaitForInputIdle(pi_.hProcess, 20);
      for (HWND hwnd : top_windows()) {
        if (class_name(hwnd) == L"NorvaneWindow" && IsWindowVisible(hwnd)) main_ = hwnd;
      }
      if (main_ || GetTickCount64() >= until) break;
      Sleep(20);
    }
    return main_;
  }

  // Asks the main window to close and waits at most `timeout_ms` for the
  // program to end: its exit code, or nothing when it did not end (it is
  // then terminated) or had ended before.
  std::optional<DWORD> close(DWORD timeout_ms) {
    if (!started_ || ended_) return std::nullopt;
    if (main_) PostMessageW(main_, WM_CLOSE, 0, 0);
    main_ = nullptr;
    ended_ = true;
    if (WaitForSingleObject(pi_.hProcess, timeout_ms) != WAIT_OBJECT_0) {
      TerminateProcess(pi_.hProcess, 1);
      WaitForSingleObject(pi_.hProcess, 5000);
      return std::nullopt;
    }
    DWORD code = 1;
    GetExitCodeProcess(pi_.hProcess, &code);
    return code;
  }

 private:
  PROCESS_INFORMATION pi_{};
  bool started_ = false;
  bool ended_ = false;
  ULONGLONG started_at_ = 0;
  HWND main_ = nullptr;
};

}  // namespace norvane::test
