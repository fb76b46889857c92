// The bank card in the slot, as far as the device needs it.
#pragma once

#include <cstdint>

#include "device/DevicePackets.h"
#include "device/Mac.h"

namespace qvx::sim {

struct Card {
  Bytes pan;
  Bytes psn;
  MacKey key{};
  bool blocked = false;       // answers 0x01 with error 131
  bool pinBlocked = false;    // answers the PIN steps with error 130
  bool unsupported = false;   // no application the device knows: error 1
  std::uint32_t counter = 0;  // mode 2 responses computed so far
};

// PAN 5412751234567890 packed to 8 bytes, PSN 01, key 00 01 ... 0F.
Card DefaultCard();
MacKey DefaultCardKey();

}  // namespace qvx::sim
