// A holder killed while its request waits for the customer: the next
// session finds the direct-share lock its holder died with, has the
// driver abort the dead request, and gets the device at once instead of
// after the device's own time-out.
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

#include "E2eFixture.h"

namespace qvx::testing {
namespace {

using Clock = std::chrono::steady_clock;

class DeadHolder : public SharedStackTest {};

TEST_F(DeadHolder, AKilledQvxcmdDoesNotBlockTheNextRequest) {
  stack().Control("customer never");
  Child holder(stack().QvxcmdArgv({"get-mode2-response"}), stack().Env());
  ASSERT_TRUE(DeviceWaits(stack()));
  ASSERT_EQ(::kill(holder.Pid(), SIGKILL), 0);
  EXPECT_EQ(holder.Wait().exitCode, -1) << "the holder was killed, not ended";

  const Clock::time_point killed = Clock::now();
  const ProcessResult next = stack().Qvxcmd({"check-connection"});
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - killed);
  std::printf("check-connection after the holder's kill: %lld ms\n",
              static_cast<long long>(took.count()));

  EXPECT_EQ(next.exitCode, 0) << next.output << next.errors;
  EXPECT_EQ(next.output.rfind("Status=0\n", 0), 0u) << next.output;
  EXPECT_LT(took, std::chrono::seconds(1));
  EXPECT_EQ(stack().Control("state").find("waiting=yes"), std::string::npos)
      << "the dead holder's operation still runs on the device";
  const std::vector<std::uint8_t> commands = CommandsSent(TraceOf());
  EXPECT_NE(std::find(commands.begin(), commands.end(), std::uint8_t{0x17}), commands.end())
      << "no abort packet reached the device";
}

}  // namespace
}  // namespace qvx::testing
