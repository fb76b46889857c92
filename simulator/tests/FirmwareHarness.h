// Drives the firmware the way the driver does, with a clock the test moves.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "device/CardAtr.h"
#include "device/Firmware.h"

namespace qvx::sim {

struct Response {
  std::uint8_t code = 0;
  Bytes data;
  bool operator==(const Response& other) const { return code == other.code && data == other.data; }
};

// One response header and its data packets, nothing else; empty (with a
// test failure) when the packets are anything but that.
inline std::optional<Response> ParseResponse(const std::vector<Packet>& packets) {
  if (packets.empty() || packets[0][0] != 0x01 || packets[0][1] != 0x03) {
    ADD_FAILURE() << "no response header";
    return std::nullopt;
  }
  Response response{packets[0][2], {}};
  const std::size_t length = packets[0][3] | (packets[0][4] << 8);
  std::size_t next = 1;
  while (response.data.size() < length && next < packets.size()) {
    const Packet& p = packets[next++];
    if (p[0] != 0x00 || p[1] < 1 || p[1] > 6) {
      ADD_FAILURE() << "bad data packet " << ToHex(p);
      return std::nullopt;
    }
    response.data.insert(response.data.end(), p.begin() + 2, p.begin() + 2 + p[1]);
  }
  if (response.data.size() != length || next != packets.size()) {
    ADD_FAILURE() << "response of " << length << " bytes came as " << packets.size() << " packets";
    return std::nullopt;
  }
  return response;
}

class Host {
 public:
  explicit Host(FirmwareConfig config = {}) : firmware(std::move(config)) { firmware.Connect(now); }

  void Send(const std::vector<Packet>& packets) {
    for (const Packet& packet : packets) firmware.Receive(packet, now);
  }
  void Send(const Packet& packet) { firmware.Receive(packet, now); }
  std::vector<Packet> Out() { return firmware.TakeOutgoing(); }

  // Sends a command and returns whatever the device sent back at once.
  std::vector<Packet> Command(std::uint8_t command, const Bytes& data = {}) {
    Send(CommandPackets(command, data));
    return Out();
  }
  std::optional<Response> Exchange(std::uint8_t command, const Bytes& data = {}) {
    return ParseResponse(Command(command, data));
  }

  void Wait(Millis duration) {
    now += duration;
    firmware.Advance(now);
  }

  // Command 0x01 as the driver sends it before the card commands.
  void OpenCard(const char* language = "\0\0") {
    const auto r = Exchange(command::kOpenCard, Bytes{static_cast<std::uint8_t>(language[0]),
                                                      static_cast<std::uint8_t>(language[1])});
    ASSERT_TRUE(r);
    ASSERT_EQ(r->code, rc::kOpened);
  }

  Firmware firmware;
  Millis now{1000};
};

// The 23-byte mode 1 block exactly as the driver builds it.
inline Bytes Mode1Block(const Bytes& challenge4, const Bytes& amount6 = {},
                        const Bytes& currency2 = {}) {
  Bytes block{0x01, static_cast<std::uint8_t>(13 + amount6.size() + currency2.size()), 0x9F, 0x37,
              0x04};
  block.insert(block.end(), challenge4.begin(), challenge4.end());
  block.push_back(0x9F);
  block.push_back(0x02);
  block.push_back(static_cast<std::uint8_t>(amount6.size()));
  block.insert(block.end(), amount6.begin(), amount6.end());
  block.push_back(0x5F);
  block.push_back(0x2A);
  block.push_back(static_cast<std::uint8_t>(currency2.size()));
  block.insert(block.end(), currency2.begin(), currency2.end());
  block.resize(23, 0x00);
  return block;
}

inline Packet Event(std::uint8_t code) { return Packet{0x01, 0x03, code, 0, 0, 0, 0, 0}; }

}  // namespace qvx::sim
