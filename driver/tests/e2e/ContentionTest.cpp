// Two sessions after one device, end to end: whatever the timing, the
// newcomer wins or waits its turn, nobody reads an answer meant for someone
// else, and the device serves the next request as usual.
#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "E2eFixture.h"

namespace qvx::testing {
namespace {

constexpr std::uint8_t kElement = 0x05;  // one sign-data element

bool NewcomerRuleOutcome(int status) { return status == 0 || status == 15 || status == 14; }

// The device still answers a plain session in step: both requests succeed.
void ExpectInStep(const Stack& stack) {
  const ProcessResult check = stack.Qvxcmd({"check-connection"});
  EXPECT_EQ(check.exitCode, 0) << check.output;
  const ProcessResult mode2 = stack.Qvxcmd({"get-mode2-response"});
  EXPECT_EQ(mode2.exitCode, 0) << mode2.output;
  EXPECT_NE(mode2.output.find("\nResponse="), std::string::npos) << mode2.output;
}

class Contention : public SharedStackTest {};

TEST_F(Contention, PairsOfRequestsStayInStep) {
  for (int round = 0; round < 24; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    Child first(stack().QvxcmdArgv({"get-mode2-response"}), stack().Env());
    // The second starts 0 to 11 ms later: the moment the holder is found
    // busy falls anywhere in its request, also between its two commands.
    std::this_thread::sleep_for(std::chrono::milliseconds(round % 12));
    const ProcessResult second = stack().Qvxcmd({"get-mode2-response"});
    const ProcessResult holder = first.Wait();
    EXPECT_TRUE(NewcomerRuleOutcome(holder.exitCode)) << holder.output;
    EXPECT_TRUE(NewcomerRuleOutcome(second.exitCode)) << second.output;
  }
  ExpectInStep(stack());
  EXPECT_EQ(stack().PcscdLog().find("Invalid command from reader"), std::string::npos);
  EXPECT_EQ(stack().PcscdLog().find("Invalid data from reader"), std::string::npos);
}

// A long sign-data request on a paced device: the cancel lands between two
// of its device commands, never inside the customer's wait.
TEST(ContentionPaced, CancelBetweenTheCommandsOfOneRequest) {
  std::string why;
  if (!Stack::Available(&why)) GTEST_SKIP() << why;
  StackOptions options;
  options.paced = true;
  options.debug = true;
  Stack stack(options);
  std::string signData;
  for (int i = 0; i < 600; ++i) signData += "0002CCDD";

  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    stack.Control("trace clear");
    Child holder(stack.QvxcmdArgv({"get-response", signData, "nl"}), stack.Env());
    ASSERT_TRUE(Eventually([&] {
      const std::vector<std::uint8_t> sent = CommandsSent(ParseTrace(stack.Control("trace")));
      return std::count(sent.begin(), sent.end(), kElement) >= 5;
    })) << "the device never got the elements";
    const ProcessResult cancel = stack.Qvxcmd({"cancel"});
    EXPECT_EQ(cancel.exitCode, 0) << cancel.output;
    const ProcessResult held = holder.Wait();
    EXPECT_EQ(held.exitCode, 15) << held.output;

    const ProcessResult next = stack.Qvxcmd({"get-response", "0002CCDD", "nl"});
    EXPECT_EQ(next.exitCode, 0) << next.output;
    EXPECT_NE(next.output.find("Response=9F7CD86AA89B04E4"), std::string::npos) << next.output;
  }
  ExpectInStep(stack);
}

}  // namespace
}  // namespace qvx::testing
