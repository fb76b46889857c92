#include "transport/PacketList.h"

#include <algorithm>
#include <cstdio>

namespace qvx::driver {

std::vector<Packet> DataPackets(const std::uint8_t* data, std::size_t length) {
  std::vector<Packet> packets;
  packets.reserve((length + kMaxDataPerPacket - 1) / kMaxDataPerPacket);
  for (std::size_t offset = 0; offset < length; offset += kMaxDataPerPacket) {
    packets.push_back(DataPacket(data + offset, std::min(kMaxDataPerPacket, length - offset)));
  }
  return packets;
}

std::string FormatPacket(const Packet& packet) {
  char text[32];
  std::snprintf(text, sizeof(text), "%02x %02x %02x %02x  %02x %02x %02x %02x", packet[0],
                packet[1], packet[2], packet[3], packet[4], packet[5], packet[6], packet[7]);
  return text;
}

}  // namespace qvx::driver
