#include "device/Responses.h"

namespace qvx::sim {

Bytes Mode1Message(const Mode1Input& input) {
  Bytes message;
  message.reserve(13);
  message.push_back(0x01);
  for (const std::uint8_t b : input.challenge) message.push_back(b);
  if (input.amount && input.currency) {
    for (const std::uint8_t b : *input.amount) message.push_back(b);
    for (const std::uint8_t b : *input.currency) message.push_back(b);
  }
  return message;
}

Bytes Mode2Message(std::uint32_t counter) {
  return Bytes{0x02, static_cast<std::uint8_t>(counter >> 24),
               static_cast<std::uint8_t>(counter >> 16), static_cast<std::uint8_t>(counter >> 8),
               static_cast<std::uint8_t>(counter)};
}

Bytes SignMessage(const Bytes& elements) {
  Bytes message;
  message.reserve(elements.size() + 1);
  message.push_back(0x03);
  for (const std::uint8_t b : elements) message.push_back(b);
  return message;
}

Bytes ComputeResponse(const MacKey& key, const Bytes& message) {
  return SipHash24Bytes(key, message);
}

}  // namespace qvx::sim
