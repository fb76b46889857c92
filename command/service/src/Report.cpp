// CReport: formatting of the message and rendering of the report line.
#include "command/Report.h"

#include <cstdarg>
#include <cstdio>
#include <utility>
#include <vector>

#include "platform/System.h"

namespace qvx {

namespace {

std::string FormatMessage(const char* format, std::va_list args) {
  if (format == nullptr) return {};
  std::va_list measure;
  va_copy(measure, args);
  const int length = std::vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  if (length <= 0) return {};  // empty, or an encoding error

  std::vector<char> buffer(static_cast<std::size_t>(length) + 1);
  std::vsnprintf(buffer.data(), buffer.size(), format, args);
  return std::string(buffer.data(), static_cast<std::size_t>(length));
}

void CutMessage(std::string& message) {
  if (message.size() > kMaxReportMessage) message.resize(kMaxReportMessage);
}

}  // namespace

CReport::CReport(Status status, std::int32_t level, std::string source, const char* format, ...)
    : m_level(level), m_status(status), m_source(std::move(source)) {
  std::va_list args;
  va_start(args, format);
  m_message = FormatMessage(format, args);
  va_end(args);
  CutMessage(m_message);
}

CReport CReport::WithMessage(Status status, std::int32_t level, std::string source,
                             std::string message) {
  CReport report;
  report.m_level = level;
  report.m_status = status;
  report.m_source = std::move(source);
  report.m_message = std::move(message);
  CutMessage(report.m_message);
  return report;
}

std::string CReport::Render() const {
  platform::SYSTEMTIME now{};
  GetLocalTime(&now);
  std::string line = ReportLinePrefix(GetCurrentThreadId(), now.wYear, now.wMonth, now.wDay,
                                      now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
  line += LevelTag(m_level);
  line += m_source;
  line += ' ';
  line += m_message;
  return line;
}

std::string ReportLinePrefix(unsigned long threadNumber, int year, int month, int day, int hour,
                             int minute, int second, int millisecond) {
  char prefix[64];
  std::snprintf(prefix, sizeof prefix, "%010lu:%04d-%02d-%02d %02d:%02d:%02d.%03d", threadNumber,
                year, month, day, hour, minute, second, millisecond);
  return prefix;
}

}  // namespace qvx
