// The device commands through packet exchanges, as the driver sees them.
#include <gtest/gtest.h>

#include "FirmwareHarness.h"
#include "device/ErrorBytes.h"
#include "device/Responses.h"

namespace qvx::sim {
namespace {

Bytes Text68(char fill) {
  Bytes text(68, static_cast<std::uint8_t>(fill));
  for (std::size_t row = 0; row < 4; ++row) text[row * 17] = static_cast<std::uint8_t>('A' + row);
  return text;
}

Bytes Element(std::uint8_t type, const Bytes& value) {
  Bytes element{type, static_cast<std::uint8_t>(value.size())};
  element.insert(element.end(), value.begin(), value.end());
  return element;
}

TEST(FirmwareCommandTest, VersionIsZeroTerminatedAndConfigurable) {
  Host host;
  EXPECT_EQ(host.Exchange(0x02), (Response{5, {'0', '1', '.', '2', '0', 0}}));
  host.firmware.SetVersion("02.00");
  EXPECT_EQ(host.Exchange(0x02), (Response{5, {'0', '2', '.', '0', '0', 0}}));
}

TEST(FirmwareCommandTest, CardNumbersAfterOpeningTheCard) {
  Host host;
  host.OpenCard("nl");
  EXPECT_EQ(host.Exchange(0x03),
            (Response{4, {8, 0x54, 0x12, 0x75, 0x12, 0x34, 0x56, 0x78, 0x90, 1, 0x01}}));
  EXPECT_EQ(host.firmware.CurrentLanguage(), Language::Nl);
}

// Each row: the card or slot state, then a command sequence whose last
// answer is checked.
TEST(FirmwareCommandTest, RefusalsAndTheirErrorBytes) {
  struct Case {
    const char* name;
    bool inserted;
    void (*adjust)(Card&);
    std::vector<std::pair<std::uint8_t, Bytes>> commands;
    Response last;
  };
  const auto none = [](Card&) {};
  const auto blocked = [](Card& c) { c.blocked = true; };
  const auto pinBlocked = [](Card& c) { c.pinBlocked = true; };
  const auto unsupported = [](Card& c) { c.unsupported = true; };
  const Bytes param{0, 0};
  const Case cases[] = {
      {"open without card", false, none, {{0x01, param}}, {8, {52}}},
      {"open blocked card", true, blocked, {{0x01, param}}, {8, {131}}},
      {"open unknown card type", true, unsupported, {{0x01, param}}, {8, {1}}},
      {"open with 3 parameter bytes", true, none, {{0x01, {0, 0, 0}}}, {8, {25}}},
      {"card numbers without open", true, none, {{0x03, {}}}, {8, {37}}},
      {"card numbers without card", false, none, {{0x03, {}}}, {8, {52}}},
      {"signing without open", true, none, {{0x04, {}}}, {8, {37}}},
      {"element outside a session",
       true,
       none,
       {{0x01, param}, {0x05, Element(0, {1})}},
       {8, {37}}},
      {"element of type 2",
       true,
       none,
       {{0x01, param}, {0x04, {}}, {0x05, Element(2, {1})}},
       {8, {35}}},
      {"element count overruns",
       true,
       none,
       {{0x01, param}, {0x04, {}}, {0x05, {0, 5, 1}}},
       {8, {35}}},
      {"text element of 67",
       true,
       none,
       {{0x01, param}, {0x04, {}}, {0x05, Element(1, Bytes(67, 'x'))}},
       {8, {25}}},
      {"text element with 0x8A",
       true,
       none,
       {{0x01, param},
        {0x04, {}},
        {0x05,
         [] {
           Bytes t(68, 'x');
           t[5] = 0x8A;
           return Element(1, t);
         }()}},
       {8, {25}}},
      {"sign without elements", true, none, {{0x01, param}, {0x04, {}}, {0x06, {}}}, {8, {25}}},
      {"sign with PIN blocked",
       true,
       pinBlocked,
       {{0x01, param}, {0x04, {}}, {0x05, Element(0, {1})}, {0x06, {}}},
       {8, {130}}},
      {"mode with PIN blocked", true, pinBlocked, {{0x01, param}, {0x07, {0x02}}}, {8, {130}}},
      {"mode without open", true, none, {{0x07, {0x02}}}, {8, {37}}},
      {"mode block malformed",
       true,
       none,
       {{0x01, param}, {0x07, {0x01, 0x05, 0x9F, 0x37, 0x04, 1}}},
       {8, {35}}},
      {"mode 3", true, none, {{0x01, param}, {0x07, {0x03}}}, {8, {25}}},
      {"result of 2 bytes", true, none, {{0x08, {7, 'n'}}}, {8, {25}}},
      {"result 3 without logon", true, none, {{0x08, {3, 'n', 'l'}}}, {8, {25}}},
      {"result 4 with logon",
       true,
       none,
       {{0x08,
         [] {
           Bytes b(21, 'x');
           b[0] = 4;
           b[18] = 0;
           return b;
         }()}},
       {8, {25}}},
      {"unknown command", true, none, {{0x09, {}}}, {8, {37}}},
      {"version with data", true, none, {{0x02, {1}}}, {8, {25}}},
      {"too much data", true, none, {{0x05, Bytes(25601, 0)}}, {8, {40}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FirmwareConfig config;
    config.cardInserted = c.inserted;
    c.adjust(config.card);
    Host host(config);
    std::optional<Response> last;
    for (const auto& [command, data] : c.commands) last = host.Exchange(command, data);
    EXPECT_EQ(last, c.last);
    EXPECT_FALSE(host.firmware.Busy());
  }
}

TEST(FirmwareCommandTest, GetResponseSignsEveryElementByte) {
  Host host;
  host.OpenCard("en");
  ASSERT_EQ(host.Exchange(0x04), (Response{2, {}}));
  const Bytes raw = Element(0, {0xCC, 0xDD});
  const Bytes text = Element(1, Text68('x'));
  ASSERT_EQ(host.Exchange(0x05, raw), (Response{2, {}}));
  ASSERT_EQ(host.Exchange(0x05, text), (Response{2, {}}));
  EXPECT_EQ(host.firmware.display().Lines()[0], "Axxxxxxxxxxxxxxxx");
  EXPECT_EQ(host.firmware.display().Lines()[3], "Dxxxxxxxxxxxxxxxx");

  EXPECT_TRUE(host.Command(0x06).empty());  // the customer is asked
  EXPECT_EQ(host.firmware.display().Lines().size(), 5u);
  EXPECT_EQ(host.firmware.display().Lines()[4], "Enter PIN + OK");
  host.Wait(Millis{200});

  Bytes all = raw;
  all.insert(all.end(), text.begin(), text.end());
  Bytes message{0x03};
  message.insert(message.end(), all.begin(), all.end());
  EXPECT_EQ(ParseResponse(host.Out()), (Response{3, SipHash24Bytes(DefaultCardKey(), message)}));
}

TEST(FirmwareCommandTest, Mode1ResponseCoversChallengeAmountCurrency) {
  struct Case {
    Bytes amount, currency;
    std::vector<std::string> screen;
  };
  const Case cases[] = {
      {{}, {}, {"Code 12345678", "Enter PIN + OK"}},
      {{0, 0, 0, 0x01, 0x23, 0x45},
       {0x09, 0x78},
       {"Code 12345678", "EUR 123.45", "Enter PIN + OK"}},
      {{0, 0, 0, 0, 0, 0x07}, {0x01, 0x24}, {"Code 12345678", "0124 0.07", "Enter PIN + OK"}},
  };
  for (const Case& c : cases) {
    Host host;
    host.OpenCard();
    EXPECT_TRUE(
        host.Command(0x07, Mode1Block({0x12, 0x34, 0x56, 0x78}, c.amount, c.currency)).empty());
    EXPECT_EQ(host.firmware.display().Lines(), c.screen);
    host.Wait(Millis{200});
    Bytes message{0x01, 0x12, 0x34, 0x56, 0x78};
    message.insert(message.end(), c.amount.begin(), c.amount.end());
    message.insert(message.end(), c.currency.begin(), c.currency.end());
    EXPECT_EQ(ParseResponse(host.Out()), (Response{3, SipHash24Bytes(DefaultCardKey(), message)}));
  }
}

TEST(FirmwareCommandTest, Mode2CountsUpPerCardAndRestartsWithANewCard) {
  Host host;
  std::vector<Bytes> responses;
  for (int round = 0; round < 2; ++round) {
    host.OpenCard();
    EXPECT_TRUE(host.Command(0x07, {0x02}).empty());
    host.Wait(Millis{200});
    const auto r = ParseResponse(host.Out());
    ASSERT_TRUE(r);
    EXPECT_EQ(r->data, ComputeResponse(DefaultCardKey(),
                                       Mode2Message(static_cast<std::uint32_t>(round + 1))));
    responses.push_back(r->data);
  }
  EXPECT_NE(responses[0], responses[1]);

  host.firmware.ChangeCard(DefaultCard(), host.now);
  host.Out();
  host.OpenCard();
  host.Command(0x07, {0x02});
  host.Wait(Millis{200});
  EXPECT_EQ(ParseResponse(host.Out())->data, responses[0]);
}

TEST(FirmwareCommandTest, DisplayResultTexts) {
  struct Case {
    Bytes request;
    std::string shown;
  };
  Bytes logon{3};
  for (const char c : std::string("01 Jan 24, 09:30h"))
    logon.push_back(static_cast<std::uint8_t>(c));
  logon.push_back(0);
  Bytes logonNl = logon;
  logon.push_back('0');
  logon.push_back('0');
  logonNl.push_back('n');
  logonNl.push_back('l');
  const Case cases[] = {
      {{7, 'n', 'l'}, "Niet ondertekend"},
      {{7, 'e', 'n'}, "Signing failed"},
      {{1, 'N', 'L'}, "Ingelogd"},
      {{1, 'd', 'e'}, "Logged in"},
      {{1, '0', '0'}, "Logged in"},
      {{200, 'n', 'l'}, "Bericht 200"},
      {{200, 'f', 'r'}, "Message 200"},
      {logon, "Last logon:|01 Jan 24, 09:30h"},
      {logonNl, "Vorige login:|01 Jan 24, 09:30h"},
  };
  for (const Case& c : cases) {
    Host host;
    EXPECT_EQ(host.Exchange(0x08, c.request), (Response{2, {}}));
    EXPECT_EQ(host.firmware.display().Joined(), c.shown);
  }
}

TEST(FirmwareCommandTest, InjectionsAnswerTheNextCommandOnce) {
  struct Case {
    Injection injection;
    std::vector<Packet> packets;
  };
  const auto inj = [](Injection::Kind kind, std::uint8_t byte, Malformed malformed) {
    Injection injection;
    injection.kind = kind;
    injection.errorByte = byte;
    injection.malformed = malformed;
    return injection;
  };
  using IK = Injection::Kind;
  const Case cases[] = {
      {inj(IK::Rc6, 0, Malformed::Count7), {{1, 3, 6, 0, 0, 0, 0, 0}}},
      {inj(IK::Rc8, 36, Malformed::Count7), {{1, 3, 8, 1, 0, 0, 0, 0}, {0, 1, 36, 0, 0, 0, 0, 0}}},
      {inj(IK::Malformed, 0, Malformed::Count7),
       {{1, 3, 5, 6, 0, 0, 0, 0}, {0, 7, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}}},
      {inj(IK::Malformed, 0, Malformed::Count0),
       {{1, 3, 5, 6, 0, 0, 0, 0}, {0, 0, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}}},
      {inj(IK::Malformed, 0, Malformed::Length257), {{1, 3, 5, 1, 1, 0, 0, 0}}},
      {inj(IK::Malformed, 0, Malformed::WrongType), {{5, 3, 5, 0, 0, 0, 0, 0}}},
  };
  for (const Case& c : cases) {
    Host host;
    host.firmware.Arm(c.injection);
    EXPECT_EQ(host.Command(0x02), c.packets) << Describe(c.injection);
    EXPECT_EQ(host.Exchange(0x02)->code, 5) << "only once";
  }
}

TEST(FirmwareCommandTest, InjectionReplacesTheCustomerDialogue) {
  Host host;
  host.OpenCard();
  Injection injection;
  injection.kind = Injection::Kind::Rc8;
  injection.errorByte = 0x24;
  host.firmware.Arm(injection);
  EXPECT_EQ(host.Exchange(0x07, {0x02}), (Response{8, {0x24}}));
  EXPECT_FALSE(host.firmware.Busy());
}

TEST(FirmwareCommandTest, FramingOfHostData) {
  Host host;
  // The header announces 2 bytes; they come in two packets of one.
  host.Send(CommandHeader(0x01, 2));
  host.Send(Packet{0x00, 0x01, 'e', 0, 0, 0, 0, 0});
  EXPECT_TRUE(host.Out().empty());
  host.Send(Packet{0x00, 0x01, 'n', 0, 0, 0, 0, 0});
  EXPECT_EQ(ParseResponse(host.Out()), (Response{1, {1}}));

  // A data packet claiming 7 bytes ends the command with an input error.
  host.Send(CommandHeader(0x08, 3));
  host.Send(Packet{0x00, 0x07, 1, 2, 3, 4, 5, 6});
  EXPECT_EQ(ParseResponse(host.Out()), (Response{8, {25}}));

  // Stray data and unknown packet types are ignored.
  host.Send(Packet{0x00, 0x02, 1, 2, 0, 0, 0, 0});
  host.Send(Packet{0x07, 0x00, 0, 0, 0, 0, 0, 0});
  EXPECT_TRUE(host.Out().empty());
  EXPECT_FALSE(host.firmware.Busy());
}

TEST(FirmwareCommandTest, NothingIsSentWhileDisconnected) {
  Host host;
  host.firmware.Disconnect(host.now);
  host.Send(CommandPackets(0x02, {}));
  host.firmware.RemoveCard(host.now);
  EXPECT_TRUE(host.Out().empty());
  host.firmware.Connect(host.now);
  EXPECT_EQ(host.Exchange(0x02)->code, 5);
}

}  // namespace
}  // namespace qvx::sim
