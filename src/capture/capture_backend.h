// What the capture control hands to a capture back-end and asks of it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace norvane {

// Called for every captured frame, on the back-end's thread. Copyable: each
// back-end keeps its own copy.
using FrameCallback = std::function<void(const std::uint8_t* frame, std::uint64_t length)>;
// Called once, on the back-end's thread, when capture ended unexpectedly.
using FailureCallback = std::function<void()>;

// A running capture. Destroying it stops capture and ends every callback
// before the destructor returns.
class CaptureBackend {
 public:
  virtual ~CaptureBackend() = default;
  // Non-empty once the back-end's stream has reported an error.
  virtual std::u16string stream_error() const { return {}; }
};

}  // namespace norvane
