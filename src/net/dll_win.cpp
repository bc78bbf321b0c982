#include "net/dll_win.h"

#include <string>

namespace norvane::dll {

void WpcapFunctions::bind(HMODULE library){NORVANE_WPCAP_FUNCTIONS(NORVANE_DLL_BIND)}

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
