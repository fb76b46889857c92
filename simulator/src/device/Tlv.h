// BER-TLV data objects as EMV writes them: multi-byte tags, short and long
// lengths. The parse is strict: the objects must fill the input exactly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "device/DevicePackets.h"

namespace qvx::sim {

struct TlvObject {
  std::uint32_t tag = 0;  // the tag bytes big-endian, 9F37 for 9F 37
  Bytes value;
};

// Empty input gives an empty list; any overrun, an unterminated tag of more
// than three bytes or a length form other than 1 to 3 bytes gives nothing.
std::optional<std::vector<TlvObject>> ParseTlv(const std::uint8_t* data, std::size_t size);

}  // namespace qvx::sim
