// Environment, paths, time, threads and user notices in Win32 shape
// (ExpandEnvironmentStrings, GetCurrentThreadId, GetLocalTime, Sleep,
// MessageBox), and the platform's own helpers over them.
#pragma once

#include <ctime>
#include <string>

#include "platform/os/System.h"

namespace platform {

// ExpandEnvironmentStrings into a string of any length.
std::string ExpandEnvironment(const std::string& source);

// File system helpers the log needs.
bool MakeDirectory(const std::string& path);  // one level; true if it exists
// Size in bytes, or -1 when the file does not exist or cannot be read.
long long FileSizeAt(const std::string& path);

// The local calendar time of `when` (localtime_r / localtime_s).
std::tm LocalTime(std::time_t when);

}  // namespace platform
