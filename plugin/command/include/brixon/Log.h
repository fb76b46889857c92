// The plug-in's log "BRIXON_Log.txt": one object per process, created on
// first use, holding the file open; its registry values; the line prefix.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

#include "command/Settings.h"
#include "platform/File.h"
#include "platform/Registry.h"
#include "platform/System.h"

namespace qvx::brixon {

constexpr const char* kPluginVersion = "01.06";
constexpr const char* kLogFileName = "BRIXON_Log.txt";
constexpr const char* kLogHeaderText =
    "Logfile for the Meridel Quorvex2 BR-Connector (BRIXON) version ";
using qvx::kRegistryKeyPath;
constexpr const char* kLogFilePathValue = "LogFilePath";
constexpr const char* kLogFileCleanupDateValue = "LogFileCleanupDate";
// Machine-wide lock of the log clean-up (fixed prefix and GUID).
constexpr const char* kLogMutexName =
    "Global\\BRIXON_LogFile_{6F1C2A94-3B7E-4D5A-9E20-8C41D7B3F615}";
// Entries older than this go at the daily clean-up.
constexpr std::time_t kLogKeepSeconds = 7 * 24 * 60 * 60;
constexpr platform::DWORD kLogLockWaitMs = 5000;

// "Logfile for the Meridel Quorvex2 BR-Connector (BRIXON) version 01.06."
std::string LogHeaderLine();

// "YYYY-MM-DD hh:mm:ss.mmm 0xPPPP::0xTTTT [INF] " (ids in upper-case hex, at
// least 4 digits; tag " [ERR] " for level 1 and other levels, " [DBG] " for 2).
std::string LogLinePrefix(unsigned long processId, unsigned long threadId,
                          const platform::SYSTEMTIME& time, std::int32_t level);
// The same for now, this process and this thread.
std::string LogLinePrefix(std::int32_t level);

// The clean-up rule: keeps the entries whose time stamp is not older than a
// week before `now`. A line without a time stamp (an empty line after a
// trace, a continued message) shares the fate of the entry above it; the old
// header line is dropped (the caller writes a fresh one).
std::string CleanupLogText(const std::string& text, std::time_t now);

// "YYYY-MM-DD" of `now` in local time: the LogFileCleanupDate format.
std::string CleanupDateText(std::time_t now);

// HKLM\<key> for LogFilePath, HKCU\<key> (created when missing) for the
// clean-up date. Failures are raised as CError.
class CRegistry {
 public:
  CRegistry();
  ~CRegistry();
  CRegistry(const CRegistry&) = delete;
  CRegistry& operator=(const CRegistry&) = delete;

  // Empty when the machine key or the value is missing.
  std::string GetLogFilePath() const;
  // Empty when the value is missing.
  std::string GetLogFileCleanupDate() const;
  void SetLogFileCleanupDate(const std::string& date) const;

 private:
  platform::HKEY m_machineKey = nullptr;
  platform::HKEY m_userKey = nullptr;
};

// Full path of "BRIXON_Log.txt": in the LogFilePath directory (expanded; a
// "%HOMEDRIVE%" left unexpanded means the system drive, which on Linux is
// the root), else in the user's temporary directory. Raises CError
// "1. GetTempPath() failed." / "2. GetTempPath() failed.".
std::string GetLogFileName();

class CLog {
 public:
  // The process's log, created on first use.
  static CLog& Instance();
  // Writes a line to the process's log; never raises. Lines asked for while
  // the log itself is being built or written are dropped (no recursion).
  static void Log(std::int32_t level, const std::string& text) noexcept;

  // The file GetLogFileName() names. A link in its place, or a file another
  // account owns, is refused: every line is then lost.
  CLog();
  // A given file (tests; tools).
  explicit CLog(std::string fileName);
  ~CLog();
  CLog(const CLog&) = delete;
  CLog& operator=(const CLog&) = delete;

  const std::string& GetFileName() const { return m_fileName; }

  // Writes the entry and a line feed, in one write. Raises CError
  // "m_ofs in fail condition. LogEntry: <entry>" when the file is unusable.
  void Write(const std::string& entry);
  // Prefix, text, line feed; never raises.
  void WriteLine(std::int32_t level, const std::string& text) noexcept;

 private:
  void Open();
  bool CleanupIfDue();

  std::string m_fileName;
  platform::HANDLE m_file = INVALID_HANDLE_VALUE;
};

}  // namespace qvx::brixon
