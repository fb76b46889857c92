// GUID, IID and CLSID are the system's (guiddef.h, with operator== for C++).
#pragma once

#include "platform/os/WinTypes.h"

namespace platform {

using ::CLSID;
using ::GUID;
using ::IID;

}  // namespace platform
