// CError: translation of a PC/SC, system or device code into a status and a
// one-line message, by the error-code table; and the extended-error and
// device-error tables.
#pragma once

#include <cstdint>
#include <string>

#include "command/Status.h"

namespace qvx {

struct ErrorCodeRow {
  std::uint32_t code;
  const char* name;
  const char* description;
  const char* origin;
  Status status;
};

struct DeviceErrorRow {
  std::uint8_t code;
  const char* name;
  const char* description;
};

// The service revision's 64 rows, in table order.
const ErrorCodeRow* ErrorCodeTable(std::size_t* count);
// First row with exactly this code, or nullptr.
const ErrorCodeRow* FindErrorCode(std::uint32_t code);

// Extended-error table: code for a last-error byte 1..13; 0 for byte 0 and
// for bytes above 13 (an error without a code).
std::uint32_t ExtendedErrorCode(std::uint8_t byte);
constexpr std::uint8_t kLastExtendedError = 13;

// The device's own error numbers (detail byte of the last-error record).
const DeviceErrorRow* FindDeviceError(std::uint8_t code);
const DeviceErrorRow* DeviceErrorTable(std::size_t* count);

class CError {
 public:
  explicit CError(std::uint32_t code);

  std::uint32_t GetCode() const { return m_code; }
  Status GetStatus() const { return m_status; }
  // "A010006E, SCARD_W_CANCELLED_BY_USER, The action was cancelled by the
  // user, User, 7, Cancel by user"; unknown codes and 0 read
  // "<hex>, SYSTEM_ERROR, , System, 1, Communication error".
  const std::string& Message() const { return m_message; }

 private:
  std::uint32_t m_code;
  Status m_status;
  std::string m_message;
};

}  // namespace qvx
