// CLog: appends report lines to the service log file; CTraceGuard.
#include "command/Log.h"

#include <algorithm>
#include <utility>

#include "platform/File.h"
#include "platform/Sync.h"
#include "platform/System.h"

namespace qvx {

namespace {

constexpr std::size_t kIndentStep = 4;

// Owns an open log file for the span of one append.
class CFileHandle {
 public:
  explicit CFileHandle(platform::HANDLE file) : m_file(file) {}
  ~CFileHandle() {
    if (IsOpen()) CloseHandle(m_file);
  }
  CFileHandle(const CFileHandle&) = delete;
  CFileHandle& operator=(const CFileHandle&) = delete;

  bool IsOpen() const { return m_file != INVALID_HANDLE_VALUE; }

  // A log line is never worth failing for: a refused write is dropped.
  void WriteAll(const std::string& text) const {
    platform::DWORD written = 0;
    WriteFile(m_file, text.data(), static_cast<platform::DWORD>(text.size()), &written, nullptr);
  }

 private:
  platform::HANDLE m_file;
};

// The physical text of one line: indented, cut, long lines continued with
// " \" on the next line, embedded line feeds followed by the indent.
std::string Layout(const std::string& line, const std::string& indent) {
  const std::size_t length = std::min(line.size(), kLogLineLimit);
  std::string text = indent;
  text.reserve(length + length / 8 + indent.size() * 10);
  for (std::size_t count = 1; count <= length; ++count) {
    const char c = line[count - 1];
    text += c;
    if (c == '\n' && count != length) text += indent;
    if (count % kLogContinuationWidth == 0) {
      text += " \\\n";
      text += indent;
    }
  }
  text += '\n';
  return text;
}

}  // namespace

const std::string& CLog::GetFileName() {
  if (m_fileName.empty()) m_fileName = WSSLogFilePath();
  return m_fileName;
}

void CLog::Append(const std::string& line) {
  try {
    const std::string& fileName = GetFileName();
    if (fileName.empty()) {
      MessageBox(nullptr, "Missing file name!", "", MB_OK);
      return;
    }

    // The size is looked at once per log object (one service request), so a
    // log that outgrew its limit restarts with the next request's first line.
    bool restart = false;
    if (!m_sizeChecked) {
      m_sizeChecked = true;
      restart = platform::FileSizeAt(fileName) > kLogRestartSize;
    }

    const std::size_t slash = fileName.rfind(platform::kPathSeparator);
    if (slash != std::string::npos && slash > 0) {
      platform::MakeDirectory(fileName.substr(0, slash));
    }

    // The whole line goes out in one write to a file opened for appending
    // only, so that lines from concurrent requests and processes do not mix
    // within a line.
    const std::string text = Layout(line, m_indent);
    const CFileHandle file(
        CreateFile(fileName.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                   restart ? CREATE_ALWAYS : OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsOpen()) return;
    file.WriteAll(text);
  } catch (...) {
    // Logging never fails a command; a line that cannot be built is lost.
  }
}

void CLog::Indent() { m_indent.append(kIndentStep, ' '); }

void CLog::Outdent() {
  m_indent.resize(m_indent.size() >= kIndentStep ? m_indent.size() - kIndentStep : 0);
}

CTraceGuard::CTraceGuard(CLog& log, std::string label) : m_log(log), m_label(std::move(label)) {
  m_log.Append(CReport::WithMessage(kStatusSuccess, LEVEL_INFO, m_label + " ==> ", ""));
  m_log.Indent();
}

CTraceGuard::~CTraceGuard() {
  m_log.Outdent();
  try {
    m_log.Append(CReport::WithMessage(kStatusSuccess, LEVEL_INFO, m_label + " <== ", ""));
  } catch (...) {
    // The exit line is lost; a destructor must not throw.
  }
}

}  // namespace qvx
