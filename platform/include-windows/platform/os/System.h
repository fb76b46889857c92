// Environment, time, threads and MessageBox are the system's own.
#pragma once

#include "platform/os/WinTypes.h"

namespace platform {

using ::HWND;
using ::SYSTEMTIME;

// The separator of Windows paths.
constexpr char kPathSeparator = '\\';

}  // namespace platform
