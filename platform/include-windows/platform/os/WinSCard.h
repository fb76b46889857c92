// WinSCard, the system's PC/SC.
#pragma once

#include "platform/os/Windows.h"

#include <winscard.h>

namespace platform {

// The PC/SC library as loaded at run time, and its names of the entry
// points it has in A and W forms: the text the platform passes is ANSI.
struct SCardLibraryNames {
  const char* library;
  const char* listReaders;
  const char* connect;
};
constexpr SCardLibraryNames kSCardLibrary{"WinSCard.dll", "SCardListReadersA", "SCardConnectA"};

}  // namespace platform
