// The control interface of the stand-in Pktmonapi.dll that the capture tests
// build: what it serves and where it fails, and what it saw.
#pragma once

#include <cstdint>

namespace norvane::standin {

// Steps of a start, in the order the back-end takes them.
enum Step : std::int32_t {
  kNoFailure = 0,
  kInitialize = 1,
  kEnumerate = 2,
  kCreateSession = 3,
  kAddSource = 4,
  kCreateStream = 5,
  kAttach = 6,
  kActivate = 7,
};

struct Packet {
  std::uint16_t type;    // 1 Ethernet, 2 802.11
  std::uint16_t status;  // metadata field at offset 12
  std::uint32_t length;
  const std::uint8_t* bytes;
};

struct Config {
  std::int32_t fail_step;       // a Step
  std::int32_t fail_code;       // HRESULT of the failing step
  const std::uint8_t* sources;  // source_count records of 424 bytes
  std::uint32_t source_count;
  std::uint32_t extra_count;  // added to the list's count (a list that does not fit)
  std::uint32_t grow_list;    // first enumeration answers "too small" with this many bytes
  const Packet* packets;      // delivered from the stand-in's thread once active
  std::uint32_t packet_count;
  std::int32_t event_kind;  // sent after the packets when not 0
  std::uint32_t event_code;
  std::int32_t event_without_info;
  std::int32_t late_packet;  // deliver packets[0] again while being switched off
  // Closing the stream returns at once, without waiting for a callback the
  // stand-in's thread is running (its last one then ends late).
  std::int32_t close_without_waiting;
};

struct State {
  char calls[128];  // one letter per call, in order (below)
  std::uint32_t api_version;
  std::uint64_t capacities[2];  // of the first two enumerations
  std::int32_t source_kind;
  std::int32_t show_hidden;
  wchar_t session_name[64];
  std::uint8_t added_source[424];
  std::uint16_t buffer_size_multiplier;
  std::uint16_t truncation_size;
  std::int32_t delivered;  // packets handed to the data callback
  std::int32_t late_delivered;
  std::int32_t delivery_done;
  std::int32_t closed_while_delivering;  // the stream closed under a running callback
};
// Call letters: I initialise, E enumerate, L live session, A add source,
// S stream, T attach, + switch on, - switch off, s close stream,
// l close session, U uninitialise.

using ResetFunction = void (*)(const Config* config);
using ReadFunction = void (*)(State* state);
using WaitFunction = int (*)(std::uint32_t milliseconds);  // 1 once delivery is done
using LateFunction = int (*)();                            // 1 when a closed stream was called back

}  // namespace norvane::standin
