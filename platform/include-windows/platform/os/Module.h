// LoadLibrary, GetProcAddress and the module calls are the system's own.
#pragma once

#include "platform/os/WinTypes.h"

namespace platform {

using ::FARPROC;
using ::HMODULE;

}  // namespace platform
