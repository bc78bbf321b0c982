// Capture back-ends of the Windows build. Neither is built yet, so capture never
// starts and the capture control runs on the probe engine alone.
#include "capture/backends.h"

namespace norvane {

std::unique_ptr<CaptureBackend> start_pktmon_backend(const NetworkAdapter&, FrameCallback,
                                                     std::u16string& failure) {
  failure = u"Packet Monitor back-end not built";
  return nullptr;
}

std::unique_ptr<CaptureBackend> start_npcap_backend(const NetworkAdapter&, FrameCallback,
                                                    FailureCallback) {
  return nullptr;
}

}  // namespace norvane
