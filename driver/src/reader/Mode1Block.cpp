#include "reader/Mode1Block.h"

namespace qvx::driver {

namespace {

constexpr std::size_t kChallengeField = 4;
constexpr std::size_t kCurrencySize = 2;
constexpr std::size_t kAmountSize = 6;
// Tags and length bytes of the three objects, without their values.
constexpr std::uint8_t kFixedLength = 13;

}  // namespace

bool BuildMode1Block(ByteView input, Mode1Block* block) {
  if (input.empty()) {
    return false;
  }
  const std::size_t n = input[0];
  if (n < 1 || n > kChallengeField) {
    return false;
  }
  const bool withAmount = input.size() == n + 1 + kCurrencySize + kAmountSize;
  if (input.size() != n + 1 && !withAmount) {
    return false;
  }
  const std::size_t currencyLength = withAmount ? kCurrencySize : 0;
  const std::size_t amountLength = withAmount ? kAmountSize : 0;
  const std::uint8_t* challenge = input.data() + 1;
  const std::uint8_t* currency = challenge + n;
  const std::uint8_t* amount = currency + currencyLength;

  block->fill(0);
  std::size_t at = 0;
  auto put = [&](std::uint8_t b) { (*block)[at++] = b; };
  put(0x01);
  put(static_cast<std::uint8_t>(kFixedLength + amountLength + currencyLength));
  put(0x9F);
  put(0x37);
  put(static_cast<std::uint8_t>(kChallengeField));
  for (std::size_t i = n; i < kChallengeField; ++i) put(0x00);
  for (std::size_t i = 0; i < n; ++i) put(challenge[i]);
  put(0x9F);
  put(0x02);
  put(static_cast<std::uint8_t>(amountLength));
  for (std::size_t i = 0; i < amountLength; ++i) put(amount[i]);
  put(0x5F);
  put(0x2A);
  put(static_cast<std::uint8_t>(currencyLength));
  for (std::size_t i = 0; i < currencyLength; ++i) put(currency[i]);
  return true;
}

}  // namespace qvx::driver
