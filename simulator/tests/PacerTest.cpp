#include <gtest/gtest.h>

#include "link/Pacer.h"

namespace qvx::sim {
namespace {

using std::chrono::microseconds;

struct PacerCase {
  const char* name;
  microseconds passedAt;    // when the packet went out
  microseconds nextSlotAt;  // when the one after it may go
};

// Offsets from the first packet, which leaves at 0.
TEST(PacerTest, KeepsAFixedGridWhileBusyAndRestartsAfterAPause) {
  const SteadyTime start{};
  const PacerCase steps[] = {
      {"first packet", microseconds(0), microseconds(1000)},
      {"on time", microseconds(1000), microseconds(2000)},
      {"woken late: the grid holds", microseconds(2400), microseconds(3000)},
      {"on the grid again", microseconds(3000), microseconds(4000)},
      {"after a pause: a new grid", microseconds(9300), microseconds(10300)},
  };
  Pacer pacer(true);
  for (const PacerCase& step : steps) {
    const SteadyTime at = start + step.passedAt;
    ASSERT_TRUE(pacer.Ready(at)) << step.name;
    pacer.Passed(at);
    EXPECT_FALSE(pacer.Ready(at)) << step.name;
    const auto slot = pacer.NextSlot(at);
    ASSERT_TRUE(slot.has_value()) << step.name;
    EXPECT_EQ(*slot - start, step.nextSlotAt) << step.name;
  }
}

TEST(PacerTest, NeverMoreThanOnePacketPerMillisecondOnAverage) {
  Pacer pacer(true);
  SteadyTime now{};
  int passed = 0;
  // Polls every 100 us for 100 ms, like a busy sender.
  for (int tick = 0; tick < 1000; ++tick, now += microseconds(100)) {
    if (pacer.Ready(now)) {
      pacer.Passed(now);
      ++passed;
    }
  }
  EXPECT_EQ(passed, 100);
}

TEST(PacerTest, DisabledNeverHoldsBack) {
  Pacer pacer(false);
  const SteadyTime now{};
  pacer.Passed(now);
  EXPECT_TRUE(pacer.Ready(now));
  EXPECT_FALSE(pacer.NextSlot(now).has_value());
}

}  // namespace
}  // namespace qvx::sim
