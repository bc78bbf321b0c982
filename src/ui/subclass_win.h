// Window subclassing for the controls of the main window: the contract of
// comctl32's SetWindowSubclass, DefSubclassProc and RemoveWindowSubclass
// (procedures keyed by procedure and id, the most recently set one called
// first, each passing messages on to the next, all removed after
// WM_NCDESTROY), with the chain found through the window's GWLP_USERDATA.
// comctl32 keeps its chain in a window property, and reading a property
// is a wineserver round trip under Wine, paid on every message: the list
// view gets thousands per tick, and in the tick benchmark a tick that adds
// 4096 devices took 2.3 to 4.4 s with comctl32's chain, 0.1 to 0.17 s with
// this one.
//
// All calls must come from the thread that owns the window. A window whose
// GWLP_USERDATA already holds someone else's value cannot be subclassed,
// and while the chain lasts its user data is the chain's alone.
#pragma once

#include <windows.h>

#include <commctrl.h>

namespace norvane {

// Adds `proc` with `id` and `ref` to the window's chain, or gives an entry
// that is already there (same procedure and id) the new `ref`. False when
// the window belongs to another thread, its user data is taken, or the
// window procedure cannot be replaced.
bool set_subclass(HWND hwnd, SUBCLASSPROC proc, UINT_PTR id, DWORD_PTR ref);

// Takes the entry out of the chain; false when it is not there. The
// window gets its own procedure back once the chain is empty, unless
// someone has subclassed it on top since: then the empty chain passes
// every message on until the window is destroyed.
bool remove_subclass(HWND hwnd, SUBCLASSPROC proc, UINT_PTR id);

// From inside a subclass procedure: the next procedure of the chain, and
// after the last one the window's own.
LRESULT def_subclass_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);

// The window's own procedure directly, below every entry of the chain
// (the list's batching switches and its item calls during a paint hold,
// which must not trigger the repaint rules of the subclasses).
LRESULT call_unsubclassed(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);

// The number of live entries of the window's chain (0 without a chain).
int subclass_count(HWND hwnd);

}  // namespace norvane
