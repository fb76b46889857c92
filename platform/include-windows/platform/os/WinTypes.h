// The Win32 types under the names the code outside the platform layer uses:
// platform::DWORD is the system's DWORD here.
#pragma once

#include "platform/os/Windows.h"

namespace platform {

using ::BYTE;
using ::DWORD;
using ::HANDLE;
using ::LONG;

}  // namespace platform
