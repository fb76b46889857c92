// Faults the control interface arms for the next device command.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "device/DevicePackets.h"

namespace qvx::sim {

enum class Malformed {
  Count7,     // header, then a data packet claiming 7 bytes
  Count0,     // header, then a data packet claiming 0 bytes
  Length257,  // header announcing 257 bytes
  WrongType,  // a packet of type 0x05 where the header belongs
};

std::optional<Malformed> ParseMalformed(const std::string& name);
const char* MalformedName(Malformed kind);
// The packets sent in place of a response with the given code.
std::vector<Packet> MalformedPackets(Malformed kind, std::uint8_t code);

struct Injection {
  enum class Kind { Rc6, Rc8, Malformed };
  Kind kind = Kind::Rc6;
  std::uint8_t errorByte = 0;               // Rc8
  Malformed malformed = Malformed::Count7;  // Malformed
};

std::string Describe(const Injection& injection);

}  // namespace qvx::sim
