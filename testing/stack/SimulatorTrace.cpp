#include "SimulatorTrace.h"

#include <sstream>
#include <stdexcept>

namespace qvx::testing {

std::vector<TracedPacket> ParseTrace(const std::string& reply) {
  std::istringstream words(reply);
  std::string word;
  if (!(words >> word) || word != "OK") throw std::runtime_error("not a trace: " + reply);
  std::vector<TracedPacket> trace;
  std::size_t filled = 8;
  while (words >> word) {
    if (word[0] == '>' || word[0] == '<') {
      if (filled != 8) throw std::runtime_error("short packet in trace: " + reply);
      trace.push_back(TracedPacket{word[0] == '>', {}});
      word.erase(0, 1);
      filled = 0;
    }
    if (filled >= 8 || word.size() != 2) throw std::runtime_error("bad trace word: " + word);
    trace.back().bytes[filled++] = static_cast<std::uint8_t>(std::stoul(word, nullptr, 16));
  }
  if (filled != 8) throw std::runtime_error("short packet at the end of: " + reply);
  return trace;
}

std::vector<std::uint8_t> CommandsSent(const std::vector<TracedPacket>& trace) {
  std::vector<std::uint8_t> commands;
  for (const TracedPacket& packet : trace)
    if (packet.toDevice && packet.bytes[0] == 0x01 && packet.bytes[1] == 0x03)
      commands.push_back(packet.bytes[2]);
  return commands;
}

}  // namespace qvx::testing
