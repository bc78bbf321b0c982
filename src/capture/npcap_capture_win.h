// Capture through an Npcap-compatible wpcap.dll: one thread of its own reads
// the adapter's frames and hands each one to the frame callback.
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <string>

#include "capture/capture_backend.h"
#include "net/dll_win.h"

namespace norvane {

class NpcapCapture final : public CaptureBackend {
 public:
  // Destroys what `slot` holds, then builds a capturing back-end on the
  // adapter ("{GUID}") into it. False, with `slot` empty, when capture does
  // not run.
  static bool start(std::unique_ptr<NpcapCapture>& slot, const std::string& adapter_name,
                    FrameCallback on_frame, FailureCallback on_failed);

  // Stops the thread and waits for it, then closes the capture handle and
  // releases the libraries: no callback runs after this returns.
  ~NpcapCapture() override;

  // The kernel buffer the capture was opened with, in bytes; 0 when the
  // library did not let it be chosen (the handle then has its default).
  int kernel_buffer() const noexcept { return kernel_buffer_; }

  NpcapCapture(const NpcapCapture&) = delete;
  NpcapCapture& operator=(const NpcapCapture&) = delete;

 private:
  NpcapCapture() = default;

  bool open_device(const std::wstring& directory, const std::string& device);
  dll::PcapHandle* create_and_activate(const std::string& device, int promiscuous, char* errors);
  static DWORD WINAPI thread_entry(void* self);
  void capture_thread();

  dll::Library capture_library_;
  dll::Library packet_library_;
  dll::PcapHandle* capture_ = nullptr;
  HANDLE stop_event_ = nullptr;
  std::atomic<bool> stopping_{false};  // raised together with the stop event
  HANDLE thread_ = nullptr;
  HANDLE capture_event_ = nullptr;  // owned by the capture library
  int kernel_buffer_ = 0;
  dll::WpcapFunctions pcap_;
  FrameCallback on_frame_;
  FailureCallback on_failed_;
};

}  // namespace norvane
