// VARIANT, the value type of late-bound calls, and the conversions an Invoke
// needs: the system's (oleauto.h), or the Linux layer's (platform/com/os).
#pragma once

#include "platform/com/Bstr.h"
#include "platform/com/os/Variant.h"
