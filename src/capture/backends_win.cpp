// Capture back-ends of the Windows build.
#include "capture/backends.h"

#include <utility>

#include "capture/npcap_capture_win.h"
#include "capture/pktmon_capture_win.h"

namespace norvane {

std::unique_ptr<CaptureBackend> start_pktmon_backend(const NetworkAdapter& adapter,
                                                     FrameCallback on_frame,
                                                     std::u16string& failure) {
  std::unique_ptr<PktMonCapture> capture;
  if (!PktMonCapture::start(capture, adapter, adapter.description, std::move(on_frame), failure)) {
    return nullptr;
  }
  return capture;
}

std::unique_ptr<CaptureBackend> start_npcap_backend(const NetworkAdapter& adapter,
                                                    FrameCallback on_frame,
                                                    FailureCallback on_failed) {
  std::unique_ptr<NpcapCapture> capture;
  if (!NpcapCapture::start(capture, adapter.adapter_name, std::move(on_frame),
                           std::move(on_failed))) {
    return nullptr;
  }
  return capture;
}

}  // namespace norvane
