// The portable rules of the Npcap back-end's reading thread.
#pragma once

#include <algorithm>
#include <cstdint>

namespace norvane::npcap {

// Kernel buffer asked for where the library lets it be chosen: at 0.5 M
// minimum frames per second a 2 MiB ring (libpcap's default) is full within
// about 25 ms, this one holds more than a second of it.
inline constexpr int kKernelBufferBytes = 32 << 20;

// How long the reading thread waits after a read found nothing, when the
// library gives no event to wait on. While frames flow, the wait is short,
// so the kernel's buffer is emptied long before it fills; each read that
// finds nothing again doubles it, up to 150 ms on an idle link, which also
// bounds how long a stop request waits (the stop event ends every wait).
class ReadWaitSchedule {
 public:
  static constexpr std::uint32_t kShortestMs = 1;
  static constexpr std::uint32_t kLongestMs = 150;

  // A read delivered a frame.
  void on_frame() noexcept { next_ = kShortestMs; }
  // A read found nothing: the wait before the next read.
  std::uint32_t next_wait() noexcept {
    const std::uint32_t wait = next_;
    next_ = std::min(next_ * 2, kLongestMs);
    return wait;
  }

 private:
  std::uint32_t next_ = kShortestMs;
};

}  // namespace norvane::npcap
