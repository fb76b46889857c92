// Environment, paths, time, threads and user notices, shaped after Win32.
#pragma once

#include <string>

#include "platform/os/WinTypes.h"

namespace platform {

// The separator that stands wherever Windows paths use a backslash.
constexpr char kPathSeparator = '/';

// ExpandEnvironmentStrings: replaces every %NAME% with the variable's value;
// a reference to an unknown variable stays as written. Windows variables that
// Linux lacks have stand-ins when unset: ALLUSERSPROFILE and PROGRAMDATA are
// /var/lib, USERPROFILE is $HOME, APPDATA is $XDG_CONFIG_HOME or ~/.config,
// LOCALAPPDATA is $XDG_DATA_HOME or ~/.local/share, TEMP and TMP are $TMPDIR
// or /tmp (those names also match in any letter case, as on Windows; other
// names are case-sensitive like the Linux environment). Returns the number of characters the result
// needs including the terminating zero; writes it only when it fits in `size`; 0 on failure.
DWORD ExpandEnvironmentStrings(const char* source, char* destination, DWORD size);

// One variable of the process environment. GetEnvironmentVariable returns the
// length written without the terminating zero, or, when `buffer` is too small
// (or null), the size it needs with the zero; 0 with ERROR_ENVVAR_NOT_FOUND
// when the variable is not set. SetEnvironmentVariable with a null value
// removes the variable.
DWORD GetEnvironmentVariable(const char* name, char* buffer, DWORD size);
bool SetEnvironmentVariable(const char* name, const char* value);

// The calling thread's number (the kernel's thread id on Linux).
DWORD GetCurrentThreadId();
DWORD GetCurrentProcessId();

struct SYSTEMTIME {
  int wYear, wMonth, wDayOfWeek, wDay, wHour, wMinute, wSecond, wMilliseconds;
};
void GetLocalTime(SYSTEMTIME* time);

void Sleep(DWORD milliseconds);

// A notice for the person at the machine. A service has no desktop here, so
// the text goes to standard error and the system log. Tests may divert it.
constexpr unsigned MB_OK = 0x0;
constexpr unsigned MB_ICONWARNING = 0x30;
constexpr unsigned MB_SYSTEMMODAL = 0x1000;
constexpr int IDOK = 1;  // what MessageBox returns
struct Window;
using HWND = Window*;
int MessageBox(HWND owner, const char* text, const char* caption, unsigned type);
using MessageBoxSink = void (*)(const std::string& text, const std::string& caption);
// Returns the previous sink; nullptr restores the default.
MessageBoxSink SetMessageBoxSink(MessageBoxSink sink);

}  // namespace platform

// The Win32 names, bare as the Windows headers make them (see docs/design.md).
using platform::ExpandEnvironmentStrings;
using platform::GetCurrentProcessId;
using platform::GetCurrentThreadId;
using platform::GetEnvironmentVariable;
using platform::GetLocalTime;
using platform::IDOK;
using platform::MB_ICONWARNING;
using platform::MB_OK;
using platform::MB_SYSTEMMODAL;
using platform::MessageBox;
using platform::SetEnvironmentVariable;
using platform::Sleep;
