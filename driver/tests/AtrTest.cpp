// When collected ATR bytes are complete, and what a complete ATR offers.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "reader/Atr.h"

namespace qvx::driver {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct AtrCase {
  const char* name;
  Bytes atr;   // a whole ATR
  bool valid;  // usable once complete
  std::uint32_t protocols;
};

// TCK makes the XOR of T0 .. TCK zero.
Bytes WithTck(Bytes atr) {
  std::uint8_t x = 0;
  for (std::size_t i = 1; i < atr.size(); ++i) x ^= atr[i];
  atr.push_back(x);
  return atr;
}

const AtrCase kAtrs[] = {
    {"T0 only, no interface bytes", {0x3B, 0x00}, true, kProtocolT0},
    {"historical bytes only", {0x3B, 0x02, 0x14, 0x50}, true, kProtocolT0},
    {"TA1 TB1 TC1, two historical", {0x3B, 0x72, 0x11, 0x00, 0x00, 0xAA, 0xBB}, true, kProtocolT0},
    {"TD1 announcing T=0: no TCK", {0x3B, 0x80, 0x00}, true, kProtocolT0},
    {"TD1 T=1 with TCK", WithTck({0x3F, 0x80, 0x01}), true, kProtocolT1},
    {"TD1 T=0, TD2 T=1", WithTck({0x3B, 0x81, 0x80, 0x01, 0x55}), true, kProtocolT0 | kProtocolT1},
    {"TA1 TC1, TD1 T=1 with TA2 TB2",
     WithTck({0x3B, 0xD3, 0x11, 0x80, 0x31, 0xFE, 0x45, 0x01, 0x02, 0x03}), true, kProtocolT1},
    {"typical T=1 card",
     WithTck({0x3B, 0xF8, 0x13, 0x00, 0x00, 0x81, 0x31, 0xFE, 0x45, 0x4A, 0x43, 0x4F, 0x50, 0x76,
              0x32, 0x34, 0x31}),
     true, kProtocolT1},
    {"wrong TCK", {0x3B, 0x80, 0x01, 0x00}, false, 0},
    {"wrong initial character", {0x3C, 0x00}, false, 0},
};

TEST(AtrTest, CompleteOnlyAtFullLength) {
  for (const AtrCase& c : kAtrs) {
    SCOPED_TRACE(c.name);
    for (std::size_t n = 0; n < c.atr.size(); ++n) {
      EXPECT_FALSE(AtrComplete(c.atr.data(), n)) << "prefix of " << n;
    }
    EXPECT_TRUE(AtrComplete(c.atr.data(), c.atr.size()));
    Bytes longer = c.atr;
    longer.push_back(0x00);
    EXPECT_FALSE(AtrComplete(longer.data(), longer.size()));
  }
}

TEST(AtrTest, CapabilitiesOfCompleteAtrs) {
  for (const AtrCase& c : kAtrs) {
    SCOPED_TRACE(c.name);
    CardCapabilities caps;
    ASSERT_EQ(ParseCardCapabilities(c.atr.data(), c.atr.size(), &caps), c.valid);
    if (c.valid) {
      EXPECT_EQ(caps.protocols, c.protocols);
    }
  }
}

TEST(AtrTest, IncompleteAtrHasNoCapabilities) {
  const Bytes atr{0x3B, 0x02, 0x14};
  CardCapabilities caps;
  EXPECT_FALSE(ParseCardCapabilities(atr.data(), atr.size(), &caps));
}

}  // namespace
}  // namespace qvx::driver
