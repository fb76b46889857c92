// CError: translation of a PC/SC, system or device code into a status and a
// one-line message, by the service's error-code table.
#pragma once

#include <cstdint>
#include <string>

#include "command/ErrorCodes.h"
#include "command/Status.h"

namespace qvx {

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
