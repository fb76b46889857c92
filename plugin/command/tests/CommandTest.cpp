// The plug-in's command object over a scripted reader access: one result
// per command, the version and card-answer rules, its texts and log lines,
// the reader access made on demand, Cancel and the error box.
#include <ctime>
#include <functional>

#include "PluginTestSupport.h"
#include "brixon/Quorvex2.h"
#include "platform/System.h"

namespace qvx::testing {
namespace {

using qvx::brixon::CError;
using qvx::brixon::CQuorvex2;

struct CommandCase {
  std::string name;
  std::map<ControlIndex, Bytes> answers;
  std::function<std::string(CQuorvex2&)> run;
  std::string result;
};

class PluginCommandResult : public PluginCommand,
                            public ::testing::WithParamInterface<CommandCase> {};

TEST_P(PluginCommandResult, ReturnsItsResultText) {
  script.answers = GetParam().answers;
  CQuorvex2 quorvex2 = Make();
  EXPECT_EQ(GetParam().run(quorvex2), GetParam().result);
}

const Bytes kVersions = {'0', '1', '.', '2', '0', 0, ' ', '0', '1', '.', '0', '3', 0};

INSTANTIATE_TEST_SUITE_P(
    Commands, PluginCommandResult,
    ::testing::Values(
        CommandCase{"CheckConnection",
                    {{ControlIndex::CheckDevice, kVersions}},
                    [](CQuorvex2& q) { return q.CheckConnection(); },
                    "Status=0\nStatusDescription=Success\nDevice_Version=01.20\n"
                    "Driver_Version=01.03\nBRIXON_Version=01.06"},
        CommandCase{"CheckCard",
                    {{ControlIndex::CheckCard, {2, 0x54, 0x12, 1, 0x07}}},
                    [](CQuorvex2& q) { return q.CheckCard("nl"); },
                    "Status=0\nStatusDescription=Success\nCardId_PAN=5412\nCardId_PSN=07"},
        CommandCase{"GetResponse",
                    {{ControlIndex::GetResponse, {0xAB, 0xCD}}},
                    [](CQuorvex2& q) { return q.GetResponse("0102CCDD", ""); },
                    "Status=0\nStatusDescription=Success\nResponse=ABCD"},
        CommandCase{"GetMode1Response",
                    {{ControlIndex::GetMode1Response, {0x01}}},
                    [](CQuorvex2& q) { return q.GetMode1Response("12345678", "", ""); },
                    "Status=0\nStatusDescription=Success\nResponse=01"},
        CommandCase{"GetMode2Response",
                    {{ControlIndex::GetMode2Response, {0xFF, 0x00}}},
                    [](CQuorvex2& q) { return q.GetMode2Response(); },
                    "Status=0\nStatusDescription=Success\nResponse=FF00"},
        CommandCase{"DisplayResult",
                    {},
                    [](CQuorvex2& q) { return q.DisplayResult(7, "", "nl"); },
                    "Status=0\nStatusDescription=Success"},
        CommandCase{"CheckCardWithoutTheLimitOf128",
                    {{ControlIndex::CheckCard,
                      [] {
                        Bytes answer(1 + 0x81 + 1, 0x11);
                        answer[0] = 0x81;
                        answer[0x82] = 0;
                        return answer;
                      }()}},
                    [](CQuorvex2& q) { return q.CheckCard(""); },
                    "Status=0\nStatusDescription=Success\nCardId_PAN=" + std::string(0x102, '1') +
                        "\nCardId_PSN="},
        CommandCase{"CheckCardPanBeyondAnswer",
                    {{ControlIndex::CheckCard, {3, 0x54, 0x12, 1}}},
                    [](CQuorvex2& q) { return q.CheckCard(""); },
                    "Status=1\nStatusDescription=Communication error\nCardId_PAN=\nCardId_PSN="},
        CommandCase{"CheckCardPsnBeyondAnswer",
                    {{ControlIndex::CheckCard, {1, 0x54, 2, 7}}},
                    [](CQuorvex2& q) { return q.CheckCard(""); },
                    "Status=1\nStatusDescription=Communication error\nCardId_PAN=\nCardId_PSN="}),
    CaseName<CommandCase>);

struct VersionCase {
  std::string name;
  std::string device;
  std::string driver;
  int status;
  std::string logged;  // the error line after its prefix
};

class PluginCheckConnection : public PluginCommand,
                              public ::testing::WithParamInterface<VersionCase> {};

TEST_P(PluginCheckConnection, RaisesVersionErrorsItself) {
  Bytes answer = Ascii(GetParam().device);
  answer.push_back(0);
  // No driver text: the answer ends after the device version's terminator.
  if (!GetParam().driver.empty()) {
    for (char c : GetParam().driver) answer.push_back(static_cast<std::uint8_t>(c));
    answer.push_back(0);
  }
  script.answers[ControlIndex::CheckDevice] = answer;
  CQuorvex2 quorvex2 = Make();
  const LogMark mark;
  const std::string result = quorvex2.CheckConnection();
  EXPECT_EQ(result.substr(0, result.find('\n')), "Status=" + std::to_string(GetParam().status));
  // Versions stay reported as read.
  EXPECT_NE(result.find("\nDevice_Version=" + GetParam().device +
                        "\nDriver_Version=" + GetParam().driver + "\n"),
            std::string::npos);
  EXPECT_NE(mark.Since().find(GetParam().logged), std::string::npos) << mark.Since();
  EXPECT_EQ(mark.Since().find("==>"), std::string::npos) << "CheckConnection writes no trace";
}

INSTANTIATE_TEST_SUITE_P(
    Versions, PluginCheckConnection,
    ::testing::Values(
        VersionCase{"OldDriver", "01.20", "02.00", 1,
                    "[ERR] CQuorvex2::CheckConnection(): [0x00000000, SYSTEM_ERROR, , User, 1, "
                    "Communication error] IsMajorVersionSupported() failed. Driver version "
                    "02.00 is incorrect. Expected version: 01.xx.\n"},
        VersionCase{"OldDevice", "02.00", "01.03", 4,
                    "User, 4, Incorrect device version] IsMajorVersionSupported() failed. "
                    "Device version 02.00 is incorrect. Expected version: 01.xx.\n"},
        VersionCase{"NoDriverVersion", "01.20", "", 1,
                    "CQuorvex2::CheckDevice(): [0x00000000, SYSTEM_ERROR, , Host, 1, "
                    "Communication error] Quorvex2 did not return driver version.\n"}),
    CaseName<VersionCase>);

TEST_F(PluginCommand, CheckCardLogsTraceAndShortPanLines) {
  script.answers[ControlIndex::CheckCard] = {8,    0x54, 0x12, 0x75, 0x12, 0x34,
                                             0x56, 0x78, 0x90, 1,    0x01};
  CQuorvex2 quorvex2 = Make();
  const LogMark mark;
  quorvex2.CheckCard("en");
  const std::string log = mark.Since();
  const std::vector<std::string> expected = {
      " [INF] ==> CQuorvex2::CheckCard() ==>\n", " [INF] Len/CardId_PAN: 8/0x567890\n",
      " [INF] Len/CardId_PSN: 1/0x01\n", " [INF] <== CQuorvex2::CheckCard() <==\n\n"};
  std::size_t at = 0;
  for (const std::string& line : expected) {
    at = log.find(line, at);
    ASSERT_NE(at, std::string::npos) << line << " not in order in\n" << log;
  }
  EXPECT_EQ(log.find("541275"), std::string::npos) << "PAN shown beyond its last six digits";
}

struct InputCase {
  std::string name;
  std::function<std::string(CQuorvex2&)> run;
  std::string logged;
};

class PluginInputError : public PluginCommand, public ::testing::WithParamInterface<InputCase> {};

TEST_P(PluginInputError, HasNoSuffixAndNeverReachesTheReader) {
  CQuorvex2 quorvex2 = Make();
  const LogMark mark;
  const std::string result = GetParam().run(quorvex2);
  EXPECT_EQ(result.substr(0, result.find('\n')), "Status=12");
  EXPECT_NE(mark.Since().find(GetParam().logged), std::string::npos) << mark.Since();
  EXPECT_TRUE(script.requests.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Texts, PluginInputError,
    ::testing::Values(
        InputCase{"AmountLabel",
                  [](CQuorvex2& q) { return q.GetMode1Response("12", "0978", "12a"); },
                  "CQuorvex2::CheckFormatAmout(): [0xE0100003, SCARD_E_INPUT_ERROR, The input "
                  "data is invalid., User, 12, Input error] Invalid input: Amount contains only "
                  "digits.\n"},
        InputCase{"SignDataTooLarge",
                  [](CQuorvex2& q) { return q.GetResponse(std::string(51202, '0'), ""); },
                  "] Invalid input: Sign Data too large\n"},
        InputCase{"SignDataTlv", [](CQuorvex2& q) { return q.GetResponse("0202CCDD", ""); },
                  "] Invalid input: Basic TLV parse on Sign Data Block(s) failed\n"},
        InputCase{"LastLogonFormat",
                  [](CQuorvex2& q) { return q.DisplayResult(3, "01 Jan 24; 09:30h", ""); },
                  "] Invalid input : LastLogon format is not correct\n"},
        InputCase{"DisplayResultLoggedBeforeChecks",
                  [](CQuorvex2& q) { return q.DisplayResult(256 - 512, "x", "nl"); },
                  " [INF] MessageId/LenLastLogon/LastLogon/Language: -256/1/x/nl\n"}),
    CaseName<InputCase>);

// A LastLogon with a line feed and a time stamp of its own: were it written
// raw, the clean-up would take the forged part for an entry and keep it.
TEST_F(PluginCommand, DisplayResultLogsControlCharactersVisibly) {
  const std::time_t now = std::time(nullptr);
  const std::tm later = platform::LocalTime(now + 30 * 24 * 3600);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &later);
  const std::string forged = std::string(stamp) + ".000 0x0001::0x0001 [INF] forged";
  CQuorvex2 quorvex2 = Make();
  const LogMark mark;
  quorvex2.DisplayResult(3, "x\n" + forged, "n\tl\x1b");
  const std::string log = mark.Since();
  EXPECT_NE(log.find("/x\\n" + forged + "/n\\tl\\x1B\n"), std::string::npos) << log;
  EXPECT_EQ(log.find("\n" + forged), std::string::npos) << log;
  EXPECT_EQ(qvx::brixon::CleanupLogText(log, now + 8 * 24 * 3600), "")
      << "the clean-up kept a forged entry";
}

TEST_F(PluginCommand, ReaderAccessIsMadeAgainAfterAFailedCreation) {
  int attempts = 0;
  CQuorvex2 quorvex2([&]() -> std::unique_ptr<qvx::brixon::IReaderAccess> {
    if (++attempts == 1) throw CError("CPCSC::CPCSC()", "LoadLibrary(WinSCard.dll) failed.");
    return std::make_unique<FakeReader>(script);
  });
  script.answers[ControlIndex::GetMode2Response] = {0x42};
  EXPECT_EQ(quorvex2.GetMode2Response(), "Status=0\nStatusDescription=Success\nResponse=42");
  EXPECT_EQ(attempts, 2);
}

TEST_F(PluginCommand, ReaderFailureStatusReachesTheResult) {
  script.failure = CError("CPCSC::WaitForCompletion()", "Command Cancelled by other session.",
                          0xA0100002u, qvx::brixon::LEVEL_ERROR, qvx::kStatusCancelByOtherSession);
  CQuorvex2 quorvex2 = Make();
  EXPECT_EQ(quorvex2.GetMode2Response(),
            "Status=15\nStatusDescription=Cancel by other session\nResponse=");
}

TEST_F(PluginCommand, CancelHandsOverAndSwallowsFailures) {
  CQuorvex2 quorvex2 = Make();
  const LogMark mark;
  quorvex2.Cancel();
  script.cancelFails = true;
  EXPECT_NO_THROW(quorvex2.Cancel());
  EXPECT_EQ(script.cancels, 2);
  EXPECT_NE(mark.Since().find(" [INF] <== CQuorvex2::Cancel() <==\n\n"), std::string::npos);
  EXPECT_EQ(made, 1);
}

}  // namespace
}  // namespace qvx::testing
