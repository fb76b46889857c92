// Requests from payload to command: the command table, parameter texts, the
// Name conversion and the refusals with their two log lines.
#include <cmath>
#include <limits>

#include "ProtocolFixture.h"
#include "contract/ControlCodes.h"
#include "json/JsonValue.h"
#include "protocol/HandleMessage.h"

namespace qvx::testing {
namespace {

using qvx::contract::ControlIndex;
using qvx::protocol::HandleMessage;

struct AcceptedCase {
  const char* name;
  std::string payload;
  ControlIndex index;         // the vendor request the command sent
  std::vector<BYTE> request;  // its bytes
};

void PrintTo(const AcceptedCase& c, std::ostream* os) { *os << c.name; }

class AcceptedTest : public ProtocolFixture, public ::testing::WithParamInterface<AcceptedCase> {};

TEST_P(AcceptedTest, RunsTheCommandWithItsArguments) {
  const AcceptedCase& c = GetParam();
  const auto handled = HandleMessage(Factory(), c.payload);

  EXPECT_TRUE(handled.accepted);
  EXPECT_EQ(handled.reply.rfind("Status=", 0), 0u) << handled.reply;
  ASSERT_EQ(Fakes().size(), 1u);
  const FakeSCard& fake = Fakes().front();
  const auto requests = fake.ControlCalls(qvx::contract::ControlCode(c.index).pcscCode);
  ASSERT_EQ(requests.size(), 1u) << handled.reply;
  EXPECT_EQ(requests[0].request, c.request);
  EXPECT_EQ(fake.OpenContexts(), 0) << "command object outlived its request";
}

INSTANTIATE_TEST_SUITE_P(
    CommandTable, AcceptedTest,
    ::testing::Values(
        AcceptedCase{"CheckConnectionNoParams", R"({"Name":1})", ControlIndex::CheckDevice, {}},
        AcceptedCase{"CheckConnectionEmptyParams",
                     R"({"Name":1,"Params":[]})",
                     ControlIndex::CheckDevice,
                     {}},
        AcceptedCase{
            "CheckCard", R"({"Name":2,"Params":["nl"]})", ControlIndex::CheckCard, {'n', 'l'}},
        AcceptedCase{"NameTruncated",
                     R"({"Name":2.9,"Params":["nl"]})",
                     ControlIndex::CheckCard,
                     {'n', 'l'}},
        AcceptedCase{"LaterNameWins",
                     R"({"Name":1,"Name":2,"Params":["nl"]})",
                     ControlIndex::CheckCard,
                     {'n', 'l'}},
        AcceptedCase{"OtherMembersIgnored",
                     R"({"Id":9,"Name":2,"Params":["nl"],"x":[]})",
                     ControlIndex::CheckCard,
                     {'n', 'l'}},
        AcceptedCase{"GetResponse",
                     R"({"Name":3,"Params":["0102CCDD","en"]})",
                     ControlIndex::GetResponse,
                     {0x01, 0x02, 0xCC, 0xDD, 'e', 'n'}},
        AcceptedCase{"Mode1EmptyCurrencyAmount",
                     R"({"Name":4,"Params":["12345678","",""]})",
                     ControlIndex::GetMode1Response,
                     {0x04, 0x12, 0x34, 0x56, 0x78}},
        AcceptedCase{"Mode1NumberChallenge",
                     R"({"Name":4,"Params":[12345678,"",""]})",
                     ControlIndex::GetMode1Response,
                     {0x04, 0x12, 0x34, 0x56, 0x78}},
        AcceptedCase{"Mode2", R"({"Name":5})", ControlIndex::GetMode2Response, {}},
        AcceptedCase{"Mode2ParamsNotArray",
                     R"({"Name":5,"Params":"x"})",
                     ControlIndex::GetMode2Response,
                     {}},
        AcceptedCase{"DisplayText",
                     R"({"Name":6,"Params":["7","","nl"]})",
                     ControlIndex::DisplayResult,
                     {7, 'n', 'l'}},
        AcceptedCase{"DisplayNumber",
                     R"({"Name":6,"Params":[7,"","nl"]})",
                     ControlIndex::DisplayResult,
                     {7, 'n', 'l'}},
        AcceptedCase{"DisplayLow16Bits",
                     R"({"Name":6,"Params":["65543","","nl"]})",
                     ControlIndex::DisplayResult,
                     {7, 'n', 'l'}},
        AcceptedCase{"DisplayNoDigits",
                     R"({"Name":6,"Params":["abc","","nl"]})",
                     ControlIndex::DisplayResult,
                     {0, 'n', 'l'}},
        AcceptedCase{"DisplayNegativeWraps",
                     R"({"Name":6,"Params":[" -65529x","","nl"]})",
                     ControlIndex::DisplayResult,
                     {7, 'n', 'l'}},
        // A binary message may carry a zero byte; the request ends there.
        AcceptedCase{"ZeroByteEndsPayload",
                     std::string("{\"Name\":5}\0junk", 15),
                     ControlIndex::GetMode2Response,
                     {}}),
    CaseName<AcceptedCase>);

TEST_F(ProtocolFixture, CancelRepliesWithTheEmptyText) {
  const auto handled = HandleMessage(Factory(), R"({"Name":7})");
  EXPECT_TRUE(handled.accepted);
  EXPECT_EQ(handled.reply, "");
  ASSERT_EQ(Fakes().size(), 1u);
  EXPECT_EQ(Fakes().front().CallsTo("Connect").size(), 1u);
}

TEST_F(ProtocolFixture, FailedCancelStillRepliesEmpty) {
  // Without a reader the cancel fails; only the log learns of it.
  withoutReader = true;
  const auto handled = HandleMessage(Factory(), R"({"Name":7})");
  EXPECT_TRUE(handled.accepted);
  EXPECT_EQ(handled.reply, "");
  ASSERT_EQ(Fakes().size(), 1u);
  EXPECT_TRUE(Fakes().front().CallsTo("Connect").empty());
  EXPECT_FALSE(LogLines().empty());
}

struct RefusedCase {
  const char* name;
  std::string payload;
  bool buildsCommand;  // the request got as far as the command table
};

void PrintTo(const RefusedCase& c, std::ostream* os) { *os << c.name; }

class RefusedTest : public ProtocolFixture, public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(RefusedTest, IsRefusedWithTwoLogLinesAndNoDeviceContact) {
  const RefusedCase& c = GetParam();
  const auto handled = HandleMessage(Factory(), c.payload);

