// The registry is the system's own (winreg.h).
#pragma once

#include "platform/os/WinTypes.h"

namespace platform {

using ::HKEY;
using ::REGSAM;

}  // namespace platform
