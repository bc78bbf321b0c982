// A stand-in Pktmonapi.dll for the capture tests under Wine, which has no
// Packet Monitor: it exports the ten functions the back-end binds, serves the
// data sources it was given, fails at the step it was told to, and calls the
// stream callbacks from a thread of its own once the capture is switched on.
// Closing the stream joins that thread, as the real API ends its delivery,
// or (when told to) returns at once while a callback may still be running,
// and a test may call back with a closed stream's context later still.
#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "capture/pktmon_dll_win.h"
#include "windows/capture/pktmon_standin.h"

namespace {

using norvane::dll::PktMonStreamConfiguration;
using norvane::dll::PktMonStreamEventInfo;
using norvane::pktmon::StreamDataDescriptor;
namespace standin = norvane::standin;

constexpr HRESULT kInsufficientBuffer = static_cast<HRESULT>(0x8007007A);
constexpr std::size_t kRecord = 424;

struct StoredPacket {
  std::uint16_t type;
  std::uint16_t status;
  std::vector<std::uint8_t> bytes;
};

std::mutex lock;
std::condition_variable delivered_cv;
standin::Config config{};
std::vector<std::uint8_t> sources;
std::vector<StoredPacket> packets;
standin::State state{};
int enumerations = 0;
PktMonStreamConfiguration stream{};
// The stream closed last, kept across resets for standin_late.
PktMonStreamConfiguration closed{};
std::thread delivery;

int api_tag, session_tag, stream_tag;

void note(char call) {
  std::lock_guard<std::mutex> guard(lock);
  const std::size_t at = std::strlen(state.calls);
  if (at + 1 < sizeof state.calls) state.calls[at] = call;
}

bool fails(standin::Step step, HRESULT& hr) {
  if (config.fail_step != step) return false;
  hr = config.fail_code;
  return true;
}

std::atomic<int> delivering{0};

// Metadata (16 bytes, the status at 12 and the type at 14), then the packet.
void deliver(const StoredPacket& packet, const PktMonStreamConfiguration& to) {
  std::vector<std::uint8_t> data(16, 0);
  data[12] = static_cast<std::uint8_t>(packet.status);
  data[13] = static_cast<std::uint8_t>(packet.status >> 8);
  data[14] = static_cast<std::uint8_t>(packet.type);
  data[15] = static_cast<std::uint8_t>(packet.type >> 8);
  data.insert(data.end(), packet.bytes.begin(), packet.bytes.end());
  const StreamDataDescriptor descriptor{data.data(), static_cast<std::uint32_t>(data.size()), 0, 16,
                                        static_cast<std::uint32_t>(packet.bytes.size())};
  delivering.fetch_add(1);
  to.data_callback(to.user_context, &descriptor);
  delivering.fetch_sub(1);
}

// The stream's callbacks are taken when the thread starts: a close that does
// not wait may clear them meanwhile.
void deliver_all(PktMonStreamConfiguration to) {
  for (const StoredPacket& packet : packets) {
    deliver(packet, to);
    std::lock_guard<std::mutex> guard(lock);
    ++state.delivered;
  }
  if (config.event_kind != 0) {
    const PktMonStreamEventInfo info{0, config.event_code};
    to.event_callback(to.user_context, config.event_without_info ? nullptr : &info,
                      config.event_kind);
  }
  std::lock_guard<std::mutex> guard(lock);
  state.delivery_done = 1;
  delivered_cv.notify_all();
}

}  // namespace

