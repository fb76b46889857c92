// The 8-byte packet codec.
#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "transport/Packet.h"
#include "transport/PacketList.h"

namespace qvx::driver {
namespace {

TEST(FramingTest, PayloadSplitsIntoSixByteDataPackets) {
  struct Case {
    std::size_t length;
    std::vector<std::uint8_t> counts;
  };
  const Case cases[] = {{0, {}}, {1, {1}}, {6, {6}}, {7, {6, 1}}, {12, {6, 6}}, {13, {6, 6, 1}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.length);
    std::vector<std::uint8_t> payload(c.length);
    std::iota(payload.begin(), payload.end(), std::uint8_t{0xA0});
    const std::vector<Packet> packets = DataPackets(payload.data(), payload.size());
    ASSERT_EQ(packets.size(), c.counts.size());
    std::vector<std::uint8_t> joined;
    for (std::size_t i = 0; i < packets.size(); ++i) {
      EXPECT_EQ(packets[i][0], 0x00);
      EXPECT_EQ(packets[i][1], c.counts[i]);
      joined.insert(joined.end(), packets[i].begin() + 2, packets[i].begin() + 2 + packets[i][1]);
    }
    EXPECT_EQ(joined, payload);
  }
}

TEST(FramingTest, HostPacketsHaveTheirFixedBytes) {
  struct Case {
    const char* name;
    Packet packet;
    Packet expected;
  };
  const Case cases[] = {
      {"header", CommandHeader(0x05, 0x012C), {0x01, 0x03, 0x05, 0x2C, 0x01, 0, 0, 0}},
      {"empty header", CommandHeader(0x02, 0), {0x01, 0x03, 0x02, 0, 0, 0, 0, 0}},
      {"abort", Abort(0x5A), {0x01, 0x03, 0x17, 0, 0, 0, 0, 0x5A}},
      {"cold reset", ColdReset(), {0x02, 0x01, 0, 0, 0, 0, 0, 0}},
      {"warm reset", WarmReset(), {0x02, 0x15, 0, 0, 0, 0, 0, 0}},
      {"power off", PowerOff(), {0x02, 0x0B, 0, 0, 0, 0, 0, 0}},
      {"card status query", CardStatusQuery(), {0x02, 0x09, 0, 0, 0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.packet, c.expected) << c.name;
  }
}

TEST(FramingTest, DevicePacketsAreClassified) {
  const Packet response{0x01, 0x00, 0x08, 0x01, 0x01, 0, 0, 0};
  EXPECT_EQ(ResponseCode(response), 0x08);
  EXPECT_EQ(AnnouncedLength(response), 257);
  EXPECT_FALSE(IsEventHeader(response, 0x08));  // byte 1 is not 3

  EXPECT_TRUE(IsAbort(Abort(1)));
  EXPECT_FALSE(IsAbort(CommandHeader(0x07, 0)));
  EXPECT_TRUE(IsEventHeader(Packet{0x01, 0x03, 0x0B}, kEvent0B));

  EXPECT_TRUE(IsCardStatus(Packet{0x02, 0x81, 0x01}));
  EXPECT_TRUE(CardStatusInserted(Packet{0x02, 0x81, 0x01}));
  EXPECT_FALSE(CardStatusInserted(Packet{0x02, 0x81, 0x00}));
  EXPECT_FALSE(IsCardStatus(Packet{0x02, 0x09, 0x01}));

  struct Case {
    Packet packet;
    bool valid;
  };
  const Case data[] = {{{0x00, 0x00}, false}, {{0x00, 0x01}, true},  {{0x00, 0x06}, true},
                       {{0x00, 0x07}, false}, {{0x01, 0x03}, false}, {{0x02, 0x03}, false}};
  for (const Case& c : data) {
    EXPECT_EQ(IsValidDataPacket(c.packet), c.valid) << FormatPacket(c.packet);
  }
}

TEST(FramingTest, FormatHasTwoBlanksBetweenTheHalves) {
  EXPECT_EQ(FormatPacket({0x01, 0x03, 0x17, 0xff, 0, 0, 0x0a, 0x5a}), "01 03 17 ff  00 00 0a 5a");
}

}  // namespace
}  // namespace qvx::driver
