// The code tables both revisions translate by: PC/SC, system and device
// codes with their names, texts, origins and statuses; the extended-error
// index of the driver's last-error record; the device's own error numbers.
#pragma once

#include <cstddef>
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

// Another session's cancel, as the driver's last-error record reports it
// (category 5). The service's table names it SCARD_W_CANCELLED; the
// plug-in's older table files SCARD_E_CANCELLED under it instead.
constexpr std::uint32_t kCancelledByOtherSessionCode = 0xA0100002u;

// The service revision's 64 rows, in table order.
const ErrorCodeRow* ErrorCodeTable(std::size_t* count);
// First row with exactly this code, or nullptr.
const ErrorCodeRow* FindErrorCode(std::uint32_t code);

// Extended-error table: code for a last-error byte 1..13; 0 for byte 0 and
// for bytes above 13 (an error without a code).
std::uint32_t ExtendedErrorCode(std::uint8_t byte);
constexpr std::uint8_t kLastExtendedError = 13;

// "<code>, <name>, <description>, <origin>, <status>, <status description>":
// a translated code as both revisions show it; each writes the code its
// own way.
std::string ErrorCodeText(const std::string& code, const std::string& name,
                          const std::string& description, const std::string& origin, Status status);

// The device's own error numbers (detail byte of the last-error record).
const DeviceErrorRow* FindDeviceError(std::uint8_t code);
const DeviceErrorRow* DeviceErrorTable(std::size_t* count);

}  // namespace qvx
