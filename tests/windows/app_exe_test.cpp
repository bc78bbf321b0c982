// Norvane.exe itself: its resources, and a start and close under Wine.
#include <windows.h>

#include <gtest/gtest.h>
#include <psapi.h>

#include <algorithm>
#include <cwctype>
#include <set>
#include <string>
#include <vector>

namespace {

std::wstring exe_path() {
  std::string path = std::string(NORVANE_BINARY_DIR) + "/src/app/Norvane.exe";
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
  std::replace(path.begin(), path.end(), '/', '\\');
  return std::wstring(path.begin(), path.end());
}

class Module {
 public:
  Module() : handle_(LoadLibraryExW(exe_path().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {}
  ~Module() {
    if (handle_) FreeLibrary(handle_);
  }
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;
  HMODULE get() const { return handle_; }

 private:
  HMODULE handle_;
};

std::string resource_text(HMODULE module, LPCWSTR name, LPCWSTR type) {
  HRSRC info = FindResourceW(module, name, type);
  if (!info) return {};
  HGLOBAL data = LoadResource(module, info);
  const auto* bytes = static_cast<const char*>(LockResource(data));
  return bytes ? std::string(bytes, SizeofResource(module, info)) : std::string();
}

TEST(AppResources, ManifestDeclaresWhatTheProgramNeeds) {
  Module module;
  ASSERT_NE(module.get(), nullptr);
  const std::string manifest =
      resource_text(module.get(), MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));  // RT_MANIFEST
  ASSERT_FALSE(manifest.empty());
  for (const char* part :
       {R"(name="Norvane" version="1.0.0.0")", R"(name="Microsoft.Windows.Common-Controls")",
        R"(version="6.0.0.0")", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
        "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}", R"(level="asInvoker")", ">true</dpiAware>"}) {
    EXPECT_NE(manifest.find(part), std::string::npos) << part;
  }
}

TEST(AppResources, IconGroupHoldsNineSizes) {
  Module module;
  ASSERT_NE(module.get(), nullptr);
  const std::string group =
      resource_text(module.get(), MAKEINTRESOURCEW(101), MAKEINTRESOURCEW(14));  // RT_GROUP_ICON
  ASSERT_GE(group.size(), 6u);
  const auto u16 = [&](std::size_t at) {
    return static_cast<unsigned>(static_cast<unsigned char>(group[at]) |
                                 (static_cast<unsigned char>(group[at + 1]) << 8));
  };
  EXPECT_EQ(u16(2), 1u);  // icons
  const unsigned count = u16(4);
  ASSERT_EQ(group.size(), 6u + 14u * count);
  std::set<unsigned> sizes;
  for (unsigned i = 0; i < count; ++i) {
    const unsigned width = static_cast<unsigned char>(group[6 + 14 * i]);
    sizes.insert(width == 0 ? 256 : width);
    EXPECT_EQ(u16(6 + 14 * i + 6), 32u);  // 32 bits per pixel
  }
  EXPECT_EQ(sizes, (std::set<unsigned>{16, 20, 24, 32, 40, 48, 64, 96, 256}));
  for (int size : {16, 32, 48, 256}) {
    HICON icon = static_cast<HICON>(
        LoadImageW(module.get(), MAKEINTRESOURCEW(101), IMAGE_ICON, size, size, 0));
    EXPECT_NE(icon, nullptr) << size;
    if (icon) DestroyIcon(icon);
  }
}

BOOL CALLBACK collect_windows(HWND hwnd, LPARAM out) {
  reinterpret_cast<std::vector<HWND>*>(out)->push_back(hwnd);
  return TRUE;
}

TEST(AppProcess, StartsShowsTheWindowAndExitsWithZero) {
  std::wstring command = L"\"" + exe_path() + L"\"";
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi{};
  ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &si, &pi));
  HWND main = nullptr;
  for (int i = 0; i < 200 && !main; ++i) {
    WaitForInputIdle(pi.hProcess, 100);
    std::vector<HWND> windows;
    EnumThreadWindows(pi.dwThreadId, collect_windows, reinterpret_cast<LPARAM>(&windows));
    for (HWND hwnd : windows) {
      wchar_t cls[64] = {};
      GetClassNameW(hwnd, cls, 64);
      // Shown only after WM_CREATE has built the controls.
      if (std::wstring(cls) == L"NorvaneWindow" && IsWindowVisible(hwnd)) main = hwnd;
    }
    if (!main) Sleep(50);
  }
  ASSERT_NE(main, nullptr);
  wchar_t title[64] = {};
  GetWindowTextW(main, title, 64);
  EXPECT_STREQ(title, L"Norvane - Quilbo 2026");
  EXPECT_TRUE(IsWindowVisible(main));
  std::vector<HWND> children;
  EnumChildWindows(main, collect_windows, reinterpret_cast<LPARAM>(&children));
  EXPECT_GE(children.size(), 16u);  // 15 controls and the list's header

  // Common Controls 6 comes from the side-by-side store, not the system
  // directory (its reported version stays 5.81 under Wine).
  HMODULE modules[512];
  DWORD needed = 0;
  bool side_by_side = false;
  if (EnumProcessModules(pi.hProcess, modules, sizeof(modules), &needed)) {
    for (DWORD i = 0; i < needed / sizeof(HMODULE) && i < 512; ++i) {
      wchar_t name[MAX_PATH] = {};
      GetModuleFileNameExW(pi.hProcess, modules[i], name, MAX_PATH);
      std::wstring lower(name);
      std::transform(lower.begin(), lower.end(), lower.begin(), ::towlower);
      if (lower.find(L"comctl32.dll") != std::wstring::npos &&
          lower.find(L"winsxs") != std::wstring::npos) {
        side_by_side = true;
      }
    }
    EXPECT_TRUE(side_by_side);
  }

  PostMessageW(main, WM_CLOSE, 0, 0);
  ASSERT_EQ(WaitForSingleObject(pi.hProcess, 20000), WAIT_OBJECT_0);
  DWORD code = 1234;
  GetExitCodeProcess(pi.hProcess, &code);
  EXPECT_EQ(code, 0u);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
}

}  // namespace
