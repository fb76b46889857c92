#include "device/CardAtr.h"

namespace qvx::sim {
namespace {

int InterfaceBytes(std::uint8_t y) {
  int count = 0;
  for (int bit = 4; bit < 8; ++bit) count += (y >> bit) & 1;
  return count;
}

}  // namespace

Bytes CardAtr() {
  Bytes atr{0x3B, 0x98, 0x13, 0x81, 0x31, 0xFE, 0x45, 0x80, 'Q', 'V', 'X', '2', 'S', 'I', 'M'};
  std::uint8_t tck = 0;
  for (std::size_t i = 1; i < atr.size(); ++i) tck = static_cast<std::uint8_t>(tck ^ atr[i]);
  atr.push_back(tck);
  return atr;
}

std::optional<std::size_t> AtrCompleteLength(const Bytes& atr) {
  if (atr.size() < 2) return std::nullopt;
  const std::size_t historical = atr[1] & 0x0F;
  std::uint8_t y = atr[1];
  std::size_t next = 2;  // index of the next interface byte
  bool tck = false;
  for (;;) {
    next += static_cast<std::size_t>(InterfaceBytes(y));
    if ((y & 0x80) == 0) break;
    const std::size_t td = next - 1;  // TDi is the last of its group
    if (td >= atr.size()) return std::nullopt;
    if ((atr[td] & 0x0F) != 0) tck = true;
    y = atr[td];
  }
  return next + historical + (tck ? 1 : 0);
}

}  // namespace qvx::sim
