#include "reader/ApduTable.h"

namespace qvx::driver {

namespace {

constexpr std::uint8_t kClass = 0x80;
constexpr std::uint8_t kInstruction = 0x12;
constexpr std::size_t kHeaderSize = 4;
constexpr std::size_t kShortSize = 5;  // header and Le
constexpr char kReaderId[] = "QVX2RDR";

constexpr std::uint8_t kCodeResult = 3;
constexpr std::uint8_t kCodeTimeout = 6;
constexpr std::uint8_t kCodeDeviceError = 8;

Answer DeviceErrorAnswer(ByteView data) {
  if (data.empty()) {
    return StatusWord(0x6F, 0x00);
  }
  const std::uint8_t error = data[0];
  switch (error) {
    case 7:
    case 16:
    case 22:
    case 23:
    case 24:
    case 41:
      return StatusWord(0x69, 0xF1);
    case 25:
      return StatusWord(0x69, 0x87);
    case 33:
      return StatusWord(0x67, 0x00);
    case 130:
      return StatusWord(0x69, 0x83);
    case 133:
      return StatusWord(0x62, 0x83);
    case 129:
    case 132:
      // The card's own status word follows the error byte.
      if (data.size() >= 3 && data[1] == 0x6A) {
        if (data[2] >= 0x81 && data[2] <= 0x83) return StatusWord(0x6A, data[2]);
        if (data[2] == 0x88) return StatusWord(0x6A, 0x83);
      }
      return StatusWord(0x6F, 0x00);
    default:
      return StatusWord(0x6F, 0x00);
  }
}

}  // namespace

ApduKind ClassifyApdu(const std::uint8_t* apdu, std::size_t size) {
  if (size < 2 || apdu[0] != kClass || apdu[1] != kInstruction) {
    return ApduKind::WrongInstruction;
  }
  if (size < kHeaderSize) {
    return ApduKind::WrongParameters;
  }
  const std::uint8_t p1 = apdu[2];
  const std::uint8_t p2 = apdu[3];
  if (p2 == 0x01) {
    if (p1 == 0x00 && size == kShortSize) return ApduKind::Identify;
    if (p1 == 0x02) return ApduKind::Mode1;
    if (p1 == 0x03 && size == kShortSize) return ApduKind::Mode2;
  }
  return ApduKind::WrongParameters;
}

Answer StatusWord(std::uint8_t sw1, std::uint8_t sw2) { return Answer{sw1, sw2}; }

Answer IdentificationAnswer() {
  Answer answer{0xD0, static_cast<std::uint8_t>(sizeof kReaderId - 1)};
  for (std::size_t i = 0; i + 1 < sizeof kReaderId; ++i) {
    answer.Append(static_cast<std::uint8_t>(kReaderId[i]));
  }
  answer.Append({0x90, 0x00});
  return answer;
}

bool BuildTransmitBlock(const std::uint8_t* apdu, std::size_t size, TransmitBlock* block) {
  const std::size_t lc = size > kHeaderSize ? apdu[kHeaderSize] : 0;
  const std::size_t available = size > kShortSize ? size - kShortSize : 0;
  if (lc > available) {
    return false;
  }
  *block = TransmitBlock{0x01, static_cast<std::uint8_t>(lc)};
  block->Append(apdu + kShortSize, lc);
  return true;
}

Answer ExchangeAnswer(std::uint8_t responseCode, ByteView data) {
  switch (responseCode) {
    case kCodeResult: {
      // The length travels as one byte: a longer answer cannot be framed.
      if (data.size() > 0xFF) {
        return StatusWord(0x6F, 0x00);
      }
      Answer answer{0xC1, static_cast<std::uint8_t>(data.size())};
      answer.Append(data);
      answer.Append({0x90, 0x00});
      return answer;
    }
    case kCodeTimeout:
      return StatusWord(0x69, 0xF0);
    case kCodeDeviceError:
      return DeviceErrorAnswer(data);
    default:
      return StatusWord(0x6F, 0x00);
  }
}

}  // namespace qvx::driver
