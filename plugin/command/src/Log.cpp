// The plug-in's log: file name, header, daily clean-up, line prefix and the
// one write per line.
#include "brixon/Log.h"

#include <array>
#include <cstdio>

#include "brixon/Error.h"
#include "platform/File.h"
#include "platform/Sync.h"
#include "platform/System.h"

namespace qvx::brixon {
namespace {

const platform::LARGE_INTEGER kStart{};  // the start of a file

constexpr platform::DWORD kPathBufferSize = 260;
constexpr const char* kHomeDrive = "%HOMEDRIVE%";
constexpr const char* kCleanupLine =
    "CLog::CLog(): Logfile cleanup - removed lines older than one week.";

// True on a thread that is inside the log: errors raised there must not ask
// the log to write them (the process log may be under construction).
thread_local bool t_inLog = false;

class CInLogGuard {
 public:
  CInLogGuard() : m_previous(t_inLog) { t_inLog = true; }
  ~CInLogGuard() { t_inLog = m_previous; }
  CInLogGuard(const CInLogGuard&) = delete;
  CInLogGuard& operator=(const CInLogGuard&) = delete;

 private:
  bool m_previous;
};

// At the end of the file, whatever its position: other processes append to
// it too.
bool WriteAll(platform::HANDLE file, const std::string& text) {
  platform::DWORD written = 0;
  platform::OVERLAPPED atEnd{};
  atEnd.Offset = 0xFFFFFFFFu;
  atEnd.OffsetHigh = 0xFFFFFFFFu;
  return WriteFile(file, text.data(), static_cast<platform::DWORD>(text.size()), &written,
                   &atEnd) &&
         written == text.size();
}

bool IsDigitAt(const std::string& line, std::size_t position) {
  return position < line.size() && line[position] >= '0' && line[position] <= '9';
}

int NumberAt(const std::string& line, std::size_t position, std::size_t digits) {
  int value = 0;
  for (std::size_t i = 0; i < digits; ++i) value = value * 10 + (line[position + i] - '0');
  return value;
}

// The local time a line begins with ("YYYY-MM-DD hh:mm:ss"), or -1.
std::time_t LineTime(const std::string& line) {
  static constexpr char kShape[] = "9999-99-99 99:99:99";
  const std::size_t length = sizeof(kShape) - 1;
  if (line.size() < length) return -1;
  for (std::size_t i = 0; i < length; ++i) {
    if (kShape[i] == '9' ? !IsDigitAt(line, i) : line[i] != kShape[i]) return -1;
  }
  std::tm fields{};
  fields.tm_year = NumberAt(line, 0, 4) - 1900;
  fields.tm_mon = NumberAt(line, 5, 2) - 1;
  fields.tm_mday = NumberAt(line, 8, 2);
  fields.tm_hour = NumberAt(line, 11, 2);
  fields.tm_min = NumberAt(line, 14, 2);
  fields.tm_sec = NumberAt(line, 17, 2);
  fields.tm_isdst = -1;
  return std::mktime(&fields);
}

std::string TempDirectory() {
  std::array<char, kPathBufferSize> buffer{};
  const platform::DWORD needed = ExpandEnvironmentStrings("%TEMP%", buffer.data(), kPathBufferSize);
  if (needed == 0 || buffer[0] == '\0') {
    throw CError("CLog::GetLogFileName()", "1. GetTempPath() failed.", GetLastError());
  }
  if (needed > kPathBufferSize) {
    throw CError("CLog::GetLogFileName()", "2. GetTempPath() failed.", ERROR_INSUFFICIENT_BUFFER);
  }
  return buffer.data();
}

// From the start; appends still land at the end, whatever the position.
std::string ReadAll(platform::HANDLE file) {
  std::string text;
  if (!SetFilePointerEx(file, kStart, nullptr, FILE_BEGIN)) return text;
  char buffer[8192];
  platform::DWORD n = 0;
  while (ReadFile(file, buffer, sizeof buffer, &n, nullptr) && n > 0) {
    text.append(buffer, n);
  }
  return text;
}

// Holds the machine-wide log lock for a scope, when it can be had.
class CLogLock {
 public:
  CLogLock() : m_mutex(CreateMutex(nullptr, false, kLogMutexName)) {
    if (m_mutex == nullptr) return;
    const platform::DWORD wait = WaitForSingleObject(m_mutex, kLogLockWaitMs);
    // An abandoned lock is taken all the same: its owner died, the file
    // is still there.
    m_held = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
  }
  ~CLogLock() {
    if (m_held) ReleaseMutex(m_mutex);
    if (m_mutex != nullptr) CloseHandle(m_mutex);
  }
  CLogLock(const CLogLock&) = delete;
  CLogLock& operator=(const CLogLock&) = delete;

  bool IsHeld() const { return m_held; }

 private:
  platform::HANDLE m_mutex;
  bool m_held = false;
};

}  // namespace

std::string LogHeaderLine() { return std::string(kLogHeaderText) + kPluginVersion + "."; }

std::string LogLinePrefix(unsigned long processId, unsigned long threadId,
                          const platform::SYSTEMTIME& time, std::int32_t level) {
  char prefix[160];
  std::snprintf(prefix, sizeof prefix, "%04d-%02d-%02d %02d:%02d:%02d.%03d 0x%04lX::0x%04lX",
                time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute, time.wSecond,
                time.wMilliseconds, processId, threadId);
  return std::string(prefix) + LevelTag(level) + " ";
}

std::string LogLinePrefix(std::int32_t level) {
  platform::SYSTEMTIME now{};
  GetLocalTime(&now);
  return LogLinePrefix(static_cast<unsigned long>(GetCurrentProcessId()), GetCurrentThreadId(), now,
                       level);
}

std::string CleanupDateText(std::time_t now) {
  const std::tm local = platform::LocalTime(now);
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", local.tm_year + 1900, local.tm_mon + 1,
                local.tm_mday);
  return text;
}

