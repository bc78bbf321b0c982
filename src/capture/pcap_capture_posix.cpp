#include "capture/pcap_capture_posix.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>
#include <cerrno>

#include <pcap/pcap.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <utility>

namespace norvane {

namespace {

constexpr unsigned kCapNetRaw = 13;
constexpr int kLinkHeaders = 22;  // Ethernet header and two VLAN tags

int interface_mtu(const std::string& device) {
  std::ifstream in("/sys/class/net/" + device + "/mtu");
  int mtu = 0;
  return in >> mtu ? mtu : 0;
}

// Promiscuous first: frames between other stations are traffic of the
// segment too. Some interfaces refuse it; their own, broadcast and multicast
// frames are still worth having.
pcap_t* activate(const std::string& device, bool promiscuous, std::string& error, int& status) {
  char errors[PCAP_ERRBUF_SIZE] = {};
  pcap_t* handle = pcap_create(device.c_str(), errors);
  if (!handle) {
    error = errors;
    status = PCAP_ERROR;
    return nullptr;
  }
  const int snapshot = capture_snapshot_length(interface_mtu(device));
  pcap_set_snaplen(handle, snapshot);
  pcap_set_promisc(handle, promiscuous ? 1 : 0);
  // Not immediate mode: that gives each frame a ring slot of the snapshot
  // length, so 64 MiB hold only about 40,000 frames, some 70 ms of a storm.
  // Packed ring blocks hold ten times as many small frames; a block is
  // handed over when full or kPcapBlockMs after its first frame, which is
  // well inside the list's tick.
  pcap_set_buffer_size(handle, kPcapCaptureBufferBytes);
  pcap_set_timeout(handle, kPcapBlockMs);
  status = pcap_activate(handle);
  if (status < 0) {
    error = status == PCAP_ERROR ? std::string(pcap_geterr(handle)) : pcap_statustostr(status);
    pcap_close(handle);
    return nullptr;
  }
  return handle;
}

}  // namespace

int capture_snapshot_length(int mtu) {
  if (mtu <= 0) mtu = 1500;  // unknown: an Ethernet MTU
  return std::min(std::clamp(mtu, 1500, 65535) + kLinkHeaders, 65535);
}

std::unique_ptr<PcapCapture> PcapCapture::start(const std::string& device, FrameCallback on_frame,
                                                FailureCallback on_failed, std::string& error) {
  error.clear();
  int status = 0;
  pcap_t* handle = activate(device, true, error, status);
  if (!handle && status != PCAP_ERROR_PERM_DENIED && status != PCAP_ERROR_NO_SUCH_DEVICE) {
    handle = activate(device, false, error, status);
  }
  if (!handle) return nullptr;
  std::unique_ptr<PcapCapture> capture(new PcapCapture());
  capture->handle_ = handle;
  char errors[PCAP_ERRBUF_SIZE] = {};
  if (pcap_datalink(handle) != DLT_EN10MB) {
    error = "not an Ethernet interface";
    return nullptr;
  }
  if (pcap_setnonblock(handle, 1, errors) != 0 || pcap_get_selectable_fd(handle) < 0) {
    error = errors[0] ? errors : "no descriptor to wait on";
    return nullptr;
  }
  capture->stop_fd_.reset(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (!capture->stop_fd_.valid()) {
    error = "no stop event";
    return nullptr;
  }
  capture->on_frame_ = std::move(on_frame);
  capture->on_failed_ = std::move(on_failed);
  capture->thread_ = std::thread([c = capture.get()] { c->capture_thread(); });
  return capture;
}

void PcapCapture::capture_thread() {
  pollfd waits[2] = {{stop_fd_.get(), POLLIN, 0}, {pcap_get_selectable_fd(handle_), POLLIN, 0}};
  const auto deliver = [](u_char* self, const pcap_pkthdr* header, const u_char* data) {
    auto* capture = reinterpret_cast<PcapCapture*>(self);
    capture->on_frame_(data, header->caplen);
  };
  try {
    while (!stopping_.load(std::memory_order_acquire)) {
      // Everything waiting, one ring block after the other.
      const int read = pcap_dispatch(handle_, -1, deliver, reinterpret_cast<u_char*>(this));
      if (read > 0) continue;
      if (read < 0) break;
      const int woke = ::poll(waits, 2, kPcapWaitMs);
      if (woke < 0 && errno != EINTR) break;
      if (waits[0].revents != 0) return;                             // stopped: nothing to report
      if (waits[1].revents & (POLLERR | POLLHUP | POLLNVAL)) break;  // the interface went away
    }
  } catch (...) {
    // The capture control's callback catches its own failures; anything
    // escaping here ends capture like a read error.
  }
  if (stopping_.load(std::memory_order_acquire)) return;
  try {
    if (on_failed_) on_failed_();
  } catch (...) {
    // Nothing can be reported from here without a callback that works.
  }
}

PcapCapture::~PcapCapture() {
  if (thread_.joinable()) {
    stopping_.store(true, std::memory_order_release);
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(stop_fd_.get(), &one, sizeof(one));
    thread_.join();
  }
  if (handle_) pcap_close(handle_);
  stop_fd_.close();
}

bool status_has_capture_rights(std::string_view status) {
  std::istringstream in{std::string(status)};
  std::string line;
  while (std::getline(in, line)) {
    if (!line.starts_with("CapEff:")) continue;
    std::uint64_t mask = 0;
    std::istringstream hex(line.substr(7));
    if (!(hex >> std::hex >> mask)) return false;
    return (mask >> kCapNetRaw & 1) != 0;
  }
  return false;
}

bool has_capture_rights() {
  std::ifstream in("/proc/self/status");
  std::stringstream text;
  text << in.rdbuf();
  return status_has_capture_rights(text.str());
}

}  // namespace norvane
