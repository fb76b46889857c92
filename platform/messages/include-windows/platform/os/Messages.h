// Window messages are the system's own (winuser.h).
#pragma once

#include "platform/os/WinTypes.h"

namespace platform {

using ::HWND;
using ::LPARAM;
using ::LRESULT;
using ::MSG;
using ::UINT;
using ::WNDPROC;
using ::WPARAM;

}  // namespace platform
