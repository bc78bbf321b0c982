// POSIX clocks and files for the vendor database tools: the build's
// database generator saves through the same temporary-file protocol as the
// update worker.
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <thread>

#include "base/fd_posix.h"
#include "vendors/vendor_db.h"
#include "vendors/vendor_update.h"

namespace norvane {
namespace {

// Seconds between 1601-01-01 and 1970-01-01: file times count from 1601.
constexpr std::uint64_t kEpochDelta = 11644473600ull;

std::uint64_t file_time(const timespec& ts) {
  return (static_cast<std::uint64_t>(ts.tv_sec) + kEpochDelta) * 10000000ull +
         static_cast<std::uint64_t>(ts.tv_nsec) / 100u;
}

class PosixClock final : public UpdateClock {
 public:
  std::uint64_t tick_ms() override {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::uint64_t>(ts.tv_sec) * 1000u +
           static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u;
  }
  std::uint64_t system_time() override {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return file_time(ts);
  }
};

// Makes a completed rename durable: the directory entry is flushed too.
bool sync_directory(const std::filesystem::path& file) {
  const std::filesystem::path dir = file.has_parent_path() ? file.parent_path() : ".";
  const Fd fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  return fd.valid() && ::fsync(fd.get()) == 0;
}

class PosixFiles final : public UpdateFiles {
 public:
  std::filesystem::path database_path() override { return vendor_db_path(); }
  bool last_write_time(const std::filesystem::path& path, std::uint64_t& time) override {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
    time = file_time(st.st_mtim);
    return true;
  }
  bool load(VendorTable& target, const std::filesystem::path& path) override {
    return load_vendor_db(target, path);
  }
  bool create_new(const std::filesystem::path& path, std::uint32_t& error) override {
    const Fd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    if (!fd.valid()) {
      error = static_cast<std::uint32_t>(errno);
      return false;
    }
    return true;
  }
  bool save(const VendorTable& table, const std::filesystem::path& path) override {
    return save_vendor_db(table, path);
  }
  bool replace(const std::filesystem::path& from, const std::filesystem::path& to,
               std::uint32_t& error) override {
    if (::rename(from.c_str(), to.c_str()) != 0) {
      error = static_cast<std::uint32_t>(errno);
      return false;
    }
    if (!sync_directory(to)) {
      error = static_cast<std::uint32_t>(errno);
      return false;
    }
    return true;
  }
  void remove(const std::filesystem::path& path) override { ::unlink(path.c_str()); }
  std::uint64_t process_id() override { return static_cast<std::uint64_t>(::getpid()); }
  std::uint64_t thread_id() override {
    return static_cast<std::uint64_t>(std::hash<std::thread::id>{}(std::this_thread::get_id()));
  }
};

}  // namespace

std::uint32_t last_system_error() noexcept { return static_cast<std::uint32_t>(errno); }

std::unique_ptr<UpdateClock> make_platform_update_clock() { return std::make_unique<PosixClock>(); }

std::unique_ptr<UpdateFiles> make_platform_update_files() { return std::make_unique<PosixFiles>(); }

}  // namespace norvane
