// The number FormatMessage answers for a code without a text.
#pragma once

#include "platform/os/WinTypes.h"

namespace platform {

constexpr DWORD ERROR_MR_MID_NOT_FOUND = 317;

}  // namespace platform

// The Win32 names, bare as the Windows headers make them (see docs/design.md).
using platform::ERROR_MR_MID_NOT_FOUND;
