// The 8-byte device packet: builders and classification.
//
// Offers: Packet; builders for the host-to-device packets (command header,
// the data packets of a payload, abort, cold/warm reset, power off,
// card-status query); readers for device-to-host packets (response header
// code and announced length, data packet count, card status, the device
// event headers 01 03 0B/07/0A/06). Kernel-safe; the list and text forms
// for tests and tools are in transport/PacketList.h.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace qvx::driver {

constexpr std::size_t kPacketSize = 8;
using Packet = std::array<std::uint8_t, kPacketSize>;
static_assert(sizeof(Packet) == kPacketSize, "a device packet is exactly 8 bytes");

// Byte 0: packet type.
constexpr std::uint8_t kPacketData = 0x00;
constexpr std::uint8_t kPacketHeader = 0x01;
constexpr std::uint8_t kPacketControl = 0x02;  // reader control out, card status in

constexpr std::uint8_t kHeaderCount = 0x03;  // byte 1 of a command header
constexpr std::uint8_t kCommandAbort = 0x17;
constexpr std::uint8_t kCardStatus = 0x81;    // byte 1 of a card-status packet
constexpr std::uint8_t kCardInserted = 0x01;  // byte 2 of a card-status packet

// Device event headers 01 03 xx (third byte).
constexpr std::uint8_t kEvent0B = 0x0B;
constexpr std::uint8_t kEvent07 = 0x07;
constexpr std::uint8_t kEvent0A = 0x0A;
constexpr std::uint8_t kEvent06 = 0x06;

constexpr std::size_t kMaxDataPerPacket = 6;
constexpr std::size_t kMaxResponseLength = 256;
constexpr std::size_t kMaxRequestLength = 0xFFFF;  // the header's 16-bit length

// Host to device.
Packet CommandHeader(std::uint8_t command, std::uint16_t length);
// One data packet of 1 to 6 bytes.
Packet DataPacket(const std::uint8_t* data, std::size_t count);
Packet Abort(std::uint8_t sequence);
Packet ColdReset();
Packet WarmReset();
Packet PowerOff();
Packet CardStatusQuery();

bool IsAbort(const Packet& packet);

// Device to host.
std::uint8_t PacketType(const Packet& packet);
bool IsCardStatus(const Packet& packet);        // 02 81 s
bool CardStatusInserted(const Packet& packet);  // s == 1
// 01 03 <code>: one of the device event headers, or an abort echo.
bool IsEventHeader(const Packet& packet, std::uint8_t code);
std::uint8_t ResponseCode(const Packet& header);
std::uint16_t AnnouncedLength(const Packet& header);  // byte 3 + 256 * byte 4
std::uint8_t DataCount(const Packet& data);           // byte 1
bool IsValidDataPacket(const Packet& packet);         // type 0, count 1..6

}  // namespace qvx::driver
