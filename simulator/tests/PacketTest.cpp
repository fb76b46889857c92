#include <gtest/gtest.h>

#include "device/DevicePackets.h"

namespace qvx::sim {
namespace {

TEST(PacketTest, ResponseSplitsIntoChunksOfSix) {
  struct Case {
    std::size_t length;
    std::vector<std::uint8_t> counts;
  };
  const Case cases[] = {
      {0, {}}, {1, {1}}, {6, {6}}, {13, {6, 6, 1}}, {256, std::vector<std::uint8_t>(42, 6)}};
  for (const Case& c : cases) {
    Bytes data(c.length);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i + 1);
    const auto packets = ResponsePackets(0x03, data);
    ASSERT_EQ(packets.size(), 1 + (c.length + 5) / 6) << c.length;
    EXPECT_EQ(packets[0], (Packet{0x01, 0x03, 0x03, static_cast<std::uint8_t>(c.length & 0xFF),
                                  static_cast<std::uint8_t>(c.length >> 8), 0, 0, 0}));
    Bytes joined;
    for (std::size_t i = 1; i < packets.size(); ++i) {
      EXPECT_EQ(packets[i][0], 0x00);
      if (i - 1 < c.counts.size()) {
        EXPECT_EQ(packets[i][1], c.counts[i - 1]);
      }
      joined.insert(joined.end(), packets[i].begin() + 2, packets[i].begin() + 2 + packets[i][1]);
      for (std::size_t pad = 2u + packets[i][1]; pad < kPacketSize; ++pad) {
        EXPECT_EQ(packets[i][pad], 0);
      }
    }
    EXPECT_EQ(joined, data);
  }
  EXPECT_THROW(ResponsePackets(0x03, Bytes(257)), std::logic_error);
}

TEST(PacketTest, ClassifiesHostPackets) {
  struct Case {
    Packet packet;
    Incoming::Kind kind;
    std::uint8_t command, selector, sequence, count;
    std::uint16_t length;
  };
  using K = Incoming::Kind;
  const Case cases[] = {
      {{0x01, 0x03, 0x02, 0, 0, 0, 0, 0}, K::CommandHeader, 0x02, 0, 0, 0, 0},
      {{0x01, 0x03, 0x05, 0x2C, 0x01, 0, 0, 0}, K::CommandHeader, 0x05, 0, 0, 0, 300},
      {{0x01, 0x03, 0x17, 0, 0, 0, 0, 0x42}, K::Abort, 0, 0, 0x42, 0, 0},
      {{0x00, 0x04, 1, 2, 3, 4, 9, 9}, K::Data, 0, 0, 0, 4, 0},
      {{0x00, 0x07, 1, 2, 3, 4, 5, 6}, K::Data, 0, 0, 0, 7, 0},
      {{0x02, 0x15, 0, 0, 0, 0, 0, 0}, K::ReaderControl, 0, 0x15, 0, 0, 0},
      {{0x01, 0x02, 0x02, 0, 0, 0, 0, 0}, K::Invalid, 0, 0, 0, 0, 0},
      {{0x05, 0x03, 0x02, 0, 0, 0, 0, 0}, K::Invalid, 0, 0, 0, 0, 0},
  };
  for (const Case& c : cases) {
    const Incoming in = Classify(c.packet);
    SCOPED_TRACE(ToHex(c.packet));
    EXPECT_EQ(in.kind, c.kind);
    EXPECT_EQ(in.command, c.command);
    EXPECT_EQ(in.length, c.length);
    EXPECT_EQ(in.selector, c.selector);
    EXPECT_EQ(in.sequence, c.sequence);
    EXPECT_EQ(in.count, c.count);
  }
}

TEST(PacketTest, HexIsUpperCaseWithBlanks) {
  EXPECT_EQ(ToHex(CardStatusPacket(true)), "02 81 01 00 00 00 00 00");
  EXPECT_EQ(ToHex(AbortPacket(0xAB)), "01 03 17 00 00 00 00 AB");
}

}  // namespace
}  // namespace qvx::sim
