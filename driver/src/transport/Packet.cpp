#include "transport/Packet.h"

#include <algorithm>

namespace qvx::driver {

namespace {

Packet Control(std::uint8_t operation) {
  Packet packet{};
  packet[0] = kPacketControl;
  packet[1] = operation;
  return packet;
}

}  // namespace

Packet CommandHeader(std::uint8_t command, std::uint16_t length) {
  Packet packet{};
  packet[0] = kPacketHeader;
  packet[1] = kHeaderCount;
  packet[2] = command;
  packet[3] = static_cast<std::uint8_t>(length & 0xFFu);
  packet[4] = static_cast<std::uint8_t>(length >> 8);
  return packet;
}

Packet DataPacket(const std::uint8_t* data, std::size_t count) {
  Packet packet{};
  count = std::min(count, kMaxDataPerPacket);
  packet[0] = kPacketData;
  packet[1] = static_cast<std::uint8_t>(count);
  std::copy(data, data + count, packet.begin() + 2);
  return packet;
}

Packet Abort(std::uint8_t sequence) {
  Packet packet = CommandHeader(kCommandAbort, 0);
  packet[7] = sequence;
  return packet;
}

Packet ColdReset() { return Control(0x01); }
Packet WarmReset() { return Control(0x15); }
Packet PowerOff() { return Control(0x0B); }
Packet CardStatusQuery() { return Control(0x09); }

bool IsAbort(const Packet& packet) { return IsEventHeader(packet, kCommandAbort); }

std::uint8_t PacketType(const Packet& packet) { return packet[0]; }

bool IsCardStatus(const Packet& packet) {
  return packet[0] == kPacketControl && packet[1] == kCardStatus;
}

bool CardStatusInserted(const Packet& packet) { return packet[2] == kCardInserted; }

bool IsEventHeader(const Packet& packet, std::uint8_t code) {
  return packet[0] == kPacketHeader && packet[1] == kHeaderCount && packet[2] == code;
}

std::uint8_t ResponseCode(const Packet& header) { return header[2]; }

std::uint16_t AnnouncedLength(const Packet& header) {
  return static_cast<std::uint16_t>(header[3] | (header[4] << 8));
}

std::uint8_t DataCount(const Packet& data) { return data[1]; }

bool IsValidDataPacket(const Packet& packet) {
  return packet[0] == kPacketData && packet[1] >= 1 && packet[1] <= kMaxDataPerPacket;
}

}  // namespace qvx::driver
