#include "ui/subclass_win.h"

#include <algorithm>
#include <cstddef>
#include <memory>
#include <vector>

namespace norvane {
namespace {

struct Entry {
  SUBCLASSPROC proc = nullptr;
  UINT_PTR id = 0;
  DWORD_PTR ref = 0;
  bool removed = false;  // taken out; dropped once no message is on its way
};

// One window's chain. Entries are appended, and a message runs from the
// last one down: indices stay valid while a message is on its way, so an
// entry set meanwhile waits for the next message, and one removed
// meanwhile is only marked and skipped.
struct Chain {
  HWND hwnd = nullptr;
  WNDPROC own = nullptr;  // the window's procedure before the chain
  std::vector<Entry> entries;
  std::size_t position = 0;  // the entry the message is at now
  int running = 0;           // messages on their way through the chain
  bool removed = false;      // some entries are marked removed
  bool destroyed = false;    // WM_NCDESTROY has passed
};

// The chains of this thread, consulted when a chain is set or looked for
// by a caller, never per message: a window's user data is only taken for
// a chain when it is found among them.
std::vector<Chain*>& chains() {
  thread_local std::vector<Chain*> list;
  return list;
}

bool owns_window(HWND hwnd) {
  return hwnd && GetWindowThreadProcessId(hwnd, nullptr) == GetCurrentThreadId();
}

Chain* chain_of(HWND hwnd) {
  if (!owns_window(hwnd)) return nullptr;
  auto* chain = reinterpret_cast<Chain*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!chain) return nullptr;
  const auto& list = chains();
  return std::find(list.begin(), list.end(), chain) != list.end() && chain->hwnd == hwnd ? chain
                                                                                         : nullptr;
}

LRESULT CALLBACK chain_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);

// Gives the window its own procedure and user data back and frees the
// chain. With a subclass of someone else's on top, the window's procedure
// cannot be given back: the empty chain then stays and passes messages on
// until the window is destroyed.
void release(Chain* chain) {
  const HWND hwnd = chain->hwnd;
  const bool on_top =
      GetWindowLongPtrW(hwnd, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(&chain_proc);
  if (!on_top && !chain->destroyed) return;
  if (on_top) SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(chain->own));
  if (GetWindowLongPtrW(hwnd, GWLP_USERDATA) == reinterpret_cast<LONG_PTR>(chain)) {
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
  }
  auto& list = chains();
  list.erase(std::remove(list.begin(), list.end(), chain), list.end());
  delete chain;
}

// Drops the entries marked removed and releases a chain that is done;
// only between messages, when no index is in use.
void settle(Chain* chain) {
  if (chain->running != 0) return;
  auto& entries = chain->entries;
  if (chain->removed) {
    entries.erase(
        std::remove_if(entries.begin(), entries.end(), [](const Entry& e) { return e.removed; }),
        entries.end());
    chain->removed = false;
  }
  if (entries.empty() || chain->destroyed) release(chain);
}

// Runs the message through the entries below index `below`, then the
// window's own procedure.
LRESULT pass_below(Chain* chain, std::size_t below, UINT msg, WPARAM wparam, LPARAM lparam) {
  for (std::size_t i = std::min(below, chain->entries.size()); i-- > 0;) {
    const Entry entry = chain->entries[i];
    if (entry.removed) continue;
    chain->position = i;
    return entry.proc(chain->hwnd, msg, wparam, lparam, entry.id, entry.ref);
  }
  chain->position = 0;
  return CallWindowProcW(chain->own, chain->hwnd, msg, wparam, lparam);
}

LRESULT CALLBACK chain_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  // Per message only the user data is read: it was checked when set.
  auto* chain = reinterpret_cast<Chain*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!chain || chain->hwnd != hwnd) return DefWindowProcW(hwnd, msg, wparam, lparam);
  const std::size_t outer = chain->position;
  ++chain->running;
  const LRESULT result = pass_below(chain, chain->entries.size(), msg, wparam, lparam);
  --chain->running;
  chain->position = outer;
  // After WM_NCDESTROY every entry goes, and the chain with them.
  if (msg == WM_NCDESTROY) chain->destroyed = true;
  if (chain->removed || chain->destroyed) settle(chain);
  return result;
}

}  // namespace

bool set_subclass(HWND hwnd, SUBCLASSPROC proc, UINT_PTR id, DWORD_PTR ref) {
  if (!proc || !owns_window(hwnd)) return false;
  if (Chain* chain = chain_of(hwnd)) {
    if (chain->destroyed) return false;
    for (auto& entry : chain->entries) {
      if (!entry.removed && entry.proc == proc && entry.id == id) {
        entry.ref = ref;
        return true;
      }
    }
    chain->entries.push_back({proc, id, ref, false});
    return true;
  }
  if (GetWindowLongPtrW(hwnd, GWLP_USERDATA) != 0) return false;  // someone else's

  auto chain = std::make_unique<Chain>();
  chain->hwnd = hwnd;
  chain->entries.push_back({proc, id, ref, false});
  chains().push_back(chain.get());
  SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(chain.get()));
  SetLastError(0);
  const LONG_PTR own =
      SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&chain_proc));
  if (own == 0 && GetLastError() != 0) {
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    chains().pop_back();
    return false;
  }
  chain->own = reinterpret_cast<WNDPROC>(own);
  chain.release();  // owned through the window's user data until released
  return true;
}

bool remove_subclass(HWND hwnd, SUBCLASSPROC proc, UINT_PTR id) {
  Chain* chain = chain_of(hwnd);
  if (!chain) return false;
  for (auto& entry : chain->entries) {
    if (!entry.removed && entry.proc == proc && entry.id == id) {
      entry.removed = true;
      chain->removed = true;
      settle(chain);
      return true;
    }
  }
  return false;
}

LRESULT def_subclass_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  auto* chain = reinterpret_cast<Chain*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!chain || chain->hwnd != hwnd || chain->running == 0) {
    return DefWindowProcW(hwnd, msg, wparam, lparam);
  }
  const std::size_t here = chain->position;
  const LRESULT result = pass_below(chain, here, msg, wparam, lparam);
  chain->position = here;
  return result;
}

LRESULT call_unsubclassed(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  if (const Chain* chain = chain_of(hwnd)) {
    return CallWindowProcW(chain->own, hwnd, msg, wparam, lparam);
  }
  return SendMessageW(hwnd, msg, wparam, lparam);
}

int subclass_count(HWND hwnd) {
  const Chain* chain = chain_of(hwnd);
  if (!chain) return 0;
  return static_cast<int>(std::count_if(chain->entries.begin(), chain->entries.end(),
                                        [](const Entry& e) { return !e.removed; }));
}

}  // namespace norvane
