// qvxsim --usb-devices: what each device on the bus is, from the first
// one's options.
#include <gtest/gtest.h>

#include "app/Options.h"

namespace qvx::sim {
namespace {

TEST(UsbDevicesOptionTest, EachDeviceHasItsPortSerialAndControlSocket) {
  struct Case {
    std::string serial;
    int k;
    std::string wantSerial;
  };
  for (const Case& c : std::vector<Case>{{"QVX2000001", 1, "QVX2000001"},
                                         {"QVX2000001", 2, "QVX2000002"},
                                         {"QVX2000009", 3, "QVX2000011"},
                                         {"A99", 2, "A100"},
                                         {"ABC", 2, "ABC-2"},
                                         {"S1234567890123456789", 2, "S1234567890123456789-2"},
                                         {"", 2, ""}}) {
    SCOPED_TRACE(c.serial + " " + std::to_string(c.k));
    usb::UsbOptions first;
    first.identity.serial = c.serial;
    first.testbedLink = "/run/link";
    const usb::UsbOptions device = NthUsbDevice(first, c.k);
    EXPECT_EQ(device.identity.serial, c.wantSerial);
    EXPECT_EQ(device.port, c.k);
    EXPECT_EQ(device.testbedLink, c.k == 1 ? "/run/link" : "");
  }
  EXPECT_EQ(NthControlPath("/tmp/sim.ctl", 1), "/tmp/sim.ctl");
  EXPECT_EQ(NthControlPath("/tmp/sim.ctl", 3), "/tmp/sim.ctl-3");
}

TEST(UsbDevicesOptionTest, CountIsCheckedAndNeedsControlSockets) {
  EXPECT_EQ(
      ParseCommandLine({"--usb", "--usb-devices", "2", "--control", "/c"}).commandLine->usbDevices,
      2);
  EXPECT_FALSE(ParseCommandLine({"--usb", "--usb-devices", "2"}).commandLine);
  EXPECT_FALSE(ParseCommandLine({"--usb", "--usb-devices", "0", "--control", "/c"}).commandLine);
  EXPECT_FALSE(ParseCommandLine({"--usb", "--usb-devices", "9", "--control", "/c"}).commandLine);
}

}  // namespace
}  // namespace qvx::sim