std::string CleanupLogText(const std::string& text, std::time_t now) {
  const std::string header = kLogHeaderText;
  std::string kept;
  bool keep = false;  // nothing before the first entry survives
  std::size_t begin = 0;
  while (begin < text.size()) {
    std::size_t end = text.find('\n', begin);
    end = end == std::string::npos ? text.size() : end + 1;
    const std::string line = text.substr(begin, end - begin);
    begin = end;
    if (line.compare(0, header.size(), header) == 0) continue;
    const std::time_t stamp = LineTime(line);
    if (stamp != -1) keep = now - stamp <= kLogKeepSeconds;
    if (keep) kept += line;
  }
  if (!kept.empty() && kept.back() != '\n') kept += '\n';
  return kept;
}

std::string GetLogFileName() {
  std::string directory;
  try {
    directory = CRegistry().GetLogFilePath();
  } catch (const CError&) {
    // An unreadable setting leaves the log in the temporary directory.
  }
  if (!directory.empty()) {
    directory = ExpandPath(directory);
    // The system drive: the root on Linux.
    const std::size_t drive = directory.find(kHomeDrive);
    if (drive != std::string::npos) directory.erase(drive, std::string(kHomeDrive).size());
  }
  if (directory.empty()) directory = TempDirectory();
  if (directory.back() != platform::kPathSeparator) directory += platform::kPathSeparator;
  return directory + kLogFileName;
}

CLog& CLog::Instance() {
  // Never destroyed: errors raised while the module unloads still find it.
  static CLog* const log = new CLog();
  return *log;
}

void CLog::Log(std::int32_t level, const std::string& text) noexcept {
  if (t_inLog) return;
  try {
    CInLogGuard guard;
    Instance().WriteLine(level, text);
  } catch (...) {
    // A line that cannot be written is lost; the caller goes on.
  }
}

CLog::CLog() {
  CInLogGuard guard;
  try {
    m_fileName = GetLogFileName();
  } catch (const CError&) {
    return;  // no file: every line is lost
  }
  Open();
}

CLog::CLog(std::string fileName) : m_fileName(std::move(fileName)) {
  CInLogGuard guard;
  Open();
}

CLog::~CLog() {
  if (m_file != INVALID_HANDLE_VALUE) CloseHandle(m_file);
}

void CLog::Open() {
  const std::size_t slash = m_fileName.rfind(platform::kPathSeparator);
  if (slash != std::string::npos && slash > 0) {
    platform::MakeDirectory(m_fileName.substr(0, slash));
  }
  bool cleaned = false;
  {
    const CLogLock lock;
    // Never through a link and only this account's own regular file: in a
    // shared directory another account could plant a link (which the
    // clean-up would truncate) or a file of its own (which would collect
    // this user's lines).
    m_file = platform::CreateOwnFile(m_fileName.c_str());
    if (m_file == INVALID_HANDLE_VALUE) return;
    if (lock.IsHeld()) {
      try {
        cleaned = CleanupIfDue();
      } catch (...) {
        // A clean-up that fails is tried again by the next log object.
      }
    }
    platform::LARGE_INTEGER size{};
    if (GetFileSizeEx(m_file, &size) && size.QuadPart == 0) {
      WriteAll(m_file, LogHeaderLine() + "\n");
    }
  }
  if (cleaned) WriteLine(LEVEL_INFO, std::string(kCleanupLine) + "\n");
}

// Runs under the log lock. False when today's clean-up is done already or
// the file cannot be rewritten; a registry failure raises.
bool CLog::CleanupIfDue() {
  const CRegistry registry;
  const std::time_t now = std::time(nullptr);
  const std::string today = CleanupDateText(now);
  if (registry.GetLogFileCleanupDate() == today) return false;
  const std::string kept = CleanupLogText(ReadAll(m_file), now);
  // Rewritten in place through the descriptor that was checked (the name
  // could point elsewhere by now): other processes keep appending through
  // their own descriptors of the same file.
  if (!SetFilePointerEx(m_file, kStart, nullptr, FILE_BEGIN) || !SetEndOfFile(m_file)) {
    return false;
  }
  if (!WriteAll(m_file, LogHeaderLine() + "\n" + kept)) return false;
  registry.SetLogFileCleanupDate(today);
  return true;
}

void CLog::Write(const std::string& entry) {
  CInLogGuard guard;
  if (m_file == INVALID_HANDLE_VALUE || !WriteAll(m_file, entry + "\n")) {
    throw CError("CLog::Write(string)", "m_ofs in fail condition. LogEntry: " + entry);
  }
}

void CLog::WriteLine(std::int32_t level, const std::string& text) noexcept {
  try {
    Write(LogLinePrefix(level) + text);
  } catch (...) {
    // Logging never fails the caller.
  }
}

}  // namespace qvx::brixon
