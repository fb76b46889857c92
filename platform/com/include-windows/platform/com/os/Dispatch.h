// IDispatch, the type information and DispInvoke are the system's (oaidl.h,
// oleauto.h).
#pragma once

#include <oleauto.h>

#include "platform/com/os/Unknown.h"
#include "platform/com/os/Variant.h"

namespace platform {

using ::DISPID;
using ::DISPPARAMS;
using ::EXCEPINFO;
using ::IDispatch;
using ::ITypeInfo;
using ::ITypeLib;
using ::MEMBERID;

}  // namespace platform
