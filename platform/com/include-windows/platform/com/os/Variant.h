// VARIANT and its calls are the system's (oaidl.h, oleauto.h).
#pragma once

#include <oleauto.h>

#include "platform/com/os/Bstr.h"

namespace platform {

using ::VARIANT;
using ::VARIANT_BOOL;
using ::VARIANTARG;
using ::VARTYPE;

}  // namespace platform
