// Waiting for the customer: scripts, keys, the time limit, aborts.
#include <gtest/gtest.h>

#include "FirmwareHarness.h"

namespace qvx::sim {
namespace {

const Packet kTimeoutHeader{0x01, 0x03, 0x06, 0, 0, 0, 0, 0};

// Starts a mode 2 dialogue: the device is waiting for the customer.
Host WaitingHost(const CustomerScript& script, Millis limit = Millis{30000}) {
  FirmwareConfig config;
  config.customer = script;
  config.customerTimeout = limit;
  Host host(config);
  host.OpenCard();
  EXPECT_TRUE(host.Command(0x07, {0x02}).empty());
  EXPECT_TRUE(host.firmware.WaitingForCustomer());
  return host;
}

TEST(FirmwareCustomerTest, ScriptsActAtTheirTime) {
  using SK = CustomerScript::Kind;
  struct Case {
    const char* name;
    CustomerScript script;
    Millis limit;
    Millis actsAt;
    std::uint8_t firstByte;  // 0x01 header, then the third byte tells which
    std::uint8_t thirdByte;
    std::string display;
  };
  const Case cases[] = {
      {"approve 200",
       {SK::Approve, Millis{200}},
       Millis{30000},
       Millis{200},
       0x01,
       0x03,
       "Confirmed"},
      {"approve 0", {SK::Approve, Millis{0}}, Millis{30000}, Millis{0}, 0x01, 0x03, "Confirmed"},
      {"cancel 500",
       {SK::Cancel, Millis{500}},
       Millis{30000},
       Millis{500},
       0x01,
       0x07,
       "Cancelled"},
      {"never", {SK::Never, Millis{0}}, Millis{30000}, Millis{30000}, 0x01, 0x06, "Time-out"},
      {"approve after the limit",
       {SK::Approve, Millis{900}},
       Millis{800},
       Millis{800},
       0x01,
       0x06,
       "Time-out"},
      {"approve at the limit",
       {SK::Approve, Millis{800}},
       Millis{800},
       Millis{800},
       0x01,
       0x06,
       "Time-out"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Host host = WaitingHost(c.script, c.limit);
    if (c.actsAt.count() > 0) {
      host.Wait(c.actsAt - Millis{1});
      EXPECT_TRUE(host.Out().empty());
      EXPECT_TRUE(host.firmware.WaitingForCustomer());
      EXPECT_EQ(host.firmware.NextDeadline(), host.now + Millis{1});
      host.Wait(Millis{1});
    } else {
      host.Wait(Millis{0});
    }
    const auto out = host.Out();
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(out[0][0], c.firstByte);
    EXPECT_EQ(out[0][2], c.thirdByte);
    if (c.thirdByte == 0x07) {
      EXPECT_EQ(out, std::vector<Packet>{Event(0x07)});
    }
    if (c.thirdByte == 0x06) {
      EXPECT_EQ(out, std::vector<Packet>{kTimeoutHeader});
    }
    EXPECT_FALSE(host.firmware.Busy());
    EXPECT_FALSE(host.firmware.NextDeadline());
    EXPECT_EQ(host.firmware.display().Joined(), c.display);
  }
}

TEST(FirmwareCustomerTest, KeypadPinThenOk) {
  Host host = WaitingHost({CustomerScript::Kind::Never, Millis{0}});
  const auto press = [&host](KeyPress::Kind kind, char digit = '0') {
    return host.firmware.Press(KeyPress{kind, digit}, host.now);
  };
  EXPECT_FALSE(press(KeyPress::Kind::Ok)) << "OK needs a PIN";
  for (const char d : std::string("987")) EXPECT_TRUE(press(KeyPress::Kind::Digit, d));
  EXPECT_EQ(host.firmware.display().Lines().back(), "PIN: ***");
  EXPECT_FALSE(press(KeyPress::Kind::Ok)) << "three digits are too few";
  EXPECT_TRUE(press(KeyPress::Kind::Digit, '6'));
  EXPECT_TRUE(host.Out().empty());
  EXPECT_TRUE(press(KeyPress::Kind::Ok));
  const auto response = ParseResponse(host.Out());
  ASSERT_TRUE(response);
  EXPECT_EQ(response->code, 3);
  EXPECT_EQ(response->data.size(), 8u);
  EXPECT_FALSE(press(KeyPress::Kind::Cancel)) << "nothing to cancel";
}

TEST(FirmwareCustomerTest, CancelKey) {
  Host host = WaitingHost({CustomerScript::Kind::Approve, Millis{5000}});
  EXPECT_TRUE(host.firmware.Press(KeyPress{KeyPress::Kind::Cancel, '0'}, host.now));
  EXPECT_EQ(host.Out(), std::vector<Packet>{Event(0x07)});
  host.Wait(Millis{6000});
  EXPECT_TRUE(host.Out().empty()) << "the script no longer acts";
}

TEST(FirmwareCustomerTest, ChangingTheScriptMidWaitCountsFromNow) {
  Host host = WaitingHost({CustomerScript::Kind::Never, Millis{0}});
  host.Wait(Millis{1000});
  host.firmware.SetCustomer({CustomerScript::Kind::Approve, Millis{100}}, host.now);
  host.Wait(Millis{99});
  EXPECT_TRUE(host.Out().empty());
  host.Wait(Millis{1});
  EXPECT_EQ(ParseResponse(host.Out())->code, 3);
}

TEST(FirmwareCustomerTest, AbortEndsWhateverIsGoingOn) {
  struct Case {
    const char* name;
    void (*start)(Host&);
    bool answered;  // the device sends 01 03 0B
  };
  const Case cases[] = {
      {"idle", [](Host&) {}, false},
      {"after version", [](Host& h) { h.Exchange(0x02); }, false},
      {"waiting for the customer",
       [](Host& h) {
         h.OpenCard();
         h.Command(0x07, {0x02});
       },
       true},
      {"card opened", [](Host& h) { h.OpenCard(); }, true},
      {"signing session",
       [](Host& h) {
         h.OpenCard();
         h.Exchange(0x04);
       },
       true},
      {"half-received command",
       [](Host& h) {
         h.Send(CommandHeader(0x07, 23));
         h.Send(DataPackets(Mode1Block({1, 2, 3, 4}))[0]);
       },
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Host host;
    c.start(host);
    host.Out();
    host.Send(AbortPacket(0x05));
    const auto out = host.Out();
    if (c.answered) {
      EXPECT_EQ(out, std::vector<Packet>{Event(0x0B)});
    } else {
      EXPECT_TRUE(out.empty());
    }
    EXPECT_FALSE(host.firmware.Busy());
    host.Wait(Millis{60000});
    EXPECT_TRUE(host.Out().empty()) << "nothing left running";
    EXPECT_EQ(host.Exchange(0x02)->code, 5) << "idle again";
  }
}

TEST(FirmwareCustomerTest, BusyDeviceRefusesANewCommandAndKeepsWaiting) {
  Host host = WaitingHost({CustomerScript::Kind::Approve, Millis{300}});
  EXPECT_EQ(host.Exchange(0x02), (Response{8, {37}}));
  host.Send(ReaderControlPacket(0x09));
  EXPECT_EQ(host.Out(), std::vector<Packet>{CardStatusPacket(true)});
  host.Wait(Millis{300});
  EXPECT_EQ(ParseResponse(host.Out())->code, 3);
}

TEST(FirmwareCustomerTest, CardRemovedWhileWaiting) {
  Host host = WaitingHost({CustomerScript::Kind::Never, Millis{0}});
  EXPECT_TRUE(host.firmware.RemoveCard(host.now));
  const auto out = host.Out();
  ASSERT_EQ(out.size(), 3u);
  EXPECT_EQ(out[0], CardStatusPacket(false));
  EXPECT_EQ(ParseResponse({out[1], out[2]}), (Response{8, {52}}));
  EXPECT_FALSE(host.firmware.Busy());
}

TEST(FirmwareCustomerTest, DisconnectLeavesTheDeviceIdle) {
  Host host = WaitingHost({CustomerScript::Kind::Approve, Millis{300}});
  host.firmware.Disconnect(host.now);
  EXPECT_FALSE(host.firmware.Busy());
  host.firmware.Connect(host.now);
  host.Wait(Millis{1000});
  EXPECT_TRUE(host.Out().empty());
}

TEST(FirmwareReaderTest, ReaderControl) {
  struct Case {
    const char* name;
    bool inserted;
    std::uint8_t selector;
    std::vector<Packet> expected;
    bool powered;
  };
  const std::vector<Packet> atr = DataPackets(CardAtr());
  const Case cases[] = {
      {"cold reset", true, 0x01, atr, true},
      {"warm reset", true, 0x15, atr, true},
      {"cold reset, no card", false, 0x01, {CardStatusPacket(false)}, false},
      {"warm reset, no card", false, 0x15, {CardStatusPacket(false)}, false},
      {"power off", true, 0x0B, {}, false},
      {"status, card", true, 0x09, {CardStatusPacket(true)}, false},
      {"status, no card", false, 0x09, {CardStatusPacket(false)}, false},
      {"unknown selector", true, 0x33, {}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FirmwareConfig config;
    config.cardInserted = c.inserted;
    Host host(config);
    host.Send(ReaderControlPacket(c.selector));
    EXPECT_EQ(host.Out(), c.expected);
    EXPECT_EQ(host.firmware.CardPowered(), c.powered);
  }
}

TEST(FirmwareReaderTest, AtrPacketsMeetTheReadersRules) {
  const std::vector<Packet> packets = DataPackets(CardAtr());
  ASSERT_FALSE(packets.empty());
  EXPECT_GT(packets[0][1], 1) << "a first packet of one byte means a swallowed card";
  Bytes collected;
  for (std::size_t i = 0; i < packets.size(); ++i) {
    collected.insert(collected.end(), packets[i].begin() + 2,
                     packets[i].begin() + 2 + packets[i][1]);
    const auto complete = AtrCompleteLength(collected);
    EXPECT_EQ(complete && *complete == collected.size(), i + 1 == packets.size()) << i;
  }
}

TEST(FirmwareReaderTest, InsertAndRemoveAreAnnounced) {
  FirmwareConfig config;
  config.cardInserted = false;
  Host host(config);
  EXPECT_TRUE(host.firmware.InsertCard(host.now));
  EXPECT_FALSE(host.firmware.InsertCard(host.now));
  host.Send(ReaderControlPacket(0x01));
  host.Out();
  EXPECT_TRUE(host.firmware.CardPowered());
  EXPECT_TRUE(host.firmware.RemoveCard(host.now));
  EXPECT_FALSE(host.firmware.CardPowered());
  EXPECT_FALSE(host.firmware.RemoveCard(host.now));
  EXPECT_EQ(host.Out(), std::vector<Packet>{CardStatusPacket(false)});
  EXPECT_EQ(host.firmware.display().Joined(), "Quorvex2 01.20|Insert card");
}

}  // namespace
}  // namespace qvx::sim
