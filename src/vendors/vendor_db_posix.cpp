// POSIX file access for the vendor database: used by the command-line tools,
// which read mac-vendors.tsv beside their own executable.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "base/fd_posix.h"
#include "vendors/vendor_db.h"

namespace norvane {

std::filesystem::path vendor_db_path() {
  // readlink does not say when it cut the path: a result that fills the
  // buffer is retried with a doubled buffer, up to 32768 bytes.
  std::vector<char> buffer(260);
  for (;;) {
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) return {};
    if (static_cast<std::size_t>(n) < buffer.size()) {
      const std::string exe(buffer.data(), static_cast<std::size_t>(n));
      const std::size_t slash = exe.rfind('/');
      if (slash == std::string::npos) return {};
      return std::filesystem::path(exe.substr(0, slash + 1) + std::string(kVendorDbFileName));
    }
    if (buffer.size() >= 32768) return {};
    buffer.resize(buffer.size() * 2);
  }
}

bool read_small_file(const std::filesystem::path& path, std::size_t max_size, std::string& out) {
  std::string content;
  {
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.valid()) return false;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    if (st.st_size < 1 || static_cast<std::uint64_t>(st.st_size) > max_size) return false;
    const auto size = static_cast<std::size_t>(st.st_size);
    content.resize(size);
    std::size_t done = 0;
    while (done < size) {
      const ssize_t n = ::read(fd.get(), content.data() + done, size - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      done += static_cast<std::size_t>(n);
    }
  }
  out = std::move(content);
  return true;
}

bool write_file_flushed(const std::filesystem::path& path, std::string_view content) {
  Fd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  if (!fd.valid()) return false;
  std::size_t done = 0;
  while (done < content.size()) {
    const ssize_t n = ::write(fd.get(), content.data() + done, content.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  if (::fsync(fd.get()) != 0) return false;
  return fd.close();
}

}  // namespace norvane
