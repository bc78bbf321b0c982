#include "capture/pktmon_dll_win.h"

namespace norvane::dll {

void PktMonFunctions::bind(HMODULE library) { NORVANE_PKTMON_FUNCTIONS(NORVANE_DLL_BIND) }

bool PktMonFunctions::complete() const {
  return true NORVANE_PKTMON_FUNCTIONS(NORVANE_DLL_PRESENT);
}

}  // namespace norvane::dll
