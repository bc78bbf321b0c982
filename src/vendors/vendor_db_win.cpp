// Windows file access for the vendor database.
#include <windows.h>

#include <string>
#include <vector>

#include "base/file_win.h"
#include "vendors/vendor_db.h"

namespace norvane {

std::filesystem::path vendor_db_path() {
  // GetModuleFileNameW returns the buffer size when it had to cut the path;
  // the buffer is then doubled, up to the longest path the system allows.
  std::vector<wchar_t> buffer(MAX_PATH);
  DWORD length = 0;
  for (;;) {
    length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return {};
    if (length < buffer.size()) break;
    if (buffer.size() >= 32768) return {};
    buffer.resize(buffer.size() * 2);
  }
  std::wstring exe(buffer.data(), length);
  const std::size_t cut = exe.find_last_of(L"\\/");
  if (cut == std::wstring::npos) return {};
  exe.resize(cut + 1);
  exe += L"mac-vendors.tsv";
  return std::filesystem::path(exe);
}

bool read_small_file(const std::filesystem::path& path, std::size_t max_size, std::string& out) {
  std::string content;
  {
    // Read and delete sharing: the update worker may move a new file over
    // this one while we read; the handle lives only for the one read.
    FileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) return false;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size)) return false;
    if (size.QuadPart < 1 || static_cast<unsigned long long>(size.QuadPart) > max_size ||
        static_cast<unsigned long long>(size.QuadPart) > MAXDWORD) {
      return false;
    }
    const auto bytes = static_cast<DWORD>(size.QuadPart);
    content.resize(bytes);
    DWORD read = 0;
    if (!ReadFile(file.get(), content.data(), bytes, &read, nullptr) || read != bytes) {
      return false;
    }
  }
  out = std::move(content);
  return true;
}

bool write_file_flushed(const std::filesystem::path& path, std::string_view content) {
  if (content.size() > MAXDWORD) return false;
  FileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return false;
  if (write_all(file.get(), content) != 0 || !FlushFileBuffers(file.get())) return false;
  return file.close();
}

}  // namespace norvane
