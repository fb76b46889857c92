// The reader channel: finding the reader, the last-error scan, the busy
// reader with its cancel event, and clean-up on every path.
#include "CommandFixture.h"

#include "platform/Sync.h"

namespace qvx::testing {
namespace {

constexpr const char* kCancelEvent = "Global\\Meridel Quorvex2_Reader 0_cancel_event";

std::string Mode2(CQuorvex2& q) { return q.GetMode2Response(); }

// --- reader name ---

struct ReaderListCase {
  const char* name;
  std::vector<std::string> readers;
  std::string chosen;  // empty: no reader matches
};

// Printed by name rather than as a dump of its bytes.
void PrintTo(const ReaderListCase& c, std::ostream* os) { *os << c.name; }

class ReaderNameTest : public CommandFixture,
                       public ::testing::WithParamInterface<ReaderListCase> {};

TEST_P(ReaderNameTest, TakesFirstReaderWithThePrefix) {
  const ReaderListCase& c = GetParam();
  fake.readers = c.readers;

  const std::string result = Run(Mode2);

  const auto connects = fake.CallsTo("Connect");
  if (c.chosen.empty()) {
    EXPECT_EQ(StatusOf(result), 2) << result;
    EXPECT_EQ(Value(result, "StatusDescription"), "Device not connected");
    EXPECT_TRUE(connects.empty());
  } else {
    EXPECT_EQ(StatusOf(result), 0) << result;
    ASSERT_EQ(connects.size(), 1u);
    EXPECT_EQ(connects[0].reader, c.chosen);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Lists, ReaderNameTest,
    ::testing::Values(
        ReaderListCase{"NoReaders", {}, ""},
        ReaderListCase{"OnlyShorterNames", {"Meridel Quorvex2_Reade", "Meridel"}, ""},
        ReaderListCase{"OtherReadersOnly", {"Generic CCID 00 00", "Quorvex2_Reader 0"}, ""},
        ReaderListCase{"CaseMatters", {"meridel quorvex2_reader 0"}, ""},
        ReaderListCase{"ExactPrefix", {"Meridel Quorvex2_Reader"}, "Meridel Quorvex2_Reader"},
        ReaderListCase{
            "FirstOfTwo",
            {"Generic CCID 00 00", "Meridel Quorvex2_Reader 1", "Meridel Quorvex2_Reader 0"},
            "Meridel Quorvex2_Reader 1"}),
    CaseName<ReaderListCase>);

TEST_F(CommandFixture, NoMatchingReaderIsLoggedAgainstGetReaderName) {
  fake.readers = {"Generic CCID 00 00"};
  Run(Mode2);
  EXPECT_GE(LogLineWith(" [ERR]GetReaderName() 80100017, SCARD_E_READER_UNAVAILABLE"), 0)
      << ReadLog();
}

TEST_F(CommandFixture, FailedListingRaisesItsOwnCode) {
  fake.listResult = SCARD_E_NO_SERVICE;
  const std::string result = Run(Mode2);
  EXPECT_EQ(StatusOf(result), 1);
  EXPECT_GE(LogLineWith(" [ERR]GetReaderName() => SCardListReaders() failed. 8010001D"), 0)
      << ReadLog();
}

// --- last-error record ---

struct LastErrorCase {
  const char* name;
  std::vector<BYTE> record;
  int status;
  std::string logged;         // error line after " [ERR]"; empty for success
  bool emptyMessage = false;  // the line ends right after the source
};

// Printed by name rather than as a dump of its bytes.
void PrintTo(const LastErrorCase& c, std::ostream* os) { *os << c.name; }

class LastErrorTest : public CommandFixture, public ::testing::WithParamInterface<LastErrorCase> {};

TEST_P(LastErrorTest, FirstNonZeroByteDecides) {
  const LastErrorCase& c = GetParam();
  QueueAnswer(ControlIndex::GetMode2Response, {0xDE, 0xAD});
  QueueLastError(c.record);

  const std::string result = Run(Mode2);

  EXPECT_EQ(StatusOf(result), c.status) << result;
  // A failed request never hands its answer on.
  EXPECT_EQ(Value(result, "Response"), c.status == 0 ? "DEAD" : "");
  if (c.logged.empty()) {
    EXPECT_EQ(LogLineWith(" [ERR]"), -1) << ReadLog();
  } else {
    const int line = LogLineWith(" [ERR]" + c.logged);
    ASSERT_GE(line, 0) << ReadLog();
    if (c.emptyMessage) {
      const std::string text = LogLines()[static_cast<std::size_t>(line)];
      EXPECT_EQ(text.substr(text.size() - c.logged.size()), c.logged);
    }
  }
}

const std::string kMode2Failed =
    "CReader::ExecuteSCardCMD() => SCardControl(GetMode2Response) failed. ";

INSTANTIATE_TEST_SUITE_P(
    Records, LastErrorTest,
    ::testing::Values(
        LastErrorCase{"AllZero", {0x00, 0x00, 0x00, 0x00}, 0, ""},
        LastErrorCase{"NothingReturned", {}, 0, ""},
        LastErrorCase{"TwoZeroBytes", {0x00, 0x00}, 0, ""},
        LastErrorCase{"LeadingZeroSkipped",
                      {0x00, 0x05, 0x00, 0x00},
                      15,
                      kMode2Failed + "Extended error codes: (0x00, 0x05, 0x00, 0x00) A0100002"},
        LastErrorCase{"CancelByUser",
                      {0x04, 0x83, 0x00, 0x00},
                      7,
                      kMode2Failed + "Extended error codes: (0x04, 0x83, 0x00, 0x00) A010006E"},
        LastErrorCase{"ShortRecord",
                      {0x03},
                      3,
                      kMode2Failed + "Extended error codes: (0x03, 0x00, 0x00, 0x00) E0100000"},
        LastErrorCase{"CardIdNotFound", {0x00, 0x00, 0x00, 0x0D}, 9, kMode2Failed},
        LastErrorCase{"FirstUnknownCategory",
                      {0x0E, 0x00, 0x00, 0x00},
                      1,
                      kMode2Failed + "Extended error codes: (0x0e, 0x00, 0x00, 0x00) ",
                      true},
        // An unknown category has no code and leaves the message empty.
        LastErrorCase{"UnknownCategory",
                      {0x20, 0x05, 0x00, 0x00},
                      1,
                      kMode2Failed + "Extended error codes: (0x20, 0x05, 0x00, 0x00) ",
                      true}),
    CaseName<LastErrorCase>);

TEST_F(CommandFixture, EmptyAnswerWithCleanRecordSucceeds) {
  EXPECT_EQ(Run(Mode2), "Status=0\nStatusDescription=Success\nResponse=");
}

TEST_F(CommandFixture, AnswerOfFullBufferIsKept) {
  QueueAnswer(ControlIndex::GetMode2Response, std::vector<BYTE>(255, 0x5A));
  const std::string result = Run(Mode2);
  EXPECT_EQ(Value(result, "Response"), [] {
    std::string hex;
    for (int i = 0; i < 255; ++i) hex += "5A";
    return hex;
  }());
}

TEST_F(CommandFixture, AnswerLongerThanBufferIsACommunicationError) {
  QueueAnswer(ControlIndex::GetMode2Response, std::vector<BYTE>(256, 0x5A));
  const std::string result = Run(Mode2);
  EXPECT_EQ(StatusOf(result), 1) << result;
  EXPECT_EQ(Value(result, "Response"), "");
  EXPECT_GE(LogLineWith(" [ERR]" + kMode2Failed.substr(0, kMode2Failed.size() - 1) +
                        " 80100008, SCARD_E_INSUFFICIENT_BUFFER"),
            0)
      << ReadLog();
  // The last-error record is not asked for after a failed request.
  EXPECT_TRUE(Requests(ControlIndex::GetLastError).empty());
}

TEST_F(CommandFixture, FailedLastErrorRequestNamesIt) {
  fake.QueueControl(qvx::contract::ControlCode(ControlIndex::GetLastError).pcscCode,
                    {SCARD_E_NOT_READY, {}});
  const std::string result = Run(Mode2);
  EXPECT_EQ(StatusOf(result), 1);
  EXPECT_GE(LogLineWith(" [ERR]CReader::ExecuteSCardCMD() => SCardControl(GetLastError) "
                        "failed. 80100010"),
            0)
      << ReadLog();
}

class ReaderGoneTest : public CommandFixture, public ::testing::WithParamInterface<LONG> {};

// pcscd dropped the reader (unplugged) after the request came back: while
// removing it, and after.
TEST_P(ReaderGoneTest, BeforeTheLastErrorRecordIsADeviceError) {
  fake.QueueControl(qvx::contract::ControlCode(ControlIndex::GetLastError).pcscCode,
                    {GetParam(), {}});
  const std::string result = Run(Mode2);
  EXPECT_EQ(StatusOf(result), 3) << result;
  EXPECT_GE(LogLineWith(
                " [ERR]CReader::ExecuteSCardCMD() => SCardControl(GetLastError) failed. The reader "
                "went away during the request."),
            0)
      << ReadLog();
  EXPECT_NE(ReadLog().find("E0100000, SCARD_E_DEVICE_ERROR"), std::string::npos) << ReadLog();
}

INSTANTIATE_TEST_SUITE_P(RemovingAndRemoved, ReaderGoneTest,
                         ::testing::Values(static_cast<LONG>(SCARD_E_READER_UNAVAILABLE),
                                           static_cast<LONG>(SCARD_E_INVALID_VALUE)));

// --- connection and cancel event ---

TEST_F(CommandFixture, CancelEventExistsOnlyWhileConnected) {
  bool eventSeen = false;
  fake.onCall = [&](const FakeSCard::Call& call) {
    if (call.function != "Control") return;
    platform::HANDLE event = OpenEvent(SYNCHRONIZE | EVENT_MODIFY_STATE, false, kCancelEvent);
    eventSeen = event != nullptr;
    if (event != nullptr) CloseHandle(event);
  };
  EXPECT_EQ(StatusOf(Run(Mode2)), 0);
  EXPECT_TRUE(eventSeen);
  EXPECT_EQ(OpenEvent(SYNCHRONIZE | EVENT_MODIFY_STATE, false, kCancelEvent), nullptr);
}

TEST_F(CommandFixture, OtherFailureOfConnectIsNotRetried) {
  fake.connectResults = {SCARD_E_NO_SMARTCARD, SCARD_S_SUCCESS};
  const std::string result = Run(Mode2);
  EXPECT_EQ(StatusOf(result), 1);
  EXPECT_EQ(ConnectCount(), 1u);
  EXPECT_GE(LogLineWith(" [ERR]CReader::Open() => SCardConnect() failed. 8010000C"), 0)
      << ReadLog();
}

// The reader is held by "another session" that created the cancel event.
class BusyReaderTest : public CommandFixture {
 protected:
  void SetUp() override {
    CommandFixture::SetUp();
    m_otherSession = qvx::CEventHandle(CreateEvent(nullptr, true, false, kCancelEvent));
    ASSERT_TRUE(m_otherSession);
  }
  void TearDown() override {
    m_otherSession.Reset();
    CommandFixture::TearDown();
  }
  bool Signalled() const { return WaitForSingleObject(m_otherSession.Get(), 0) == WAIT_OBJECT_0; }
  // Resets the event on every later connect attempt, so a second signal
  // would still show at the end.
  void CountSignals() {
    fake.onCall = [this](const FakeSCard::Call& call) {
      if (call.function != "Connect") return;
      ++m_connects;
      if (m_connects == 2) {
        m_signalledBeforeRetry = Signalled();
        ResetEvent(m_otherSession.Get());
      }
    };
  }

  qvx::CEventHandle m_otherSession;
  int m_connects = 0;
  bool m_signalledBeforeRetry = false;
};

TEST_F(BusyReaderTest, ReaderThatStaysBusyEndsInDeviceInUse) {
  CountSignals();
  fake.connectResults.assign(5, SCARD_E_SHARING_VIOLATION);
  const std::string result = Run(Mode2);
  EXPECT_EQ(result, "Status=14\nStatusDescription=Device in use\nResponse=");
  EXPECT_EQ(ConnectCount(), 5u);
  EXPECT_TRUE(m_signalledBeforeRetry) << "the holder was not asked to cancel";
  EXPECT_FALSE(Signalled()) << "the holder was asked more than once";
  EXPECT_TRUE(Requests(ControlIndex::GetMode2Response).empty());
}

TEST_F(BusyReaderTest, ReaderFreedByTheHolderIsUsed) {
  CountSignals();
  fake.connectResults = {SCARD_E_SHARING_VIOLATION, SCARD_E_SHARING_VIOLATION};
  const std::string result = Run(Mode2);
  EXPECT_EQ(StatusOf(result), 0) << result;
  EXPECT_EQ(ConnectCount(), 3u);
  EXPECT_TRUE(m_signalledBeforeRetry);
  EXPECT_FALSE(Signalled());
  EXPECT_EQ(Requests(ControlIndex::GetMode2Response).size(), 1u);
}

TEST_F(CommandFixture, BusyReaderWithoutOtherSessionEventStillRetries) {
  fake.connectResults = {SCARD_E_SHARING_VIOLATION, SCARD_E_SHARING_VIOLATION};
  EXPECT_EQ(StatusOf(Run(Mode2)), 0);
  EXPECT_EQ(ConnectCount(), 3u);
}

TEST_F(CommandFixture, OpenThatCannotCreateTheEventLeavesNoConnection) {
  // A mutex holds the cancel event's name: no event of that name can be made.
  const qvx::CEventHandle blocker(CreateMutex(nullptr, false, EventName().c_str()));
  ASSERT_NE(blocker.Get(), nullptr);

  qvx::CLog log;
  log.SetFileName(LogPath());
  qvx::CReader reader(fake, log);
  reader.EstablishContext();
  try {
    reader.Open();
    FAIL() << "Open succeeded without its cancel event";
  } catch (const qvx::CReport& report) {
    EXPECT_EQ(report.GetStatus(), 1);
    EXPECT_EQ(report.GetSource(), "CReader::Open() => CreateEvent() failed.");
    EXPECT_EQ(report.Message().rfind(" Error: ", 0), 0u) << report.Message();
  }
  // Checked while the reader still lives: Open itself let go.
  EXPECT_EQ(fake.OpenCards(), 0);
}

// --- clean-up failures are logged, not raised ---

TEST_F(CommandFixture, FailedDisconnectIsLoggedOnce) {
  fake.disconnectResult = SCARD_E_INVALID_HANDLE;
  EXPECT_EQ(StatusOf(Run(Mode2)), 0);
  const std::string log = ReadLog();
  const std::string line = " [ERR]Close() => SCardDisconnect() failed. 80100003";
  const std::size_t first = log.find(line);
  EXPECT_NE(first, std::string::npos) << log;
  EXPECT_EQ(log.find(line, first + 1), std::string::npos) << log;
}

TEST_F(CommandFixture, FailedContextIsLoggedAndTheCommandFails) {
  fake.establishResult = SCARD_E_NO_SERVICE;
  const std::string result = Run(Mode2);
  EXPECT_EQ(StatusOf(result), 1);
  EXPECT_GE(LogLineWith(" [ERR]EstablishContext() => SCardEstablishContext() failed. 8010001D"), 0)
      << ReadLog();
  EXPECT_TRUE(fake.CallsTo("ReleaseContext").empty());
}

TEST_F(CommandFixture, FailedReleaseIsLogged) {
  fake.releaseResult = SCARD_E_INVALID_HANDLE;
  EXPECT_EQ(StatusOf(Run(Mode2)), 0);
  EXPECT_GE(LogLineWith(" [ERR]ReleaseContext() => SCardReleaseContext() failed."), 0) << ReadLog();
}

}  // namespace
}  // namespace qvx::testing
