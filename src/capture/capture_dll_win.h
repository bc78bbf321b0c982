// The optional capture libraries: Npcap's wpcap.dll (libpcap interface) and
// the Packet Monitor API (Pktmonapi.dll). Neither has a header in mingw-w64,
// so the types and signatures used are declared here, and every function is
// bound at run time through one table: each entry's pointer type is the
// decltype of the declaration below, resolved by the entry's name.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "capture/pktmon_logic.h"

namespace norvane::dll {

// ------------------------------------------------------------------ wpcap --

struct PcapHandle;  // pcap_t
// pcap_pkthdr as the Windows library lays it out (a 32-bit timeval).
struct PcapPacketHeader {
  std::int32_t tv_sec;
  std::int32_t tv_usec;
  std::uint32_t caplen;
  std::uint32_t len;
};
inline constexpr int kPcapErrorBufferSize = 256;
inline constexpr int kDltEthernet = 1;

// ---------------------------------------------------------- Packet Monitor --

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

// --------------------------------------------------- declared signatures --
// Never defined nor called directly: only their types are used.
namespace sig {
PcapHandle* pcap_open_live(const char* device, int snaplen, int promisc, int to_ms, char* errbuf);
int pcap_datalink(PcapHandle* handle);
int pcap_setnonblock(PcapHandle* handle, int nonblock, char* errbuf);
HANDLE pcap_getevent(PcapHandle* handle);
void pcap_close(PcapHandle* handle);
int pcap_next_ex(PcapHandle* handle, PcapPacketHeader** header, const std::uint8_t** data);
int pcap_sendpacket(PcapHandle* handle, const std::uint8_t* data, int size);
PcapHandle* pcap_create(const char* device, char* errbuf);
int pcap_set_snaplen(PcapHandle* handle, int snaplen);
int pcap_set_promisc(PcapHandle* handle, int promisc);
int pcap_set_timeout(PcapHandle* handle, int to_ms);
int pcap_set_buffer_size(PcapHandle* handle, int bytes);
int pcap_activate(PcapHandle* handle);
int pcap_setbuff(PcapHandle* handle, int bytes);

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

// ------------------------------------------------------------ the table --

#define NORVANE_WPCAP_FUNCTIONS(X)                                                        \
  X(pcap_open_live)                                                                       \
  X(pcap_datalink)                                                                        \
  X(pcap_setnonblock)                                                                     \
  X(pcap_getevent) X(pcap_close) X(pcap_next_ex) X(pcap_sendpacket) X(pcap_create)        \
      X(pcap_set_snaplen) X(pcap_set_promisc) X(pcap_set_timeout) X(pcap_set_buffer_size) \
          X(pcap_activate) X(pcap_setbuff)

#define NORVANE_PKTMON_FUNCTIONS(X)                                                     \
  X(PacketMonitorInitialize)                                                            \
  X(PacketMonitorUninitialize)                                                          \
  X(PacketMonitorEnumDataSources)                                                       \
  X(PacketMonitorCreateLiveSession) X(PacketMonitorCloseSessionHandle)                  \
      X(PacketMonitorAddSingleDataSourceToSession) X(PacketMonitorCreateRealtimeStream) \
          X(PacketMonitorCloseRealtimeStream) X(PacketMonitorAttachOutputToSession)     \
              X(PacketMonitorSetSessionActive)

#define NORVANE_DLL_POINTER(name) decltype(&sig::name) name = nullptr;

// One library's functions, all null until bound. bind() resolves every entry
// by name and leaves missing ones null; the callers decide which are optional.
struct WpcapFunctions {
  NORVANE_WPCAP_FUNCTIONS(NORVANE_DLL_POINTER)
  void bind(HMODULE library);
};

struct PktMonFunctions {
  NORVANE_PKTMON_FUNCTIONS(NORVANE_DLL_POINTER)
  void bind(HMODULE library);
  bool complete() const;
};

#undef NORVANE_DLL_POINTER

// The system directory ("C:\Windows\system32"), empty when it cannot be read
// into 260 characters.
std::wstring system_directory();

// Under Wine, some wpcap exports abort the process when called although they
// resolve (pcap_getevent among them).
bool running_under_wine();

// The one owner of a loaded library.
class Library {
 public:
  Library() = default;
  explicit Library(HMODULE module) : module_(module) {}
  ~Library() { reset(); }
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;
  HMODULE get() const { return module_; }
  explicit operator bool() const { return module_ != nullptr; }
  void reset(HMODULE module = nullptr) {
    if (module_) FreeLibrary(module_);
    module_ = module;
  }

 private:
  HMODULE module_ = nullptr;
};

}  // namespace norvane::dll
