// Threads, time, user notices and the file helpers of the log.
#include "platform/System.h"

#include <sys/stat.h>
#include <sys/types.h>
#include <syslog.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <thread>

#include "system/PlatformError.h"

namespace platform {

namespace {

// nullptr stands for the default sink.
std::atomic<MessageBoxSink> gMessageBoxSink{nullptr};

void DefaultMessageBoxSink(const std::string& text, const std::string& caption) {
  std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
  // No openlog(): the host process (pcscd, a browser) keeps its own ident.
  ::syslog(LOG_USER | LOG_WARNING, "quorvex2: %s: %s", caption.c_str(), text.c_str());
}

}  // namespace

DWORD GetCurrentThreadId() { return static_cast<DWORD>(::gettid()); }

DWORD GetCurrentProcessId() { return static_cast<DWORD>(::getpid()); }

void GetLocalTime(SYSTEMTIME* time) {
  if (time == nullptr) {
    return;
  }
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  std::tm local{};
  ::localtime_r(&now.tv_sec, &local);
  time->wYear = local.tm_year + 1900;
  time->wMonth = local.tm_mon + 1;
  time->wDayOfWeek = local.tm_wday;
  time->wDay = local.tm_mday;
  time->wHour = local.tm_hour;
  time->wMinute = local.tm_min;
  time->wSecond = local.tm_sec > 59 ? 59 : local.tm_sec;  // no leap second
  time->wMilliseconds = static_cast<int>(now.tv_nsec / 1000000);
}

void Sleep(DWORD milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

int MessageBox(HWND /*owner*/, const char* text, const char* caption, unsigned /*type*/) {
  try {
    const MessageBoxSink sink = gMessageBoxSink.load();
    // Windows shows "Error" when the caller gives no caption.
    (sink != nullptr ? sink : DefaultMessageBoxSink)(text != nullptr ? text : "",
                                                     caption != nullptr ? caption : "Error");
    return IDOK;
  } catch (...) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
}

MessageBoxSink SetMessageBoxSink(MessageBoxSink sink) { return gMessageBoxSink.exchange(sink); }

bool MakeDirectory(const std::string& path) {
  if (::mkdir(path.c_str(), 0755) == 0) {
    return true;
  }
  const int err = errno;
  struct stat info {};
  if (err == EEXIST && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
    return true;
  }
  // As on Windows, a missing parent is a missing path, not a missing file.
  SetLastError(err == ENOENT ? ERROR_PATH_NOT_FOUND : detail::NameErrorFromErrno(err));
  return false;
}

long long FileSizeAt(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    SetLastError(detail::ErrorFromErrno(errno));
    return -1;
  }
  if (!S_ISREG(info.st_mode)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return -1;
  }
  return static_cast<long long>(info.st_size);
}

}  // namespace platform
