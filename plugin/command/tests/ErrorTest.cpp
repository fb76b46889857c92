// The plug-in's error model: its 63-row table, the rendered text, unknown
// codes, explicit status and origin, and the log line a CError writes.
#include <cstdio>
#include <cstring>
#include <regex>

#include "PluginTestSupport.h"
#include "brixon/Error.h"
#include "platform/SystemMessage.h"

namespace qvx::testing {
namespace {

using qvx::brixon::CError;

TEST(PluginErrorTable, HasNoOtherSessionRowAndFilesSCardCancelledUnderA0100002) {
  std::size_t count = 0;
  const qvx::ErrorCodeRow* rows = qvx::brixon::ErrorCodeTable(&count);
  EXPECT_EQ(count, qvx::brixon::kErrorCodeRows);
  for (std::size_t i = 0; i < count; ++i) {
    EXPECT_STRNE(rows[i].name, "SCARD_W_CANCELLED");
    for (std::size_t j = i + 1; j < count; ++j) EXPECT_NE(rows[i].code, rows[j].code);
  }
  const qvx::ErrorCodeRow* cancelled = qvx::brixon::FindErrorCode(0xA0100002u);
  ASSERT_NE(cancelled, nullptr);
  EXPECT_STREQ(cancelled->name, "SCARD_E_CANCELLED");
  EXPECT_EQ(cancelled->status, qvx::kStatusCommunicationError);
  EXPECT_EQ(qvx::brixon::FindErrorCode(0x80100002u), nullptr);
}

struct TextCase {
  std::string name;
  std::uint32_t code;
  std::string text;
};

class PluginErrorText : public ::testing::TestWithParam<TextCase> {};

TEST_P(PluginErrorText, RendersCodeWithEightHexDigits) {
  const CError error("CTest::Run()", "message", GetParam().code);
  EXPECT_EQ(error.GetText(), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, PluginErrorText,
    ::testing::Values(
        TextCase{"CancelledByUser", 0xA010006Eu,
                 "0xA010006E, SCARD_W_CANCELLED_BY_USER, The action was cancelled by the user, "
                 "User, 7, Cancel by user"},
        TextCase{"CancelledIsStatusOne", 0xA0100002u,
                 "0xA0100002, SCARD_E_CANCELLED, The action was cancelled by an SCardCancel "
                 "request, BRIXON, 1, Communication error"},
        // A command the system cancelled must not read "Success".
        TextCase{"SystemCancelledIsNoSuccess", 0x80100012u,
                 "0x80100012, SCARD_E_SYSTEM_CANCELLED, The action was cancelled by the system, "
                 "presumably to log off or shut down, User, 1, Communication error"},
        TextCase{"LeadingZeros", 0x00000651u,
                 "0x00000651, ERROR_DEVICE_REMOVED, The device has been removed, User, 2, "
                 "Device not connected"},
        TextCase{"NoSystemText", 0x12345678u,
                 "0x12345678, SYSTEM_ERROR, , User, 1, Communication error"},
        TextCase{"NoCode", 0, "0x00000000, SYSTEM_ERROR, , User, 1, Communication error"}),
    CaseName<TextCase>);

// Not in the table: the system's own text describes it (its wording is the
// system's; the Linux layer's is pinned in ErrorSystemTextTest.cpp).
TEST(PluginError, ACodeOutsideTheTableCarriesTheSystemsText) {
  for (const std::uint32_t code : {0x8010000Au, 5u}) {
    std::string text;
    // A system may have no text for a PC/SC code; every one has this error's.
    if (platform::FormatSystemMessage(code, text) != ERROR_SUCCESS) text.clear();
    if (code == 5) {
      ASSERT_FALSE(text.empty());
    }
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08X", code);
    EXPECT_EQ(CError("CTest::Run()", "message", code).GetText(),
              std::string(hex) + ", SYSTEM_ERROR, " + text + ", User, 1, Communication error");
  }
}

TEST(PluginError, ExplicitStatusAndOriginOverrideTheCode) {
  const CError cancelled("CPCSC::WaitForCompletion()", "Command Cancelled by other session.",
                         0xA0100002u, qvx::brixon::LEVEL_ERROR, qvx::kStatusCancelByOtherSession);
  EXPECT_EQ(cancelled.GetStatus(), 15);
  EXPECT_EQ(cancelled.GetStatusDescription(), "Cancel by other session");
  EXPECT_EQ(cancelled.GetOrigin(), "BRIXON");

  const CError timeout("CPCSC::Control()",
                       "Timeout while trying to get exclusive access to the Quorvex2.", 0,
                       qvx::brixon::LEVEL_ERROR, qvx::kStatusCommunicationError, "Driver/QVX");
  EXPECT_EQ(timeout.GetOrigin(), "Driver/QVX");
  EXPECT_EQ(timeout.GetStatus(), 1);
  EXPECT_STREQ(timeout.what(), "Timeout while trying to get exclusive access to the Quorvex2.");
}

TEST(PluginError, BuildingItWritesOneLogLineWithLevelTag) {
  const LogMark mark;
  const CError error("CControlThread::GetExtendedErrorCodesPCSC()",
                     "SCardControl(0x312028/GetLastError) failed. dwBytesReturned = 0", 0x80100016u,
                     qvx::brixon::LEVEL_DEBUG);
  const std::string written = mark.Since();
  const std::regex line(
      R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} 0x[0-9A-F]{4,}::0x[0-9A-F]{4,} \[DBG\] )"
      R"(CControlThread::GetExtendedErrorCodesPCSC\(\): \[0x80100016, SCARD_E_NOT_TRANSACTED, )"
      R"([^\]]*\] SCardControl\(0x312028/GetLastError\) failed\. dwBytesReturned = 0\n)");
  EXPECT_TRUE(std::regex_match(written, line)) << written;

  // A copy (as when it is caught) does not log again.
  const LogMark again;
  const CError copy = error;
  EXPECT_EQ(again.Since(), "");
  EXPECT_EQ(copy.GetLabel(), error.GetLabel());
}

TEST(PluginLogLine, PrefixHasTimeProcessThreadAndTag) {
  platform::SYSTEMTIME time{};
  time.wYear = 2023;
  time.wMonth = 5;
  time.wDay = 1;
  time.wHour = 9;
  time.wMinute = 5;
  time.wSecond = 7;
  time.wMilliseconds = 42;
  EXPECT_EQ(qvx::brixon::LogLinePrefix(0x1A2B, 0x7, time, qvx::brixon::LEVEL_INFO),
            "2023-05-01 09:05:07.042 0x1A2B::0x0007 [INF] ");
  EXPECT_EQ(qvx::brixon::LogLinePrefix(0x12345, 0xABCDE, time, qvx::brixon::LEVEL_ERROR),
            "2023-05-01 09:05:07.042 0x12345::0xABCDE [ERR] ");
}

}  // namespace
}  // namespace qvx::testing
