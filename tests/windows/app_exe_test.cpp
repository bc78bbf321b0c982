// Norvane.exe itself: its resources, and a start and close under Wine.
#include <windows.h>

#include <gtest/gtest.h>
#include <psapi.h>

#include <algorithm>
#include <cwctype>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "support/norvane_exe_win.h"

namespace {

using norvane::test::built_norvane_exe;

class Module {
 public:
  Module()
      : handle_(LoadLibraryExW(built_norvane_exe().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {}
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

TEST(AppProcess, StartsShowsTheWindowAndExitsWithZero) {
  norvane::test::NorvaneExe program(built_norvane_exe());
  ASSERT_TRUE(program.started());
  HWND main = program.wait_for_main_window(30000);
  ASSERT_NE(main, nullptr);
  wchar_t title[64] = {};
  GetWindowTextW(main, title, 64);
  EXPECT_STREQ(title, L"Norvane - Quilbo 2026");
  EXPECT_TRUE(IsWindowVisible(main));
  EXPECT_GE(norvane::test::child_windows(main).size(), 16u);  // 15 controls and the list's header

  // Common Controls 6 comes from the side-by-side store, not the system
  // directory (its reported version stays 5.81 under Wine).
  HMODULE modules[512];
  DWORD needed = 0;
  bool side_by_side = false;
  if (EnumProcessModules(program.process(), modules, sizeof(modules), &needed)) {
    for (DWORD i = 0; i < needed / sizeof(HMODULE) && i < 512; ++i) {
      wchar_t name[MAX_PATH] = {};
      GetModuleFileNameExW(program.process(), modules[i], name, MAX_PATH);
      std::wstring lower(name);
      std::transform(lower.begin(), lower.end(), lower.begin(), ::towlower);
      if (lower.find(L"comctl32.dll") != std::wstring::npos &&
          lower.find(L"winsxs") != std::wstring::npos) {
        side_by_side = true;
      }
    }
    EXPECT_TRUE(side_by_side);
  }

  EXPECT_EQ(program.close(20000), std::optional<DWORD>(0));
}

}  // namespace
