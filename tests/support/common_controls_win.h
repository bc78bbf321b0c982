// What every test of a real window needs: Common Controls 6, as Norvane.exe
// gets them through its manifest, the main window's class, and a way to run
// the messages that are waiting.
#pragma once

#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>

#include "app/window_win.h"

namespace norvane::test {

inline std::wstring to_wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

// Path of a file of the source tree as Windows sees it (the tree is a Linux
// path under Wine, reachable through drive Z:).
inline std::wstring source_path(const std::string& relative) {
  std::string path = std::string(NORVANE_SOURCE_DIR) + "/" + relative;
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
  return to_wide(path);
}

class CommonControlsEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    const std::wstring manifest = source_path("src/app/norvane.manifest");
    ACTCTXW ctx{};
    ctx.cbSize = sizeof(ctx);
    ctx.lpSource = manifest.c_str();
    context_ = CreateActCtxW(&ctx);
    ASSERT_NE(context_, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(ActivateActCtx(context_, &cookie_));
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS};
    ASSERT_TRUE(InitCommonControlsEx(&controls));
    ASSERT_TRUE(Window::register_class(GetModuleHandleW(nullptr), nullptr, nullptr));
  }

 private:
  HANDLE context_ = INVALID_HANDLE_VALUE;
  ULONG_PTR cookie_ = 0;
};

inline void pump() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

}  // namespace norvane::test
