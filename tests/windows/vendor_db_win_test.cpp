// The Windows file layer of the vendor database: module path, sharing and
// handle lifetime.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "vendors/vendor_db.h"

namespace norvane {
namespace {

namespace fs = std::filesystem;

class VendorDbWin : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           (L"norvane-vendor-db-win-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(GetTickCount64()));
    ASSERT_TRUE(fs::create_directories(dir_));
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  fs::path dir_;
};

TEST(VendorDbPathWin, ModuleDirectory) {
  wchar_t module[MAX_PATH];
  ASSERT_GT(GetModuleFileNameW(nullptr, module, MAX_PATH), 0u);
  const fs::path expected = fs::path(module).parent_path() / L"mac-vendors.tsv";
  EXPECT_EQ(vendor_db_path(), expected);
}

TEST_F(VendorDbWin, ReadsWhileAnotherHandleAllowsAndFailsWhenDenied) {
  VendorTable table;
  table.insert(make_prefix_key(24, 0x001BC5), "Acme");
  const fs::path path = dir_ / L"mac-vendors.tsv";
  ASSERT_TRUE(save_vendor_db(table, path));

  {
    // A writer that denies reading: the load fails cleanly.
    HANDLE locked = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(locked, INVALID_HANDLE_VALUE);
    VendorTable out;
    EXPECT_FALSE(load_vendor_db(out, path));
    EXPECT_TRUE(out.empty());
    CloseHandle(locked);
  }
  {
    // Another reader that shares read and delete access does not stop us.
    HANDLE reader = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    VendorTable out;
    EXPECT_TRUE(load_vendor_db(out, path));
    EXPECT_EQ(out.size(), 1u);
    CloseHandle(reader);
  }
  // The loader closed its handle: a new file can be moved over the old one.
  VendorTable out;
  ASSERT_TRUE(load_vendor_db(out, path));
  const fs::path fresh = dir_ / L"mac-vendors.tmp";
  ASSERT_TRUE(save_vendor_db(out, fresh));
  EXPECT_TRUE(MoveFileExW(fresh.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING));
}

}  // namespace
}  // namespace norvane
