// Request bytes of every command and the input checks that run before the
// device is touched.
#include "CommandFixture.h"

namespace qvx::testing {
namespace {

struct RequestCase {
  const char* name;
  std::function<std::string(CQuorvex2&)> command;
  ControlIndex index;
  std::vector<BYTE> request;
};

// Printed by name rather than as a dump of its bytes.
void PrintTo(const RequestCase& c, std::ostream* os) { *os << c.name; }

class RequestTest : public CommandFixture, public ::testing::WithParamInterface<RequestCase> {};

TEST_P(RequestTest, SendsExactRequestBytesThenReadsLastError) {
  const RequestCase& c = GetParam();
  // The two identifying commands need a well-formed answer to succeed.
  if (c.index == ControlIndex::CheckCard) QueueAnswer(c.index, {0x00, 0x00});
  if (c.index == ControlIndex::CheckDevice) {
    QueueAnswer(c.index, Ascii(std::string("01.20\0"
                                           "01.03\0",
                                           12)));
  }

  const std::string result = Run(c.command);

  EXPECT_EQ(StatusOf(result), 0) << result;
  const auto connects = fake.CallsTo("Connect");
  ASSERT_EQ(connects.size(), 1u);
  EXPECT_EQ(connects[0].reader, kReaderName);
  EXPECT_EQ(connects[0].shareMode, static_cast<DWORD>(SCARD_SHARE_DIRECT));

  const auto controls = fake.CallsTo("Control");
  ASSERT_EQ(controls.size(), 2u);
  EXPECT_EQ(controls[0].controlCode, qvx::contract::ControlCode(c.index).pcscCode);
  EXPECT_EQ(controls[0].request, c.request);
  EXPECT_EQ(controls[0].receiveLength, 255u);
  EXPECT_EQ(controls[1].controlCode, 0x312028u);
  EXPECT_TRUE(controls[1].request.empty());
  EXPECT_EQ(controls[1].receiveLength, 4u);
}

const std::string kLastLogon = "01 Jan 24, 09:30h";

INSTANTIATE_TEST_SUITE_P(
    AllCommands, RequestTest,
    ::testing::Values(
        RequestCase{"CheckDeviceEmpty",
                    [](CQuorvex2& q) { return q.CheckConnection(); },
                    ControlIndex::CheckDevice,
                    {}},
        RequestCase{"CheckCardNoLanguage",
                    [](CQuorvex2& q) { return q.CheckCard(""); },
                    ControlIndex::CheckCard,
                    {0x30, 0x30}},
        RequestCase{"CheckCardLanguage",
                    [](CQuorvex2& q) { return q.CheckCard("nl"); },
                    ControlIndex::CheckCard,
                    {0x6E, 0x6C}},
        RequestCase{"CheckCardZeroLanguage",
                    [](CQuorvex2& q) { return q.CheckCard("00"); },
                    ControlIndex::CheckCard,
                    {0x30, 0x30}},
        RequestCase{"GetResponseOneBlock",
                    [](CQuorvex2& q) { return q.GetResponse("0102CCDD", "nl"); },
                    ControlIndex::GetResponse,
                    {0x01, 0x02, 0xCC, 0xDD, 0x6E, 0x6C}},
        RequestCase{"GetResponseLowerCaseHex",
                    [](CQuorvex2& q) { return q.GetResponse("0102ccdd", "EN"); },
                    ControlIndex::GetResponse,
                    {0x01, 0x02, 0xCC, 0xDD, 0x45, 0x4E}},
        RequestCase{"GetResponseEmptyBlockNoLanguage",
                    [](CQuorvex2& q) { return q.GetResponse("0000", ""); },
                    ControlIndex::GetResponse,
                    {0x00, 0x00, 0x30, 0x30}},
        RequestCase{"GetResponseTwoBlocks",
                    [](CQuorvex2& q) { return q.GetResponse("00011201023456", "00"); },
                    ControlIndex::GetResponse,
                    {0x00, 0x01, 0x12, 0x01, 0x02, 0x34, 0x56, 0x30, 0x30}},
        RequestCase{"Mode1ChallengeOnly",
                    [](CQuorvex2& q) { return q.GetMode1Response("12345678", "", ""); },
                    ControlIndex::GetMode1Response,
                    {0x04, 0x12, 0x34, 0x56, 0x78}},
        RequestCase{"Mode1WithCurrencyAndAmount",
                    [](CQuorvex2& q) { return q.GetMode1Response("1234", "0978", "000000012345"); },
                    ControlIndex::GetMode1Response,
                    {0x02, 0x12, 0x34, 0x09, 0x78, 0x00, 0x00, 0x00, 0x01, 0x23, 0x45}},
        RequestCase{"Mode1EmptyChallenge",
                    [](CQuorvex2& q) { return q.GetMode1Response("", "", ""); },
                    ControlIndex::GetMode1Response,
                    {0x00}},
        RequestCase{"Mode2Empty",
                    [](CQuorvex2& q) { return q.GetMode2Response(); },
                    ControlIndex::GetMode2Response,
                    {}},
        RequestCase{"DisplayPlain",
                    [](CQuorvex2& q) { return q.DisplayResult(7, "", "nl"); },
                    ControlIndex::DisplayResult,
                    {0x07, 0x6E, 0x6C}},
        RequestCase{"DisplayHighestId",
                    [](CQuorvex2& q) { return q.DisplayResult(255, "", ""); },
                    ControlIndex::DisplayResult,
                    {0xFF, 0x30, 0x30}},
        RequestCase{
            "DisplayLastLogon", [](CQuorvex2& q) { return q.DisplayResult(3, kLastLogon, ""); },
            ControlIndex::DisplayResult, Concat({{0x03}, Ascii(kLastLogon), {0x00, 0x30, 0x30}})}),
    CaseName<RequestCase>);

struct RejectionCase {
  const char* name;
  std::function<std::string(CQuorvex2&)> command;
  // What the log shows after the level tag: source, one blank, message.
  std::string logged;
};

// Printed by name rather than as a dump of its bytes.
void PrintTo(const RejectionCase& c, std::ostream* os) { *os << c.name; }

class RejectionTest : public CommandFixture, public ::testing::WithParamInterface<RejectionCase> {};

TEST_P(RejectionTest, InputErrorBeforeAnyDeviceContact) {
  const RejectionCase& c = GetParam();
  const std::string result = Run(c.command);

  EXPECT_EQ(StatusOf(result), 12) << result;
  EXPECT_EQ(Value(result, "StatusDescription"), "Input error");
  EXPECT_EQ(ConnectCount(), 0u);
  EXPECT_TRUE(fake.CallsTo("Control").empty());
  EXPECT_TRUE(LogHasLineEndingWith(" [ERR]" + c.logged)) << c.logged << "\n" << ReadLog();
  // Keys stay present with empty values.
  for (const auto& [key, value] : ResultItems(result)) {
    if (key != "Status" && key != "StatusDescription") {
      EXPECT_EQ(value, "") << key;
    }
  }
}

const std::string kLanguageAlpha =
    "CQuorvex2::CheckFormatLanguage() Invalid input : Language contains only alphabets., User";
const std::string kLanguageLength =
    " Invalid input: Language must consist of two characters., Host";
const std::string kTlv =
    "CQuorvex2::CheckFormatSignData() Invalid input: Basic TLV parse on Sign Data Block(s) "
    "failed., User";
const std::string kWrongLength = "CQuorvex2::Hex2Bin() Invalid input: Input of wrong length., User";

RejectionCase Rejection(const char* name, std::function<std::string(CQuorvex2&)> command,
                        std::string logged) {
  return RejectionCase{name, std::move(command), std::move(logged)};
}

INSTANTIATE_TEST_SUITE_P(
    AllCommands, RejectionTest,
    ::testing::Values(
        Rejection(
            "CheckCardDigitInLanguage", [](CQuorvex2& q) { return q.CheckCard("n1"); },
            kLanguageAlpha),
        Rejection(
            "CheckCardThreeLetters", [](CQuorvex2& q) { return q.CheckCard("nld"); },
            kLanguageLength),
        Rejection(
            "CheckCardOneLetter", [](CQuorvex2& q) { return q.CheckCard("n"); }, kLanguageLength),
        // The language is checked before the data.
        Rejection(
            "GetResponseLanguageFirst", [](CQuorvex2& q) { return q.GetResponse("zz", "n1"); },
            kLanguageAlpha),
        Rejection(
            "GetResponseTooLarge",
            [](CQuorvex2& q) { return q.GetResponse(std::string(51202, '0'), "nl"); },
            " Invalid input: Sign Data too large., Host"),
        Rejection(
            "GetResponseOddLength", [](CQuorvex2& q) { return q.GetResponse("010", "nl"); },
            kWrongLength),
        Rejection(
            "GetResponseNotHex", [](CQuorvex2& q) { return q.GetResponse("01G2", "nl"); },
            "CQuorvex2::Hex2Bin() Invalid input: Invalid hex data., User"),
        Rejection(
            "GetResponseEmptyData", [](CQuorvex2& q) { return q.GetResponse("", "nl"); }, kTlv),
        Rejection(
            "GetResponseLengthOverruns",
            [](CQuorvex2& q) { return q.GetResponse("0103CCDD", "nl"); }, kTlv),
        Rejection(
            "GetResponseBadTag", [](CQuorvex2& q) { return q.GetResponse("0202CCDD", "nl"); },
            kTlv),
        Rejection(
            "GetResponseTrailingByte", [](CQuorvex2& q) { return q.GetResponse("010001", "nl"); },
            kTlv),
        Rejection(
            "GetResponseLanguageLengthLast",
            [](CQuorvex2& q) { return q.GetResponse("0102CCDD", "nld"); }, kLanguageLength),
        Rejection(
            "Mode1ChallengeTooLong",
            [](CQuorvex2& q) { return q.GetMode1Response("123456789", "0978", ""); },
            "CQuorvex2::CheckFormatChallenge() Invalid input: Challenge contains only 8 "
            "digits., User"),
        Rejection(
            "Mode1ChallengeLetter", [](CQuorvex2& q) { return q.GetMode1Response("12a4", "", ""); },
            "CQuorvex2::CheckFormatChallenge() Invalid input: Challenge contains only "
            "digits., User"),
        Rejection(
            "Mode1CurrencyLetter",
            [](CQuorvex2& q) { return q.GetMode1Response("1234", "09a8", "000000012345"); },
            "CQuorvex2::CheckFormatCurrency() Invalid input: Currency contains only "
            "digits., User"),
        Rejection(
            "Mode1AmountTooLong",
            [](CQuorvex2& q) { return q.GetMode1Response("1234", "0978", "0000000123456"); },
            "CQuorvex2::CheckFormatAmount() Invalid input: Amount contains only 12 "
            "digits., User"),
        Rejection(
            "Mode1AmountLetter",
            [](CQuorvex2& q) { return q.GetMode1Response("1234", "0978", "00000001234x"); },
            "CQuorvex2::CheckFormatAmount() Invalid input: Amount contains only digits., "
            "User"),
        Rejection(
            "Mode1CurrencyWithoutAmount",
            [](CQuorvex2& q) { return q.GetMode1Response("1234", "0978", ""); },
            " Invalid input: Currency and Amount must be either both present or absent., "
            "Host"),
        Rejection(
            "Mode1AmountWithoutCurrency",
            [](CQuorvex2& q) { return q.GetMode1Response("1234", "", "000000012345"); },
            " Invalid input: Currency and Amount must be either both present or absent., "
            "Host"),
        Rejection(
            "Mode1ShortCurrency",
            [](CQuorvex2& q) { return q.GetMode1Response("1234", "978", "000000012345"); },
            " Invalid input: Currency must have length 4., Host"),
        Rejection(
            "Mode1ShortAmount",
            [](CQuorvex2& q) { return q.GetMode1Response("1234", "0978", "12345"); },
            " Invalid input: Amount must have length 12., Host"),
        Rejection(
            "Mode1OddChallenge", [](CQuorvex2& q) { return q.GetMode1Response("1234567", "", ""); },
            kWrongLength)),
    CaseName<RejectionCase>);

TEST_F(CommandFixture, SignDataAtTheLimitIsAccepted) {
  // 25600 bytes: blocks of 2 + 254 bytes fill 25600 = 100 * 256.
  std::string signData;
  for (int i = 0; i < 100; ++i) signData += "01FE" + std::string(508, 'A');
  ASSERT_EQ(signData.size(), 51200u);
  const std::string result = Run([&](CQuorvex2& q) { return q.GetResponse(signData, "nl"); });
  EXPECT_EQ(StatusOf(result), 0) << result;
  const auto requests = Requests(ControlIndex::GetResponse);
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].request.size(), 25602u);
}

