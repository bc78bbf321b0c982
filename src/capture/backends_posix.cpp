// No capture back-end outside Windows: the portable build runs the capture
// control with fakes in its tests.
#include "capture/backends.h"

namespace norvane {

std::unique_ptr<CaptureBackend> start_pktmon_backend(const NetworkAdapter&, FrameCallback,
                                                     std::u16string& failure) {
  failure = u"Packet Monitor is a Windows API";
  return nullptr;
}

std::unique_ptr<CaptureBackend> start_npcap_backend(const NetworkAdapter&, FrameCallback,
                                                    FailureCallback) {
  return nullptr;
}

}  // namespace norvane
