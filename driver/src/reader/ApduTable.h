// The APDUs the reader answers itself (class 0x80, instruction 0x12) and
// the status words it gives for the device's answers. Pure: no device.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kernel/Bytes.h"

namespace qvx::driver {

enum class ApduKind {
  Identify,          // 80 12 00 01, exactly 5 bytes
  Mode1,             // 80 12 02 01, any length
  Mode2,             // 80 12 03 01, exactly 5 bytes
  WrongParameters,   // 80 12 with other P1 P2 or length: 6A 86
  WrongInstruction,  // anything else: 69 82
};

ApduKind ClassifyApdu(const std::uint8_t* apdu, std::size_t size);

// The longest: C1, a length byte, 255 data bytes, the status word.
constexpr std::size_t kMaxAnswerSize = 2 + 255 + 2;
using Answer = ByteBuffer<kMaxAnswerSize>;
// 0x01, Lc, at most 255 data bytes.
using TransmitBlock = ByteBuffer<2 + 255>;

// D0 07 "QVX2RDR" 90 00.
Answer IdentificationAnswer();
Answer StatusWord(std::uint8_t sw1, std::uint8_t sw2);

// Command 0x07's block for 80 12 02 01: 0x01, Lc, the Lc data bytes. False
// when the APDU announces more data than it carries (answered 67 00).
bool BuildTransmitBlock(const std::uint8_t* apdu, std::size_t size, TransmitBlock* block);

// The answer to a command 0x07 exchange by its response code and data.
Answer ExchangeAnswer(std::uint8_t responseCode, ByteView data);

}  // namespace qvx::driver
