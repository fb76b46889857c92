#include <gtest/gtest.h>

#include <vector>

#include "usb/FramePacer.h"

namespace qvx::sim::usb {
namespace {

using std::chrono::microseconds;

// Transfers ready at the given offsets from the device's start, served in
// order by a loop that wakes at `wake` each time: when each packet passes.
std::vector<microseconds> Serve(const std::vector<microseconds>& ready, microseconds wake) {
  const SteadyTime origin{};
  FramePacer pacer(true, origin);
  std::vector<microseconds> passed;
  for (const microseconds at : ready) {
    const SteadyTime pass = pacer.PassTime(origin + at);
    // The loop serves a packet once both it is due and the loop is awake.
    const SteadyTime served = std::max(pass, origin + wake);
    pacer.Use(origin + at);
    passed.push_back(std::chrono::duration_cast<microseconds>(pass - origin));
    EXPECT_GE(served, pass);
  }
  return passed;
}

TEST(FramePacerTest, OnePacketPerFrameOnAGridFixedAtTheStart) {
  struct Case {
    const char* name;
    std::vector<microseconds> ready;
    std::vector<microseconds> passes;
  };
  const Case cases[] = {
      {"a transfer in an unused frame passes at once", {microseconds(2300)}, {microseconds(2300)}},
      {"queued together: one per frame, on the frame starts",
       {microseconds(100), microseconds(100), microseconds(100), microseconds(100)},
       {microseconds(100), microseconds(1000), microseconds(2000), microseconds(3000)}},
      {"a second transfer in the same frame waits for the next frame start",
       {microseconds(1200), microseconds(1900)},
       {microseconds(1200), microseconds(2000)}},
      {"late in a frame: the grid does not move with it",
       {microseconds(900), microseconds(1950), microseconds(2050)},
       {microseconds(900), microseconds(1950), microseconds(2050)}},
      {"after a pause the next frame is the one the transfer comes in",
       {microseconds(0), microseconds(9400)},
       {microseconds(0), microseconds(9400)}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Serve(c.ready, microseconds(0)), c.passes) << c.name;
  }
}

TEST(FramePacerTest, FramesSleptThroughAreNotLostForTransfersAlreadyWaiting) {
  // Five transfers queued at 0; the loop only wakes at 4.5 ms. A host
  // controller would have moved one per frame meanwhile: all five are due.
  const std::vector<microseconds> ready(5, microseconds(0));
  const std::vector<microseconds> passes = Serve(ready, microseconds(4500));
  ASSERT_EQ(passes.size(), 5u);
  for (std::size_t i = 0; i < passes.size(); ++i) {
    EXPECT_EQ(passes[i], microseconds(1000 * static_cast<int>(i))) << i;
    EXPECT_LE(passes[i], microseconds(4500)) << i;
  }
}

TEST(FramePacerTest, NeverMoreThanOnePacketPerFrame) {
  const SteadyTime origin{};
  FramePacer pacer(true, origin);
  // A transfer every 100 us for 100 ms, each served as soon as it may pass.
  SteadyTime last{};
  int passed = 0;
  for (int i = 0; i < 1000; ++i) {
    const SteadyTime ready = origin + microseconds(100 * i);
    const SteadyTime pass = pacer.PassTime(ready);
    if (pass >= origin + microseconds(100000)) break;
    if (passed > 0) {
      EXPECT_GE(pass - last, microseconds(1000)) << i;
    }
    pacer.Use(ready);
    last = pass;
    ++passed;
  }
  EXPECT_EQ(passed, 100);
}

TEST(FramePacerTest, DisabledNeverHoldsBack) {
  const SteadyTime origin{};
  FramePacer pacer(false, origin);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(pacer.PassTime(origin + microseconds(5)), origin + microseconds(5));
    pacer.Use(origin + microseconds(5));
  }
}

}  // namespace
}  // namespace qvx::sim::usb
