#include "device/ModeBlock.h"

#include <algorithm>

#include "device/ErrorBytes.h"
#include "device/Tlv.h"

namespace qvx::sim {
namespace {

ModeParse Fail(std::uint8_t error) { return ModeParse{std::nullopt, error}; }

template <std::size_t N>
std::array<std::uint8_t, N> ToArray(const Bytes& value) {
  std::array<std::uint8_t, N> out{};
  std::copy(value.begin(), value.end(), out.begin());
  return out;
}

ModeParse ParseMode1(const Bytes& block) {
  if (block.size() < 2) return Fail(error::kTlvParseFail);
  const std::size_t length = block[1];
  if (block.size() - 2 < length) return Fail(error::kTlvParseFail);
  // The host pads the block with zeros; anything else there is garbage.
  if (std::any_of(block.begin() + 2 + static_cast<std::ptrdiff_t>(length), block.end(),
                  [](std::uint8_t b) { return b != 0; }))
    return Fail(error::kTlvParseFail);

  const auto objects = ParseTlv(block.data() + 2, length);
  if (!objects) return Fail(error::kTlvParseFail);

  const Bytes* challenge = nullptr;
  const Bytes* amount = nullptr;
  const Bytes* currency = nullptr;
  for (const TlvObject& object : *objects) {
    const Bytes** slot = object.tag == kTagChallenge  ? &challenge
                         : object.tag == kTagAmount   ? &amount
                         : object.tag == kTagCurrency ? &currency
                                                      : nullptr;
    if (slot == nullptr) continue;  // objects the device has no use for
    if (*slot != nullptr) return Fail(error::kTlvParseFail);
    *slot = &object.value;
  }
  if (challenge == nullptr) return Fail(error::kMandatoryMissing);
  if (challenge->size() != 4) return Fail(error::kLengthNotValid);
  const std::size_t amountLength = amount ? amount->size() : 0;
  const std::size_t currencyLength = currency ? currency->size() : 0;
  if ((amountLength != 0 && amountLength != 6) || (currencyLength != 0 && currencyLength != 2))
    return Fail(error::kLengthNotValid);
  if ((amountLength == 0) != (currencyLength == 0)) return Fail(error::kLengthNotValid);

  ModeRequest request;
  request.mode = 1;
  request.mode1.challenge = ToArray<4>(*challenge);
  if (amountLength != 0) {
    request.mode1.amount = ToArray<6>(*amount);
    request.mode1.currency = ToArray<2>(*currency);
  }
  return ModeParse{request, 0};
}

}  // namespace

ModeParse ParseModeBlock(const Bytes& block) {
  if (block.empty()) return Fail(error::kInputNotValid);
  if (block[0] == 0x01) return ParseMode1(block);
  if (block[0] == 0x02 && block.size() == 1) {
    ModeRequest request;
    request.mode = 2;
    return ModeParse{request, 0};
  }
  return Fail(error::kInputNotValid);
}

}  // namespace qvx::sim
