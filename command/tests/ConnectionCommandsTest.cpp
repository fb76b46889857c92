// CheckConnection and CheckCard: answer parsing, version check, result keys
// and their log lines.
#include "CommandFixture.h"

namespace qvx::testing {
namespace {

struct DeviceAnswerCase {
  const char* name;
  std::vector<BYTE> answer;
  int status;
  std::string device;
  std::string driver;
  std::string logged;  // error line after " [ERR]"; empty for success
};

// Printed by name rather than as a dump of its bytes.
void PrintTo(const DeviceAnswerCase& c, std::ostream* os) { *os << c.name; }

class CheckConnectionTest : public CommandFixture,
                            public ::testing::WithParamInterface<DeviceAnswerCase> {};

TEST_P(CheckConnectionTest, ParsesVersionsAndChecksThem) {
  const DeviceAnswerCase& c = GetParam();
  QueueAnswer(ControlIndex::CheckDevice, c.answer);

  const std::string result = Run([](CQuorvex2& q) { return q.CheckConnection(); });

  EXPECT_EQ(StatusOf(result), c.status) << result;
  EXPECT_EQ(Value(result, "Device_Version"), c.device);
  EXPECT_EQ(Value(result, "Driver_Version"), c.driver);
  EXPECT_EQ(Value(result, "BRIXON_Version"), "02.20");
  if (!c.logged.empty()) {
    EXPECT_GE(LogLineWith(" [ERR]" + c.logged), 0) << ReadLog();
  }
  // The information line reports the versions as far as they were read.
  const std::string info =
      " [INF] LenDeviceVersion/LenDriverVersion/DeviceVersion/DriverVersion: " +
      std::to_string(c.device.size()) + "/" + std::to_string(c.driver.size()) + "/" + c.device +
      "/" + c.driver;
  const auto lines = LogLines();
  const int infoLine = LogLineWith(info);
  ASSERT_GE(infoLine, 0) << ReadLog();
  EXPECT_EQ(lines[static_cast<std::size_t>(infoLine)].substr(
                lines[static_cast<std::size_t>(infoLine)].size() - info.size()),
            info);
}

std::vector<BYTE> Answer(const std::string& text) { return Ascii(text); }

INSTANTIATE_TEST_SUITE_P(
    Answers, CheckConnectionTest,
    ::testing::Values(
        DeviceAnswerCase{"TwoVersions",
                         Answer(std::string("01.20\0"
                                            "01.03\0",
                                            12)),
                         0, "01.20", "01.03", ""},
        DeviceAnswerCase{"BlankSkipped", Answer(std::string("01.20\0 01.03\0", 13)), 0, "01.20",
                         "01.03", ""},
        DeviceAnswerCase{"OnlyOneBlankSkipped", Answer(std::string("01.20\0  01.03\0", 14)), 1,
                         "01.20", " 01.03",
                         "CQuorvex2::CheckVersions() Driver version  01.03 is incorrect. "
                         "Expected version: 01.xx."},
        DeviceAnswerCase{"Nothing",
                         {},
                         1,
                         "",
                         "",
                         "CQuorvex2::CheckConnection() Nothing returned by Quorvex2., Host"},
        DeviceAnswerCase{"NoFinalZero",
                         Answer(std::string("01.20\0"
                                            "01.03",
                                            11)),
                         1, "", "",
                         "CQuorvex2::CheckConnection() Output from Quorvex2 is not "
                         "zero-terminated., Host"},
        DeviceAnswerCase{"NoDriverVersion", Answer(std::string("01.20\0", 6)), 1, "01.20", "",
                         "CQuorvex2::CheckConnection() Quorvex2 did not return driver "
                         "version., Host"},
        DeviceAnswerCase{"OldFirmware",
                         Answer(std::string("02.00\0"
                                            "01.03\0",
                                            12)),
                         4, "02.00", "01.03",
                         "CQuorvex2::CheckVersions() Device version 02.00 is incorrect. "
                         "Expected version: 01.xx."},
        DeviceAnswerCase{"DriverMajorWithoutLeadingZero",
                         Answer(std::string("01.20\0"
                                            "1.03\0",
                                            11)),
                         1, "01.20", "1.03",
                         "CQuorvex2::CheckVersions() Driver version 1.03 is incorrect. "
                         "Expected version: 01.xx."},
        DeviceAnswerCase{"DriverReportedBeforeDevice",
                         Answer(std::string("02.00\0"
                                            "02.00\0",
                                            12)),
                         1, "02.00", "02.00", "CQuorvex2::CheckVersions() Driver version 02.00"},
        DeviceAnswerCase{"DeviceVersionWithoutFullStop",
                         Answer(std::string("0120\0"
                                            "01.03\0",
                                            11)),
                         1, "0120", "01.03",
                         "CQuorvex2::IsMajorVersionSupported() ActualVersion is not in correct "
                         "format of <major_version>.<minor_version>, QVX/Driver"}),
    CaseName<DeviceAnswerCase>);

TEST_F(CommandFixture, CheckConnectionResultTextHasItsKeysInOrder) {
  QueueAnswer(ControlIndex::CheckDevice, Ascii(std::string("01.20\0"
                                                           "01.03\0",
                                                           12)));
  EXPECT_EQ(Run([](CQuorvex2& q) { return q.CheckConnection(); }),
            "Status=0\nStatusDescription=Success\nDevice_Version=01.20\n"
            "Driver_Version=01.03\nBRIXON_Version=02.20");
}

TEST_F(CommandFixture, CheckConnectionWithoutDeviceKeepsItsVersionKeys) {
  fake.readers.clear();
  EXPECT_EQ(Run([](CQuorvex2& q) { return q.CheckConnection(); }),
            "Status=2\nStatusDescription=Device not connected\nDevice_Version=\n"
            "Driver_Version=\nBRIXON_Version=02.20");
}

struct CardAnswerCase {
  const char* name;
  std::vector<BYTE> answer;
  int status;
  std::string pan;
  std::string psn;
};

// Printed by name rather than as a dump of its bytes.
void PrintTo(const CardAnswerCase& c, std::ostream* os) { *os << c.name; }

class CheckCardTest : public CommandFixture,
                      public ::testing::WithParamInterface<CardAnswerCase> {};

TEST_P(CheckCardTest, ParsesLengthPrefixedFields) {
  const CardAnswerCase& c = GetParam();
  QueueAnswer(ControlIndex::CheckCard, c.answer);

  const std::string result = Run([](CQuorvex2& q) { return q.CheckCard("en"); });

  EXPECT_EQ(StatusOf(result), c.status) << result;
  EXPECT_EQ(Value(result, "CardId_PAN"), c.pan);
  EXPECT_EQ(Value(result, "CardId_PSN"), c.psn);
  const bool logsCard = LogLineWith("PAN: Len/CardId = ") >= 0;
  EXPECT_EQ(logsCard, c.status == 0) << ReadLog();
  if (c.status != 0) {
    EXPECT_GE(LogLineWith(" [ERR] Output from Quorvex2 has invalid length., QVX"), 0) << ReadLog();
  }
}

std::vector<BYTE> CardAnswer(std::size_t panLength, std::size_t psnLength, std::size_t extra = 0) {
  std::vector<BYTE> answer{static_cast<BYTE>(panLength)};
  for (std::size_t i = 0; i < panLength; ++i) answer.push_back(static_cast<BYTE>(0x10 + i));
  answer.push_back(static_cast<BYTE>(psnLength));
  for (std::size_t i = 0; i < psnLength; ++i) answer.push_back(static_cast<BYTE>(0xA0 + i));
  answer.insert(answer.end(), extra, 0xEE);
  return answer;
}

std::string CardHex(std::size_t length, unsigned first) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  for (std::size_t i = 0; i < length; ++i) {
    const unsigned byte = (first + static_cast<unsigned>(i)) & 0xFF;
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 0x0F];
  }
  return hex;
}

