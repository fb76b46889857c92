// Answer-to-reset: when the collected bytes form a whole ATR, and what the
// card offers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kernel/Bytes.h"

namespace qvx::driver {

constexpr std::size_t kMaxAtrSize = 33;
using AtrBytes = ByteBuffer<kMaxAtrSize>;

// Protocol bits as the reader reports them (T=0 is 1, T=1 is 2).
constexpr std::uint32_t kProtocolT0 = 0x1;
constexpr std::uint32_t kProtocolT1 = 0x2;

// Walks T0 and the TDi chain: complete when the length is exactly 1 + the
// index of the last interface byte + the historical bytes + TCK, TCK being
// expected when any TDi announces a protocol other than 0.
bool AtrComplete(const std::uint8_t* atr, std::size_t size);

struct CardCapabilities {
  std::uint32_t protocols = 0;  // kProtocolT0 | kProtocolT1
};

// Checks a complete ATR (initial character, TCK) and derives the protocols
// the card offers; false for an ATR the reader cannot use.
bool ParseCardCapabilities(const std::uint8_t* atr, std::size_t size, CardCapabilities* caps);

}  // namespace qvx::driver
