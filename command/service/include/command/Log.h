// CLog: the service log file, its indentation and the trace guard;
// CRegistry: the machine setting that places the log.
#pragma once

#include <cstdint>
#include <string>

#include "command/Report.h"
#include "command/Settings.h"
#include "platform/Registry.h"

namespace qvx {

constexpr const char* kServiceLogFileName = "Brixwssvr_Log.txt";
constexpr long long kLogRestartSize = 10485760;  // 10 MiB
constexpr std::size_t kLogLineLimit = 1024;
constexpr std::size_t kLogContinuationWidth = 130;

class CRegistry {
 public:
  CRegistry();  // opens HKLM\Software\MERIDEL\Quorvex2\BRIXON for reading
  ~CRegistry();
  CRegistry(const CRegistry&) = delete;
  CRegistry& operator=(const CRegistry&) = delete;

  // WSSLogFilePath without double quotes; empty when missing, empty or too
  // long for its 259-byte buffer.
  std::string GetWSSLogFilePath() const;

 private:
  platform::HKEY m_key = nullptr;
};

// Full path of "Brixwssvr_Log.txt" in the directory the registry names
// (default "%ALLUSERSPROFILE%/BRIXWSSVR"), environment expanded.
std::string WSSLogFilePath();

class CLog {
 public:
  CLog() = default;
  CLog(const CLog&) = delete;
  CLog& operator=(const CLog&) = delete;

  // Appends one report line (indent, 130-column continuation, 1024 cut);
  // never raises.
  void Append(const std::string& line);
  // Renders and appends.
  void Append(const CReport& report) { Append(report.Render()); }

  void Indent();   // four blanks deeper
  void Outdent();  // four blanks back

  // The cached file name (computed on first append); tests may preset it.
  void SetFileName(std::string fileName) { m_fileName = std::move(fileName); }
  const std::string& GetFileName();

 private:
  std::string m_fileName;
  std::string m_indent;
  bool m_sizeChecked = false;
};

// Writes "<label> ==> " on entry and "<label> <== " on exit, indenting the
// lines between by four blanks.
class CTraceGuard {
 public:
  CTraceGuard(CLog& log, std::string label);
  ~CTraceGuard();
  CTraceGuard(const CTraceGuard&) = delete;
  CTraceGuard& operator=(const CTraceGuard&) = delete;

 private:
  CLog& m_log;
  std::string m_label;
};

}  // namespace qvx
