// SipHash-2-4: the keyed MAC behind every response the device computes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "device/DevicePackets.h"

namespace qvx::sim {

using MacKey = std::array<std::uint8_t, 16>;

std::uint64_t SipHash24(const MacKey& key, const std::uint8_t* data, std::size_t size);

// The 64-bit value least significant byte first, as the reference code
// writes it.
Bytes SipHash24Bytes(const MacKey& key, const Bytes& message);

}  // namespace qvx::sim
