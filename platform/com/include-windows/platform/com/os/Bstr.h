// BSTR and the code page conversions are the system's (oleauto.h, winnls.h).
#pragma once

#include <oleauto.h>

#include "platform/com/os/ComTypes.h"

namespace platform {

using ::BSTR;

}  // namespace platform