  EXPECT_FALSE(handled.accepted);
  // A command object is built and released even for an unknown number; the
  // reader itself is never touched.
  ASSERT_EQ(Fakes().size(), c.buildsCommand ? 1u : 0u);
  for (const FakeSCard& fake : Fakes()) {
    EXPECT_TRUE(fake.CallsTo("Connect").empty());
    EXPECT_EQ(fake.OpenContexts(), 0);
  }
  const auto lines = LogLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_TRUE(EndsWith(lines[0], " [ERR] [WSS] Payload: " + c.payload)) << lines[0];
  EXPECT_TRUE(EndsWith(lines[1], " [ERR] [WSS] Payload is not supported.")) << lines[1];
}

INSTANTIATE_TEST_SUITE_P(
    Refusals, RefusedTest,
    ::testing::Values(
        RefusedCase{"CheckConnectionOneParam", R"({"Name":1,"Params":["x"]})", true},
        RefusedCase{"CheckCardNoParams", R"({"Name":2})", true},
        RefusedCase{"CheckCardTwoParams", R"({"Name":2,"Params":["nl","x"]})", true},
        RefusedCase{"GetResponseOneParam", R"({"Name":3,"Params":["0102CCDD"]})", true},
        RefusedCase{"GetResponseThreeParams", R"({"Name":3,"Params":["a","b","c"]})", true},
        RefusedCase{"Mode1TwoParams", R"({"Name":4,"Params":["1234",""]})", true},
        RefusedCase{"Mode1FourParams", R"({"Name":4,"Params":["1","","",""]})", true},
        RefusedCase{"Mode2OneParam", R"({"Name":5,"Params":[1]})", true},
        RefusedCase{"DisplayTwoParams", R"({"Name":6,"Params":["7","nl"]})", true},
        RefusedCase{"DisplayFourParams", R"({"Name":6,"Params":["7","","nl",""]})", true},
        RefusedCase{"CancelOneParam", R"({"Name":7,"Params":[""]})", true},
        RefusedCase{"NameZero", R"({"Name":0})", true},
        RefusedCase{"NameEight", R"({"Name":8})", true},
        RefusedCase{"NameMinusOne", R"({"Name":-1})", true},
        RefusedCase{"NameMinusHalf", R"({"Name":-0.5})", true},
        RefusedCase{"NameOutOfRange", R"({"Name":1e10})", true},
        RefusedCase{"NameString", R"({"Name":"1"})", true},
        RefusedCase{"NameLowerCase", R"({"name":1})", false},
        RefusedCase{"NoName", R"({"Params":[]})", false},
        RefusedCase{"TopLevelArray", R"([{"Name":1}])", false},
        RefusedCase{"BareNumber", "1", false}, RefusedCase{"Empty", "", false},
        RefusedCase{"TextAfterObject", R"({"Name":1} x)", false}),
    CaseName<RefusedCase>);

TEST_F(ProtocolFixture, ARefusedPayloadCannotForgeLogLines) {
  const std::string forged = "2026-01-01 00:00:00.000 [INF] [WSS] Service is stopped.";
  HandleMessage(Factory(), "x\r\n" + forged + "\x1b");
  const auto lines = LogLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_TRUE(EndsWith(lines[0], " [ERR] [WSS] Payload: x\\r\\n" + forged + "\\x1B")) << lines[0];
}

struct TextCase {
  const char* name;
  std::string element;  // JSON text of one parameter
  std::string text;
};

class ParameterTextTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(ParameterTextTest, RendersAndNarrows) {
  const auto array = qvx::json::ParseJson("[" + GetParam().element + "]");
  ASSERT_TRUE(array);
  ASSERT_EQ(array->Size(), 1u);
  EXPECT_EQ(qvx::protocol::ParameterText(array->At(0)), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Elements, ParameterTextTest,
                         ::testing::Values(TextCase{"String", R"("nl")", "nl"},
                                           TextCase{"Integer", "12345678", "12345678"},
                                           TextCase{"Fraction", "1.5", "1.5"},
                                           TextCase{"Slash", R"("a/b")", R"(a\/b)"},
                                           TextCase{"EscapedSlash", R"("a\/b")", R"(a\/b)"},
                                           TextCase{"Quote", R"("say \"hi\"")", R"(say \"hi\")"},
                                           TextCase{"True", "true", "true"},
                                           TextCase{"Null", "null", "null"},
                                           TextCase{"Array", R"([1,"x"])", "[1,x]"},
                                           TextCase{"Latin1Unit", R"("\u00e9")", "\xE9"},
                                           TextCase{"HighUnitKeepsLowByte", R"("\u0141")", "A"}),
                         CaseName<TextCase>);

TEST(CommandNumberTest, TruncatesTowardZeroAndRejectsOutOfRange) {
  constexpr std::int32_t kNone = std::numeric_limits<std::int32_t>::min();
  const struct {
    double number;
    std::int32_t expected;
  } cases[] = {
      {2.9, 2},
      {-0.5, 0},
      {-2.9, -2},
      {2147483647.9, 2147483647},
      {-2147483648.0, kNone},  // in range, and still no command
      {2147483648.0, kNone},
      {-2147483649.0, kNone},
      {1e10, kNone},
      {std::numeric_limits<double>::infinity(), kNone},
      {std::nan(""), kNone},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(qvx::protocol::CommandNumber(c.number), c.expected) << c.number;
  }
}

TEST(MessageNumberTest, ReadsADecimalLongAndKeepsTheLow16Bits) {
  const struct {
    const char* text;
    std::uint16_t expected;
  } cases[] = {
      {"7", 7},
      {"", 0},
      {"abc", 0},
      {"65543", 7},
      {" \t+12x", 12},
      {"-1", 65535},
      {"- 3", 0},
      {"0x10", 0},
      {"99999999999", 0xFFFF},  // clamped to 2147483647
      {"-99999999999", 0},      // clamped to -2147483648
      {"999999999999999999999999999999", 0xFFFF},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(qvx::protocol::MessageNumber(c.text), c.expected) << c.text;
  }
}

}  // namespace
}  // namespace qvx::testing
