#include "reader/Atr.h"

namespace qvx::driver {

namespace {

// Interface bytes announced by a Y nibble (TA, TB, TC, TD).
std::size_t Announced(std::uint8_t y) {
  std::size_t count = 0;
  for (int bit = 0; bit < 4; ++bit) {
    if ((y >> bit) & 1u) ++count;
  }
  return count;
}

struct AtrLayout {
  bool known = false;        // the TDi chain could be walked to its end
  std::size_t expected = 0;  // total length of the whole ATR
  std::uint32_t protocols = 0;
  bool tck = false;
};

AtrLayout Walk(const std::uint8_t* atr, std::size_t size) {
  AtrLayout layout;
  if (size < 2) {
    return layout;
  }
  const std::size_t historical = atr[1] & 0x0Fu;
  std::size_t last = 1;  // index of the last interface byte (T0 so far)
  std::uint8_t y = static_cast<std::uint8_t>(atr[1] >> 4);
  for (;;) {
    const std::size_t count = Announced(y);
    const bool hasTd = (y & 0x8u) != 0;
    last += count;
    if (!hasTd) {
      break;
    }
    if (last >= size) {
      return layout;  // TDi not received yet
    }
    const std::uint8_t td = atr[last];
    const std::uint32_t protocol = td & 0x0Fu;
    if (protocol != 0) {
      layout.tck = true;
    }
    if (protocol <= 1) {
      layout.protocols |= protocol == 0 ? kProtocolT0 : kProtocolT1;
    }
    y = static_cast<std::uint8_t>(td >> 4);
  }
  if (layout.protocols == 0) {
    layout.protocols = kProtocolT0;  // no TD1: the card speaks T=0
  }
  layout.known = true;
  layout.expected = 1 + last + historical + (layout.tck ? 1 : 0);
  return layout;
}

}  // namespace

bool AtrComplete(const std::uint8_t* atr, std::size_t size) {
  const AtrLayout layout = Walk(atr, size);
  return layout.known && size == layout.expected;
}

bool ParseCardCapabilities(const std::uint8_t* atr, std::size_t size, CardCapabilities* caps) {
  const AtrLayout layout = Walk(atr, size);
  if (!layout.known || size != layout.expected || (atr[0] != 0x3B && atr[0] != 0x3F)) {
    return false;
  }
  if (layout.tck) {
    std::uint8_t check = 0;
    for (std::size_t i = 1; i < size; ++i) check ^= atr[i];
    if (check != 0) {
      return false;
    }
  }
  caps->protocols = layout.protocols;
  return true;
}

}  // namespace qvx::driver
