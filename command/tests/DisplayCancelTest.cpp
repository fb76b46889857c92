// DisplayResult's checks and log line, and Cancel.
#include "CommandFixture.h"

#include "platform/Sync.h"

namespace qvx::testing {
namespace {

constexpr const char* kCancelEvent = "Global\\Meridel Quorvex2_Reader 0_cancel_event";
const std::string kLastLogon = "01 Jan 24, 09:30h";

struct DisplayRejectionCase {
  const char* name;
  std::uint16_t messageId;
  std::string lastLogon;
  std::string language;
  std::string logged;  // error line after " [ERR]"
};

// Printed by name rather than as a dump of its bytes.
void PrintTo(const DisplayRejectionCase& c, std::ostream* os) { *os << c.name; }

class DisplayRejectionTest : public CommandFixture,
                             public ::testing::WithParamInterface<DisplayRejectionCase> {};

TEST_P(DisplayRejectionTest, RejectedBeforeDeviceContactButLogged) {
  const DisplayRejectionCase& c = GetParam();
  const std::string result =
      Run([&](CQuorvex2& q) { return q.DisplayResult(c.messageId, c.lastLogon, c.language); });

  EXPECT_EQ(result, "Status=12\nStatusDescription=Input error");
  EXPECT_EQ(ConnectCount(), 0u);
  EXPECT_GE(LogLineWith(" [ERR]" + c.logged), 0) << ReadLog();
  const int info = LogLineWith(" [INF] MessageId/LenLastLogon/LastLogon/Language: ");
  EXPECT_GE(info, 0) << ReadLog();
}

const std::string kFormat =
    "CQuorvex2::CheckFormatLastLogon() Invalid input : LastLogon format is not correct., User";

std::string WithCharAt(std::size_t position, char c) {
  std::string text = kLastLogon;
  text[position] = c;
  return text;
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, DisplayRejectionTest,
    ::testing::Values(
        DisplayRejectionCase{"IdOutOfRange", 256, "", "nl",
                             " Invalid input: MessageId must be in range 0 to 255., Host"},
        DisplayRejectionCase{"LastLogonMissing", 3, "", "nl",
                             " Invalid input: LastLogon is required with MessageId 3., Host"},
        DisplayRejectionCase{"LastLogonShort", 3, "01 Jan 24, 09:30", "nl",
                             " Invalid input: LastLogon must have length 17., Host"},
        DisplayRejectionCase{"LastLogonNoComma", 3, WithCharAt(9, ';'), "nl", kFormat},
        DisplayRejectionCase{"LastLogonDigitAtEnd", 3, WithCharAt(16, '9'), "nl", kFormat},
        DisplayRejectionCase{"LastLogonNotAllowed", 4, kLastLogon, "nl",
                             " Invalid input: LastLogon is only allowed with MessageId 3., Host"},
        DisplayRejectionCase{"LanguageDigits", 7, "", "n1",
                             "CQuorvex2::CheckFormatLanguage() Invalid input : Language "
                             "contains only alphabets., User"},
        DisplayRejectionCase{"LanguageTooLong", 7, "", "nld",
                             " Invalid input: Language must consist of two characters., Host"},
        // The language's letters are checked before the message number.
        DisplayRejectionCase{"LanguageBeforeRange", 300, "", "1x",
                             "CQuorvex2::CheckFormatLanguage() Invalid input : Language "
                             "contains only alphabets., User"}),
    CaseName<DisplayRejectionCase>);

TEST_F(CommandFixture, DisplayResultLogsItsInputsAsSigned16Bit) {
  Run([](CQuorvex2& q) { return q.DisplayResult(65535, kLastLogon, "nl"); });
  EXPECT_GE(
      LogLineWith(" [INF] MessageId/LenLastLogon/LastLogon/Language: -1/17/01 Jan 24, 09:30h/nl"),
      0)
      << ReadLog();
}

TEST_F(CommandFixture, DisplayResultIgnoresTheAnswer) {
  QueueAnswer(ControlIndex::DisplayResult, {0x01, 0x02, 0x03});
  EXPECT_EQ(Run([](CQuorvex2& q) { return q.DisplayResult(0, "", "de"); }),
            "Status=0\nStatusDescription=Success");
}

TEST_F(CommandFixture, DisplayResultReportsDeviceCategory) {
  QueueLastError({0x08, 0x00, 0x00, 0x00});
  EXPECT_EQ(Run([](CQuorvex2& q) { return q.DisplayResult(1, "", ""); }),
            "Status=1\nStatusDescription=Communication error");
}

// Cancel returns nothing; its outcome shows in the calls and the log.
class CancelTest : public CommandFixture {
 protected:
  void Cancel() {
    CQuorvex2 quorvex2(fake);
    quorvex2.Cancel();
  }
};

TEST_F(CancelTest, FreeReaderIsConnectedAndReleased) {
  Cancel();
  EXPECT_EQ(ConnectCount(), 1u);
  EXPECT_EQ(fake.CallsTo("Disconnect").size(), 1u);
  EXPECT_TRUE(fake.CallsTo("Control").empty());
  EXPECT_EQ(LogLineWith("[ERR]"), -1) << ReadLog();
}

TEST_F(CancelTest, BusyReaderGetsTheOtherSessionCancelled) {
  qvx::CEventHandle otherSession(CreateEvent(nullptr, true, false, kCancelEvent));
  ASSERT_TRUE(otherSession);
  fake.connectResults = {SCARD_E_SHARING_VIOLATION};

  Cancel();

  EXPECT_EQ(WaitForSingleObject(otherSession.Get(), 0), WAIT_OBJECT_0);
  EXPECT_EQ(ConnectCount(), 2u);
  EXPECT_EQ(LogLineWith("[ERR]"), -1) << ReadLog();
}

TEST_F(CancelTest, FailuresAreLoggedNotRaised) {
  struct Case {
    const char* name;
    std::vector<std::string> readers;
    std::deque<LONG> connects;
    std::string logged;
  };
  const Case cases[] = {
      {"NoDevice", {}, {}, " [ERR]GetReaderName() => SCardListReaders() failed. 8010002E"},
      {"StaysBusy",
       {kReaderName},
       std::deque<LONG>(5, SCARD_E_SHARING_VIOLATION),
       " [ERR]CReader::Open() => SCardConnect() failed. 8010000B, SCARD_E_SHARING_VIOLATION"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fake.readers = c.readers;
    fake.connectResults = c.connects;
    std::filesystem::remove(LogPath());
    EXPECT_NO_THROW(Cancel());
    EXPECT_GE(LogLineWith(c.logged), 0) << ReadLog();
    EXPECT_EQ(fake.OpenCards(), 0);
  }
}

}  // namespace
}  // namespace qvx::testing
