#include "command/Error.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>

namespace qvx {
namespace {

struct ExpectedRow {
  std::uint32_t code;
  const char* name;
  Status status;
};

// Every row of the error-code table with the status it must map to.
const ExpectedRow kExpectedRows[] = {
    {0xE00A0001u, "QVXRD_E_DEVICE_NOT_CONNECTED", 2},
    {0x00000651u, "ERROR_DEVICE_REMOVED", 2},
    {0x80100001u, "SCARD_F_INTERNAL_ERROR", 1},
    {0x80100002u, "SCARD_E_CANCELLED", 1},
    {0x80100003u, "SCARD_E_INVALID_HANDLE", 1},
    {0x80100004u, "SCARD_E_INVALID_PARAMETER", 1},
    {0x80100005u, "SCARD_E_INVALID_TARGET", 1},
    {0x80100006u, "SCARD_E_NO_MEMORY", 1},
    {0x80100007u, "SCARD_F_WAITED_TOO_LONG", 8},
    {0x80100008u, "SCARD_E_INSUFFICIENT_BUFFER", 1},
    {0x80100009u, "SCARD_E_UNKNOWN_READER", 2},
    {0xA010000Au, "SCARD_E_TIMEOUT", 8},
    {0x8010000Bu, "SCARD_E_SHARING_VIOLATION", 14},
    {0x8010000Cu, "SCARD_E_NO_SMARTCARD", 1},
    {0xA010000Du, "SCARD_E_UNKNOWN_CARD", 1},
    {0x8010000Eu, "SCARD_E_CANT_DISPOSE", 1},
    {0x8010000Fu, "SCARD_E_PROTO_MISMATCH", 1},
    {0x80100010u, "SCARD_E_NOT_READY", 1},
    {0x80100011u, "SCARD_E_INVALID_VALUE", 1},
    {0x80100012u, "SCARD_E_SYSTEM_CANCELLED", 1},
    {0xA0100013u, "SCARD_F_COMM_ERROR", 1},
    {0xA0100014u, "SCARD_F_UNKNOWN_ERROR", 1},
    {0x80100015u, "SCARD_E_INVALID_ATR", 1},
    {0x80100016u, "SCARD_E_NOT_TRANSACTED", 1},
    {0x80100017u, "SCARD_E_READER_UNAVAILABLE", 2},
    {0x80100018u, "SCARD_P_SHUTDOWN", 1},
    {0x80100019u, "SCARD_E_PCI_TOO_SMALL", 1},
    {0x8010001Au, "SCARD_E_READER_UNSUPPORTED", 1},
    {0x8010001Bu, "SCARD_E_DUPLICATE_READER", 1},
    {0xA010001Cu, "SCARD_E_CARD_UNSUPPORTED", 5},
    {0x8010001Du, "SCARD_E_NO_SERVICE", 1},
    {0x8010001Eu, "SCARD_E_SERVICE_STOPPED", 1},
    {0x8010001Fu, "SCARD_E_UNEXPECTED", 1},
    {0x80100020u, "SCARD_E_ICC_INSTALLATION", 1},
    {0x80100021u, "SCARD_E_ICC_CREATEORDER", 1},
    {0x80100022u, "SCARD_E_UNSUPPORTED_FEATURE", 1},
    {0x80100023u, "SCARD_E_DIR_NOT_FOUND", 1},
    {0x80100024u, "SCARD_E_FILE_NOT_FOUND", 1},
    {0x80100025u, "SCARD_E_NO_DIR", 1},
    {0x80100026u, "SCARD_E_NO_FILE", 1},
    {0x80100027u, "SCARD_E_NO_ACCESS", 1},
    {0x80100028u, "SCARD_E_WRITE_TOO_MANY", 1},
    {0x80100029u, "SCARD_E_BAD_SEEK", 1},
    {0x8010002Au, "SCARD_E_INVALID_CHV", 1},
    {0x8010002Bu, "SCARD_E_UNKNOWN_RES_MNG", 1},
    {0x8010002Cu, "SCARD_E_NO_SUCH_CERTIFICATE", 1},
    {0x8010002Du, "SCARD_E_CERTIFICATE_UNAVAILABLE", 1},
    {0x8010002Eu, "SCARD_E_NO_READERS_AVAILABLE", 2},
    {0xE0100000u, "SCARD_E_DEVICE_ERROR", 3},
    {0xE0100001u, "SCARD_E_SW1SW2_ERROR", 10},
    {0xE0100002u, "SCARD_E_CARDID_NOT_FOUND", 9},
    {0xE0100003u, "SCARD_E_INPUT_ERROR", 12},
    {0x80100065u, "SCARD_W_UNSUPPORTED_CARD", 1},
    {0x80100066u, "SCARD_W_UNRESPONSIVE_CARD", 1},
    {0x80100067u, "SCARD_W_UNPOWERED_CARD", 1},
    {0x80100068u, "SCARD_W_RESET_CARD", 1},
    {0x80100069u, "SCARD_W_REMOVED_CARD", 1},
    {0x8010006Au, "SCARD_W_SECURITY_VIOLATION", 1},
    {0x8010006Bu, "SCARD_W_WRONG_CHV", 1},
    {0xA010006Cu, "SCARD_W_CHV_BLOCKED", 11},
    {0x8010006Du, "SCARD_W_EOF", 1},
    {0xA010006Eu, "SCARD_W_CANCELLED_BY_USER", 7},
    {0xA0100001u, "SCARD_W_CARD_BLOCKED", 6},
    {0xA0100002u, "SCARD_W_CANCELLED", 15},
};

TEST(ErrorTest, EveryTableRowMapsToItsStatusAndMessage) {
  std::size_t count = 0;
  ErrorCodeTable(&count);
  ASSERT_EQ(count, std::size(kExpectedRows));

  for (const auto& expected : kExpectedRows) {
    SCOPED_TRACE(expected.name);
    const ErrorCodeRow* row = FindErrorCode(expected.code);
    ASSERT_NE(row, nullptr);
    EXPECT_STREQ(row->name, expected.name);

    const CError error(expected.code);
    EXPECT_EQ(error.GetCode(), expected.code);
    EXPECT_EQ(error.GetStatus(), expected.status);
    const std::string& message = error.GetMessage();
    char head[64];
    std::snprintf(head, sizeof head, "%X, %s, ", expected.code, expected.name);
    EXPECT_EQ(message.rfind(head, 0), 0u) << message;
    const std::string tail = ", " + std::to_string(expected.status) + ", " +
                             StatusDescription(expected.status);
    ASSERT_GE(message.size(), tail.size());
    EXPECT_EQ(message.substr(message.size() - tail.size()), tail);
  }
}

TEST(ErrorTest, CodesAreUnique) {
  std::size_t count = 0;
  const ErrorCodeRow* rows = ErrorCodeTable(&count);
  std::set<std::uint32_t> codes;
  for (std::size_t i = 0; i < count; ++i) {
    EXPECT_TRUE(codes.insert(rows[i].code).second) << rows[i].name;
  }
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
      {0x8010000A, 1,
       "8010000A, SYSTEM_ERROR, , System, 1, Communication error"},
      {0xFFFFFFFF, 1,
       "FFFFFFFF, SYSTEM_ERROR, , System, 1, Communication error"},
      {0x0000001F, 1, "1F, SYSTEM_ERROR, , System, 1, Communication error"},
  };
  for (const auto& c : cases) {
    const CError error(c.code);
    EXPECT_EQ(error.GetStatus(), c.status) << std::hex << c.code;
    EXPECT_EQ(error.GetMessage(), c.message);
  }
  EXPECT_EQ(FindErrorCode(0), nullptr);
}

TEST(ErrorTest, ExtendedErrorTable) {
  const struct {
    std::uint8_t byte;
    std::uint32_t code;
    Status status;
  } cases[] = {
      {1, 0xA010000A, 8},   {2, 0xA0100014, 1},   {3, 0xE0100000, 3},
      {4, 0xA010006E, 7},   {5, 0xA0100002, 15},  {6, 0xA010006C, 11},
      {7, 0xA0100001, 6},   {8, 0xA010000D, 1},   {9, 0xA010001C, 5},
      {10, 0xE0100003, 12}, {11, 0xE0100001, 10}, {12, 0xA0100013, 1},
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
    EXPECT_EQ(FindDeviceError(static_cast<std::uint8_t>(unknown)), nullptr)
        << unknown;
  }
}

}  // namespace
}  // namespace qvx
