// Capture through the Packet Monitor API (Pktmonapi.dll): a live capture of
// the one data source that is the selected adapter, with a real-time stream
// whose callbacks, on the API's threads, hand every frame to the frame
// callback (802.11 frames converted to Ethernet II first). The stream's
// context is a callback slot (capture/pktmon_slots.h), never the object
// itself, and the library stays loaded once loaded: a callback may still
// arrive, or still be returning into the library, after the object is gone.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "capture/capture_backend.h"
#include "capture/pktmon_dll_win.h"
#include "capture/pktmon_slots.h"
#include "net/adapter.h"

namespace norvane {

class PktMonCapture final : public CaptureBackend {
 public:
  // Destroys what `slot` holds and empties `failure`, then starts capture on
  // the adapter (its `guid`) into `slot`. False, with `slot` empty and
  // `failure` saying why, when capture does not run.
  static bool start(std::unique_ptr<PktMonCapture>& slot, const NetworkAdapter& adapter,
                    const std::u16string& description, FrameCallback on_frame,
                    std::u16string& failure);

  // "Błąd strumienia PktMon (N)." once the stream has reported an error.
  std::u16string stream_error() const override;

  // Stops delivery, closes the callback slot, switches the capture off,
  // closes the stream, waits for the callbacks already under way and frees
  // the slot, then closes the capture and the API. The library is kept.
  ~PktMonCapture() override;

  PktMonCapture(const PktMonCapture&) = delete;
  PktMonCapture& operator=(const PktMonCapture&) = delete;

 private:
  explicit PktMonCapture(FrameCallback on_frame) : on_frame_(std::move(on_frame)) {}

  bool run_start_steps(const NetworkAdapter& adapter, const std::u16string& description,
                       std::u16string& failure);
  static void CALLBACK on_stream_event(void* context, const dll::PktMonStreamEventInfo* info,
                                       std::int32_t kind);
  static void CALLBACK on_stream_data(void* context, const pktmon::StreamDataDescriptor* data);

  dll::PktMonFunctions api_;
  dll::PktMonHandle api_handle_ = nullptr;
  dll::PktMonSession session_ = nullptr;
  dll::PktMonStream stream_ = nullptr;
  // The stream's context; 0 until claimed for the stream.
  pktmon::SlotToken slot_ = 0;
  bool active_ = false;
  std::atomic<bool> stopping_{false};
  std::atomic<std::uint32_t> stream_error_{0};
  FrameCallback on_frame_;
};

}  // namespace norvane
