#include "command/Error.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>

#include "CommandFixture.h"

namespace qvx {
namespace {

using qvx::testing::CommandFixture;

std::vector<ErrorCodeRow> Rows() {
  std::size_t count = 0;
  const ErrorCodeRow* rows = ErrorCodeTable(&count);
  return {rows, rows + count};
}

// The message CError must build from a row: its own texts, in this order.
std::string MessageOf(const ErrorCodeRow& row) {
  char hex[9];
  std::snprintf(hex, sizeof hex, "%X", static_cast<unsigned>(row.code));
  return std::string(hex) + ", " + row.name + ", " + row.description + ", " + row.origin + ", " +
         std::to_string(row.status) + ", " + StatusDescription(row.status);
}

using ErrorReportTest = CommandFixture;

// Each row as a command meets it: the resource manager fails with the row's
// code, and the result and the log line say what the row says.
TEST_F(ErrorReportTest, EveryRowReachesTheResultAndTheLog) {
  const std::vector<ErrorCodeRow> rows = Rows();
  ASSERT_EQ(rows.size(), 64u);
  for (const ErrorCodeRow& row : rows) {
    SCOPED_TRACE(row.name);
    fake.listResult = static_cast<LONG>(row.code);
    const std::string result = Run([](CQuorvex2& q) { return q.CheckConnection(); });
    EXPECT_EQ(qvx::testing::StatusOf(result), row.status) << result;
    EXPECT_EQ(qvx::testing::Value(result, "StatusDescription"), StatusDescription(row.status));
    EXPECT_TRUE(LogHasLineEndingWith("SCardListReaders() failed. " + MessageOf(row))) << ReadLog();
  }
}

// A later row with the code of an earlier one could never be found.
TEST(ErrorTest, EveryRowIsTheOneItsCodeFinds) {
  std::set<std::string> names;
  for (const ErrorCodeRow& row : Rows()) {
    SCOPED_TRACE(row.name);
    const ErrorCodeRow* found = FindErrorCode(row.code);
    ASSERT_NE(found, nullptr);
    EXPECT_STREQ(found->name, row.name);
    EXPECT_STREQ(found->description, row.description);
    EXPECT_TRUE(names.insert(row.name).second) << "name twice";
    EXPECT_STRNE(row.description, "");
    EXPECT_STRNE(row.origin, "");
  }
}

// No code is a success or an unknown status; the statuses a command finds
// out for itself (device version, plug-in missing) come from no code.
TEST(ErrorTest, TheTableReachesEveryFailureStatusOfACode) {
  std::set<Status> reached;
  for (const ErrorCodeRow& row : Rows()) reached.insert(row.status);
  std::set<Status> failures;
  for (Status status = kStatusCommunicationError; status <= kStatusCancelByOtherSession; ++status) {
    if (status != kStatusIncorrectDeviceVersion && status != kStatusBrixonNotInstalled) {
      failures.insert(status);
    }
  }
  EXPECT_EQ(reached, failures);
}

TEST(ErrorTest, ExactMessages) {
  const struct {
    std::uint32_t code;
    Status status;
    const char* message;
  } cases[] = {
      {0xA010006E, 7,
       "A010006E, SCARD_W_CANCELLED_BY_USER, The action was cancelled by the "
       "user, User, 7, Cancel by user"},
      {0x00000651, 2,
       "651, ERROR_DEVICE_REMOVED, The device has been removed, User, 2, "
       "Device not connected"},
      {0x8010000B, 14,
       "8010000B, SCARD_E_SHARING_VIOLATION, The smart card cannot be "
       "accessed because of other connections outstanding, User, 14, Device "
       "in use"},
      {0x8010002C, 1,
       "8010002C, SCARD_E_NO_SUCH_CERTIFICATE, The requested certificate does "
       "not exist., NA, 1, Communication error"},
      {0xA0100002, 15,
       "A0100002, SCARD_W_CANCELLED, Command Cancelled by other session., "
       "User, 15, Cancel by other session"},
      {0x80100002, 1,
       "80100002, SCARD_E_CANCELLED, The action was cancelled by an "
       "SCardCancel request, BRIXON, 1, Communication error"},
      // A system cancel is a failure, never "Success".
      {0x80100012, 1,
       "80100012, SCARD_E_SYSTEM_CANCELLED, The action was cancelled by the "
       "system, presumably to log off or shut down, User, 1, Communication "
       "error"},
      // Unknown codes and 0: an empty description between two commas.
      {0, 1, "0, SYSTEM_ERROR, , System, 1, Communication error"},
      {0x8010000A, 1, "8010000A, SYSTEM_ERROR, , System, 1, Communication error"},
      {0xFFFFFFFF, 1, "FFFFFFFF, SYSTEM_ERROR, , System, 1, Communication error"},
      {0x0000001F, 1, "1F, SYSTEM_ERROR, , System, 1, Communication error"},
  };
  for (const auto& c : cases) {
    const CError error(c.code);
    EXPECT_EQ(error.GetStatus(), c.status) << std::hex << c.code;
    EXPECT_EQ(error.Message(), c.message);
  }
  EXPECT_EQ(FindErrorCode(0), nullptr);
}

TEST(ErrorTest, ExtendedErrorTable) {
  const struct {
    std::uint8_t byte;
    std::uint32_t code;
    Status status;
  } cases[] = {
      {1, 0xA010000A, 8},  {2, 0xA0100014, 1},   {3, 0xE0100000, 3},   {4, 0xA010006E, 7},
      {5, 0xA0100002, 15}, {6, 0xA010006C, 11},  {7, 0xA0100001, 6},   {8, 0xA010000D, 1},
      {9, 0xA010001C, 5},  {10, 0xE0100003, 12}, {11, 0xE0100001, 10}, {12, 0xA0100013, 1},
      {13, 0xE0100002, 9},
  };
  EXPECT_EQ(ExtendedErrorCode(0), 0u);
  for (const auto& c : cases) {
    EXPECT_EQ(ExtendedErrorCode(c.byte), c.code) << int{c.byte};
    ASSERT_NE(FindErrorCode(c.code), nullptr) << int{c.byte};
    EXPECT_EQ(CError(c.code).GetStatus(), c.status) << int{c.byte};
  }
  for (const int byte : {14, 15, 0x80, 0xFF}) {
    EXPECT_EQ(ExtendedErrorCode(static_cast<std::uint8_t>(byte)), 0u) << byte;
  }
}

TEST(ErrorTest, DeviceErrorTable) {
  std::size_t count = 0;
  const DeviceErrorRow* rows = DeviceErrorTable(&count);
  ASSERT_EQ(count, 54u);
  std::set<int> codes;
  for (std::size_t i = 0; i < count; ++i) {
    EXPECT_TRUE(codes.insert(rows[i].code).second) << rows[i].name;
    EXPECT_EQ(FindDeviceError(rows[i].code), &rows[i]);
  }

  const struct {
    std::uint8_t code;
    const char* name;
    const char* description;
  } cases[] = {
      {0x01, "ERR_DF_NAME_NOT_FOUND", "Could not find DF-name"},
      // The device's texts carry stray non-ASCII bytes; they stay as they are.
      {0x10, "ERR_CVM_INCORRECT",
       "If the CVM setting is not\xC3\xAD"
       "41h\xC3\xAD or \xC3\xAB"
       "01h\xC3\xAD"},
      {0x26, "ERR_WRONG_VERSION",
       "Version on Chip Card When Version == \xC3\xAB"
       "00h\xC3\xAD, or "
       "Version >\xC3\xAD"
       "0Fh\xC3\xAD"},
      {0x24, "ERR_CARD_ID_NOT_FOUNd", "Card Id not found"},
      {0x34, "ERR_NO_CARD_INSERTED", "Internal error "},
      {0x72, "ERR_COMMUNICATION", "UART communication error"},
      {0x89, "ERR_APPL_ERROR", "Receiving a SW 64XX or 65XX from a chip card"},
  };
  for (const auto& c : cases) {
    const DeviceErrorRow* row = FindDeviceError(c.code);
    ASSERT_NE(row, nullptr) << int{c.code};
    EXPECT_STREQ(row->name, c.name);
    EXPECT_STREQ(row->description, c.description);
  }
  for (const int unknown : {0x00, 0x0A, 0x35, 0x49, 0x8A, 0xFF}) {
    EXPECT_EQ(FindDeviceError(static_cast<std::uint8_t>(unknown)), nullptr) << unknown;
  }
}

}  // namespace
}  // namespace qvx
