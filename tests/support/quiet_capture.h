// The capture control without a window, for measurements: no adapter to
// start on by itself, no back-end of its own (SilentProbeEngine stands in
// for the probe engine). The caller starts a back-end or feeds
// CaptureControl::on_frame itself.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "capture/capture_control.h"

namespace norvane::test {

class QuietCaptureHost final : public CaptureSource, public CaptureHost {
 public:
  std::optional<NetworkAdapter> selected_adapter() override { return std::nullopt; }
  std::unique_ptr<CaptureBackend> start_pktmon(const NetworkAdapter&, FrameCallback,
                                               std::u16string&) override {
    return nullptr;
  }
  std::unique_ptr<CaptureBackend> start_npcap(const NetworkAdapter&, FrameCallback,
                                              FailureCallback) override {
    return nullptr;
  }
  void on_probe_reply(const DiscoveryReply&) override {}
  void clear_device_list() override {}
  void refresh_status() override {}
  std::uint64_t now_ms() override { return 0; }
};

}  // namespace norvane::test
