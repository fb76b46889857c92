// The local checks of get-response and mode-1 inputs, and the block built
// from a mode-1 input.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "reader/ElementList.h"
#include "reader/Mode1Block.h"

namespace qvx::driver {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

Bytes DisplayElement(std::size_t count, std::uint8_t fill = 'A') {
  Bytes e{0x01, static_cast<std::uint8_t>(count)};
  e.insert(e.end(), count, fill);
  return e;
}

const Bytes kParam{'0', '0'};

TEST(VendorInputTest, DisplayableCharacters) {
  std::vector<int> refused;
  for (int c = 0; c < 256; ++c) {
    if (!IsDisplayable(static_cast<std::uint8_t>(c))) refused.push_back(c);
  }
  std::vector<int> expected;
  for (int c = 0; c < 0x20; ++c) expected.push_back(c);
  for (int c = 0x80; c <= 0x8F; ++c) expected.push_back(c);
  for (int c = 0x92; c <= 0xA0; ++c) expected.push_back(c);
  expected.push_back(0xAD);
  EXPECT_EQ(refused, expected);
}

struct ElementCase {
  const char* name;
  Bytes input;
  InputReason fault;
  std::size_t elements;
};

TEST(VendorInputTest, ElementLists) {
  Bytes badDisplay = DisplayElement(68);
  badDisplay[40] = 0xAD;
  const ElementCase cases[] = {
      {"one raw element", Cat({{0x00, 0x02, 0xCC, 0xDD}, kParam}), InputReason::None, 1},
      {"empty raw element", Cat({{0x00, 0x00}, kParam}), InputReason::None, 1},
      {"raw and display", Cat({{0x00, 0x01, 0x55}, DisplayElement(68), kParam}), InputReason::None,
       2},
      {"display of 67", Cat({DisplayElement(67), kParam}), InputReason::Malformed, 0},
      {"display of 69", Cat({DisplayElement(69), kParam}), InputReason::Malformed, 0},
      {"display with soft hyphen", Cat({badDisplay, kParam}), InputReason::Malformed, 0},
      {"display with control", Cat({DisplayElement(68, 0x1F), kParam}), InputReason::Malformed, 0},
      {"type 2", Cat({{0x02, 0x01, 0x00}, kParam}), InputReason::Malformed, 0},
      {"count overruns list into parameter", Cat({{0x00, 0x03, 0xCC, 0xDD}, kParam}),
       InputReason::Malformed, 0},
      {"single trailing byte in list", Cat({{0x00, 0x00, 0x01}, kParam}), InputReason::Malformed,
       0},
      {"empty list", kParam, InputReason::Malformed, 0},
      {"one byte", Bytes{0x00}, InputReason::Malformed, 0},
      {"nothing", Bytes{}, InputReason::Malformed, 0},
  };
  for (const ElementCase& c : cases) {
    SCOPED_TRACE(c.name);
    const ElementList list = ParseElementList(c.input);
    EXPECT_EQ(list.fault, c.fault);
    EXPECT_EQ(list.elements.size(), c.elements);
  }
}

TEST(VendorInputTest, ElementSpansAndParameter) {
  const Bytes input = Cat({{0x00, 0x01, 0x55}, DisplayElement(68), {'n', 'l'}});
  const ElementList list = ParseElementList(input);
  ASSERT_EQ(list.fault, InputReason::None);
  ASSERT_EQ(list.elements.size(), 2u);
  EXPECT_EQ(list.elements[0].offset, 0u);
  EXPECT_EQ(list.elements[0].size, 3u);
  EXPECT_EQ(list.elements[1].offset, 3u);
  EXPECT_EQ(list.elements[1].size, 70u);
  EXPECT_EQ(list.parameter[0], 'n');
  EXPECT_EQ(list.parameter[1], 'l');
}

TEST(VendorInputTest, LengthLimit) {
  // 100 raw elements of 254 bytes make a list of 25600 bytes.
  Bytes longest;
  for (int i = 0; i < 100; ++i) {
    longest.push_back(0x00);
    longest.push_back(254);
    longest.insert(longest.end(), 254, 0x11);
  }
  longest.insert(longest.end(), kParam.begin(), kParam.end());
  ASSERT_EQ(longest.size(), 25602u);
  const ElementList list = ParseElementList(longest);
  EXPECT_EQ(list.fault, InputReason::None);
  EXPECT_EQ(list.elements.size(), 100u);
  // The length is judged before the structure.
  EXPECT_EQ(ParseElementList(Bytes(25603, 0x00)).fault, InputReason::TooLong);
}

struct Mode1Case {
  const char* name;
  Bytes input;
  bool ok;
  Bytes block;  // first bytes that matter; the rest must be zero
};

TEST(VendorInputTest, Mode1Blocks) {
  const Mode1Case cases[] = {
      {"four-byte challenge",
       {0x04, 0x12, 0x34, 0x56, 0x78},
       true,
       {0x01, 0x0D, 0x9F, 0x37, 0x04, 0x12, 0x34, 0x56, 0x78, 0x9F, 0x02, 0x00, 0x5F, 0x2A, 0x00}},
      {"two-byte challenge right-aligned",
       {0x02, 0x12, 0x34},
       true,
       {0x01, 0x0D, 0x9F, 0x37, 0x04, 0x00, 0x00, 0x12, 0x34, 0x9F, 0x02, 0x00, 0x5F, 0x2A, 0x00}},
      {"with currency and amount",
       {0x02, 0x12, 0x34, 0x09, 0x78, 0x00, 0x00, 0x00, 0x01, 0x23, 0x45},
       true,
       {0x01, 0x15, 0x9F, 0x37, 0x04, 0x00, 0x00, 0x12, 0x34, 0x9F, 0x02, 0x06,
        0x00, 0x00, 0x00, 0x01, 0x23, 0x45, 0x5F, 0x2A, 0x02, 0x09, 0x78}},
      {"zero-length challenge", {0x00}, false, {}},
      {"five-byte challenge", {0x05, 1, 2, 3, 4, 5}, false, {}},
      {"length n", {0x02, 0x12}, false, {}},
      {"length n+2", {0x02, 0x12, 0x34, 0x00}, false, {}},
      {"length n+8", {0x01, 0x12, 0, 0, 0, 0, 0, 0, 0}, false, {}},
      {"empty", {}, false, {}},
  };
  for (const Mode1Case& c : cases) {
    SCOPED_TRACE(c.name);
    Mode1Block block;
    block.fill(0xEE);
    ASSERT_EQ(BuildMode1Block(c.input, &block), c.ok);
    if (!c.ok) continue;
    Bytes expected = c.block;
    expected.resize(kMode1BlockSize, 0x00);
    EXPECT_EQ(Bytes(block.begin(), block.end()), expected);
  }
}

}  // namespace
}  // namespace qvx::driver
