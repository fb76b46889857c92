// pcsc-lite's WinSCard, with its own global DWORD and LONG (unsigned long and
// long, wider than Windows'), which the code over platform::ISCard spells
// ::DWORD and ::LONG.
#pragma once

#include <PCSC/winscard.h>

// pcsc-lite defines INFINITE as a macro; platform's INFINITE is the same value.
#undef INFINITE

namespace platform {

// The PC/SC library as loaded at run time; pcsc-lite has one form of the
// entry points that take text.
inline constexpr const char* kSCardLibraryName = "libpcsclite.so.1";
inline constexpr const char* kSCardListReadersName = "SCardListReaders";
inline constexpr const char* kSCardConnectName = "SCardConnect";

}  // namespace platform