TEST_F(CommandFixture, ResponseIsTheAnswerInUpperCaseHex) {
  QueueAnswer(ControlIndex::GetMode2Response, {0x01, 0xAB, 0x00, 0xFF, 0x10, 0x9C, 0xDE, 0x7F});
  const std::string result = Run([](CQuorvex2& q) { return q.GetMode2Response(); });
  EXPECT_EQ(result, "Status=0\nStatusDescription=Success\nResponse=01AB00FF109CDE7F");
}

TEST_F(CommandFixture, EmptyChallengeRefusedByTheDeviceEndsWithInputError) {
  QueueLastError({0x0A, 0x00, 0x00, 0x00});
  const std::string result = Run([](CQuorvex2& q) { return q.GetMode1Response("", "", ""); });
  EXPECT_EQ(StatusOf(result), 12);
  EXPECT_EQ(Value(result, "Response"), "");
}

TEST_F(CommandFixture, SigningCommandsLogTraceLinesAroundTheirWork) {
  QueueLastError({0x04, 0x00, 0x00, 0x00});
  Run([](CQuorvex2& q) { return q.GetResponse("0102CCDD", "nl"); });
  const auto lines = LogLines();
  const int entry = LogLineWith(" [INF]CQuorvex2::GetResponse() ==> ");
  const int error = LogLineWith(
      " [ERR]CReader::ExecuteSCardCMD() => SCardControl(GetResponse) failed. Extended error "
      "codes: (0x04, 0x00, 0x00, 0x00) A010006E, SCARD_W_CANCELLED_BY_USER");
  const int exit = LogLineWith(" [INF]CQuorvex2::GetResponse() <== ");
  ASSERT_GE(entry, 0) << ReadLog();
  ASSERT_GT(error, entry) << ReadLog();
  ASSERT_GT(exit, error) << ReadLog();
  EXPECT_NE(lines[static_cast<std::size_t>(entry)].rfind("    ", 0), 0u);
  EXPECT_EQ(lines[static_cast<std::size_t>(error)].rfind("    ", 0), 0u);
  EXPECT_NE(lines[static_cast<std::size_t>(exit)].rfind("    ", 0), 0u);
}

}  // namespace
}  // namespace qvx::testing
