// The newcomer rule on the emulated USB device: pcscd lists the hotplugged
// reader with the strings the device names itself with, the host sets the
// cancel event of that name, and the driver (which names its event the same
// way) aborts the holder's request that waits for the customer. Each case is
// a device of its own: with and without a serial number, with interface
// strings, and one plugged in unconfigured, which the driver configures.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "E2eFixture.h"

namespace qvx::testing {
namespace {

constexpr std::uint8_t kAbort = 0x17;

struct Variant {
  const char* label;
  std::optional<std::string> serial;  // the stack's default when empty
  std::string interfaceName;
  bool unconfigured;
  const char* listed;
};

class UsbCancelTest : public ::testing::TestWithParam<Variant> {};

TEST_P(UsbCancelTest, NewcomerCancelsTheHolderWaitingForTheCustomer) {
  std::string why;
  if (!Stack::UsbAvailable(&why)) GTEST_SKIP() << "no USB lane: " << why;
  const Variant& variant = GetParam();
  StackOptions options;
  options.usb = true;
  options.usbSerial = variant.serial;
  options.usbInterfaceName = variant.interfaceName;
  options.usbUnconfigured = variant.unconfigured;
  Stack stack(options);

  const ProcessResult status = qvx::testing::Run({StackScriptPath(), "status", stack.Dir()});
  ASSERT_NE(status.output.find(std::string("reader: ") + variant.listed + "\n"), std::string::npos)
      << status.output;
  const ProcessResult check = stack.Qvxcmd({"check-connection"});
  ASSERT_EQ(check.exitCode, 0) << check.output << check.errors;

  stack.Control("trace clear");
  stack.Control("customer never");
  Child holder(stack.QvxcmdArgv({"get-mode2-response"}), stack.Env());
  ASSERT_TRUE(DeviceWaits(stack));

  const ProcessResult newcomer = stack.Qvxcmd({"check-connection"});
  EXPECT_EQ(newcomer.exitCode, 0) << newcomer.output << newcomer.errors;
  EXPECT_EQ(newcomer.output.rfind("Status=0\n", 0), 0u) << newcomer.output;

  const ProcessResult held = holder.Wait();
  EXPECT_EQ(held.exitCode, 15) << held.output << held.errors;
  EXPECT_EQ(held.output.rfind("Status=15\nStatusDescription=Cancel by other session", 0), 0u)
      << held.output;

  const std::vector<std::uint8_t> commands = CommandsSent(ParseTrace(stack.Control("trace")));
  EXPECT_NE(std::find(commands.begin(), commands.end(), kAbort), commands.end())
      << "no abort packet reached the device";
  EXPECT_EQ(stack.Control("state").find("waiting=yes"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Devices, UsbCancelTest,
    ::testing::Values(
        Variant{"SerialNumber", std::nullopt, "", false,
                "Meridel Quorvex2_Reader (QVX2000001) 00 00"},
        Variant{"NoSerialNumber", std::string(), "", false, "Meridel Quorvex2_Reader 00 00"},
        Variant{"InterfaceString", std::nullopt, "Keypad", false,
                "Meridel Quorvex2_Reader [Keypad] (QVX2000001) 00 00"},
        Variant{"SerialInTheInterfaceString", std::nullopt, "Keypad QVX2000001", false,
                "Meridel Quorvex2_Reader [Keypad QVX2000001] 00 00"},
        Variant{"InterfaceStringInTheFriendlyName", std::nullopt, "Quorvex2_Reader", false,
                "Meridel Quorvex2_Reader [Quorvex2_Reader] (QVX2000001) 00 00"},
        Variant{"Unconfigured", std::nullopt, "", true,
                "Meridel Quorvex2_Reader (QVX2000001) 00 00"}),
    [](const ::testing::TestParamInfo<Variant>& param) { return std::string(param.param.label); });

}  // namespace
}  // namespace qvx::testing
