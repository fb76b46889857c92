// CreateFile and the file calls are the system's own (fileapi.h).
#pragma once

#include "platform/os/WinTypes.h"

namespace platform {

using ::LARGE_INTEGER;
using ::OVERLAPPED;

}  // namespace platform
