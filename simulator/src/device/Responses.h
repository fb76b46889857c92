// What the device signs for each response kind. The message starts with a
// byte naming the kind, so the three can never give the same MAC input.
#pragma once

#include <cstdint>

#include "device/Mac.h"
#include "device/ModeBlock.h"

namespace qvx::sim {

// 01, challenge (4), then amount (6) and currency (2) when given.
Bytes Mode1Message(const Mode1Input& input);
// 02, the card's mode 2 counter (4 bytes, big-endian).
Bytes Mode2Message(std::uint32_t counter);
// 03, the data of every 0x05 command of the session in order (type, count,
// bytes of each element).
Bytes SignMessage(const Bytes& elements);

// The 8-byte response: SipHash-2-4 of the message under the card's key.
Bytes ComputeResponse(const MacKey& key, const Bytes& message);

}  // namespace qvx::sim
