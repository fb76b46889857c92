// Each of the seven commands end to end, through qvxcmd and through the
// library in this process: the result text, and the device commands that
// reached the simulator for it.
#include <cstdint>
#include <string>
#include <vector>

#include "E2eFixture.h"
#include "InProcess.h"

namespace qvx::testing {
namespace {

const std::string kSuccess = "Status=0\nStatusDescription=Success";

struct CommandCase {
  const char* name;
  std::vector<std::string> qvxcmdArgs;
  std::vector<std::uint8_t> deviceCommands;  // command headers on the cable
  std::string expected;                      // the result text; "+Response" adds one
};

const std::string kWithResponse = "+Response";

const std::vector<CommandCase>& Cases() {
  static const std::vector<CommandCase> cases = {
      {"check-connection",
       {"check-connection"},
       {0x02},
       kSuccess + "\nDevice_Version=01.20\nDriver_Version=01.24\nBRIXON_Version=02.20"},
      {"check-card",
       {"check-card", "nl"},
       {0x01, 0x03},
       kSuccess + "\nCardId_PAN=5412751234567890\nCardId_PSN=01"},
      {"get-response",
       {"get-response", "0002CCDD0000", "en"},
       {0x01, 0x04, 0x05, 0x05, 0x06},
       kWithResponse},
      {"get-mode1-response",
       {"get-mode1-response", "12345678", "", ""},
       {0x01, 0x07},
       kWithResponse},
      {"get-mode1-response with amount",
       {"get-mode1-response", "1234", "0978", "000000012345"},
       {0x01, 0x07},
       kWithResponse},
      {"get-mode2-response", {"get-mode2-response"}, {0x01, 0x07}, kWithResponse},
      {"display-result", {"display-result", "7", "", "nl"}, {0x08}, kSuccess},
      {"display-result with last logon",
       {"display-result", "3", "01 Jan 24, 09:30h", ""},
       {0x08},
       kSuccess},
      // Nothing pending: connects, disconnects, leaves the device alone.
      {"cancel", {"cancel"}, {}, ""},
  };
  return cases;
}

bool IsUpperHex(const std::string& text) {
  return text.find_first_not_of("0123456789ABCDEF") == std::string::npos;
}

void ExpectResult(const CommandCase& c, const std::string& result) {
  if (c.expected != kWithResponse) {
    EXPECT_EQ(result, c.expected) << c.name;
    return;
  }
  const std::string prefix = kSuccess + "\nResponse=";
  ASSERT_EQ(result.rfind(prefix, 0), 0u) << c.name << ": " << result;
  const std::string response = result.substr(prefix.size());
  EXPECT_FALSE(response.empty()) << c.name;
  EXPECT_EQ(response.size() % 2, 0u) << c.name;
  EXPECT_TRUE(IsUpperHex(response)) << c.name << ": " << response;
}

class Commands : public SharedStackTest {
 protected:
  void ExpectDeviceCommands(const CommandCase& c) {
    EXPECT_EQ(CommandsSent(TraceOf()), c.deviceCommands) << c.name;
    stack().Control("trace clear");
  }
};

TEST_F(Commands, ThroughQvxcmdExitWithTheStatus) {
  for (const CommandCase& c : Cases()) {
    const ProcessResult run = stack().Qvxcmd(c.qvxcmdArgs);
    EXPECT_EQ(run.exitCode, 0) << c.name << ": " << run.output << run.errors;
    const std::string printed =
        run.output.empty() ? run.output : run.output.substr(0, run.output.size() - 1);
    ExpectResult(c, printed);
    ExpectDeviceCommands(c);
  }
}

TEST_F(Commands, InProcessThroughTheLibrary) {
  for (const CommandCase& c : Cases()) {
    ExpectResult(c, RunInProcess(c.qvxcmdArgs));
    ExpectDeviceCommands(c);
  }
  // The library's own trace lines reached the log file of the stack.
  EXPECT_TRUE(LogHas(NewLog(), "CQuorvex2::GetMode2Response() <=="));
}

TEST_F(Commands, DisplayResultShowsTheLastLogonOnTheDevice) {
  const ProcessResult run = stack().Qvxcmd({"display-result", "3", "01 Jan 24, 09:30h", "en"});
  ASSERT_EQ(run.exitCode, 0) << run.output;
  EXPECT_NE(stack().Control("display").find("09:30"), std::string::npos)
      << stack().Control("display");
}

}  // namespace
}  // namespace qvx::testing
