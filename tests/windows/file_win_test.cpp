// The shared Win32 file layer: one close per handle, whole writes in pieces,
// and the replacement of a file through a temporary one beside it.
#include "base/file_win.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace norvane {
namespace {

namespace fs = std::filesystem;

class FileWin : public ::testing::Test {
 protected:
  void SetUp() override {
    dir =
        fs::temp_directory_path() / (L"norvane-file-win-" + std::to_wstring(GetCurrentProcessId()) +
                                     L"-" + std::to_wstring(GetTickCount64()));
    ASSERT_TRUE(fs::create_directories(dir));
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
  HANDLE open_new(const fs::path& path, DWORD access = GENERIC_WRITE) {
    return CreateFileW(path.c_str(), access, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
  }
  static std::string read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::string text;
    char buffer[65536];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
      text.append(buffer, static_cast<std::size_t>(in.gcount()));
    }
    return text;
  }
  std::vector<std::wstring> names() const {
    std::vector<std::wstring> out;
    for (const auto& entry : fs::directory_iterator(dir)) out.push_back(entry.path().filename());
    return out;
  }
  fs::path dir;
};

TEST_F(FileWin, AHandleIsClosedOnceByItsOwner) {
  FileHandle none;
  EXPECT_FALSE(none.valid());
  EXPECT_FALSE(none.close());

  const HANDLE first = open_new(dir / L"a");
  const HANDLE second = open_new(dir / L"b");
  ASSERT_NE(first, INVALID_HANDLE_VALUE);
  ASSERT_NE(second, INVALID_HANDLE_VALUE);
  DWORD flags = 0;
  {
    FileHandle file(first);
    EXPECT_TRUE(file.valid());
    EXPECT_EQ(file.get(), first);
    file.reset(second);  // the first one is closed now
    EXPECT_FALSE(GetHandleInformation(first, &flags));
    EXPECT_TRUE(GetHandleInformation(second, &flags));
    EXPECT_TRUE(file.close());
    EXPECT_FALSE(file.valid());
    EXPECT_FALSE(file.close());  // nothing left to close
  }
  EXPECT_FALSE(GetHandleInformation(second, &flags));
  {
    const HANDLE third = open_new(dir / L"c");
    ASSERT_NE(third, INVALID_HANDLE_VALUE);
    { const FileHandle file(third); }
    EXPECT_FALSE(GetHandleInformation(third, &flags));
  }
}

TEST_F(FileWin, WritesEverythingOrSaysWhy) {
  // Over the 1 MiB piece size, with every byte value.
  std::string content(3 * 1024 * 1024 + 5, '\0');
  for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7 % 251);
  {
    FileHandle file(open_new(dir / L"big"));
    ASSERT_TRUE(file.valid());
    EXPECT_EQ(write_all(file.get(), content), 0u);
    EXPECT_EQ(write_all(file.get(), ""), 0u);
  }
  EXPECT_EQ(read(dir / L"big"), content);
  // A handle without write access: the system's code, never 0.
  {
    FileHandle file(open_new(dir / L"read-only", GENERIC_READ));
    ASSERT_TRUE(file.valid());
    EXPECT_EQ(write_all(file.get(), "x"), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  }
  SetLastError(0);
  EXPECT_EQ(last_error(ERROR_WRITE_FAULT), static_cast<DWORD>(ERROR_WRITE_FAULT));
  SetLastError(ERROR_HANDLE_DISK_FULL);
  EXPECT_EQ(last_error(ERROR_WRITE_FAULT), static_cast<DWORD>(ERROR_HANDLE_DISK_FULL));
}

TEST_F(FileWin, ReplacesThroughATemporaryFileBesideTheTarget) {
  const fs::path target = dir / L"lista.csv";
  {
    std::ofstream old(target, std::ios::binary);
    old << std::string(10000, 'o');
  }
  EXPECT_EQ(save_file_replacing(target.wstring(), "nowa\r\n"), 0u);
  EXPECT_EQ(read(target), "nowa\r\n");
  EXPECT_EQ(names(), std::vector<std::wstring>{L"lista.csv"});  // no temporary left
  // A new file, and an empty content.
  EXPECT_EQ(save_file_replacing((dir / L"pusta.csv").wstring(), ""), 0u);
  EXPECT_TRUE(fs::exists(dir / L"pusta.csv"));
  EXPECT_EQ(fs::file_size(dir / L"pusta.csv"), 0u);

  // Failures leave the folder as it was.
  struct Case {
    const wchar_t* what;
    std::wstring path;
    DWORD want;
  };
  ASSERT_TRUE(fs::create_directory(dir / L"folder.csv"));
  const auto before = names();
  const Case cases[] = {
      {L"no name", L"", ERROR_INVALID_NAME},
      {L"missing folder", (dir / L"brak" / L"x.csv").wstring(), ERROR_PATH_NOT_FOUND},
      {L"target is a folder", (dir / L"folder.csv").wstring(), 0},
  };
  for (const Case& c : cases) {
    const DWORD error = save_file_replacing(c.path, "x");
    EXPECT_NE(error, 0u) << c.what;
    if (c.want != 0) {
      EXPECT_EQ(error, c.want) << c.what;
    }
    EXPECT_EQ(names(), before) << c.what;
  }
  EXPECT_TRUE(fs::is_empty(dir / L"folder.csv"));
  EXPECT_EQ(read(target), "nowa\r\n");
}

}  // namespace
}  // namespace norvane
