#include "device/Card.h"

namespace qvx::sim {

MacKey DefaultCardKey() {
  MacKey key{};
  for (std::size_t i = 0; i < key.size(); ++i) key[i] = static_cast<std::uint8_t>(i);
  return key;
}

Card DefaultCard() {
  Card card;
  card.pan = {0x54, 0x12, 0x75, 0x12, 0x34, 0x56, 0x78, 0x90};
  card.psn = {0x01};
  card.key = DefaultCardKey();
  return card;
}

}  // namespace qvx::sim
