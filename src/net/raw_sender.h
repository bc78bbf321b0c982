// The SADP inquiry as a raw Ethernet frame, and the platform's way of
// sending one frame on an adapter (the capture library on Windows).
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "net/adapter.h"

namespace norvane {

inline constexpr std::size_t kSadpInquiryFrameSize = 80;

// The 80-byte inquiry from `mac` with `ipv4` (network byte order); empty when
// the MAC is absent, a group address or all zero. Every frame built takes the
// next number of the process-wide inquiry sequence.
std::vector<std::uint8_t> sadp_inquiry_frame(const MacBytes* mac, std::uint32_t ipv4);

// One handle on one adapter for sending frames. Destroying it releases the
// handle and then the library.
class RawFrameSender {
 public:
  virtual ~RawFrameSender() = default;
  // True when a capture handle is held.
  virtual bool has_handle() const = 0;
  // Hands one frame to the library; true when it took it.
  virtual bool send_frame(std::span<const std::uint8_t> frame) = 0;
};

// Opens a sender on the adapter. Never null: a sender without a handle stands
// for every silent failure (no library, adapter not openable, not Ethernet,
// unusable MAC).
std::unique_ptr<RawFrameSender> open_raw_sender(const std::string& adapter_name,
                                                const MacBytes& mac);

}  // namespace norvane
