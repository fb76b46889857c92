// CError: translation of the code, rendering, and the log line written when
// the error is built.
#include "brixon/Error.h"

#include <cstdio>
#include <utility>

#include "brixon/Log.h"
#include "platform/SystemMessage.h"

namespace qvx::brixon {
namespace {

constexpr const char* kUnknownName = "SYSTEM_ERROR";
constexpr const char* kDefaultOrigin = "User";

std::string HexCode(std::uint32_t code, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%0*X", digits, static_cast<unsigned>(code));
  return text;
}

// The system's text for a code the table does not know. A lookup that
// fails for another reason than a missing text is worth a log line.
std::string SystemDescription(std::uint32_t code) {
  std::string text;
  const platform::DWORD error = platform::FormatSystemMessage(code, text);
  if (error == ERROR_SUCCESS) return text;
  if (error != ERROR_MR_MID_NOT_FOUND) {
    CLog::Log(LEVEL_ERROR, "CError::GetFormattedMessage(). FormatMessage() failed. LastError = " +
                               HexCode(error, 0));
  }
  return {};
}

}  // namespace

CError::CError(std::string label, std::string message, std::uint32_t code, std::int32_t level)
    : CError(std::move(label), std::move(message), code, level, std::nullopt, nullptr) {}

CError::CError(std::string label, std::string message, std::uint32_t code, std::int32_t level,
               std::optional<Status> status, const char* origin)
    : m_label(std::move(label)),
      m_message(std::move(message)),
      m_level(level),
      m_code(code),
      m_name(kUnknownName),
      m_origin(kDefaultOrigin),
      m_status(kStatusCommunicationError) {
  if (const ErrorCodeRow* row = FindErrorCode(code)) {
    m_name = row->name;
    m_description = row->description;
    m_origin = row->origin;
    m_status = row->status;
  } else if (code != 0) {
    // Code 0 stands for "no code": there is nothing to describe.
    m_description = SystemDescription(code);
  }
  if (status) m_status = *status;
  if (origin != nullptr) m_origin = origin;
  m_statusDescription = StatusDescription(m_status);
  CLog::Log(m_level, GetLogEntry());
}

std::string CError::GetText() const {
  return ErrorCodeText(HexCode(m_code, 8), m_name, m_description, m_origin, m_status);
}

std::string CError::GetLogEntry() const {
  const std::string text = "[" + GetText() + "] " + m_message;
  return m_label.empty() ? text : m_label + ": " + text;
}

}  // namespace qvx::brixon
