// Capture through libpcap on Linux: one thread of its own reads the
// interface's frames from a large kernel ring of packed blocks, and hands
// each one to the frame callback.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

#include "base/fd_posix.h"
#include "capture/capture_backend.h"

struct pcap;  // libpcap's pcap_t

namespace norvane {

// A storm keeps arriving while the thread parses, and the ring is what it
// may fall behind by: about 450,000 minimum frames, or 40,000 full ones.
inline constexpr int kPcapCaptureBufferBytes = 64 * 1024 * 1024;
inline constexpr int kPcapWaitMs = 150;
// The longest a frame waits in a ring block before the thread sees it.
inline constexpr int kPcapBlockMs = 20;

// The whole frame of the interface's MTU with an Ethernet header and two
// VLAN tags (1522 bytes at least, 65535 at most): what the link can carry,
// not 64 KiB, since the ring's blocks are sized to hold the longest frame.
int capture_snapshot_length(int mtu);

class PcapCapture final : public CaptureBackend {
 public:
  // Captures on the interface `device`; null, with `error` saying why, when
  // capture does not run.
  static std::unique_ptr<PcapCapture> start(const std::string& device, FrameCallback on_frame,
                                            FailureCallback on_failed, std::string& error);

  // Stops the thread and waits for it, then closes the handle: no callback
  // runs after this returns.
  ~PcapCapture() override;
  PcapCapture(const PcapCapture&) = delete;
  PcapCapture& operator=(const PcapCapture&) = delete;

 private:
  PcapCapture() = default;
  void capture_thread();

  pcap* handle_ = nullptr;
  Fd stop_fd_;  // eventfd, written once to end the thread
  std::atomic<bool> stopping_{false};
  FrameCallback on_frame_;
  FailureCallback on_failed_;
  std::thread thread_;
};

// True when a /proc/self/status text shows CAP_NET_RAW among the effective
// capabilities (the "CapEff:" line), which capturing and sending raw frames
// need.
bool status_has_capture_rights(std::string_view status);
// The same for this process.
bool has_capture_rights();

}  // namespace norvane
