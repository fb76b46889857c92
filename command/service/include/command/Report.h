// CReport: the raised and logged record of the service's library.
#pragma once

#include <cstdint>
#include <string>

#include "command/Levels.h"
#include "command/Status.h"

namespace qvx {

constexpr std::size_t kMaxReportMessage = 1024;

class CReport {
 public:
  // The message is formatted printf-style and cut to 1024 characters.
  // Callers with a finished message pass it as "%s" argument or as a format
  // without placeholders (a literal % then has to be doubled).
  CReport(Status status, std::int32_t level, std::string source, const char* format, ...)
#if defined(__GNUC__)
      __attribute__((format(printf, 5, 6)))
#endif
      ;

  // A report with a finished message (no formatting, still cut to 1024).
  static CReport WithMessage(Status status, std::int32_t level, std::string source,
                             std::string message);

  Status GetStatus() const { return m_status; }
  std::int32_t GetLevel() const { return m_level; }
  const std::string& GetSource() const { return m_source; }
  const std::string& Message() const { return m_message; }

  // The report line: thread number (10 digits), ':', local time
  // "YYYY-MM-DD hh:mm:ss.mmm", level tag, source, ' ', message.
  std::string Render() const;

 private:
  CReport() = default;
  std::int32_t m_level = LEVEL_INFO;
  Status m_status = kStatusSuccess;
  std::string m_source;
  std::string m_message;
};

// Thread number and local time prefix of a report line, exposed for tests.
std::string ReportLinePrefix(unsigned long threadNumber, int year, int month, int day, int hour,
                             int minute, int second, int millisecond);

}  // namespace qvx
