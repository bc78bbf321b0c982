// Optional system libraries bound at run time, and the one such library the
// probe engine and capture share: Npcap's wpcap.dll (the libpcap interface).
// mingw-w64 has no pcap.h, so the types and signatures used are declared
// here, and every function is bound through one table: each entry's pointer
// type is the decltype of the declaration below, resolved by the entry's name.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace norvane::dll {

// GetProcAddress answers a generic function pointer; the table gives the
// real type. The detour through void(*)() is the cast compilers accept
// between function pointer types without a warning. Null when the library
// or the name is missing.
template <typename Function>
void bind_function(HMODULE library, const char* name, Function& out) {
  const FARPROC proc = library ? GetProcAddress(library, name) : nullptr;
  out = reinterpret_cast<Function>(reinterpret_cast<void (*)()>(proc));
}

// One table entry: a pointer typed like the declaration `sig::name`.
#define NORVANE_DLL_POINTER(name) decltype(&sig::name) name = nullptr;
#define NORVANE_DLL_BIND(name) ::norvane::dll::bind_function(library, #name, name);
#define NORVANE_DLL_PRESENT(name) &&name != nullptr

// LoadLibraryExW's search flags, named once (the headers of older SDKs lack
// them): the library's own directory and the system directory; the system
// directory alone; the library's directory by the older rule.
inline constexpr DWORD kLoadSearchDllDirAndSystem32 = 0x900;
inline constexpr DWORD kLoadSearchSystem32 = 0x800;
inline constexpr DWORD kLoadAlteredSearchPath = 0x8;

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

// ------------------------------------------------------------------ wpcap --

// The library's name of an adapter is this prefix and the adapter's name.
inline constexpr char kNpcapDevicePrefix[] = "\\Device\\NPF_";

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
}  // namespace sig

// clang-format off
#define NORVANE_WPCAP_FUNCTIONS(X) \
  X(pcap_open_live)        \
  X(pcap_datalink)         \
  X(pcap_setnonblock)      \
  X(pcap_getevent)         \
  X(pcap_close)            \
  X(pcap_next_ex)          \
  X(pcap_sendpacket)       \
  X(pcap_create)           \
  X(pcap_set_snaplen)      \
  X(pcap_set_promisc)      \
  X(pcap_set_timeout)      \
  X(pcap_set_buffer_size)  \
  X(pcap_activate)         \
  X(pcap_setbuff)
// clang-format on

// All null until bound. bind() resolves every entry by name and leaves
// missing ones null; the callers decide which are optional.
struct WpcapFunctions {
  NORVANE_WPCAP_FUNCTIONS(NORVANE_DLL_POINTER)
  void bind(HMODULE library);
};

}  // namespace norvane::dll
