// Unplugging the emulated USB device: pcscd removes the hotplugged reader and
// hosts get "Device not connected"; plugged back, the reader returns and
// serves the next request; pulled out under a running request, that request
// ends with status 3 and nothing hangs. USB lane only, on stacks of their
// own, since they take the device away.
#include <signal.h>

#include <chrono>
#include <future>
#include <memory>
#include <string>

#include "E2eFixture.h"
#include "Stack.h"
#include "Subprocess.h"

namespace qvx::testing {
namespace {

using namespace std::chrono_literals;

const std::string kSuccess = "Status=0\nStatusDescription=Success\n";
const std::string kNotConnected = "Status=2\nStatusDescription=Device not connected\n";

bool Listed(const Stack& stack) {
  const ProcessResult status = Run({StackScriptPath(), "status", stack.Dir()});
  return status.output.find("reader: " + UsbReaderName() + "\n") != std::string::npos;
}

class UsbUnplug : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!UsbLane()) GTEST_SKIP() << "the USB lane's registration runs it (QVX_E2E_LANE=usb)";
    std::string why;
    if (!Stack::Available(&why)) GTEST_SKIP() << why;
    m_stack = std::make_unique<Stack>();
  }

  // Plugs the device back and waits until pcscd lists the reader and the
  // driver has claimed the device again.
  void PlugBack() {
    m_stack->Control("plug");
    ASSERT_TRUE(Eventually([&] { return Listed(*m_stack); })) << m_stack->PcscdLog();
    ASSERT_TRUE(Eventually(
        [&] { return m_stack->Control("state").find("connected=yes") != std::string::npos; }));
  }

  std::unique_ptr<Stack> m_stack;
};

TEST_F(UsbUnplug, PcscdRemovesTheReaderAndAddsItBackOnPlug) {
  ASSERT_TRUE(Listed(*m_stack));
  m_stack->Control("unplug");
  ASSERT_TRUE(Eventually([&] { return !Listed(*m_stack); })) << "pcscd still lists the reader";

  const ProcessResult gone = m_stack->Qvxcmd({"check-connection"});
  EXPECT_EQ(gone.exitCode, 2) << gone.output << gone.errors;
  EXPECT_EQ(gone.output.rfind(kNotConnected, 0), 0u) << gone.output;

  PlugBack();
  const ProcessResult back = m_stack->Qvxcmd({"check-connection"});
  EXPECT_EQ(back.exitCode, 0) << back.output << back.errors;
  EXPECT_EQ(back.output.rfind(kSuccess, 0), 0u) << back.output;

  // Twice in a row: the second unplug reaches pcscd as the first did.
  m_stack->Control("unplug");
  EXPECT_TRUE(Eventually([&] { return !Listed(*m_stack); }))
      << "pcscd kept the reader after the second unplug";
}

TEST_F(UsbUnplug, UnplugUnderARunningRequestEndsItWithStatus3) {
  m_stack->Control("customer never");
  auto holder = std::make_unique<Child>(m_stack->QvxcmdArgv({"get-response", "0002CCDD", "nl"}),
                                        m_stack->Env());
  ASSERT_TRUE(DeviceWaits(*m_stack));

  m_stack->Control("unplug");
  auto ended = std::async(std::launch::async, [&] { return holder->Wait(); });
  if (ended.wait_for(20s) != std::future_status::ready) {
    ::kill(holder->Pid(), SIGKILL);
    FAIL() << "the request still runs 20 s after the unplug";
  }
  const ProcessResult result = ended.get();
  EXPECT_EQ(result.exitCode, 3) << result.output << result.errors;
  EXPECT_EQ(result.output.rfind("Status=3\n", 0), 0u) << result.output;

  // The old reader must be gone first, or its listing passes for the new one.
  ASSERT_TRUE(Eventually([&] { return !Listed(*m_stack); })) << "pcscd still lists the reader";
  m_stack->Control("customer approve 50");
  PlugBack();
  const ProcessResult next = m_stack->Qvxcmd({"get-response", "0002CCDD", "nl"});
  EXPECT_EQ(next.exitCode, 0) << next.output << next.errors;
  EXPECT_NE(next.output.find("Response=9F7CD86AA89B04E4"), std::string::npos) << next.output;
}

}  // namespace
}  // namespace qvx::testing
