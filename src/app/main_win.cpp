// Entry point of Norvane.exe.
#include <windows.h>

#include <commctrl.h>

#include <memory>

#include "app/window_win.h"

namespace {

// Icon handles loaded from the executable's icon group, destroyed last.
struct Icon {
  HICON handle = nullptr;
  Icon(HINSTANCE instance, int size)
      : handle(static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(norvane::kIconGroup),
                                             IMAGE_ICON, size, size, 0))) {}
  ~Icon() {
    if (handle) DestroyIcon(handle);
  }
  Icon(const Icon&) = delete;
  Icon& operator=(const Icon&) = delete;
};

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);

  const Icon large(instance, GetSystemMetrics(SM_CXICON));
  const Icon small(instance, GetSystemMetrics(SM_CXSMICON));
  if (!norvane::Window::register_class(instance, large.handle, small.handle)) return 1;

  auto window = std::make_unique<norvane::Window>();
  HWND hwnd = window->create(instance);
  if (!hwnd) return 1;
  ShowWindow(hwnd, show);
  UpdateWindow(hwnd);
  return window->run_message_loop();
}
