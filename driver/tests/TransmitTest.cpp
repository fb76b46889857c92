// Transmit: the APDUs the reader answers itself and the two it turns into
// device exchanges.
#include <gtest/gtest.h>

#include <vector>

#include "ReaderFixture.h"
#include "reader/Atr.h"

namespace qvx::testing {
namespace {

using namespace qvx::driver;

class TransmitTest : public ReaderFixture {
 protected:
  // A card powered and in T=0.
  void Ready() {
    Firmware().SetAtr(AtrPackets({0x3B, 0x00}));
    std::uint8_t atr[33];
    std::size_t returned = 0;
    ASSERT_EQ(Device().CardPower(PowerAction::ColdReset, atr, sizeof atr, &returned),
              STATUS_SUCCESS);
    std::uint32_t selected = 0;
    ASSERT_EQ(Device().SetProtocol(kProtocolT0, &selected), STATUS_SUCCESS);
    Firmware().ClearLog();
  }

  struct TransmitResult {
    NTSTATUS status;
    Bytes reply;
  };
  TransmitResult Send(const Bytes& apdu, std::size_t capacity = 258) {
    std::vector<std::uint8_t> out(capacity);
    std::size_t returned = 99;
    TransmitResult r;
    r.status = Device().Transmit(apdu.data(), apdu.size(), out.data(), capacity, &returned);
    r.reply.assign(out.begin(),
                   out.begin() + static_cast<std::ptrdiff_t>(std::min(returned, capacity)));
    return r;
  }
};

TEST_F(TransmitTest, IdentificationWithoutTheDevice) {
  Ready();
  const TransmitResult r = Send({0x80, 0x12, 0x00, 0x01, 0x09});
  EXPECT_EQ(r.status, STATUS_SUCCESS);
  EXPECT_EQ(r.reply, (Bytes{0xD0, 0x07, 'Q', 'V', 'X', '2', 'R', 'D', 'R', 0x90, 0x00}));
  EXPECT_TRUE(Firmware().Written().empty());
}

struct ModeCase {
  const char* name;
  Bytes apdu;
  Packets startAnswer;
  Packets modeAnswer;
  std::vector<ReceivedCommand> sent;
  Bytes reply;
};

TEST_F(TransmitTest, ModeExchanges) {
  const ModeCase cases[] = {
      {"mode 1 with data",
       {0x80, 0x12, 0x02, 0x01, 0x03, 0xA1, 0xA2, 0xA3, 0x00},
       sim::ResponsePackets(1, {0x01}),
       sim::ResponsePackets(3, {0x77, 0x88}),
       {{0x01, {0x00, 0x00}}, {0x07, {0x01, 0x03, 0xA1, 0xA2, 0xA3}}},
       {0xC1, 0x02, 0x77, 0x88, 0x90, 0x00}},
      {"mode 2",
       {0x80, 0x12, 0x03, 0x01, 0x00},
       sim::ResponsePackets(1, {0x01}),
       sim::ResponsePackets(8, {25}),
       {{0x01, {0x00, 0x00}}, {0x07, {0x02}}},
       {0x69, 0x87}},
      {"start answered with another code",
       {0x80, 0x12, 0x03, 0x01, 0x00},
       sim::ResponsePackets(2, {}),
       sim::ResponsePackets(3, {}),
       {{0x01, {0x00, 0x00}}},
       {0x69, 0xF0}},
      {"start's first byte is not looked at",
       {0x80, 0x12, 0x03, 0x01, 0x00},
       sim::ResponsePackets(1, {0x00}),
       sim::ResponsePackets(3, {}),
       {{0x01, {0x00, 0x00}}, {0x07, {0x02}}},
       {0xC1, 0x00, 0x90, 0x00}},
      {"cancelled on the device",
       {0x80, 0x12, 0x03, 0x01, 0x00},
       sim::ResponsePackets(1, {0x01}),
       {sim::EventPacket(0x0B)},
       {{0x01, {0x00, 0x00}}, {0x07, {0x02}}},
       {0x69, 0xF0}},
      {"Lc beyond the APDU", {0x80, 0x12, 0x02, 0x01, 0x05, 0xA1}, {}, {}, {}, {0x67, 0x00}},
  };
  for (const ModeCase& c : cases) {
    SCOPED_TRACE(c.name);
    m_main.reset();
    Ready();
    if (!c.startAnswer.empty()) Firmware().Script(0x01, c.startAnswer);
    if (!c.modeAnswer.empty()) Firmware().Script(0x07, c.modeAnswer);
    const TransmitResult r = Send(c.apdu);
    EXPECT_EQ(r.status, STATUS_SUCCESS);
    EXPECT_EQ(r.reply, c.reply);
    EXPECT_EQ(Firmware().Commands(), c.sent);
  }
}

TEST_F(TransmitTest, BrokenFramingFailsTheTransmit) {
  Ready();
  Firmware().Script(0x01, 1, {0x01});
  Firmware().Script(0x07, {Packet{0x04, 0x00}});
  const TransmitResult r = Send({0x80, 0x12, 0x03, 0x01, 0x00});
  EXPECT_EQ(r.status, QVX_STATUS_FRAMING);
  EXPECT_TRUE(r.reply.empty());
}

TEST_F(TransmitTest, OnlyToACardWithAProtocol) {
  Device();
  const TransmitResult r = Send({0x80, 0x12, 0x00, 0x01, 0x00});
  EXPECT_EQ(r.status, STATUS_INVALID_DEVICE_STATE);
  EXPECT_TRUE(r.reply.empty());
}

TEST_F(TransmitTest, ReplyLargerThanTheBuffer) {
  Ready();
  const TransmitResult r = Send({0x80, 0x12, 0x00, 0x01, 0x00}, 10);
  EXPECT_EQ(r.status, STATUS_BUFFER_TOO_SMALL);
  EXPECT_TRUE(r.reply.empty());
}

}  // namespace
}  // namespace qvx::testing
