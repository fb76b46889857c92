// The basic COM types and HRESULTs are the system's (objbase.h, winerror.h).
#pragma once

#include <objbase.h>

#include "platform/WinTypes.h"
#include "platform/com/os/GuidText.h"

namespace platform {

using ::BOOL;
using ::DOUBLE;
using ::FILETIME;
using ::INT;
using ::LCID;
using ::SCODE;
using ::SHORT;
using ::UINT;
using ::ULONG;
using ::ULONGLONG;
using ::USHORT;

}  // namespace platform
