// Device refusals end to end: what the simulated device or card does, the
// last-error category the driver records for it, and the status the command
// ends with, through qvxcmd and through the library in this process.
#include <string>
#include <vector>

#include "E2eFixture.h"
#include "InProcess.h"

namespace qvx::testing {
namespace {

const char* const kCard = "card 5412751234567890 01";
// A type-1 (display text) element must hold 68 characters; this one has 67.
const std::string kShortTextElement = "0143" + std::string(67 * 2, '4') + "0000";

struct FailureCase {
  const char* name;
  std::vector<std::string> setup;  // simulator control commands
  std::vector<std::string> args;   // qvxcmd command line
  int status;
  int category;                  // first byte of the last-error record
  int detail;                    // second byte
  bool deviceUntouched = false;  // the driver refuses before sending anything
};

const std::vector<FailureCase>& Cases() {
  static const std::vector<FailureCase> cases = {
      {"customer cancels", {"customer cancel 0"}, {"get-mode2-response"}, 7, 4, 0},
      {"keypad time-out",
       {"customer never", "timeout 300"},
       {"get-response", "0002CCDD", "nl"},
       8,
       1,
       0},
      {"response code 6", {"inject rc6"}, {"check-card", ""}, 8, 1, 0},
      {"error byte 0", {"inject rc8 0"}, {"get-mode2-response"}, 1, 2, 0},
      {"error byte 25", {"inject rc8 25"}, {"get-mode1-response", "1234", "", ""}, 12, 10, 25},
      {"error byte 36", {"inject rc8 36"}, {"check-card", "en"}, 9, 13, 36},
      {"error byte 1", {"inject rc8 1"}, {"get-mode2-response"}, 5, 9, 1},
      {"error byte 48", {"inject rc8 48"}, {"get-mode2-response"}, 1, 12, 48},
      {"error byte 128", {"inject rc8 128"}, {"get-mode2-response"}, 10, 11, 128},
      {"PIN blocked",
       {std::string(kCard) + " pinblocked"},
       {"get-response", "0002CCDD", "nl"},
       11,
       6,
       130},
      {"card blocked", {std::string(kCard) + " blocked"}, {"check-card", ""}, 6, 7, 131},
      {"short text element", {}, {"get-response", kShortTextElement, "nl"}, 12, 10, 25, true},
      {"mode 1 without challenge", {}, {"get-mode1-response", "", "", ""}, 12, 10, 25, true},
  };
  return cases;
}

class Failures : public SharedStackTest {
 protected:
  void Check(const FailureCase& c, int status, const std::string& output) {
    EXPECT_EQ(status, c.status) << c.name << ": " << output;
    EXPECT_TRUE(LogHas(NewLog(), ExtendedErrorText(c.category, c.detail)))
        << c.name << ": no " << ExtendedErrorText(c.category, c.detail) << " in\n"
        << NewLog();
    if (c.deviceUntouched) {
      for (const TracedPacket& packet : TraceOf())
        EXPECT_FALSE(packet.toDevice) << c.name << ": the driver wrote to the device";
    }
  }
};

TEST_F(Failures, ThroughQvxcmd) {
  for (const FailureCase& c : Cases()) {
    ResetSimulators(stack());
    for (const std::string& command : c.setup) stack().Control(command);
    MarkLog();
    const ProcessResult run = stack().Qvxcmd(c.args);
    Check(c, run.exitCode, run.output + run.errors);
  }
}

TEST_F(Failures, InProcessThroughTheLibrary) {
  for (const FailureCase& c : Cases()) {
    ResetSimulators(stack());
    for (const std::string& command : c.setup) stack().Control(command);
    MarkLog();
    const std::string result = RunInProcess(c.args);
    Check(c, StatusOf(result), result);
  }
}

}  // namespace
}  // namespace qvx::testing