INSTANTIATE_TEST_SUITE_P(
    Answers, CheckCardTest,
    ::testing::Values(CardAnswerCase{"EightAndOne", CardAnswer(8, 1), 0, "1011121314151617", "A0"},
                      CardAnswerCase{"BothEmpty", {0x00, 0x00}, 0, "", ""},
                      CardAnswerCase{"TrailingBytesIgnored", CardAnswer(2, 1, 3), 0, "1011", "A0"},
                      CardAnswerCase{"LongestPan", CardAnswer(128, 2), 0, CardHex(128, 0x10),
                                     "A0A1"},
                      CardAnswerCase{"PanTooLong", CardAnswer(0x81, 0), 1, "", ""},
                      CardAnswerCase{"TooShort", {0x00}, 1, "", ""},
                      CardAnswerCase{"Empty", {}, 1, "", ""},
                      CardAnswerCase{"PanOverruns", {0x05, 0x01, 0x02}, 1, "", ""},
                      CardAnswerCase{"PsnLengthMissing", {0x02, 0x01, 0x02}, 1, "", ""},
                      CardAnswerCase{"PsnOverruns", {0x01, 0xAA, 0x03, 0xBB}, 1, "", ""}),
    CaseName<CardAnswerCase>);

TEST_F(CommandFixture, CheckCardLogsTheMaskedPan) {
  QueueAnswer(ControlIndex::CheckCard,
              {0x08, 0x67, 0x03, 0x12, 0x34, 0x56, 0x78, 0x90, 0x12, 0x01, 0x05});
  const std::string result = Run([](CQuorvex2& q) { return q.CheckCard(""); });
  EXPECT_EQ(result,
            "Status=0\nStatusDescription=Success\nCardId_PAN=6703123456789012\nCardId_PSN=05");
  EXPECT_GE(LogLineWith(" [INF] PAN: Len/CardId = 8/0x789012XXXXXXXXXX  PSN: Len/CardId = 1/0x05"),
            0)
      << ReadLog();
  EXPECT_EQ(ReadLog().find("6703123456789012"), std::string::npos) << "PAN in clear in the log";
}

TEST_F(CommandFixture, CheckCardLogsAShortPanUnmasked) {
  QueueAnswer(ControlIndex::CheckCard, {0x03, 0xAB, 0xCD, 0xEF, 0x00});
  Run([](CQuorvex2& q) { return q.CheckCard(""); });
  EXPECT_GE(LogLineWith(" [INF] PAN: Len/CardId = 3/0xABCDEF  PSN: Len/CardId = 0/0x"), 0)
      << ReadLog();
}

TEST_F(CommandFixture, DeviceFailureClearsCardValues) {
  QueueAnswer(ControlIndex::CheckCard, CardAnswer(8, 1));
  QueueLastError({0x0D, 0x00, 0x00, 0x00});
  const std::string result = Run([](CQuorvex2& q) { return q.CheckCard("nl"); });
  EXPECT_EQ(result, "Status=9\nStatusDescription=Card id not found\nCardId_PAN=\nCardId_PSN=");
}

}  // namespace
}  // namespace qvx::testing
