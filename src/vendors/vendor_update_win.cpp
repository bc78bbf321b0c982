// Win32 clocks, files and window notification for the vendor update worker.
#include <windows.h>

#include "base/file_win.h"
#include "vendors/vendor_db.h"
#include "vendors/vendor_update.h"

namespace norvane {
namespace {

std::uint64_t from_file_time(const FILETIME& ft) {
  return (static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

class Win32Clock final : public UpdateClock {
 public:
  std::uint64_t tick_ms() override { return GetTickCount64(); }
  std::uint64_t system_time() override {
    FILETIME ft{};
    GetSystemTimeAsFileTime(&ft);
    return from_file_time(ft);
  }
};

class Win32Files final : public UpdateFiles {
 public:
  std::filesystem::path database_path() override { return vendor_db_path(); }
  bool last_write_time(const std::filesystem::path& path, std::uint64_t& time) override {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return false;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return false;
    time = from_file_time(data.ftLastWriteTime);
    return true;
  }
  bool load(VendorTable& target, const std::filesystem::path& path) override {
    return load_vendor_db(target, path);
  }
  bool create_new(const std::filesystem::path& path, std::uint32_t& error) override {
    const FileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
      error = last_error(ERROR_CANNOT_MAKE);
      return false;
    }
    return true;
  }
  bool save(const VendorTable& table, const std::filesystem::path& path) override {
    return save_vendor_db(table, path);
  }
  bool replace(const std::filesystem::path& from, const std::filesystem::path& to,
               std::uint32_t& error) override {
    if (!MoveFileExW(from.c_str(), to.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      error = last_error(ERROR_ACCESS_DENIED);
      return false;
    }
    return true;
  }
  void remove(const std::filesystem::path& path) override { DeleteFileW(path.c_str()); }
  std::uint64_t process_id() override { return GetCurrentProcessId(); }
  std::uint64_t thread_id() override { return GetCurrentThreadId(); }
};

}  // namespace

std::uint32_t last_system_error() noexcept { return GetLastError(); }

std::unique_ptr<UpdateClock> make_platform_update_clock() { return std::make_unique<Win32Clock>(); }

std::unique_ptr<UpdateFiles> make_platform_update_files() { return std::make_unique<Win32Files>(); }

bool start_vendor_update(UpdateSlot& slot, void* window, std::uint32_t done_message) {
  std::unique_ptr<UpdateSystem> system;
  try {
    system = std::make_unique<UpdateSystem>();
    system->clock = make_platform_update_clock();
    system->files = make_platform_update_files();
    system->transport = make_winhttp_transport();
    system->post = [](void* target, std::uint32_t message) {
      PostMessageW(static_cast<HWND>(target), message, 0, 0);
    };
  } catch (...) {
    return false;  // no memory for the system: a failed start
  }
  return start_vendor_update(slot, window, done_message, std::move(system));
}

}  // namespace norvane
