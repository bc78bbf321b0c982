#include "capture/pktmon_slots.h"

#include <atomic>
#include <chrono>
#include <thread>
#include <type_traits>

namespace norvane::pktmon {

// Every access is sequentially consistent: the callback's count and its
// reading of the tag, against the destruction's closing of the tag and its
// reading of the count, are the two halves of one handshake.
struct CallbackSlot {
  // Callbacks inside, of whatever generation.
  std::atomic<std::uint32_t> in_flight{0};
  // The holder's generation; 0 when free; kShut while being taken and from
  // the holder's close until the slot is free again.
  std::atomic<std::uint64_t> tag{0};
  std::atomic<void*> owner{nullptr};
};

namespace {

constexpr unsigned kIndexBits = 8;
constexpr SlotToken kIndexMask = (SlotToken{1} << kIndexBits) - 1;
constexpr std::uint64_t kGenerationMask = (std::uint64_t{1} << (64 - kIndexBits)) - 1;
constexpr std::uint64_t kShut = ~std::uint64_t{0};  // no generation is this
static_assert(kCallbackSlots <= kIndexMask + 1);
static_assert(sizeof(SlotToken) == 8, "a token carries 56 bits of generation");

// Built before any code runs and never destroyed (nothing in it has a
// destructor), so that even at process exit it outlives the API's threads.
static_assert(std::is_trivially_destructible_v<CallbackSlot>);
constinit CallbackSlot slots[kCallbackSlots];
constinit std::atomic<std::uint64_t> generations{0};

CallbackSlot* slot_of(SlotToken token) {
  const SlotToken index = token & kIndexMask;
  return token != 0 && index < kCallbackSlots ? &slots[index] : nullptr;
}

std::uint64_t generation_of(SlotToken token) { return std::uint64_t{token} >> kIndexBits; }

}  // namespace

SlotToken claim_slot(void* owner) {
  std::uint64_t generation = 0;
  while (generation == 0) generation = (generations.fetch_add(1) + 1) & kGenerationMask;
  for (std::size_t index = 0; index < kCallbackSlots; ++index) {
    CallbackSlot& slot = slots[index];
    // Shut while the owner is written, so that no callback reads half of it.
    std::uint64_t free = 0;
    if (!slot.tag.compare_exchange_strong(free, kShut)) continue;
    slot.owner.store(owner);
    slot.tag.store(generation);
    return static_cast<SlotToken>(generation << kIndexBits | index);
  }
  return 0;
}

void close_slot(SlotToken token) {
  CallbackSlot* slot = slot_of(token);
  if (!slot) return;
  std::uint64_t held = generation_of(token);
  slot->tag.compare_exchange_strong(held, kShut);
}

void retire_slot(SlotToken token) {
  CallbackSlot* slot = slot_of(token);
  if (!slot) return;
  // A late callback of an older stream may be counted here too: it finds
  // the tag foreign and leaves at once.
  while (slot->in_flight.load() != 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  slot->owner.store(nullptr);
  slot->tag.store(0);
}

CallbackPass::CallbackPass(SlotToken token) : slot_(slot_of(token)) {
  if (!slot_) return;
  slot_->in_flight.fetch_add(1);
  const std::uint64_t generation = generation_of(token);
  if (generation != 0 && slot_->tag.load() == generation) owner_ = slot_->owner.load();
}

CallbackPass::~CallbackPass() {
  if (slot_) slot_->in_flight.fetch_sub(1);
}

}  // namespace norvane::pktmon
