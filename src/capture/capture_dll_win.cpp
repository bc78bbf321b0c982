#include "capture/capture_dll_win.h"

#include <string>

namespace norvane::dll {

namespace {

// GetProcAddress answers a generic function pointer; the table gives the
// real type. The detour through void(*)() is the cast compilers accept
// between function pointer types without a warning.
template <typename Function>
void bind_one(HMODULE library, const char* name, Function& out) {
  const FARPROC proc = library ? GetProcAddress(library, name) : nullptr;
  out = reinterpret_cast<Function>(reinterpret_cast<void (*)()>(proc));
}

}  // namespace

#define NORVANE_DLL_BIND(name) bind_one(library, #name, name);

void WpcapFunctions::bind(HMODULE library) { NORVANE_WPCAP_FUNCTIONS(NORVANE_DLL_BIND) }

void PktMonFunctions::bind(HMODULE library) { NORVANE_PKTMON_FUNCTIONS(NORVANE_DLL_BIND) }

#undef NORVANE_DLL_BIND

bool PktMonFunctions::complete() const {
#define NORVANE_DLL_PRESENT(name) &&name != nullptr
  return true NORVANE_PKTMON_FUNCTIONS(NORVANE_DLL_PRESENT);
#undef NORVANE_DLL_PRESENT
}

std::wstring system_directory() {
  wchar_t buffer[260];
  const UINT length = GetSystemDirectoryW(buffer, 260);
  if (length == 0 || length > 259) return {};
  return std::wstring(buffer, length);
}

bool running_under_wine() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

}  // namespace norvane::dll
