// Card power against a scripted device: the reset packets, ATR collection
// and its failures, and protocol selection.
#include <gtest/gtest.h>

#include <algorithm>

#include <future>
#include <vector>

#include "ReaderFixture.h"
#include "reader/Atr.h"
#include "reader/ServedVendorCodes.h"

namespace qvx::testing {
namespace {

using namespace qvx::driver;

// TD1 announces T=0, TD2 T=1 (so a TCK follows), one historical byte.
const Bytes kAtrT0T1{0x3B, 0x81, 0x80, 0x01, 0x80, 0x80};
const Bytes kAtrT0{0x3B, 0x02, 0x14, 0x50};

// One data packet as the device sends it; the codec makes none for no bytes,
// which the device never sends but a broken one might.
Packet DataPacket(const Bytes& bytes) {
  return bytes.empty() ? Packet{} : qvx::sim::DataPackets(bytes).front();
}

class ReaderCardPowerTest : public ReaderFixture {
 protected:
  struct PowerResult {
    NTSTATUS status;
    Bytes atr;
  };
  PowerResult Power(PowerAction action, std::size_t capacity = 33) {
    std::vector<std::uint8_t> out(capacity);
    std::size_t returned = 99;
    PowerResult r;
    r.status = Device().CardPower(action, out.data(), capacity, &returned);
    r.atr.assign(out.begin(),
                 out.begin() + static_cast<std::ptrdiff_t>(std::min(returned, capacity)));
    return r;
  }
  CardState State() {
    CardState state{};
    EXPECT_EQ(Device().GetCardState(&state), STATUS_SUCCESS);
    return state;
  }
  bool WrotePowerOff() {
    for (const Packet& p : Firmware().Written()) {
      if (p[0] == 0x02 && p[1] == 0x0B) return true;
    }
    return false;
  }
};

TEST_F(ReaderCardPowerTest, ColdAndWarmResetCollectTheAtr) {
  // Direct-convention T=1 byte after byte, checksum included.
  Bytes atr{0x3B, 0x80, 0x80, 0x01};
  std::uint8_t tck = 0;
  for (std::size_t i = 1; i < atr.size(); ++i) tck ^= atr[i];
  atr.push_back(tck);
  Firmware().SetAtr(AtrPackets(atr, 2));
  const PowerResult cold = Power(PowerAction::ColdReset);
  ASSERT_EQ(cold.status, STATUS_SUCCESS);
  EXPECT_EQ(cold.atr, atr);
  EXPECT_EQ(State(), CardState::Negotiable);
  EXPECT_EQ(Firmware().Written().back(), sim::ReaderControlPacket(wire::kColdReset));

  Firmware().SetAtr(AtrPackets(kAtrT0));
  const PowerResult warm = Power(PowerAction::WarmReset);
  ASSERT_EQ(warm.status, STATUS_SUCCESS);
  EXPECT_EQ(warm.atr, kAtrT0);
  EXPECT_EQ(Firmware().Written().back(), sim::ReaderControlPacket(wire::kWarmReset));
}

struct AtrFailure {
  const char* name;
  Packets packets;
  NTSTATUS status;
  CardState state;
  bool powerOff;
};

TEST_F(ReaderCardPowerTest, ResetFailures) {
  Packets overlong;
  for (int i = 0; i < 6; ++i) overlong.push_back(DataPacket({0x3B, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
  const AtrFailure cases[] = {
      {"first packet of one byte",
       {DataPacket({0x3B})},
       STATUS_UNRECOGNIZED_MEDIA,
       CardState::Swallowed,
       true},
      {"first packet empty", {DataPacket({})}, STATUS_NO_MEDIA, CardState::Present, false},
      {"count above six",
       {DataPacket({0x3B, 0x0F}), Packet{0x00, 0x07, 1, 2, 3, 4, 5, 6}},
       STATUS_UNRECOGNIZED_MEDIA,
       CardState::Present,
       false},
      {"other control packet",
       {sim::ReaderControlPacket(0x05)},
       STATUS_IO_TIMEOUT,
       CardState::Swallowed,
       true},
      {"header packet",
       {sim::EventPacket(0x05)},
       STATUS_UNRECOGNIZED_MEDIA,
       CardState::Present,
       false},
      {"more than 33 bytes", overlong, STATUS_IO_TIMEOUT, CardState::Swallowed, true},
      {"wrong check byte",
       {DataPacket({0x3B, 0x80, 0x01, 0x00})},
       STATUS_UNRECOGNIZED_MEDIA,
       CardState::Present,
       false},
  };
  for (const AtrFailure& c : cases) {
    SCOPED_TRACE(c.name);
    m_main.reset();
    Firmware().SetAtr(c.packets);
    const PowerResult r = Power(PowerAction::ColdReset);
    EXPECT_EQ(r.status, c.status);
    EXPECT_TRUE(r.atr.empty());
    EXPECT_EQ(State(), c.state);
    EXPECT_EQ(WrotePowerOff(), c.powerOff);
  }
}

// The card leaves while it is being reset: the device answers with a card
// status instead of (the rest of) the ATR. The reset ends at once with "no
// media", and the device is fenced off: ATR packets it had queued may still
// come after the card status.
TEST_F(ReaderCardPowerTest, CardPulledDuringTheResetEndsItWithNoMedia) {
  const struct {
    const char* name;
    Packets device;
  } cases[] = {
      {"card status first, the ATR behind it",
       {sim::CardStatusPacket(false), DataPacket({0x3B, 0x02}), DataPacket({0x14, 0x50})}},
      {"pulled after the first ATR packet",
       {DataPacket({0x3B, 0x02}), sim::CardStatusPacket(false)}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    m_main.reset();
    Firmware().SetAtr(c.device);
    Firmware().ClearLog();
    const PowerResult r = Power(PowerAction::ColdReset);
    EXPECT_EQ(r.status, STATUS_NO_MEDIA);
    EXPECT_EQ(State(), CardState::Absent);
    const Packets written = Firmware().Written();
    EXPECT_NE(std::find(written.begin(), written.end(), qvx::sim::CommandHeader(0x02, 0)),
              written.end())
        << "no fence";
    // What the device still sent is gone: the next request reads its own answer.
    Firmware().Script(0x02, 5, {'0', '1', '.', '2', '0', 0x00});
    EXPECT_EQ(Control(kCheckDevice).status, STATUS_SUCCESS);
    EXPECT_EQ(LastError(), (LastErrorRecord{0, 0, 0, 0}));
  }
}

TEST_F(ReaderCardPowerTest, LeadingBytesBeforeTheAtrAreDropped) {
  Firmware().SetAtr({DataPacket({0x00, 0x11}), DataPacket({0x3B, 0x02}), DataPacket({0x14, 0x50})});
  const PowerResult r = Power(PowerAction::ColdReset);
  ASSERT_EQ(r.status, STATUS_SUCCESS);
  EXPECT_EQ(r.atr, kAtrT0);
}

TEST_F(ReaderCardPowerTest, ReadFailureWhileCollectingMeansNoCard) {
  Firmware().SetAtr({});
  auto power = std::async(std::launch::async, [this] { return Power(PowerAction::ColdReset); });
  ASSERT_TRUE(Firmware().WaitForWritten(2));  // the status query, then the reset
  ASSERT_EQ(Firmware().Written().back(), sim::ReaderControlPacket(wire::kColdReset));
  Main().edge->FailAllIn(STATUS_DEVICE_REMOVED);
  EXPECT_EQ(power.get().status, STATUS_NO_MEDIA);
  EXPECT_EQ(State(), CardState::Absent);
}

TEST_F(ReaderCardPowerTest, NoCardNoPower) {
  m_main = StartedDevice(0, /*card=*/false);
  Firmware().ClearLog();
  for (PowerAction action :
       {PowerAction::ColdReset, PowerAction::WarmReset, PowerAction::PowerDown}) {
    EXPECT_EQ(Power(action).status, STATUS_NO_MEDIA);
  }
  EXPECT_TRUE(Firmware().Written().empty());
}

TEST_F(ReaderCardPowerTest, AtrBufferTooSmall) {
  Firmware().SetAtr(AtrPackets(kAtrT0));
  const PowerResult r = Power(PowerAction::ColdReset, 3);
  EXPECT_EQ(r.status, STATUS_BUFFER_TOO_SMALL);
  EXPECT_TRUE(r.atr.empty());
}

TEST_F(ReaderCardPowerTest, PowerDownKeepsThePresentCard) {
  Firmware().SetAtr(AtrPackets(kAtrT0T1));
  ASSERT_EQ(Power(PowerAction::ColdReset).status, STATUS_SUCCESS);
  std::uint32_t selected = 0;
  ASSERT_EQ(Device().SetProtocol(kProtocolT1, &selected), STATUS_SUCCESS);
  const PowerResult down = Power(PowerAction::PowerDown);
  EXPECT_EQ(down.status, STATUS_SUCCESS);
  EXPECT_TRUE(down.atr.empty());
  EXPECT_EQ(State(), CardState::Present);
  EXPECT_TRUE(WrotePowerOff());
  EXPECT_EQ(Device().Card().SelectedProtocol(), 0u);
}

TEST_F(ReaderCardPowerTest, ResetAfterAProtocolWasChosenIsSpecificAgain) {
  Firmware().SetAtr(AtrPackets(kAtrT0T1));
  ASSERT_EQ(Power(PowerAction::ColdReset).status, STATUS_SUCCESS);
  std::uint32_t selected = 0;
  ASSERT_EQ(Device().SetProtocol(kProtocolT1, &selected), STATUS_SUCCESS);
  ASSERT_EQ(Power(PowerAction::WarmReset).status, STATUS_SUCCESS);
  EXPECT_EQ(State(), CardState::Specific);
}

struct ProtocolCase {
  const char* name;
  Bytes atr;
  std::uint32_t requested;
  std::uint32_t selected;
  CardState state;
};

TEST_F(ReaderCardPowerTest, ProtocolSelection) {
  const Bytes& both = kAtrT0T1;
  const ProtocolCase cases[] = {
      {"T=1 preferred", both, kProtocolT0 | kProtocolT1, kProtocolT1, CardState::Specific},
      {"T=0 asked", both, kProtocolT0, kProtocolT0, CardState::Specific},
      {"T=0 card", kAtrT0, kProtocolT0 | kProtocolT1, kProtocolT0, CardState::Specific},
      {"nothing in common", kAtrT0, kProtocolT1, 0, CardState::Negotiable},
  };
  for (const ProtocolCase& c : cases) {
    SCOPED_TRACE(c.name);
    m_main.reset();
    Firmware().SetAtr(AtrPackets(c.atr));
    ASSERT_EQ(Power(PowerAction::ColdReset).status, STATUS_SUCCESS);
    std::uint32_t selected = 99;
    EXPECT_EQ(Device().SetProtocol(c.requested, &selected), STATUS_SUCCESS);
    EXPECT_EQ(selected, c.selected);
    EXPECT_EQ(State(), c.state);
  }
}

TEST_F(ReaderCardPowerTest, SpecificCardKeepsItsProtocol) {
  Firmware().SetAtr(AtrPackets(kAtrT0T1));
  ASSERT_EQ(Power(PowerAction::ColdReset).status, STATUS_SUCCESS);
  std::uint32_t selected = 0;
  ASSERT_EQ(Device().SetProtocol(kProtocolT0, &selected), STATUS_SUCCESS);
  ASSERT_EQ(Device().SetProtocol(kProtocolT0 | kProtocolT1, &selected), STATUS_SUCCESS);
  EXPECT_EQ(selected, kProtocolT0);
}

}  // namespace
}  // namespace qvx::testing
