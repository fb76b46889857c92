// CError: a raw PC/SC, system or device code as a status and a message line.
#include "command/Error.h"

#include <cstdio>

namespace qvx {

namespace {

std::string UpperHex(std::uint32_t code) {
  char text[9];
  std::snprintf(text, sizeof text, "%X", static_cast<unsigned>(code));
  return text;
}

}  // namespace

CError::CError(std::uint32_t code) : m_code(code), m_status(kStatusCommunicationError) {
  // Code 0 is not a known error: a caller that reached here expected one.
  const ErrorCodeRow* row = code != 0 ? FindErrorCode(code) : nullptr;
  const char* name = "SYSTEM_ERROR";
  const char* description = "";
  const char* origin = "System";
  if (row != nullptr) {
    m_status = row->status;
    name = row->name;
    description = row->description;
    origin = row->origin;
  }
  m_message = ErrorCodeText(UpperHex(code), name, description, origin, m_status);
}

}  // namespace qvx
