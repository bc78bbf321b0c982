// The two capture back-ends as the capture control starts them.
#pragma once

#include <memory>
#include <string>

#include "capture/capture_backend.h"
#include "net/adapter.h"

namespace norvane {

// Packet Monitor: null when capture does not run; `failure` then says why
// (not shown to the user).
std::unique_ptr<CaptureBackend> start_pktmon_backend(const NetworkAdapter& adapter,
                                                     FrameCallback on_frame,
                                                     std::u16string& failure);

// Npcap-compatible wpcap.dll: null when capture does not run.
std::unique_ptr<CaptureBackend> start_npcap_backend(const NetworkAdapter& adapter,
                                                    FrameCallback on_frame,
                                                    FailureCallback on_failed);

}  // namespace norvane
