// The 23-byte block of command 0x07 for a mode-1 response: three EMV data
// objects in tag-length-value form (Unpredictable Number 9F37, Amount,
// Authorised 9F02, Transaction Currency Code 5F2A), zero padded.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "kernel/Bytes.h"

namespace qvx::driver {

constexpr std::size_t kMode1BlockSize = 23;
using Mode1Block = std::array<std::uint8_t, kMode1BlockSize>;

// Input: n (1 to 4), n challenge bytes, then optionally 2 currency bytes and
// 6 amount bytes. False for any other shape.
bool BuildMode1Block(ByteView input, Mode1Block* block);

// The block of a mode-2 response: the single byte 0x02.
constexpr std::uint8_t kMode2Block = 0x02;

}  // namespace qvx::driver
