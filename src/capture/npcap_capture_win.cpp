#include "capture/npcap_capture_win.h"

#include <utility>

#include "capture/npcap_logic.h"

namespace norvane {

namespace {

constexpr int kSnapshotLength = 65535;
constexpr int kReadTimeoutMs = 150;
constexpr DWORD kWaitMs = 150;

bool is_file(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

}  // namespace

bool NpcapCapture::start(std::unique_ptr<NpcapCapture>& slot, const std::string& adapter_name,
                         FrameCallback on_frame, FailureCallback on_failed) {
  slot.reset();
  const std::wstring system = dll::system_directory();
  if (system.empty()) return false;
  const std::string device = dll::kNpcapDevicePrefix + adapter_name;

  for (const std::wstring& directory : {system + L"\\Npcap", system}) {
    std::unique_ptr<NpcapCapture> capture(new NpcapCapture());
    if (!capture->open_device(directory, device)) continue;  // released by its destruction

    capture->on_frame_ = std::move(on_frame);
    capture->on_failed_ = std::move(on_failed);
    capture->stop_event_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (capture->stop_event_) {
      capture->thread_ =
          CreateThread(nullptr, 0, &NpcapCapture::thread_entry, capture.get(), 0, nullptr);
    }
    if (!capture->stop_event_ || !capture->thread_) return false;
    slot = std::move(capture);
    return true;
  }
  return false;
}

bool NpcapCapture::open_device(const std::wstring& directory, const std::string& device) {
  const std::wstring wpcap = directory + L"\\wpcap.dll";
  capture_library_.reset(LoadLibraryExW(wpcap.c_str(), nullptr, dll::kLoadSearchDllDirAndSystem32));
  if (!capture_library_) {
    // Systems whose loader predates the search flags reject them with
    // ERROR_INVALID_PARAMETER; the older path loads Packet.dll first so that
    // wpcap.dll binds to the copy beside it.
    if (GetLastError() != ERROR_INVALID_PARAMETER) return false;
    const std::wstring packet = directory + L"\\Packet.dll";
    if (!is_file(wpcap) || !is_file(packet)) return false;
    packet_library_.reset(LoadLibraryExW(packet.c_str(), nullptr, dll::kLoadAlteredSearchPath));
    if (packet_library_) {
      capture_library_.reset(LoadLibraryExW(wpcap.c_str(), nullptr, dll::kLoadAlteredSearchPath));
    }
  }
  if (!capture_library_) return false;

  pcap_.bind(capture_library_.get());
  // Wine's wpcap exports pcap_getevent but aborts the process when it is
  // called; the thread then waits by the read wait schedule alone.
  if (dll::running_under_wine()) pcap_.pcap_getevent = nullptr;
  if (!pcap_.pcap_open_live || !pcap_.pcap_datalink || !pcap_.pcap_setnonblock ||
      !pcap_.pcap_close || !pcap_.pcap_next_ex) {
    return false;
  }

  // Some adapters refuse promiscuous mode; their own traffic and the
  // broadcast and multicast frames are still worth having. The handle is
  // made with a large kernel buffer where the library lets it be chosen
  // before activation, else opened at once.
  char errors[dll::kPcapErrorBufferSize] = {};
  for (const int promiscuous : {1, 0}) {
    if (!capture_) capture_ = create_and_activate(device, promiscuous, errors);
  }
  if (capture_) kernel_buffer_ = npcap::kKernelBufferBytes;
  for (const int promiscuous : {1, 0}) {
    if (!capture_) {
      capture_ = pcap_.pcap_open_live(device.c_str(), kSnapshotLength, promiscuous, kReadTimeoutMs,
                                      errors);
    }
  }
  if (!capture_) return false;
  // Npcap sizes its driver's buffer for an open handle this way; a library
  // that cannot (libpcap once activated) answers with an error, which
  // leaves the handle as it was.
  if (pcap_.pcap_setbuff) pcap_.pcap_setbuff(capture_, npcap::kKernelBufferBytes);
  if (pcap_.pcap_datalink(capture_) != dll::kDltEthernet ||
      pcap_.pcap_setnonblock(capture_, 1, errors) != 0) {
    return false;
  }
  if (pcap_.pcap_getevent) capture_event_ = pcap_.pcap_getevent(capture_);
  return true;
}

dll::PcapHandle* NpcapCapture::create_and_activate(const std::string& device, int promiscuous,
                                                   char* errors) {
  if (!pcap_.pcap_create || !pcap_.pcap_set_snaplen || !pcap_.pcap_set_promisc ||
      !pcap_.pcap_set_timeout || !pcap_.pcap_set_buffer_size || !pcap_.pcap_activate) {
    return nullptr;
  }
  dll::PcapHandle* handle = pcap_.pcap_create(device.c_str(), errors);
  if (!handle) return nullptr;
  // pcap_activate answers warnings (promiscuous mode not supported, ...)
  // above 0: the handle captures all the same.
  if (pcap_.pcap_set_snaplen(handle, kSnapshotLength) != 0 ||
      pcap_.pcap_set_promisc(handle, promiscuous) != 0 ||
      pcap_.pcap_set_timeout(handle, kReadTimeoutMs) != 0 ||
      pcap_.pcap_set_buffer_size(handle, npcap::kKernelBufferBytes) != 0 ||
      pcap_.pcap_activate(handle) < 0) {
    pcap_.pcap_close(handle);
    return nullptr;
  }
  return handle;
}

DWORD WINAPI NpcapCapture::thread_entry(void* self) {
  static_cast<NpcapCapture*>(self)->capture_thread();
  return 0;
}

void NpcapCapture::capture_thread() {
  HANDLE waits[2] = {stop_event_, capture_event_};
  const DWORD wait_count = capture_event_ ? 2 : 1;
  npcap::ReadWaitSchedule schedule;
  try {
    // The stop request is tested before every read through the flag raised
    // with the stop event: a zero-timeout wait on the event is a wineserver
    // round trip under Wine and cut a flood's capture rate from about 87000
    // to 6800 frames per second there. The event still ends every wait.
    while (!stopping_.load(std::memory_order_acquire)) {
      dll::PcapPacketHeader* header = nullptr;
      const std::uint8_t* data = nullptr;
      const int result = pcap_.pcap_next_ex(capture_, &header, &data);
      if (result == 1) {
        schedule.on_frame();
        if (header && data) on_frame_(data, header->caplen);
        continue;
      }
      if (result != 0) break;
      // The library's event wakes the thread when frames wait; without
      // one, the wait is short while frames flow (see ReadWaitSchedule).
      const DWORD wait = capture_event_ ? kWaitMs : schedule.next_wait();
      const DWORD woke = WaitForMultipleObjects(wait_count, waits, FALSE, wait);
      if (woke == WAIT_OBJECT_0) return;  // stopped: nothing to report
      if (woke == WAIT_FAILED) break;
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

NpcapCapture::~NpcapCapture() {
  if (thread_) {
    stopping_.store(true, std::memory_order_release);
    SetEvent(stop_event_);
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
    thread_ = nullptr;
  }
  if (capture_) {
    pcap_.pcap_close(capture_);
    capture_ = nullptr;
  }
  if (stop_event_) {
    CloseHandle(stop_event_);
    stop_event_ = nullptr;
  }
  capture_library_.reset();
  packet_library_.reset();
}

}  // namespace norvane
