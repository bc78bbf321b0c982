// One owner of a POSIX file descriptor, closed once: by close(), by
// reset() or when the owner goes.
#pragma once

#include <unistd.h>

namespace norvane {

class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) noexcept : fd_(fd) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() { close(); }

  int get() const noexcept { return fd_; }
  bool valid() const noexcept { return fd_ >= 0; }
  void reset(int fd) noexcept {
    close();
    fd_ = fd;
  }
  // Closes now and reports whether the close succeeded (false when there
  // was nothing to close).
  bool close() noexcept {
    const int fd = fd_;
    fd_ = -1;
    return fd >= 0 && ::close(fd) == 0;
  }

 private:
  int fd_ = -1;
};

}  // namespace norvane
