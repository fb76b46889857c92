#include "device/DevicePackets.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace qvx::sim {
namespace {

std::uint8_t Low(std::size_t value) { return static_cast<std::uint8_t>(value & 0xFFu); }
std::uint8_t High(std::size_t value) { return static_cast<std::uint8_t>((value >> 8) & 0xFFu); }

}  // namespace

Incoming Classify(const Packet& packet) {
  Incoming in;
  switch (packet[0]) {
    case wire::kTypeHeader:
      if (packet[1] != wire::kHeaderCount) return in;
      if (packet[2] == wire::kCommandAbort) {
        in.kind = Incoming::Kind::Abort;
        in.sequence = packet[7];
        return in;
      }
      in.kind = Incoming::Kind::CommandHeader;
      in.command = packet[2];
      in.length = static_cast<std::uint16_t>(packet[3] | (packet[4] << 8));
      return in;
    case wire::kTypeData:
      in.kind = Incoming::Kind::Data;
      in.count = packet[1];
      return in;
    case wire::kTypeReader:
      in.kind = Incoming::Kind::ReaderControl;
      in.selector = packet[1];
      return in;
    default:
      return in;
  }
}

Packet ResponseHeader(std::uint8_t code, std::uint16_t length) {
  return Packet{wire::kTypeHeader, wire::kHeaderCount, code, Low(length), High(length), 0, 0, 0};
}

Packet EventPacket(std::uint8_t event) {
  return Packet{wire::kTypeHeader, wire::kHeaderCount, event, 0, 0, 0, 0, 0};
}

Packet CardStatusPacket(bool inserted) {
  return Packet{wire::kTypeReader,
                wire::kCardStatus,
                static_cast<std::uint8_t>(inserted ? 1 : 0),
                0,
                0,
                0,
                0,
                0};
}

std::vector<Packet> DataPackets(const Bytes& data) {
  std::vector<Packet> packets;
  for (std::size_t offset = 0; offset < data.size(); offset += wire::kMaxChunk) {
    const std::size_t count = std::min(wire::kMaxChunk, data.size() - offset);
    Packet packet{};
    packet[0] = wire::kTypeData;
    packet[1] = Low(count);
    for (std::size_t i = 0; i < count; ++i) packet[2 + i] = data[offset + i];
    packets.push_back(packet);
  }
  return packets;
}

std::vector<Packet> ResponsePackets(std::uint8_t code, const Bytes& data) {
  if (data.size() > wire::kMaxResponse) throw std::logic_error("response longer than 256 bytes");
  std::vector<Packet> packets{ResponseHeader(code, static_cast<std::uint16_t>(data.size()))};
  for (const Packet& packet : DataPackets(data)) packets.push_back(packet);
  return packets;
}

Packet CommandHeader(std::uint8_t command, std::uint16_t length) {
  return Packet{wire::kTypeHeader, wire::kHeaderCount, command, Low(length), High(length), 0, 0, 0};
}

std::vector<Packet> CommandPackets(std::uint8_t command, const Bytes& data) {
  if (data.size() > 0xFFFFu) throw std::logic_error("command data longer than 65535 bytes");
  std::vector<Packet> packets{CommandHeader(command, static_cast<std::uint16_t>(data.size()))};
  for (const Packet& packet : DataPackets(data)) packets.push_back(packet);
  return packets;
}

Packet AbortPacket(std::uint8_t sequence) {
  return Packet{wire::kTypeHeader, wire::kHeaderCount, wire::kCommandAbort, 0, 0, 0, 0, sequence};
}

Packet ReaderControlPacket(std::uint8_t selector) {
  return Packet{wire::kTypeReader, selector, 0, 0, 0, 0, 0, 0};
}

std::string ToHex(const Packet& packet) {
  std::string text;
  char digits[4];
  for (std::size_t i = 0; i < packet.size(); ++i) {
    std::snprintf(digits, sizeof digits, "%02X", static_cast<unsigned>(packet[i]));
    if (i != 0) text += ' ';
    text += digits;
  }
  return text;
}

}  // namespace qvx::sim
