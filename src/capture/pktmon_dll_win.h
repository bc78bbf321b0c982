// The Packet Monitor API (Pktmonapi.dll), which has no header in mingw-w64:
// the types and signatures used, bound at run time through one table like
// the capture library's (net/dll_win.h).
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "capture/pktmon_logic.h"
#include "net/dll_win.h"

namespace norvane::dll {

using PktMonHandle = void*;   // PACKETMONITOR_HANDLE
using PktMonSession = void*;  // PACKETMONITOR_SESSION
using PktMonStream = void*;   // PACKETMONITOR_REALTIME_STREAM

// Only the error code at offset 4 is read.
struct PktMonStreamEventInfo {
  std::uint32_t reserved;
  std::uint32_t error_code;
};
inline constexpr std::int32_t kStreamEventStopped = 1;
inline constexpr std::int32_t kStreamEventError = 2;

using PktMonStreamEventCallback = void(CALLBACK*)(void* context, const PktMonStreamEventInfo* info,
                                                  std::int32_t kind);
using PktMonStreamDataCallback = void(CALLBACK*)(void* context,
                                                 const pktmon::StreamDataDescriptor* data);

struct PktMonStreamConfiguration {
  void* user_context;
  PktMonStreamEventCallback event_callback;
  PktMonStreamDataCallback data_callback;
  std::uint16_t buffer_size_multiplier;
  std::uint16_t truncation_size;
};

inline constexpr ULONG kPktMonApiVersion = 0x00010000;
inline constexpr std::int32_t kPktMonSourceNetworkInterfaces = 1;

static_assert(sizeof(void*) == 8, "the record offsets are those of 64-bit Windows");
static_assert(offsetof(pktmon::StreamDataDescriptor, packet_length) == 20);
static_assert(offsetof(PktMonStreamConfiguration, truncation_size) == 26);
static_assert(offsetof(PktMonStreamEventInfo, error_code) == 4);

// Never defined nor called directly: only their types are used.
namespace sig {
HRESULT WINAPI PacketMonitorInitialize(ULONG api_version, void* reserved, PktMonHandle* handle);
void WINAPI PacketMonitorUninitialize(PktMonHandle handle);
HRESULT WINAPI PacketMonitorEnumDataSources(PktMonHandle handle, std::int32_t kind,
                                            BOOLEAN show_hidden, SIZE_T capacity,
                                            SIZE_T* bytes_needed, void* list);
HRESULT WINAPI PacketMonitorCreateLiveSession(PktMonHandle handle, const wchar_t* name,
                                              PktMonSession* session);
void WINAPI PacketMonitorCloseSessionHandle(PktMonSession session);
HRESULT WINAPI PacketMonitorAddSingleDataSourceToSession(PktMonSession session,
                                                         const void* data_source);
HRESULT WINAPI PacketMonitorCreateRealtimeStream(PktMonHandle handle,
                                                 const PktMonStreamConfiguration* configuration,
                                                 PktMonStream* stream);
void WINAPI PacketMonitorCloseRealtimeStream(PktMonStream stream);
HRESULT WINAPI PacketMonitorAttachOutputToSession(PktMonSession session, void* output);
HRESULT WINAPI PacketMonitorSetSessionActive(PktMonSession session, BOOL active);
}  // namespace sig

// clang-format off
#define NORVANE_PKTMON_FUNCTIONS(X) \
  X(PacketMonitorInitialize)                    \
  X(PacketMonitorUninitialize)                  \
  X(PacketMonitorEnumDataSources)               \
  X(PacketMonitorCreateLiveSession)             \
  X(PacketMonitorCloseSessionHandle)            \
  X(PacketMonitorAddSingleDataSourceToSession)  \
  X(PacketMonitorCreateRealtimeStream)          \
  X(PacketMonitorCloseRealtimeStream)           \
  X(PacketMonitorAttachOutputToSession)         \
  X(PacketMonitorSetSessionActive)
// clang-format on

struct PktMonFunctions {
  NORVANE_PKTMON_FUNCTIONS(NORVANE_DLL_POINTER)
  void bind(HMODULE library);
  bool complete() const;
};

}  // namespace norvane::dll
