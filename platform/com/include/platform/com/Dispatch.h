// IDispatch, the late-bound interface script calls through, and the type
// information behind it: the system's (oaidl.h), or the Linux layer's
// (platform/com/os).
#pragma once

#include "platform/com/Unknown.h"
#include "platform/com/Variant.h"
#include "platform/com/os/Dispatch.h"