extern "C" {

__declspec(dllexport) void standin_reset(const standin::Config* next) {
  if (delivery.joinable()) delivery.join();
  std::lock_guard<std::mutex> guard(lock);
  config = *next;
  sources.assign(next->sources, next->sources + kRecord * next->source_count);
  packets.clear();
  for (std::uint32_t i = 0; i < next->packet_count; ++i) {
    const standin::Packet& p = next->packets[i];
    packets.push_back({p.type, p.status, std::vector<std::uint8_t>(p.bytes, p.bytes + p.length)});
  }
  config.sources = nullptr;
  config.packets = nullptr;
  state = {};
  enumerations = 0;
  stream = {};
}

__declspec(dllexport) void standin_read(standin::State* out) {
  std::lock_guard<std::mutex> guard(lock);
  *out = state;
}

__declspec(dllexport) int standin_wait(std::uint32_t milliseconds) {
  bool done = false;
  {
    std::unique_lock<std::mutex> guard(lock);
    done = delivered_cv.wait_for(guard, std::chrono::milliseconds(milliseconds),
                                 [] { return state.delivery_done != 0; });
  }
  // A close that did not wait left the thread to be joined here.
  if (done && delivery.joinable()) delivery.join();
  return done ? 1 : 0;
}

// An API thread that was about to call back when the stream's close
// returned: packets[0] with the context of the stream closed last.
__declspec(dllexport) int standin_late() {
  if (!closed.data_callback || packets.empty()) return 0;
  deliver(packets.front(), closed);
  return 1;
}

__declspec(dllexport) HRESULT WINAPI
    PacketMonitorInitialize(ULONG api_version, void*, void** handle) {
  note('I');
  state.api_version = api_version;
  HRESULT hr = S_OK;
  if (fails(standin::kInitialize, hr)) return hr;
  *handle = &api_tag;
  return S_OK;
}

__declspec(dllexport) void WINAPI PacketMonitorUninitialize(void*) { note('U'); }

__declspec(dllexport) HRESULT WINAPI
    PacketMonitorEnumDataSources(void*, std::int32_t kind, BOOLEAN show_hidden, SIZE_T capacity,
                                 SIZE_T* needed, void* list) {
  note('E');
  state.source_kind = kind;
  state.show_hidden = show_hidden;
  if (enumerations < 2) state.capacities[enumerations] = capacity;
  const bool first = enumerations++ == 0;
  HRESULT hr = S_OK;
  if (fails(standin::kEnumerate, hr)) {
    *needed = 0;
    return hr;
  }
  const std::size_t count = sources.size() / kRecord;
  const std::size_t required = 8 + 8 * count + kRecord * count;
  if (first && config.grow_list != 0) {
    *needed = config.grow_list;
    return kInsufficientBuffer;
  }
  *needed = required;
  if (capacity < required) return kInsufficientBuffer;
  auto* bytes = static_cast<std::uint8_t*>(list);
  std::memset(bytes, 0, capacity);
  const auto stated = static_cast<std::uint32_t>(count + config.extra_count);
  std::memcpy(bytes, &stated, 4);
  for (std::size_t i = 0; i < count; ++i) {
    std::uint8_t* record = bytes + 8 + 8 * count + kRecord * i;
    std::memcpy(record, sources.data() + kRecord * i, kRecord);
    const auto pointer = reinterpret_cast<std::uint64_t>(record);
    std::memcpy(bytes + 8 + 8 * i, &pointer, 8);
  }
  return S_OK;
}

__declspec(dllexport) HRESULT WINAPI
    PacketMonitorCreateLiveSession(void*, const wchar_t* name, void** session) {
  note('L');
  wcsncpy(state.session_name, name, 63);
  HRESULT hr = S_OK;
  if (fails(standin::kCreateSession, hr)) return hr;
  *session = &session_tag;
  return S_OK;
}

__declspec(dllexport) void WINAPI PacketMonitorCloseSessionHandle(void*) { note('l'); }

__declspec(dllexport) HRESULT WINAPI
    PacketMonitorAddSingleDataSourceToSession(void*, const void* source) {
  note('A');
  std::memcpy(state.added_source, source, kRecord);
  HRESULT hr = S_OK;
  return fails(standin::kAddSource, hr) ? hr : S_OK;
}

__declspec(dllexport) HRESULT WINAPI
    PacketMonitorCreateRealtimeStream(void*, const PktMonStreamConfiguration* configuration,
                                      void** handle) {
  note('S');
  state.buffer_size_multiplier = configuration->buffer_size_multiplier;
  state.truncation_size = configuration->truncation_size;
  HRESULT hr = S_OK;
  if (fails(standin::kCreateStream, hr)) return hr;
  stream = *configuration;
  *handle = &stream_tag;
  return S_OK;
}

__declspec(dllexport) void WINAPI PacketMonitorCloseRealtimeStream(void*) {
  note('s');
  if (delivering.load() != 0) {
    std::lock_guard<std::mutex> guard(lock);
    state.closed_while_delivering = 1;
  }
  if (!config.close_without_waiting && delivery.joinable()) delivery.join();
  closed = stream;
  stream = {};
}

__declspec(dllexport) HRESULT WINAPI PacketMonitorAttachOutputToSession(void*, void*) {
  note('T');
  HRESULT hr = S_OK;
  return fails(standin::kAttach, hr) ? hr : S_OK;
}

__declspec(dllexport) HRESULT WINAPI PacketMonitorSetSessionActive(void*, BOOL active) {
  note(active ? '+' : '-');
  if (!active) {
    // A callback already under way when the capture is switched off.
    if (config.late_packet && !packets.empty() && stream.data_callback) {
      deliver(packets.front(), stream);
      std::lock_guard<std::mutex> guard(lock);
      ++state.late_delivered;
    }
    return S_OK;
  }
  HRESULT hr = S_OK;
  if (fails(standin::kActivate, hr)) return hr;
  delivery = std::thread(deliver_all, stream);
  return S_OK;
}

}  // extern "C"
