#include "capture/npcap_logic.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace norvane::npcap {
namespace {

// Reads in order: 'f' delivers a frame, '.' finds nothing and waits. The
// waits taken, in milliseconds.
std::vector<std::uint32_t> waits_for(const std::string& reads) {
  ReadWaitSchedule schedule;
  std::vector<std::uint32_t> waits;
  for (const char r : reads) {
    if (r == 'f') {
      schedule.on_frame();
    } else {
      waits.push_back(schedule.next_wait());
    }
  }
  return waits;
}

TEST(ReadWaitSchedule, ShortWhileFramesFlowLongOnlyWhenIdle) {
  const struct {
    const char* what;
    std::string reads;
    std::vector<std::uint32_t> waits;
  } cases[] = {
      {"a flood empties the buffer between frames", "fff.fff.ff.f.", {1, 1, 1, 1}},
      {"an idle link backs off to 150 ms", "..........", {1, 2, 4, 8, 16, 32, 64, 128, 150, 150}},
      {"a frame after a quiet spell brings the short wait back",
       "........f.ff..",
       {1, 2, 4, 8, 16, 32, 64, 128, 1, 1, 2}},
      {"the first empty read waits briefly", ".", {1}},
  };
  for (const auto& c : cases) EXPECT_EQ(waits_for(c.reads), c.waits) << c.what;
}

// A stop request ends any wait at once through the stop event; without it,
// no wait is longer than 150 ms, and an idle link costs few wake-ups.
TEST(ReadWaitSchedule, IdleLinkCostsFewWakeUps) {
  ReadWaitSchedule schedule;
  std::uint32_t waited = 0;
  int wakeups = 0;
  std::uint32_t longest = 0;
  while (waited < 10000) {
    const std::uint32_t wait = schedule.next_wait();
    longest = std::max(longest, wait);
    waited += wait;
    ++wakeups;
  }
  EXPECT_EQ(longest, ReadWaitSchedule::kLongestMs);
  EXPECT_LE(wakeups, 75);  // 10 s of silence
}

}  // namespace
}  // namespace norvane::npcap
