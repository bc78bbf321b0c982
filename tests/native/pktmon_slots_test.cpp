// Packet Monitor callback slots: a stream's token reaches its back-end only
// while that back-end holds the slot and has not closed it.
#include "capture/pktmon_slots.h"

#include <gtest/gtest.h>

#include <vector>

namespace norvane::pktmon {
namespace {

void* owner_of(SlotToken token) { return CallbackPass(token).owner(); }

TEST(CallbackSlots, ATokenReachesItsOwnerOnlyUntilTheSlotIsClosed) {
  int first_owner = 0, second_owner = 0;
  const SlotToken first = claim_slot(&first_owner);
  std::vector<SlotToken> held;
  while (const SlotToken token = claim_slot(&held)) held.push_back(token);
  EXPECT_EQ(held.size(), kCallbackSlots - 1);  // a full table refuses
  EXPECT_EQ(owner_of(first), &first_owner);
  close_slot(first);
  EXPECT_EQ(owner_of(first), nullptr);
  EXPECT_EQ(claim_slot(&second_owner), 0u);  // closed is not yet free
  retire_slot(first);
  const SlotToken second = claim_slot(&second_owner);  // the one free slot: the first's
  ASSERT_NE(second, 0u);
  EXPECT_EQ(owner_of(first), nullptr);
  EXPECT_EQ(owner_of(second), &second_owner);
  EXPECT_EQ(owner_of(0), nullptr);
  held.push_back(second);
  for (const SlotToken token : held) {
    close_slot(token);
    retire_slot(token);
  }
}

}  // namespace
}  // namespace norvane::pktmon
