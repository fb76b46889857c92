// The device's side of the 8-byte packets of the interrupt pipes, both
// directions: builders and a classifier. Written apart from the driver's
// codec (transport/Packet.h there), so a fault in one shows against the
// other. Every byte is placed by hand; nothing is copied from structs.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qvx::sim {

using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kPacketSize = 8;
using Packet = std::array<std::uint8_t, kPacketSize>;
static_assert(sizeof(Packet) == kPacketSize, "a packet is one 8-byte interrupt transfer");

namespace wire {
constexpr std::uint8_t kTypeData = 0x00;
constexpr std::uint8_t kTypeHeader = 0x01;
constexpr std::uint8_t kTypeReader = 0x02;
constexpr std::uint8_t kHeaderCount = 0x03;
constexpr std::size_t kMaxChunk = 6;  // data bytes in one data packet
constexpr std::size_t kMaxResponse = 256;

constexpr std::uint8_t kCommandAbort = 0x17;
constexpr std::uint8_t kEventAborted = 0x0B;
constexpr std::uint8_t kEventCancelled = 0x07;

constexpr std::uint8_t kColdReset = 0x01;
constexpr std::uint8_t kWarmReset = 0x15;
constexpr std::uint8_t kPowerOff = 0x0B;
constexpr std::uint8_t kStatusQuery = 0x09;
constexpr std::uint8_t kCardStatus = 0x81;
}  // namespace wire

// What a host-to-device packet is.
struct Incoming {
  enum class Kind { CommandHeader, Abort, Data, ReaderControl, Invalid };
  Kind kind = Kind::Invalid;
  std::uint8_t command = 0;   // CommandHeader
  std::uint16_t length = 0;   // CommandHeader: data bytes announced
  std::uint8_t sequence = 0;  // Abort
  std::uint8_t selector = 0;  // ReaderControl
  std::uint8_t count = 0;     // Data: meaningful bytes claimed (may be out of range)
};

Incoming Classify(const Packet& packet);

// Device to host.
Packet ResponseHeader(std::uint8_t code, std::uint16_t length);
Packet EventPacket(std::uint8_t event);
Packet CardStatusPacket(bool inserted);
// Data packets of up to 6 bytes each, zero padded.
std::vector<Packet> DataPackets(const Bytes& data);
// A response header and its data packets; data is at most 256 bytes.
std::vector<Packet> ResponsePackets(std::uint8_t code, const Bytes& data);

// Host to device, for tests and tools.
Packet CommandHeader(std::uint8_t command, std::uint16_t length);
std::vector<Packet> CommandPackets(std::uint8_t command, const Bytes& data);
Packet AbortPacket(std::uint8_t sequence);
Packet ReaderControlPacket(std::uint8_t selector);

// "01 03 02 00 00 00 00 00"
std::string ToHex(const Packet& packet);

}  // namespace qvx::sim
