// What a Packet Monitor stream hands back to its callbacks. The API calls
// them on threads of its own, and a close of the stream need not wait for a
// callback that has begun, nor keep one from beginning just after it
// returned: a callback may arrive with the context of a back-end that is
// gone. So the context is no pointer to the back-end but a token naming a
// slot of a small process-wide table that is never freed, and the
// generation of the back-end that holds the slot. A callback counts itself
// into the slot before anything else, which is always safe, and only then
// looks at who holds it; a back-end that is being destroyed first closes its
// slot and then waits until no callback is counted in it. Either the callback
// sees the slot closed, or the destruction sees the callback and waits.
#pragma once

#include <cstddef>
#include <cstdint>

namespace norvane::pktmon {

// More back-ends than anyone runs at once: one per window.
inline constexpr std::size_t kCallbackSlots = 8;

// A stream's context: the slot index in the low 8 bits, the holder's
// generation above. 0 names no slot.
using SlotToken = std::uintptr_t;

struct CallbackSlot;

// Takes a free slot for `owner` under a new generation; 0 when every slot is
// held.
SlotToken claim_slot(void* owner);

// Admits no further callback of the token. Nothing for 0.
void close_slot(SlotToken token);

// After close_slot: waits until no callback is counted in the token's slot,
// then frees it. Nothing for 0.
void retire_slot(SlotToken token);

// A callback's stay in its slot: counted from construction to destruction.
// owner() is the holder while the token's generation holds the slot and has
// not closed it, otherwise null (a late callback of a closed stream, an
// unknown token), and the callback must then touch nothing else.
class CallbackPass {
 public:
  explicit CallbackPass(SlotToken token);
  ~CallbackPass();
  CallbackPass(const CallbackPass&) = delete;
  CallbackPass& operator=(const CallbackPass&) = delete;

  void* owner() const { return owner_; }

 private:
  CallbackSlot* slot_ = nullptr;
  void* owner_ = nullptr;
};

}  // namespace norvane::pktmon
