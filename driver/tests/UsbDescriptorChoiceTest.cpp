// The USB lower edge's choices from a device's descriptors: configuration,
// interface, pipes, and the text of its strings.
#include <gtest/gtest.h>

#include <vector>

#include "transport/UsbDescriptorChoice.h"

namespace qvx::driver {
namespace {

constexpr std::uint8_t kIsochronous = 0x01;
constexpr std::uint8_t kBulk = 0x02;
constexpr std::uint8_t kInterrupt = 0x03;

TEST(UsbDescriptorChoiceTest, AnUnconfiguredDeviceGetsItsFirstConfiguration) {
  EXPECT_EQ(ConfigurationToSelect(0, 1), 1);
  EXPECT_EQ(ConfigurationToSelect(0, 3), 3);
  EXPECT_EQ(ConfigurationToSelect(1, 1), 0) << "configured already: left alone";
  EXPECT_EQ(ConfigurationToSelect(2, 1), 0);
  EXPECT_EQ(ConfigurationToSelect(0, std::nullopt), -1);
}

TEST(UsbDescriptorChoiceTest, TheInterfacePcscdNamedIsTaken) {
  const std::vector<InterfaceDescription> interfaces = {
      {0, 4, {{0x81, kInterrupt, 8}, {0x02, kInterrupt, 8}}},
      {2, 0, {{0x83, kInterrupt, 8}, {0x04, kInterrupt, 8}}},
  };
  ASSERT_NE(FindInterface(interfaces, 2), nullptr);
  EXPECT_EQ(FindInterface(interfaces, 2)->endpoints[0].address, 0x83);
  EXPECT_EQ(FindInterface(interfaces, 0), &interfaces[0]);
  EXPECT_EQ(FindInterface(interfaces, -1), &interfaces[0]) << "not named: the first";
  EXPECT_EQ(FindInterface(interfaces, 1), nullptr) << "numbers, not positions";
  EXPECT_EQ(FindInterface({}, -1), nullptr);
}

TEST(UsbDescriptorChoiceTest, OnlyInterruptOrBulkPipesAreDriven) {
  struct Case {
    const char* what;
    std::vector<EndpointDescription> endpoints;
    bool found;
    std::uint8_t in;
    std::uint8_t out;
  };
  const Case cases[] = {
      {"interrupt pair", {{0x81, kInterrupt, 8}, {0x02, kInterrupt, 8}}, true, 0x81, 0x02},
      {"bulk pair", {{0x02, kBulk, 8}, {0x81, kBulk, 8}}, true, 0x81, 0x02},
      {"isochronous passed over",
       {{0x83, kIsochronous, 8},
        {0x04, kIsochronous, 8},
        {0x81, kInterrupt, 8},
        {0x02, kInterrupt, 8}},
       true,
       0x81,
       0x02},
      {"first of each direction",
       {{0x81, kInterrupt, 8}, {0x83, kInterrupt, 8}, {0x02, kInterrupt, 8}},
       true,
       0x81,
       0x02},
      {"no OUT pipe", {{0x81, kInterrupt, 8}}, false, 0, 0},
      {"only isochronous", {{0x81, kIsochronous, 8}, {0x02, kIsochronous, 8}}, false, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::optional<PipeChoice> pipes = ChoosePipes({0, 0, c.endpoints});
    ASSERT_EQ(pipes.has_value(), c.found);
    if (!pipes) continue;
    EXPECT_EQ(pipes->in.address, c.in);
    EXPECT_EQ(pipes->out.address, c.out);
  }
}

TEST(UsbDescriptorChoiceTest, StringDescriptorsReadAsTheKernelShowsThem) {
  struct Case {
    const char* what;
    std::vector<std::uint8_t> descriptor;
    std::optional<std::string> text;
  };
  const Case cases[] = {
      {"ASCII", {8, 3, 'Q', 0, 'V', 0, '2', 0}, "QV2"},
      {"Latin letter", {6, 3, 'C', 0, 0xE9, 0}, "C\xC3\xA9"},
      {"three-byte UTF-8", {4, 3, 0xAC, 0x20}, "\xE2\x82\xAC"},
      {"surrogate pair", {6, 3, 0x3D, 0xD8, 0x00, 0xDE}, "\xF0\x9F\x98\x80"},
      {"unpaired surrogate left out", {6, 3, 0x3D, 0xD8, 'A', 0}, "A"},
      {"ends at NUL", {8, 3, 'A', 0, 0, 0, 'B', 0}, "A"},
      {"bLength shorter than the buffer", {4, 3, 'A', 0, 'B', 0}, "A"},
      {"bLength longer than what was read", {40, 3, 'A', 0, 'B', 0}, "AB"},
      {"odd trailing byte", {5, 3, 'A', 0, 'B'}, "A"},
      {"empty", {2, 3}, std::nullopt},
      {"not a string descriptor", {4, 2, 'A', 0}, std::nullopt},
      {"too short", {2}, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(StringDescriptorText(c.descriptor.data(), c.descriptor.size()), c.text);
  }
}

}  // namespace
}  // namespace qvx::driver
