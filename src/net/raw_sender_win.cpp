// The wpcap sender is not built yet: every sender
// is one without a handle, so no raw frame goes out.
#include "net/raw_sender.h"

namespace norvane {

namespace {

class NoRawSender final : public RawFrameSender {
 public:
  bool has_handle() const override { return false; }
  bool send_frame(std::span<const std::uint8_t>) override { return false; }
};

}  // namespace

std::unique_ptr<RawFrameSender> open_raw_sender(const std::string&, const MacBytes&) {
  return std::make_unique<NoRawSender>();
}

}  // namespace norvane
