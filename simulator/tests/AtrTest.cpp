#include <gtest/gtest.h>

#include "device/CardAtr.h"

namespace qvx::sim {
namespace {

TEST(AtrTest, CardAtrIsCompleteOnlyAtItsFullLength) {
  const Bytes atr = CardAtr();
  ASSERT_GE(atr.size(), 2u);
  EXPECT_EQ(atr[0], 0x3B);
  ASSERT_EQ(AtrCompleteLength(atr), atr.size());
  // A reader collecting it packet by packet must not stop early.
  for (std::size_t n = 0; n < atr.size(); ++n) {
    const Bytes prefix(atr.begin(), atr.begin() + static_cast<std::ptrdiff_t>(n));
    const auto complete = AtrCompleteLength(prefix);
    EXPECT_TRUE(!complete || *complete > n) << n;
  }
  // The first data packet must carry more than one byte, the whole ATR at most 33.
  EXPECT_GT(atr.size(), 1u);
  EXPECT_LE(atr.size(), 33u);
}

TEST(AtrTest, CardAtrHasCorrectTck) {
  const Bytes atr = CardAtr();
  std::uint8_t check = 0;
  for (std::size_t i = 1; i < atr.size(); ++i) check = static_cast<std::uint8_t>(check ^ atr[i]);
  EXPECT_EQ(check, 0);
}

TEST(AtrTest, CompletenessRule) {
  struct Case {
    const char* name;
    Bytes atr;
    std::optional<std::size_t> length;
  };
  const Case cases[] = {
      {"too short to tell", {0x3B}, std::nullopt},
      {"T=0, no interface bytes, 2 historical", {0x3B, 0x02}, 4},
      {"TA1 TB1 TC1, no TD", {0x3B, 0x70, 0x11, 0x00, 0xFF}, 5},
      {"TD1 says T=0: no TCK", {0x3B, 0x80, 0x00}, 3},
      {"TD1 says T=1: TCK", {0x3B, 0x80, 0x01}, 4},
      {"TD1 not yet seen", {0x3B, 0x90, 0x11}, std::nullopt},
      {"TD1 T=0 then TD2 T=15: TCK", {0x3B, 0x81, 0x80, 0x0F}, 6},
  };
  for (const Case& c : cases) EXPECT_EQ(AtrCompleteLength(c.atr), c.length) << c.name;
}

}  // namespace
}  // namespace qvx::sim
