// The basic Win32 types (platform::DWORD, platform::HANDLE) and error numbers:
// the Linux layer's own, or the Windows headers' (platform/os).
#pragma once

#include "platform/os/WinTypes.h"
