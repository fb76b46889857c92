// The newcomer rule on the emulated USB device: pcscd lists the hotplugged
// reader with its serial number, the host sets the cancel event of that
// name, and the driver (which names its event the same way) aborts the
// holder's request that waits for the customer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "E2eFixture.h"

namespace qvxe2e {
namespace {

constexpr std::uint8_t kAbort = 0x17;

class UsbCancelTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::string why;
    if (!Stack::UsbAvailable(&why)) {
      skipReason_ = why;
      return;
    }
    StackOptions options;
    options.usb = true;
    stack_ = std::make_unique<Stack>(options);
  }
  static void TearDownTestSuite() { stack_.reset(); }

  void SetUp() override {
    if (!stack_) GTEST_SKIP() << "no USB lane: " << skipReason_;
  }

  static std::unique_ptr<Stack> stack_;
  static std::string skipReason_;
};

std::unique_ptr<Stack> UsbCancelTest::stack_;
std::string UsbCancelTest::skipReason_;

TEST_F(UsbCancelTest, NewcomerCancelsTheHolderWaitingForTheCustomer) {
  const ProcessResult status = qvxe2e::Run({StackScriptPath(), "status", stack_->Dir()});
  ASSERT_NE(status.output.find("reader: Meridel Quorvex2_Reader (QVX2000001) 00 00\n"),
            std::string::npos)
      << status.output;

  stack_->Control("trace clear");
  stack_->Control("customer never");
  Child holder(stack_->QvxcmdArgv({"get-mode2-response"}), stack_->Env());
  ASSERT_TRUE(DeviceWaits(*stack_));

  const ProcessResult newcomer = stack_->Qvxcmd({"check-connection"});
  EXPECT_EQ(newcomer.exitCode, 0) << newcomer.output << newcomer.errors;
  EXPECT_EQ(newcomer.output.rfind("Status=0\n", 0), 0u) << newcomer.output;

  const ProcessResult held = holder.Wait();
  EXPECT_EQ(held.exitCode, 15) << held.output << held.errors;
  EXPECT_EQ(held.output.rfind("Status=15\nStatusDescription=Cancel by other session", 0), 0u)
      << held.output;

  const std::vector<std::uint8_t> commands = CommandsSent(ParseTrace(stack_->Control("trace")));
  EXPECT_NE(std::find(commands.begin(), commands.end(), kAbort), commands.end())
      << "no abort packet reached the device";
  EXPECT_EQ(stack_->Control("state").find("waiting=yes"), std::string::npos);
}

}  // namespace
}  // namespace qvxe2e
