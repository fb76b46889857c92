// The simulator's packet trace ("trace" on its control socket), parsed.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace qvx::testing {

struct TracedPacket {
  bool toDevice = false;  // host to device ('>'), else device to host ('<')
  std::array<std::uint8_t, 8> bytes{};
};

// Parses "OK >01 03 02 00 00 00 00 00 <01 ..." (or plain "OK" for an empty
// trace); throws std::runtime_error on anything else.
std::vector<TracedPacket> ParseTrace(const std::string& reply);

// Host-to-device command headers (01 03 CMD ...) in order: the device
// commands the driver sent, the abort (0x17) included.
std::vector<std::uint8_t> CommandsSent(const std::vector<TracedPacket>& trace);

}  // namespace qvx::testing
