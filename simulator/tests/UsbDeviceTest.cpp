// The emulated USB device's pure parts: descriptors as a host parses them,
// the standard requests on endpoint 0, and the URB bookkeeping between the
// ioctl handler and the simulator's loop.
#include <gtest/gtest.h>

#include <cerrno>

#include "usb/Descriptors.h"
#include "usb/StandardRequests.h"
#include "usb/UrbPipes.h"

namespace qvx::sim::usb {
namespace {

std::uint16_t Word(const Bytes& bytes, std::size_t at) {
  return static_cast<std::uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

TEST(UsbDescriptorsTest, DeviceAndConfigurationAsTheDriverExpectsThem) {
  const Identity id;
  const Bytes device = DeviceDescriptor(id);
  ASSERT_EQ(device.size(), 18u);
  EXPECT_EQ(Word(device, 8), 0x1209);
  EXPECT_EQ(Word(device, 10), 0x0001);
  EXPECT_EQ(device[16], string_index::kSerial);
  EXPECT_EQ(device[17], 1);

  const Bytes config = ConfigurationDescriptor(id);
  ASSERT_EQ(config.size(), 9u + 9u + 7u + 7u);
  EXPECT_EQ(Word(config, 2), config.size());  // wTotalLength
  EXPECT_EQ(config[4], 1);                    // one interface
  EXPECT_EQ(config[5], kConfigurationValue);
  EXPECT_EQ(config[9 + 4], 2);     // two endpoints
  EXPECT_EQ(config[9 + 5], 0xFF);  // vendor class
  EXPECT_EQ(config[9 + 8], 0);     // no interface string by default
  for (const std::size_t at : {18u, 25u}) {
    EXPECT_EQ(config[at + 1], 5);
    EXPECT_EQ(config[at + 3], 0x03);  // interrupt
    EXPECT_EQ(Word(config, at + 4), 8);
  }
  EXPECT_EQ(config[18 + 2], kEndpointIn);
  EXPECT_EQ(config[25 + 2], kEndpointOut);
}

TEST(UsbDescriptorsTest, StringsFollowTheIdentity) {
  Identity id;
  id.serial = "AB";
  id.interfaceName = "";
  const auto serial = StringDescriptor(id, string_index::kSerial);
  ASSERT_TRUE(serial.has_value());
  EXPECT_EQ(*serial, (Bytes{6, 3, 'A', 0, 'B', 0}));
  EXPECT_FALSE(StringDescriptor(id, string_index::kInterface).has_value());
  EXPECT_FALSE(StringDescriptor(id, 9).has_value());
  EXPECT_EQ(*StringDescriptor(id, 0), (Bytes{4, 3, 0x09, 0x04}));

  id.serial.clear();
  id.interfaceName = "Keypad";
  EXPECT_EQ(DeviceDescriptor(id)[16], 0);  // no serial number string
  EXPECT_EQ(ConfigurationDescriptor(id)[9 + 8], string_index::kInterface);
}

Setup Request(std::uint8_t type, std::uint8_t request, std::uint16_t value, std::uint16_t index,
              std::uint16_t length) {
  const std::uint8_t raw[8] = {type,
                               request,
                               static_cast<std::uint8_t>(value & 0xFF),
                               static_cast<std::uint8_t>(value >> 8),
                               static_cast<std::uint8_t>(index & 0xFF),
                               static_cast<std::uint8_t>(index >> 8),
                               static_cast<std::uint8_t>(length & 0xFF),
                               static_cast<std::uint8_t>(length >> 8)};
  return ParseSetup(raw);
}

TEST(UsbStandardRequestsTest, DescriptorsAreCutToTheAskedLength) {
  const Identity id;
  DeviceState state;
  const ControlAnswer head = AnswerStandard(Request(0x80, 6, 0x0200, 0, 9), id, state);
  ASSERT_FALSE(head.stall);
  EXPECT_EQ(head.data.size(), 9u);
  EXPECT_EQ(AnswerStandard(Request(0x80, 6, 0x0200, 0, 255), id, state).data.size(), 32u);
  EXPECT_EQ(AnswerStandard(Request(0x80, 6, 0x0303, 0x0409, 255), id, state).data,
            *StringDescriptor(id, string_index::kSerial));
  EXPECT_TRUE(AnswerStandard(Request(0x80, 6, 0x0600, 0, 10), id, state).stall);  // no qualifier
  EXPECT_TRUE(AnswerStandard(Request(0xC0, 1, 0, 0, 1), id, state).stall);        // vendor request
}

TEST(UsbStandardRequestsTest, ConfigurationAndHalt) {
  const Identity id;
  DeviceState state;
  state.configuration = 0;
  EXPECT_EQ(AnswerStandard(Request(0x80, 8, 0, 0, 1), id, state).data, Bytes{0});
  EXPECT_TRUE(
      AnswerStandard(Request(0x02, 3, 0, kEndpointIn, 0), id, state).stall);  // unconfigured
  EXPECT_TRUE(AnswerStandard(Request(0x00, 9, 2, 0, 0), id, state).stall);    // no configuration 2
  EXPECT_FALSE(AnswerStandard(Request(0x00, 9, 1, 0, 0), id, state).stall);
  EXPECT_EQ(state.configuration, 1);

  EXPECT_FALSE(AnswerStandard(Request(0x02, 3, 0, kEndpointIn, 0), id, state).stall);
  EXPECT_TRUE(state.inHalted);
  EXPECT_EQ(AnswerStandard(Request(0x82, 0, 0, kEndpointIn, 2), id, state).data, (Bytes{1, 0}));
  EXPECT_FALSE(AnswerStandard(Request(0x02, 1, 0, kEndpointIn, 0), id, state).stall);
  EXPECT_FALSE(state.inHalted);
  EXPECT_TRUE(AnswerStandard(Request(0x02, 1, 0, 0x83, 0), id, state).stall);  // no such endpoint
}

Packet P(std::uint8_t first) { return Packet{first, 0, 0, 0, 0, 0, 0, 0}; }

TEST(UrbPipesTest, PacketsTravelInTheClaimersUrbsInOrder) {
  UrbPipes pipes;
  const Owner driver = 1;
  pipes.Opened(driver);
  EXPECT_EQ(pipes.Claim(driver, 1), ENOENT);
  ASSERT_EQ(pipes.Claim(driver, kInterfaceNumber), 0);
  EXPECT_TRUE(pipes.TakeChanges().connected);

  const Packet a = P(0xA), b = P(0xB);
  ASSERT_EQ(pipes.SubmitInterrupt(driver, 100, kEndpointOut, 8, &a), 0);
  ASSERT_EQ(pipes.SubmitInterrupt(driver, 101, kEndpointOut, 8, &b), 0);
  ASSERT_EQ(pipes.SubmitInterrupt(driver, 200, kEndpointIn, 8, nullptr), 0);
  EXPECT_EQ(pipes.SubmitInterrupt(driver, 300, 0x83, 8, nullptr), ENOENT);

  Completion done;
  EXPECT_EQ(pipes.Reap(driver, done), EAGAIN);  // nothing moved yet
  EXPECT_EQ(pipes.TakeOut(), a);
  EXPECT_EQ(pipes.TakeOut(), b);
  EXPECT_FALSE(pipes.TakeOut().has_value());
  EXPECT_TRUE(pipes.GiveIn(P(0xC)));
  EXPECT_FALSE(pipes.GiveIn(P(0xD)));  // no IN URB waits: the loop keeps the packet

  ASSERT_EQ(pipes.Reap(driver, done), 0);
  EXPECT_EQ(done.urb, 100u);
  ASSERT_EQ(pipes.Reap(driver, done), 0);
  EXPECT_EQ(done.urb, 101u);
  ASSERT_EQ(pipes.Reap(driver, done), 0);
  EXPECT_EQ(done.urb, 200u);
  EXPECT_EQ(done.actualLength, 8);
  EXPECT_EQ(done.in, P(0xC));
}

TEST(UrbPipesTest, OneDriverAtATimeAndItsUrbsGoWithIt) {
  UrbPipes pipes;
  pipes.Opened(1);
  pipes.Opened(2);
  ASSERT_EQ(pipes.Claim(1, 0), 0);
  EXPECT_EQ(pipes.Claim(2, 0), EBUSY);
  EXPECT_EQ(pipes.SubmitInterrupt(2, 9, kEndpointIn, 8, nullptr), EBUSY);
  ASSERT_EQ(pipes.SubmitInterrupt(1, 7, kEndpointIn, 8, nullptr), 0);

  ASSERT_EQ(pipes.Discard(1, 7), 0);
  EXPECT_EQ(pipes.Discard(1, 7), EINVAL);
  Completion done;
  ASSERT_EQ(pipes.Reap(1, done), 0);
  EXPECT_EQ(done.status, -ENOENT);

  pipes.TakeChanges();
  ASSERT_EQ(pipes.SubmitInterrupt(1, 8, kEndpointIn, 8, nullptr), 0);
  pipes.Vanished(1);
  EXPECT_TRUE(pipes.TakeChanges().disconnected);
  EXPECT_FALSE(pipes.InWaiting());
  EXPECT_EQ(pipes.Claim(2, 0), 0);
}

TEST(UrbPipesTest, UnplugEndsUrbsWithNoDeviceAndTheOldClientsStayGone) {
  UrbPipes pipes;
  pipes.Opened(1);
  ASSERT_EQ(pipes.Claim(1, 0), 0);
  ASSERT_EQ(pipes.SubmitInterrupt(1, 5, kEndpointIn, 8, nullptr), 0);
  pipes.TakeChanges();

  pipes.Unplug();
  EXPECT_TRUE(pipes.TakeChanges().disconnected);
  Completion done;
  ASSERT_EQ(pipes.Reap(1, done), 0);  // reaped after the disconnect
  EXPECT_EQ(done.status, -ENODEV);
  EXPECT_EQ(pipes.Reap(1, done), ENODEV);

  pipes.Plug();
  EXPECT_EQ(pipes.Claim(1, 0), ENODEV);  // the handle of the old device
  EXPECT_EQ(pipes.Reap(1, done), ENODEV);
  pipes.Opened(2);
  EXPECT_EQ(pipes.Claim(2, 0), 0);
}

}  // namespace
}  // namespace qvx::sim::usb
