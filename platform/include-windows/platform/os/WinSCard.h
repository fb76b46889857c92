// WinSCard, the system's PC/SC.
#pragma once

#include "platform/os/Windows.h"

#include <winscard.h>

namespace platform {

// The PC/SC library as loaded at run time, and the ANSI forms of its
// entry points that take text: the platform passes ANSI text.
inline constexpr const char* kSCardLibraryName = "WinSCard.dll";
inline constexpr const char* kSCardListReadersName = "SCardListReadersA";
inline constexpr const char* kSCardConnectName = "SCardConnectA";

}  // namespace platform
