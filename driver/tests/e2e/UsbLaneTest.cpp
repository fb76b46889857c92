// The stack on the emulated USB device: pcscd finds the reader through its
// hotplug support and the driver's bundle, the driver talks libusb, and
// commands complete as on the socket lane.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "SimulatorTrace.h"
#include "Stack.h"
#include "Subprocess.h"

namespace qvx::testing {
namespace {

const std::string kSuccess = "Status=0\nStatusDescription=Success";

class UsbLaneTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::string why;
    if (!UsbLane()) {
      m_skipReason = "the USB lane's registration runs it (QVX_E2E_LANE=usb)";
      return;
    }
    if (!Stack::UsbAvailable(&why)) {
      m_skipReason = why;
      return;
    }
    m_stack = std::make_unique<Stack>();
  }
  static void TearDownTestSuite() { m_stack.reset(); }

  void SetUp() override {
    if (!m_stack) GTEST_SKIP() << "no USB lane: " << m_skipReason;
  }

  static std::unique_ptr<Stack> m_stack;
  static std::string m_skipReason;
};

std::unique_ptr<Stack> UsbLaneTest::m_stack;
std::string UsbLaneTest::m_skipReason;

TEST_F(UsbLaneTest, PcscdListsTheHotpluggedReaderUnderItsSerialNumber) {
  const ProcessResult status = qvx::testing::Run({StackScriptPath(), "status", m_stack->Dir()});
  ASSERT_EQ(status.exitCode, 0) << status.output << status.errors;
  EXPECT_NE(status.output.find("reader: Meridel Quorvex2_Reader (QVX2000001) 00 00\n"),
            std::string::npos)
      << status.output;
  EXPECT_NE(m_stack->Control("state").find("connected=yes"),
            std::string::npos);  // the driver claimed it
}

TEST_F(UsbLaneTest, CommandsTravelInInterruptTransfers) {
  m_stack->Control("trace clear");
  const ProcessResult check = m_stack->Qvxcmd({"check-connection"});
  EXPECT_EQ(check.exitCode, 0) << check.output << check.errors;
  EXPECT_EQ(check.output.rfind(kSuccess + "\nDevice_Version=01.20\n", 0), 0u) << check.output;

  const ProcessResult mode2 = m_stack->Qvxcmd({"get-mode2-response"});
  EXPECT_EQ(mode2.exitCode, 0) << mode2.output << mode2.errors;
  const std::string prefix = kSuccess + "\nResponse=";
  ASSERT_EQ(mode2.output.rfind(prefix, 0), 0u) << mode2.output;
  EXPECT_EQ(mode2.output.size(), prefix.size() + 16 + 1)
      << mode2.output;  // 8 bytes in hex, newline

  const std::vector<std::uint8_t> expected{0x02, 0x01, 0x07};
  EXPECT_EQ(CommandsSent(ParseTrace(m_stack->Control("trace"))), expected);
}

// "depth mean 5.9 max 7" after `endpoint` ("out: " or "in: ") in the simulator's timing line.
int DepthMax(const std::string& timing, const std::string& endpoint) {
  const std::size_t at = timing.find(endpoint);
  if (at == std::string::npos) return -1;
  const std::size_t max = timing.find(" max ", timing.find("depth mean", at));
  if (max == std::string::npos) return -1;
  return std::stoi(timing.substr(max + 5));
}

// A USB host keeps an endpoint busy by queuing transfers ahead: on a device
// that moves a packet per frame, a request's packets and the device's
// answers find the next transfer already waiting.
TEST(UsbLanePaced, TheHostKeepsTransfersQueuedOnBothEndpoints) {
  std::string why;
  if (!UsbLane()) GTEST_SKIP() << "the USB lane's registration runs it (QVX_E2E_LANE=usb)";
  if (!Stack::UsbAvailable(&why)) GTEST_SKIP() << "no USB lane: " << why;
  StackOptions options;
  options.paced = true;
  Stack stack(options);
  stack.Control("customer approve 0");
  stack.Control("timing clear");
  const std::string element = "00FF" + std::string(255 * 2, 'A');
  const ProcessResult response = stack.Qvxcmd({"get-response", element + element, "en"});
  ASSERT_EQ(response.exitCode, 0) << response.output << response.errors;

  const std::string timing = stack.Control("timing");
  EXPECT_GE(DepthMax(timing, "out: "), 2) << timing;
  EXPECT_GE(DepthMax(timing, "in: "), 2) << timing;
}

}  // namespace
}  // namespace qvx::testing
