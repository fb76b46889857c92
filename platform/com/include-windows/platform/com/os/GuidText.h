// GUIDs and their Win32 text calls are the system's (guiddef.h, combaseapi.h).
#pragma once

#include <objbase.h>

#include "platform/Guid.h"

namespace platform {

using ::HRESULT;
using ::LPCOLESTR;
using ::LPOLESTR;
using ::OLECHAR;
using ::WORD;

}  // namespace platform
