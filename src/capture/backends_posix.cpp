// Capture back-ends of the Linux build: Packet Monitor is a Windows API; the
// capture library's place is taken by libpcap itself.
#include "capture/backends.h"

#include <utility>

#include "capture/pcap_capture_posix.h"

namespace norvane {

std::unique_ptr<CaptureBackend> start_pktmon_backend(const NetworkAdapter&, FrameCallback,
                                                     std::u16string& failure) {
  failure = u"Packet Monitor is a Windows API";
  return nullptr;
}

std::unique_ptr<CaptureBackend> start_npcap_backend(const NetworkAdapter& adapter,
                                                    FrameCallback on_frame,
                                                    FailureCallback on_failed) {
  std::string error;
  return PcapCapture::start(adapter.adapter_name, std::move(on_frame), std::move(on_failed), error);
}

}  // namespace norvane
