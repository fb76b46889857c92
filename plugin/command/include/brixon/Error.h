// CError: the plug-in's raised failure. It carries the method label, the
// message and the translation of a numeric code (name, description, origin
// tag, status, status description) as separate fields, and writes its log
// line when it is built.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <optional>
#include <string>

#include "command/ErrorCodes.h"
#include "command/Levels.h"
#include "command/Status.h"

namespace qvx::brixon {

// The shared log levels; a line's tag is followed by a blank here.
using qvx::LEVEL_DEBUG;
using qvx::LEVEL_ERROR;
using qvx::LEVEL_INFO;

// The plug-in's error-code table: the service's rows without
// SCARD_W_CANCELLED, and SCARD_E_CANCELLED under
// kCancelledByOtherSessionCode (status 1).
// Another session's cancel is recognised by the reader access instead.
constexpr std::size_t kErrorCodeRows = 63;
const ErrorCodeRow* ErrorCodeTable(std::size_t* count);
// First row with exactly this code, or nullptr (also for code 0).
const ErrorCodeRow* FindErrorCode(std::uint32_t code);

class CError : public std::exception {
 public:
  // Status and origin follow from the code's row; a code without a row (and
  // code 0) gives status 1 and origin "User".
  CError(std::string label, std::string message, std::uint32_t code = 0,
         std::int32_t level = LEVEL_ERROR);
  // An explicit status (std::nullopt: from the code) and an explicit origin
  // (nullptr: from the code), e.g. status 15 for another session's cancel or
  // origin "Driver/QVX" for the exclusive-access timeout.
  CError(std::string label, std::string message, std::uint32_t code, std::int32_t level,
         std::optional<Status> status, const char* origin = nullptr);

  const std::string& GetLabel() const { return m_label; }
  const std::string& Message() const { return m_message; }
  std::int32_t GetLevel() const { return m_level; }
  std::uint32_t GetCode() const { return m_code; }
  // "SYSTEM_ERROR" for a code without a row.
  const std::string& GetName() const { return m_name; }
  // The row's text; for a code without a row the system's message text for
  // the code (empty when it has none, and for code 0).
  const std::string& GetDescription() const { return m_description; }
  const std::string& GetOrigin() const { return m_origin; }
  Status GetStatus() const { return m_status; }
  const std::string& GetStatusDescription() const { return m_statusDescription; }

  // "0xA010006E, SCARD_W_CANCELLED_BY_USER, The action was cancelled by the
  // user, User, 7, Cancel by user"
  std::string GetText() const;
  // The log line after its prefix: "<label>: [<text>] <message>" ("<label>: "
  // only when there is a label).
  std::string GetLogEntry() const;

  const char* what() const noexcept override { return m_message.c_str(); }

 private:
  std::string m_label;
  std::string m_message;
  std::int32_t m_level;
  std::uint32_t m_code;
  std::string m_name;
  std::string m_description;
  std::string m_origin;
  Status m_status;
  std::string m_statusDescription;
};

}  // namespace qvx::brixon
