// The card's answer to reset, and the completeness rule a reader applies to
// a partly received one.
#pragma once

#include <cstddef>
#include <optional>

#include "device/DevicePackets.h"

namespace qvx::sim {

// A T=1 card: TA1 13, TD1 81, TD2 31 (IFSC 254, BWI 4 / CWI 5), the
// historical bytes 80 "QVX2SIM" and TCK.
Bytes CardAtr();

// The total length the ATR must reach, from walking T0 and the TDi chain;
// empty while the bytes seen do not yet tell.
std::optional<std::size_t> AtrCompleteLength(const Bytes& atr);

}  // namespace qvx::sim
