#include <gtest/gtest.h>

#include "usb/UrbTiming.h"

namespace qvx::sim::usb {
namespace {

using std::chrono::microseconds;

TEST(UrbTimingTest, SpreadGivesMeanPercentileAndMaximum) {
  Spread spread;
  EXPECT_EQ(spread.Text(), "-");
  // 19 quick ones and one slow one: the 95th percentile is still quick.
  for (int i = 0; i < 19; ++i) spread.Add(microseconds(200));
  spread.Add(microseconds(5000));
  EXPECT_EQ(spread.Count(), 20u);
  EXPECT_EQ(spread.Text(), "mean 0.440 p95 0.250 max 5.000 ms");
}

TEST(UrbTimingTest, TurnaroundOnlyWhereTheHostLeftTheEndpointEmpty) {
  const SteadyTime t0{};
  UrbTiming timing;
  // Two OUT transfers queued together, carried and reaped; then a third
  // submitted 0.3 ms after the last reap onto an empty endpoint.
  timing.Submitted(false, t0, 0);  // no reap yet: no turnaround
  timing.Submitted(false, t0, 1);
  timing.Carried(false, t0, t0 + microseconds(1000));
  timing.Carried(false, t0, t0 + microseconds(2000));
  timing.Reaped(false, t0 + microseconds(1000), t0 + microseconds(1100));
  timing.Reaped(false, t0 + microseconds(2000), t0 + microseconds(2100));
  timing.Submitted(false, t0 + microseconds(2400), 0);
  const std::string text = timing.Text();
  EXPECT_NE(text.find("out: 2 packets, queued mean 1.500 p95 2.000 max 2.000 ms, reap mean 0.100 "
                      "p95 0.100 max 0.100 ms, turnaround mean 0.300 p95 0.300 max 0.300 ms, "
                      "depth mean 0.3 max 1"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("in: 0 packets, queued -"), std::string::npos) << text;
  timing.Clear();
  EXPECT_NE(timing.Text().find("out: 0 packets"), std::string::npos);
}

}  // namespace
}  // namespace qvx::sim::usb
