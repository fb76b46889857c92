// Packets as lists and text, for tests, tools and the Linux build's logs
// (not kernel-safe: the Windows driver does without).
//
// Offers: DataPackets (a payload's data packets), FormatPacket.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "transport/Packet.h"

namespace qvx::driver {

// The data packets of a payload: 6 bytes each, the last one shorter; none
// for an empty payload.
std::vector<Packet> DataPackets(const std::uint8_t* data, std::size_t length);

// "xx xx xx xx  xx xx xx xx" (two blanks in the middle).
std::string FormatPacket(const Packet& packet);

}  // namespace qvx::driver
